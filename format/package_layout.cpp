#include "format/package_layout.h"

namespace korvel {

Bytes PackageHeader(const PackageParts& parts) {
  Bytes header(kPackageHeaderSize, 0);
  for (std::size_t i = 0; i < kPackageParts.size(); ++i) {
    StoreU32(header.data() + kPackageParts[i].length_offset, parts.length[i]);
  }
  return header;
}

std::string PackageFileName(const PackageNameTags& tags) {
  return "K93_F" + tags.fw + "_V" + tags.voice + "_D" + tags.db + ".bin";
}

std::optional<PackageNameTags> ParsePackageName(std::string_view name) {
  // K93_F????_V????_D????.bin
  constexpr std::size_t kLength = 25;
  if (name.size() != kLength || name.substr(0, 5) != "K93_F" || name.substr(9, 2) != "_V" ||
      name.substr(15, 2) != "_D" || name.substr(21) != ".bin") {
    return std::nullopt;
  }
  return PackageNameTags{std::string(name.substr(5, 4)), std::string(name.substr(11, 4)),
                         std::string(name.substr(17, 4))};
}

}  // namespace korvel
