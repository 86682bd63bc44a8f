#include "exchange/camera_input.h"

#include "generate/pipeline.h"

namespace korvel {

bool LooksLikeCameraText(std::span<const std::uint8_t> bytes) {
  return !bytes.empty() && bytes[0] == 'V';
}

bool DecodeCameraInput(std::span<const std::uint8_t> bytes, CameraInput& input, std::string& fault,
                       bool with_lines) {
  input.file = ReadCameraFile(bytes);
  input.text_size = 0;
  input.lines.clear();
  if (input.file.kind != FileKind::kUnknown || !LooksLikeCameraText(bytes)) return true;
  const std::optional<Bytes> db =
      EncodeCameraText(bytes, fault, with_lines ? &input.lines : nullptr);
  if (!db) return false;
  input.file = ReadCameraFile(*db);
  input.text_size = bytes.size();
  return true;
}

}  // namespace korvel
