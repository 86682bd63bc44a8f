#include "platform/c_number.h"

#include <bit>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

// newlocale/strtod_l (POSIX) and _create_locale/_strtod_l (Windows).
#include <locale.h>
#include <stdlib.h>

namespace korvel {
namespace {

bool IsHexDigit(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

/// The leading decimal digits among the eight bytes at p, all readable: how
/// many there are (0 to 8), and their value, found for all eight at once.
int ReadEightDigits(const char* p, std::uint64_t& value) {
  std::uint64_t bytes = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&bytes, p, 8);
  } else {
    for (int i = 0; i < 8; ++i) bytes |= std::uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
  }
  // Digits become 0 to 9. Any other byte has its top bit set, or gets it
  // from adding 0x76; carries only run from a non-digit upwards, past the
  // first one, so the lowest flagged byte is the first non-digit.
  const std::uint64_t x = bytes ^ 0x3030303030303030u;
  const std::uint64_t other = ((x + 0x7676767676767676u) | x) & 0x8080808080808080u;
  const int count = other == 0 ? 8 : std::countr_zero(other) / 8;
  if (count == 0) return 0;
  // The digits to the top bytes, as if led by zeros, then pairs, fours and
  // all eight combined.
  std::uint64_t v = x << (8 * (8 - count));
  v = v * 10 + (v >> 8);
  v = ((v & 0x000000FF000000FFu) * (100 + (std::uint64_t{1000000} << 32)) +
       ((v >> 16) & 0x000000FF000000FFu) * (1 + (std::uint64_t{10000} << 32))) >>
      32;
  value = static_cast<std::uint32_t>(v);
  return count;
}

// A "C" locale object for the slow path, created once and freed at exit.
class CLocale {
 public:
#ifdef _WIN32
  CLocale() : locale_(_create_locale(LC_ALL, "C")) {}
  ~CLocale() {
    if (locale_ != nullptr) _free_locale(locale_);
  }
  double Strtod(const char* text) const {
    return _strtod_l(text, nullptr, locale_);
  }

 private:
  _locale_t locale_;
#else
  CLocale() : locale_(newlocale(LC_ALL_MASK, "C", locale_t{})) {}
  ~CLocale() {
    if (locale_ != locale_t{}) freelocale(locale_);
  }
  double Strtod(const char* text) const {
    return strtod_l(text, nullptr, locale_);
  }

 private:
  locale_t locale_;
#endif

 public:
  CLocale(const CLocale&) = delete;
  CLocale& operator=(const CLocale&) = delete;
};

// Decimal overflow and underflow: std::from_chars leaves the value unset there,
// while atof wants HUGE_VAL or the correctly rounded tiny value. Rare enough
// that the copy into a terminated string does not matter.
double SlowStrtod(std::string_view text) {
  static const CLocale c_locale;
  const std::string terminated(text);
  return c_locale.Strtod(terminated.c_str());
}

// A hexadecimal number that from_chars found out of range. It reports that only
// when the value rounds to zero or to infinity, so the binary exponent of the
// leading non-zero digit tells which: anything of 1 or more must have
// overflowed. Worked out here because older Windows runtimes (msvcrt) cannot
// read hexadecimal in strtod at all. [p, end) is the number after "0x".
double HexOutOfRange(const char* p, const char* end, bool negative) {
  std::int64_t int_digits = 0;  // before the point, from the first non-zero one
  std::int64_t fraction_zeros = 0;
  bool seen_point = false;
  bool seen_nonzero = false;
  for (; p != end && *p != 'p' && *p != 'P'; ++p) {
    if (*p == '.') {
      seen_point = true;
    } else if (seen_nonzero || *p != '0') {
      seen_nonzero = true;
      if (!seen_point) ++int_digits;
    } else if (seen_point) {
      ++fraction_zeros;
    }
  }
  std::int64_t exponent = 0;
  if (p != end) {
    ++p;
    bool exponent_negative = false;
    if (p != end && (*p == '+' || *p == '-')) exponent_negative = *p++ == '-';
    constexpr std::int64_t kCap = std::int64_t{1} << 40;
    for (; p != end && IsDigit(*p); ++p) {
      if (exponent < kCap) exponent = exponent * 10 + (*p - '0');
    }
    if (exponent_negative) exponent = -exponent;
  }
  const std::int64_t lead = int_digits > 0 ? 4 * (int_digits - 1) : -4 * (fraction_zeros + 1);
  const bool overflow = seen_nonzero && lead + exponent >= 0;
  const double magnitude = overflow ? HUGE_VAL : 0.0;
  return negative ? -magnitude : magnitude;
}

// Where a hexadecimal number after "0x" ends: digits, a point and digits,
// then a binary exponent only when "p", an optional sign and a digit follow.
const char* HexEnd(const char* p, const char* end) {
  while (p != end && IsHexDigit(*p)) ++p;
  if (p != end && *p == '.') {
    ++p;
    while (p != end && IsHexDigit(*p)) ++p;
  }
  if (p == end || (*p != 'p' && *p != 'P')) return p;
  const char* exponent = p + 1;
  if (exponent != end && (*exponent == '+' || *exponent == '-')) ++exponent;
  if (exponent == end || !IsDigit(*exponent)) return p;
  while (exponent != end && IsDigit(*exponent)) ++exponent;
  return exponent;
}

}  // namespace

