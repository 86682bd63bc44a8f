#pragma once
// Byte comparisons that name the first differing offset, so a failing golden
// test points at the field that moved.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/bytes.h"

namespace korvel::testing {

inline std::string HexByte(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", value & 0xFF);
  return text;
}

inline ::testing::AssertionResult SameBytes(const Bytes& actual, const Bytes& expected) {
  const std::size_t common = std::min(actual.size(), expected.size());
  for (std::size_t i = 0; i < common; ++i) {
    if (actual[i] != expected[i]) {
      return ::testing::AssertionFailure()
             << "first difference at offset " << i << ": got " << HexByte(actual[i]) << ", want "
             << HexByte(expected[i]);
    }
  }
  if (actual.size() != expected.size()) {
    return ::testing::AssertionFailure()
           << "length " << actual.size() << ", want " << expected.size();
  }
  return ::testing::AssertionSuccess();
}

}  // namespace korvel::testing
