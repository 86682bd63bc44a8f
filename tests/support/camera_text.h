#pragma once
// A camera text as generate encodes it, for tests that export or compare
// databases.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "generate/pipeline.h"

namespace korvel::testing {

/// The database generate writes for `text`; nullopt with `fault` when it
/// writes none.
inline std::optional<Bytes> EncodeText(const std::string& text, std::string& fault) {
  return EncodeCameraText(
      std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), fault);
}

}  // namespace korvel::testing
