#pragma once
// The C runtime's number readers with their exact rules, in the "C" locale
// whatever locale the process runs in, and without undefined behaviour.

#include <string_view>

namespace korvel {

/// atof: leading white space, the longest leading part that forms a number
/// (decimal, hexadecimal, inf, nan), 0 when there is none.
double CAtof(std::string_view text);

/// atoi: leading white space, an optional sign, decimal digits up to the first
/// other character, 0 when there are none. Values beyond the 32-bit range
/// clamp to INT_MAX or INT_MIN, as the Windows runtime does.
int CAtoi(std::string_view text);

}  // namespace korvel