const char* ReadPlainDecimal(const char* p, const char* end, double& value) {
  // With at most 15 digits both the digits as an integer and the power of ten
  // are exact doubles, so one correctly rounded division gives the correctly
  // rounded value, just as strtod does.
  static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  // Whole part and fraction of up to seven digits each, eight bytes at a time:
  // the same digits, the same division.
  std::uint64_t whole_part = 0;
  std::uint64_t fraction_part = 0;
  if (end - p >= 8) {
    const int whole = ReadEightDigits(p, whole_part);
    if (whole < 8 && p[whole] != '.' && whole > 0) {
      value = static_cast<double>(static_cast<std::int64_t>(whole_part));
      return p + whole;
    }
    if (whole < 8 && p[whole] == '.' && end - (p + whole + 1) >= 8) {
      const int fraction = ReadEightDigits(p + whole + 1, fraction_part);
      static constexpr std::uint64_t kScale[] = {1,     10,     100,     1000,
                                                 10000, 100000, 1000000, 10000000};
      if (fraction < 8 && whole + fraction > 0) {
        // Below 2^53: the signed conversion is exact and needs no range test.
        const auto digits =
            static_cast<std::int64_t>(whole_part * kScale[fraction] + fraction_part);
        value = static_cast<double>(digits) / kPowersOfTen[fraction];
        return p + whole + 1 + fraction;
      }
    }
  }
  std::uint64_t digits = 0;  // wraps only past 19 digits, which are refused
  const char* first = p;
  while (p != end && IsDigit(*p)) digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
  const auto whole = p - first;
  std::ptrdiff_t fraction = 0;
  if (p != end && *p == '.') {
    const char* point = ++p;
    while (p != end && IsDigit(*p)) digits = digits * 10 + static_cast<unsigned>(*p++ - '0');
    fraction = p - point;
  }
  if (whole + fraction == 0 || whole + fraction > 15) return nullptr;
  value = static_cast<double>(digits) / kPowersOfTen[fraction];
  return p;
}

double CAtof(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsCSpace(text[i])) ++i;
  const std::string_view number = text.substr(i);

  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const char* first = text.data() + i;
  const char* last = text.data() + text.size();
  // from_chars would accept a second minus sign; atof reads "+-1" as nothing.
  if (first == last || *first == '-' || *first == '+') return 0.0;

  double value = 0.0;
  // Most numbers are plain decimals; an exponent or a "0x" after the digits
  // needs the full reader.
  if (const char* stop = ReadPlainDecimal(first, last, value);
      stop != nullptr &&
      (stop == last || (*stop != 'e' && *stop != 'E' && *stop != 'x' && *stop != 'X'))) {
    return negative ? -value : value;
  }
  std::from_chars_result result{};
  if (last - first >= 2 && first[0] == '0' && (first[1] == 'x' || first[1] == 'X')) {
    // Hexadecimal. from_chars takes the digits without the prefix but would
    // also take a sign or "inf" there, which atof does not: without a hex digit
    // (or a point and one) after "0x" only the leading "0" is a number.
    const char* digits = first + 2;
    const bool has_digits = (digits != last && IsHexDigit(*digits)) ||
                            (last - digits >= 2 && digits[0] == '.' && IsHexDigit(digits[1]));
    if (!has_digits) return negative ? -0.0 : 0.0;
    // from_chars (libstdc++ 12) also takes an exponent with two signs, "p+-1";
    // atof ends the number before a 'p' that no digit follows.
    result = std::from_chars(digits, HexEnd(digits, last), value, std::chars_format::hex);
    if (result.ec == std::errc::result_out_of_range) {
      return HexOutOfRange(digits, result.ptr, negative);
    }
  } else {
    result = std::from_chars(first, last, value, std::chars_format::general);
  }

  if (result.ec == std::errc::result_out_of_range) return SlowStrtod(number);
  if (result.ec != std::errc()) return 0.0;
  return negative ? -value : value;
}

int CAtoi(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsCSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Once past the 32-bit range the value only needs to stay there, so the
  // accumulation stops growing instead of overflowing.
  constexpr std::int64_t kCap = std::int64_t{INT_MAX} + 2;
  std::int64_t magnitude = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    if (magnitude < kCap) magnitude = magnitude * 10 + (text[i] - '0');
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

}  // namespace korvel
