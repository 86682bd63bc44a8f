#include "camdb/split_string.h"

namespace korvel {
namespace {

template <typename Field>
void Split(std::string_view text, std::vector<Field>& fields, std::string_view delimiters) {
  std::size_t start = text.find_first_not_of(delimiters);
  while (start != std::string_view::npos) {
    const std::size_t end = text.find_first_of(delimiters, start);
    fields.emplace_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) break;
    start = text.find_first_not_of(delimiters, end);
  }
}

}  // namespace

void SplitString(std::string_view text, std::vector<std::string>& fields,
                 std::string_view delimiters) {
  Split(text, fields, delimiters);
}

void SplitString(std::string_view text, std::vector<std::string_view>& fields,
                 std::string_view delimiters) {
  Split(text, fields, delimiters);
}

}  // namespace korvel
