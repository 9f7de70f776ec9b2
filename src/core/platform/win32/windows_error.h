#pragma once

#include <string>

// For the Windows backends alone: Win32 errors as the errno values the
// portable code decides on and words its messages from.
namespace wexal {

int ErrnoFromWindowsError(unsigned long error);
// The errno of GetLastError(), also stored in errno.
int LastErrorAsErrno();
// UTF-16 for the wide Win32 calls, and back.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);

}  // namespace wexal
