#include "camdb/split_string.h"

#include <array>

namespace korvel {
namespace {

template <typename Field>
void Split(std::string_view text, std::vector<Field>& fields, std::string_view delimiters) {
  // A table lookup per character: the delimiters are a set, and the parser
  // runs this once for every row of files with millions of rows.
  std::array<bool, 256> is_delimiter{};
  for (char c : delimiters) is_delimiter[static_cast<unsigned char>(c)] = true;
  const char* p = text.data();
  const char* const end = p + text.size();
  while (true) {
    while (p != end && is_delimiter[static_cast<unsigned char>(*p)]) ++p;
    if (p == end) return;
    const char* start = p;
    while (p != end && !is_delimiter[static_cast<unsigned char>(*p)]) ++p;
    fields.emplace_back(std::string_view(start, static_cast<std::size_t>(p - start)));
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
