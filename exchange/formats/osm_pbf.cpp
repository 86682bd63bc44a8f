// The PBF file is a run of blobs, each after a 4-byte big-endian length and
// a header of that length giving the blob's type and size. The first blob is
// the OSMHeader, every other one OSMData; libosmium decodes their contents.

#include "exchange/formats/osm_pbf.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include <osmium/io/detail/pbf_decoder.hpp>
#include <protozero/pbf_reader.hpp>

namespace korvel {
namespace {

// libosmium's own limits, which every PBF writer keeps to.
constexpr std::uint32_t kMaxHeaderSize = 64 * 1024;
constexpr std::int64_t kMaxBlobSize = 32 * 1024 * 1024;

class PbfBlobs {
 public:
  PbfBlobs(SourceFile& source, std::string_view head)
      : source_(source), file_(OpenOsmPass(source, head)), pending_(head) {}

  /// The next blob, which must be of `type`; false at the file's end.
  bool Next(std::string_view type, std::string& blob) {
    std::string length;
    Take(length, 4);
    if (length.empty()) return false;
    if (length.size() < 4) throw osmium::pbf_error("truncated data (EOF encountered)");
    std::uint32_t header_size = 0;
    for (const char byte : length)
      header_size = header_size << 8 | static_cast<unsigned char>(byte);
    if (header_size > kMaxHeaderSize) {
      throw osmium::pbf_error("invalid BlobHeader size (> max_blob_header_size)");
    }
    std::string header;
    TakeAll(header, header_size);
    const std::int64_t size = BlobSize(header, type);
    blob.clear();
    TakeAll(blob, static_cast<std::size_t>(size));
    return true;
  }

 private:
  // The blob's size out of its header, checked against `type`.
  static std::int64_t BlobSize(const std::string& header, std::string_view type) {
    protozero::pbf_reader fields(header);
    std::string_view found;
    std::int64_t size = 0;
    while (fields.next()) {
      if (fields.tag() == 1 && fields.wire_type() == protozero::pbf_wire_type::length_delimited) {
        const protozero::data_view view = fields.get_view();
        found = std::string_view(view.data(), view.size());
      } else if (fields.tag() == 3 && fields.wire_type() == protozero::pbf_wire_type::varint) {
        size = fields.get_int32();
      } else {
        fields.skip();
      }
    }
    if (size == 0)
      throw osmium::pbf_error("PBF format error: BlobHeader.datasize missing or zero.");
    if (found != type) {
      throw osmium::pbf_error(
          "blob does not have expected type (OSMHeader in first blob, OSMData in following "
          "blobs)");
    }
    if (size < 0 || size > kMaxBlobSize) {
      throw osmium::pbf_error("invalid blob size: " + std::to_string(size));
    }
    return size;
  }

  // Exactly `size` bytes onto `into`, or the file is cut.
  void TakeAll(std::string& into, std::size_t size) {
    Take(into, size);
    if (into.size() < size) throw osmium::pbf_error("unexpected EOF");
  }

  // Up to `size` bytes onto `into`, fewer at the file's end; grown as they
  // come, so that a size the file does not hold costs no memory.
  void Take(std::string& into, std::size_t size) {
    const std::size_t from_head = std::min(size, pending_.size());
    into.append(pending_.substr(0, from_head));
    pending_.remove_prefix(from_head);
    size -= from_head;
    while (size != 0) {
      const std::size_t start = into.size();
      const std::size_t step = std::min<std::size_t>(size, 1 << 20);
      into.resize(start + step);
      const std::size_t got = file_->Read(into.data() + start, step);
      into.resize(start + got);
      size -= got;
      if (got < step) break;
    }
    if (size != 0) CheckOsmRead(source_, *file_);
  }

  SourceFile& source_;
  std::unique_ptr<BinaryFile> file_;
  std::string_view pending_;
};

}  // namespace

void ReadPbfPass(SourceFile& source, std::string_view head, osmium::osm_entity_bits::type which,
                 const OsmBufferHandler& handle) {
  PbfBlobs blobs(source, head);
  std::string blob;
  if (!blobs.Next("OSMHeader", blob)) return;
  // Refuses the features libosmium cannot read (required_features).
  osmium::io::detail::decode_header(blob);
  while (blobs.Next("OSMData", blob)) {
    osmium::memory::Buffer objects =
        osmium::io::detail::PBFDataBlobDecoder(std::move(blob), which, osmium::io::read_meta::no)();
    // A blob's objects overflow into buffers nested inside, the first ones
    // deepest: those come first.
    while (objects.has_nested_buffers()) handle(*objects.get_last_nested());
    handle(objects);
  }
}

}  // namespace korvel
