#pragma once
// The few things the program asks of the operating system outside its files,
// each answered by the one file of that system (posix.cpp, win32.cpp).

#include <cstdio>
#include <string>
#include <string_view>

namespace korvel {

/// The running process's id.
unsigned long ProcessId();

/// The system's words for an error number as FileError::code holds it: errno
/// on POSIX, GetLastError() on Windows.
std::string SystemErrorText(int code);

/// The system's error number for a full disk (ENOSPC, ERROR_DISK_FULL), for
/// the fakes that play one.
int DiskFullError();

/// Takes `stream` (stdin, stdout) out of the runtime's text mode, where Windows
/// would turn line ends around; nothing to do elsewhere.
void SetBinaryMode(std::FILE* stream);

/// Korean text in CP949 (a superset of EUC-KR), as the Korean Windows code
/// page and Korean open-data files write it, as UTF-8 into `utf8`. False
/// when the bytes are not CP949 or the system cannot convert them.
bool Cp949ToUtf8(std::string_view cp949, std::string& utf8);

}  // namespace korvel
