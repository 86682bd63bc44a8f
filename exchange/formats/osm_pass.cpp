// Opening a pass over an OpenStreetMap file: each pass reads the file anew.

#include "exchange/formats/osm_pass.h"

#include <string>

namespace korvel {

std::unique_ptr<BinaryFile> OpenOsmPass(SourceFile& source, std::string_view head) {
  Problem failure;
  std::unique_ptr<BinaryFile> file = source.Open(failure);
  if (!file) throw OsmSourceFailure{failure};
  std::string first(head.size(), '\0');
  std::size_t got = 0;
  for (std::size_t more = 1; got < first.size() && more != 0; got += more) {
    more = file->Read(first.data() + got, first.size() - got);
  }
  first.resize(got);
  CheckOsmRead(source, *file);
  if (first != head) {
    throw OsmSourceFailure{FileProblem(source.path(),
                                       "the file reads otherwise the second time (a pipe?); "
                                       "OpenStreetMap data is read twice, so give a file",
                                       Fault::kSystem)};
  }
  return file;
}

void CheckOsmRead(const SourceFile& source, const BinaryFile& file) {
  if (file.failed()) {
    throw OsmSourceFailure{FileProblem(source.path(), "the file cannot be read", Fault::kSystem)};
  }
}

}  // namespace korvel
