#pragma once
// The repeats of one kind of problem in an input: the first few are shown,
// the rest counted, so that one fault met on every row does not bury the
// others.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "exchange/formats/source.h"

namespace korvel {

/// Problems of one kind held back in an input.
struct HeldBack {
  ProblemKind kind = ProblemKind::kError;
  std::string first;        ///< the first message of the kind
  std::uint64_t count = 0;  ///< held back after the ones shown
};

class RepeatLimit {
 public:
  /// The first `shown` problems of each kind pass; 0 lets all pass.
  explicit RepeatLimit(std::uint64_t shown) : shown_(shown) {}

  /// Whether `problem` is shown; counted when not.
  bool Pass(const SourceProblem& problem);
  /// The kinds held back since the last call, in the order first met;
  /// starts afresh, for the next input.
  std::vector<HeldBack> TakeHeld();

 private:
  struct Kind {
    std::uint64_t met = 0;
    std::size_t held = 0;  ///< its index in held_ plus one, 0 while none held
  };
  std::uint64_t shown_;
  std::unordered_map<std::string, Kind> kinds_;
  std::pair<const std::string, Kind>* last_ = nullptr;  ///< the kind met last
  std::vector<HeldBack> held_;
  std::string shape_;  ///< the shape of the problem passing
};

/// One problem's kind: its text without the quoted source text and numbers.
std::string ProblemShape(const SourceProblem& problem);

/// "N more errors like "MESSAGE"", for the end of an input.
std::string HeldBackText(const HeldBack& held);

}  // namespace korvel
