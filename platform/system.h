#pragma once
// The few things the program asks of the operating system outside its files,
// each answered by the one file of that system (posix.cpp, win32.cpp).

#include <cstdio>
#include <string>

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

}  // namespace korvel
