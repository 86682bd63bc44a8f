// The number readers against the C library's own, in the "C" locale: CAtof
// must give strtod's double bit for bit (a NaN's sign and payload aside),
// CAtoi strtol's value clamped to the 32-bit range.
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
