#pragma once
// What inspect, export, diff and map take in: a device database, a K93
// package or a camera text, told apart by content.

#include <cstdint>
#include <string>
#include <vector>

#include "format/db_reader.h"

namespace korvel {

/// One input, decoded.
struct CameraInput {
  /// The database or package; for a camera text, the database generate
  /// would write for it.
  CameraFile file;
  /// For a camera text, its own size in bytes; 0 for the other kinds.
  std::uint64_t text_size = 0;
  /// For a camera text decoded with lines: each point's text line (0 for
  /// the appended sample rows).
  std::vector<std::uint32_t> lines;
};

/// Whether `bytes` start as a camera text does, with its version line's "V";
/// neither a database (magic 200) nor a package (a zero byte) can.
bool LooksLikeCameraText(std::span<const std::uint8_t> bytes);

/// Decodes `bytes`: a database or package as they stand, a camera text as
/// generate would encode it, in memory. False with the dialog's status text
/// in `fault` for a text generate would stop on. `with_lines` fills
/// `input.lines` for a text.
bool DecodeCameraInput(std::span<const std::uint8_t> bytes, CameraInput& input, std::string& fault,
                       bool with_lines = false);

/// DecodeCameraInput that takes over `bytes` for a camera text (left empty,
/// or holding the text again after a fault of the parser), so that a big
/// text is not held twice while it is encoded.
bool DecodeCameraInput(Bytes&& bytes, CameraInput& input, std::string& fault,
                       bool with_lines = false);

}  // namespace korvel
