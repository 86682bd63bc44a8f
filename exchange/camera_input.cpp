#include "exchange/camera_input.h"

#include "generate/pipeline.h"

namespace korvel {
namespace {

/// Decodes `bytes` when it is a database or package; true when it is a camera
/// text instead, left for the caller to encode.
bool ReadKind(std::span<const std::uint8_t> bytes, CameraInput& input) {
  input.file = ReadCameraFile(bytes);
  input.text_size = 0;
  input.lines.clear();
  return input.file.kind == FileKind::kUnknown && LooksLikeCameraText(bytes);
}

template <typename Text>
bool EncodeText(Text&& text, CameraInput& input, std::string& fault, bool with_lines) {
  const std::uint64_t text_size = text.size();
  const std::optional<Bytes> db =
      EncodeCameraText(std::forward<Text>(text), fault, with_lines ? &input.lines : nullptr);
  if (!db) return false;
  input.file = ReadCameraFile(*db);
  input.text_size = text_size;
  return true;
}

}  // namespace

bool LooksLikeCameraText(std::span<const std::uint8_t> bytes) {
  return !bytes.empty() && bytes[0] == 'V';
}

bool DecodeCameraInput(std::span<const std::uint8_t> bytes, CameraInput& input, std::string& fault,
                       bool with_lines) {
  return !ReadKind(bytes, input) || EncodeText(bytes, input, fault, with_lines);
}

bool DecodeCameraInput(Bytes&& bytes, CameraInput& input, std::string& fault, bool with_lines) {
  return !ReadKind(bytes, input) || EncodeText(std::move(bytes), input, fault, with_lines);
}

}  // namespace korvel
