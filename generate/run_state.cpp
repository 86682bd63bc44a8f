#include "generate/run_state.h"

namespace korvel {

std::string TagText(const VersionTag& tag) {
  std::string text;
  for (char c : tag) {
    if (c == '\0') break;
    text.push_back(c);
  }
  return text;
}

VersionTag MakeTag(char a, char b, char c, char d) {
  return VersionTag{a, b, c, d, '\0'};
}

}  // namespace korvel
