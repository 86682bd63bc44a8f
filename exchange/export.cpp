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

ExportResult ExportCameras(const DecodedDb& db, ExportFormat format, std::ostream& out,
                           std::string_view version_line) {
  // Else the version line as the operator wrote it: the exchange undone.
  const std::string stored = version_line.empty() ? K93Exchange(db.version) : std::string();
  return ExportWriter(format)(db, version_line.empty() ? stored : version_line, out);
}

}  // namespace korvel
