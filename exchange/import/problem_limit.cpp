#include "exchange/import/problem_limit.h"

namespace korvel {

std::string ProblemShape(const SourceProblem& problem) {
  std::string shape(ProblemKindText(problem.kind));
  shape += ':';
  bool quoted = false;
  for (char c : problem.message) {
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && !(c >= '0' && c <= '9')) {
      shape += c;
    }
  }
  return shape;
}

bool RepeatLimit::Pass(const SourceProblem& problem) {
  if (shown_ == 0) return true;
  Kind& kind = kinds_[ProblemShape(problem)];
  if (++kind.met <= shown_) return true;
  if (kind.held == 0) {
    held_.push_back({problem.kind, problem.message, 0});
    kind.held = held_.size();
  }
  ++held_[kind.held - 1].count;
  return false;
}

std::vector<HeldBack> RepeatLimit::TakeHeld() {
  kinds_.clear();
  std::vector<HeldBack> held;
  held.swap(held_);
  return held;
}

std::string HeldBackText(const HeldBack& held) {
  return std::to_string(held.count) + " more " + std::string(ProblemKindText(held.kind)) +
         (held.count == 1 ? "" : "s") + " like \"" + held.first + "\"";
}

}  // namespace korvel
