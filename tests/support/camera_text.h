#pragma once
// A camera text as generate encodes it, for tests that export or compare
// databases.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <span>
#include <sstream>
#include <string>

#include "exchange/camera_input.h"
#include "exchange/export.h"
#include "generate/pipeline.h"

namespace korvel::testing {

/// The database generate writes for `text`; nullopt with `fault` when it
/// writes none.
inline std::optional<Bytes> EncodeText(const std::string& text, std::string& fault) {
  return EncodeCameraText(
      std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), fault);
}

/// The database `db` exported as `format`; a test failure and "" when it
/// cannot be decoded or exported.
inline std::string Exported(const Bytes& db, ExportFormat format) {
  CameraInput decoded;
  std::string fault;
  if (!DecodeCameraInput(db, decoded, fault)) {
    ADD_FAILURE() << fault;
    return {};
  }
  std::ostringstream out;
  if (!ExportCameras(decoded.file.db, format, out).ok) ADD_FAILURE() << "export failed";
  return out.str();
}

}  // namespace korvel::testing
