#pragma once
// The field rules every import format shares: column names, numbers, speeds
// and directions as sources write them.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "exchange/formats/source.h"

namespace korvel {

/// A decimal number with blanks around it; with `decimal_comma` a comma is
/// the decimal point. nullopt for anything else (text, an empty field).
std::optional<double> ReadDecimal(std::string_view text, bool decimal_comma = false);

/// Stores a field read from text into `camera`: an empty text leaves it
/// missing; a whole number is taken; SPEED also as OpenStreetMap writes it
/// ("50 mph", "20 knots"), DIRECTION also as compass letters ("NNE"). Anything
/// else gives a warning and 0; an unknown direction also DIRTYPE 0.
void SetFieldText(SourceCamera& camera, Field field, std::string_view text, CameraSink& sink,
                  bool decimal_comma = false);

/// The same for a number a source stores as a number (JSON).
void SetFieldNumber(SourceCamera& camera, Field field, double value, CameraSink& sink);

/// Whether `text` is valid UTF-8.
bool IsUtf8(std::string_view text);

/// Reports a warning at `place`.
void Warn(CameraSink& sink, const Place& place, std::string message);
/// Reports an error at `place` (the row is then not given as a camera).
void Fail(CameraSink& sink, const Place& place, std::string message);

}  // namespace korvel
