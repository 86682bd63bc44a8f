#include "exchange/import/problem_limit.h"

#include <array>
#include <string_view>

namespace korvel {

namespace {

/// The bytes a run of plain text ends at: a quote or a digit.
constexpr std::array<bool, 256> kEndsRun = [] {
  std::array<bool, 256> ends{};
  for (char c = '0'; c <= '9'; ++c) ends[static_cast<unsigned char>(c)] = true;
  ends['"'] = true;
  return ends;
}();

/// Puts the ProblemShape of `problem` in `shape`, reusing its room.
void ShapeInto(const SourceProblem& problem, std::string& shape) {
  const std::string_view kind = ProblemKindText(problem.kind);
  const std::string_view message = problem.message;
  shape.assign(kind).push_back(':');
  // Runs of plain text at once; quotes and digits end them.
  std::size_t at = 0;
  while (at < message.size()) {
    std::size_t end = at;
    while (end < message.size() && !kEndsRun[static_cast<unsigned char>(message[end])]) ++end;
    shape.append(message, at, end - at);
    if (end == message.size()) break;
    if (message[end] == '"') {
      end = message.find('"', end + 1);
      if (end == std::string_view::npos) break;
    }
    at = end + 1;
  }
}

}  // namespace

std::string ProblemShape(const SourceProblem& problem) {
  std::string shape;
  ShapeInto(problem, shape);
  return shape;
}

bool RepeatLimit::Pass(const SourceProblem& problem) {
  if (shown_ == 0) return true;
  // One buffer for every shape: a kind met before costs no allocation, and
  // the kind met last no search.
  ShapeInto(problem, shape_);
  if (last_ == nullptr || last_->first != shape_) {
    auto found = kinds_.find(shape_);
    if (found == kinds_.end()) found = kinds_.emplace(shape_, Kind{}).first;
    last_ = &*found;
  }
  Kind& kind = last_->second;
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
  last_ = nullptr;
  std::vector<HeldBack> held;
  held.swap(held_);
  return held;
}

std::string HeldBackText(const HeldBack& held) {
  return std::to_string(held.count) + " more " + std::string(ProblemKindText(held.kind)) +
         (held.count == 1 ? "" : "s") + " like \"" + held.first + "\"";
}

}  // namespace korvel
