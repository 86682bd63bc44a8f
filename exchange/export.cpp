#include "exchange/export.h"

#include <ostream>

#include "camdb/parser.h"
#include "exchange/formats/format_table.h"

namespace korvel {

std::string VersionText(std::string_view field) {
  std::string text(1, '"');
  text.append(PrintableVersion(field)).append("\" (the text's \"");
  return text.append(PrintableVersion(K93Exchange(field))).append("\")");
}

ExportResult ExportCameras(const DecodedDb& db, ExportFormat format, std::ostream& out) {
  // The version line as the operator wrote it: the exchange undone.
  const std::string version_line = K93Exchange(db.version);
  return ExportWriter(format)(db, version_line, out);
}

}  // namespace korvel
