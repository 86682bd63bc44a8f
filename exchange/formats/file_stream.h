#pragma once
// A file read as a std::istream, for the parsers that take one.

#include <istream>
#include <memory>
#include <streambuf>

#include "platform/file_system.h"

namespace korvel {

/// Reads a BinaryFile in large pieces.
class FileStreamBuffer : public std::streambuf {
 public:
  explicit FileStreamBuffer(BinaryFile& file) : file_(file) {}

 protected:
  int_type underflow() override {
    const std::size_t got = file_.Read(buffer_, sizeof buffer_);
    if (got == 0) return traits_type::eof();
    setg(buffer_, buffer_, buffer_ + got);
    return traits_type::to_int_type(buffer_[0]);
  }

 private:
  BinaryFile& file_;
  char buffer_[1 << 16];
};

}  // namespace korvel
