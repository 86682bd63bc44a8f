// Builds without zlib read no zip archive.

#include "exchange/formats/zip_entry.h"

namespace korvel {

std::unique_ptr<BinaryFile> OpenZipEntry(std::unique_ptr<BinaryFile>, std::string_view,
                                         std::string_view, std::string& failure) {
  failure = "zip archives (KMZ) need a build with zlib";
  return nullptr;
}

}  // namespace korvel
