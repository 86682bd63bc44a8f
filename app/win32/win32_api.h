#pragma once
// The Windows headers as this program wants them: the ANSI forms of the calls
// (texts and file names in the system code page), no min/max macros, strict
// handle types, and the common dialogs and controls.

#ifdef UNICODE
#error "Korvel uses the ANSI forms of the Windows calls: build without UNICODE"
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef STRICT
#define STRICT
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
