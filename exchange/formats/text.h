#pragma once
// Our camera text, the one generate reads (and the tsv export, which is
// one): its reader, its writer and its row in the table of formats.

#include <memory>
#include <ostream>
#include <string_view>

#include "exchange/formats/format_entry.h"

namespace korvel {

std::unique_ptr<CameraSource> MakeTextSource();

/// A camera text that generate reads back into the same database: the
/// sample points generate appended left out once each. Refuses, before its
/// first byte, a version line or a coordinate that a text cannot carry.
ExportResult WriteTextCameras(const DecodedDb& db, std::string_view version_line,
                              std::ostream& out);

/// A version line over the header line "X\tY\tTYPE...".
SignatureMatch TextSignature(const FileStart& start);

extern const FormatEntry kTextFormat;

}  // namespace korvel
