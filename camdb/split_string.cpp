#include "camdb/split_string.h"

namespace korvel {

void SplitString(std::string_view text, std::vector<std::string_view>& fields,
                 std::string_view delimiters) {
  FieldCutter cutter(delimiters);
  cutter.Start(text);
  for (std::string_view field; cutter.Next(field);) fields.push_back(field);
}

}  // namespace korvel
