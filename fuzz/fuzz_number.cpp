// The number readers against the C library's own, in the "C" locale: CAtof
// must give strtod's double bit for bit (a NaN's sign and payload aside),
// CAtoi strtol's value clamped to the 32-bit range, and the plain decimal
// reader strtod's double for the bytes it took.
//
// Input: the text, NUL bytes included (the C functions stop at the first).

#include <bit>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string>

#include <locale.h>
#include <stdlib.h>

#include "fuzz/fuzz_check.h"
#include "platform/c_number.h"

namespace korvel::fuzz {
namespace {

std::string Describe(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%a", value);
  return text;
}

}  // namespace

int FuzzNumber(const std::uint8_t* data, std::size_t size) {
  // Made once and kept for the life of the process.
  static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", locale_t{});
  const std::string text(reinterpret_cast<const char*>(data), size);

  const double ours = CAtof(text);
  const double theirs = strtod_l(text.c_str(), nullptr, c_locale);
  if (!(std::isnan(ours) && std::isnan(theirs)) &&
      std::bit_cast<std::uint64_t>(ours) != std::bit_cast<std::uint64_t>(theirs)) {
    Fail("CAtof(\"" + text + "\") = " + Describe(ours) + ", strtod " + Describe(theirs));
  }

  // The plain reader, which takes rows eight bytes at a time, where it
  // accepts: the same double as strtod of exactly the bytes it took.
  double plain = 0;
  if (const char* stop = ReadPlainDecimal(text.data(), text.data() + text.size(), plain)) {
    const std::string taken(text.data(), stop);
    const double c_plain = strtod_l(taken.c_str(), nullptr, c_locale);
    if (taken.find_first_not_of("0123456789.") != std::string::npos ||
        std::bit_cast<std::uint64_t>(plain) != std::bit_cast<std::uint64_t>(c_plain) ||
        (stop != text.data() + text.size() &&
         ((*stop == '.' && taken.find('.') == std::string::npos) ||
          (*stop >= '0' && *stop <= '9')))) {
      Fail("ReadPlainDecimal(\"" + text + "\") took \"" + taken + "\" as " + Describe(plain));
    }
  }

  const long wide = strtol_l(text.c_str(), nullptr, 10, c_locale);
  const long clamped = wide > INT_MAX ? INT_MAX : wide < INT_MIN ? INT_MIN : wide;
  const int value = CAtoi(text);
  if (value != clamped) {
    Fail("CAtoi(\"" + text + "\") = " + std::to_string(value) + ", strtol " + std::to_string(wide));
  }
  return 0;
}

}  // namespace korvel::fuzz

KORVEL_FUZZ_ENTRY(FuzzNumber)
