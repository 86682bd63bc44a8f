#pragma once
// The C runtime's number readers with their exact rules, in the "C" locale
// whatever locale the process runs in, and without undefined behaviour.

#include <string_view>

namespace korvel {

/// The "C" locale's isspace set, spelled out so that the process locale
/// cannot widen it: the white space atof and atoi skip.
constexpr bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

/// A decimal digit, whatever the locale.
constexpr bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

/// atof: leading white space, the longest leading part that forms a number
/// (decimal, hexadecimal, inf, nan), 0 when there is none.
double CAtof(std::string_view text);

/// The plainest decimal at p: digits, or digits, a point and digits, at most
/// 15 digits in all, no sign. Sets `value` to what atof gives for them and
/// returns where they end (whatever follows), or null for any other text.
const char* ReadPlainDecimal(const char* p, const char* end, double& value);

/// atoi: leading white space, an optional sign, decimal digits up to the first
/// other character, 0 when there are none. Values beyond the 32-bit range
/// clamp to INT_MAX or INT_MIN, as the Windows runtime does.
int CAtoi(std::string_view text);

}  // namespace korvel
