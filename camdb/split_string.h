#pragma once

#include <array>
#include <string_view>
#include <vector>

namespace korvel {

/// Cuts texts into fields at every character of a delimiter set, one field
/// at a time: runs of delimiters separate once and no field is ever empty.
/// The row reader keeps only the fields a row needs; SplitString keeps all.
class FieldCutter {
 public:
  /// `delimiters` is a set of characters, not a word.
  explicit FieldCutter(std::string_view delimiters) {
    for (char c : delimiters) is_delimiter_[static_cast<unsigned char>(c)] = true;
  }

  /// Starts on `text`; the fields are views into it.
  void Start(std::string_view text) {
    p_ = text.data();
    end_ = p_ + text.size();
  }

  /// The next field, false when only delimiters are left.
  bool Next(std::string_view& field) {
    while (p_ != end_ && IsDelimiter(*p_)) ++p_;
    if (p_ == end_) return false;
    const char* start = p_;
    while (p_ != end_ && !IsDelimiter(*p_)) ++p_;
    field = std::string_view(start, static_cast<std::size_t>(p_ - start));
    return true;
  }

 private:
  // A table lookup per character: the parser cuts every row of files with
  // millions of rows.
  bool IsDelimiter(char c) const { return is_delimiter_[static_cast<unsigned char>(c)]; }

  std::array<bool, 256> is_delimiter_{};
  const char* p_ = nullptr;
  const char* end_ = nullptr;
};

/// Cuts `text` at every character of `delimiters` and appends the pieces to
/// `fields`, as views into `text`. An empty delimiter set gives the whole text.
void SplitString(std::string_view text, std::vector<std::string_view>& fields,
                 std::string_view delimiters);

}  // namespace korvel
