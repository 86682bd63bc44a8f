// The number readers against the C library's own, in the "C" locale: CAtof
// must give strtod's double bit for bit (a NaN's sign and payload aside),
// CAtoi strtol's value clamped to the 32-bit range.
//
// Input: the text, NUL bytes included (the C functions stop at the first).

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include <locale.h>
#include <stdlib.h>

#include "fuzz/fuzz_check.h"
#include "platform/c_number.h"

namespace korvel::fuzz {
namespace {

class CLocale {
 public:
  CLocale() : locale_(newlocale(LC_ALL_MASK, "C", locale_t{})) {}
  ~CLocale() { freelocale(locale_); }
  CLocale(const CLocale&) = delete;
  CLocale& operator=(const CLocale&) = delete;
  locale_t get() const { return locale_; }

 private:
  locale_t locale_;
};

std::string Describe(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%a", value);
  return text;
}

std::uint64_t Bits(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

}  // namespace

int FuzzNumber(const std::uint8_t* data, std::size_t size) {
  static const CLocale c_locale;
  const std::string text(reinterpret_cast<const char*>(data), size);

  const double ours = CAtof(text);
  const double theirs = strtod_l(text.c_str(), nullptr, c_locale.get());
  if (!(std::isnan(ours) && std::isnan(theirs)) && Bits(ours) != Bits(theirs)) {
    Fail("CAtof(\"" + text + "\") = " + Describe(ours) + ", strtod " + Describe(theirs));
  }

  const long wide = strtol_l(text.c_str(), nullptr, 10, c_locale.get());
  const long clamped = wide > INT_MAX ? INT_MAX : wide < INT_MIN ? INT_MIN : wide;
  const int value = CAtoi(text);
  if (value != clamped) {
    Fail("CAtoi(\"" + text + "\") = " + std::to_string(value) + ", strtol " + std::to_string(wide));
  }
  return 0;
}

}  // namespace korvel::fuzz

KORVEL_FUZZ_ENTRY(FuzzNumber)
