#pragma once
// Byte comparisons that name the first differing offset, so a failing golden
// test points at the field that moved.

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/bytes.h"

namespace korvel::testing {

inline ::testing::AssertionResult SameBytes(const Bytes& actual, const Bytes& expected) {
  const auto [got, want] =
      std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
  if (got == actual.end() && want == expected.end()) return ::testing::AssertionSuccess();
  auto failure = ::testing::AssertionFailure()
                 << "length " << actual.size() << ", want " << expected.size();
  if (got != actual.end() && want != expected.end()) {
    failure << "; first difference at offset " << (got - actual.begin()) << ": got " << int(*got)
            << ", want " << int(*want);
  }
  return failure;
}

}  // namespace korvel::testing
