// Resource and control identifiers of the Korvel dialog, shared by the
// resource script and the code.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_KORVEL_DIALOG 102
#define IDR_MAINFRAME 128

#define IDC_DB_TEXT_FILE 1000
#define IDC_DB_NAME 1001
#define IDC_OUTPUT_PATH 1002
#define IDC_GENERATE_FILE 1004
#define IDC_STATUS 1005
#define IDC_FW_NAME 1006
#define IDC_VOICE_NAME 1007
#define IDC_FW_FILE 1008
#define IDC_VOICE_FILE 1009

#define IDM_ABOUTBOX 0x0010

#ifndef IDOK
#define IDOK 1
#endif
#ifndef IDCANCEL
#define IDCANCEL 2
#endif
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
