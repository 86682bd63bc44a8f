// The OpenStreetMap reader on libosmium. A file is read in up to two streaming
// passes: the enforcement relations first, since they come after the nodes they
// name, then the nodes, keeping only the cameras and the `from` nodes.

#include "exchange/formats/osm_reader.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include <osmium/io/bzip2_compression.hpp>
#include <osmium/io/gzip_compression.hpp>
#include <osmium/io/pbf_input.hpp>
#include <osmium/io/reader.hpp>
#include <osmium/io/xml_input.hpp>
#include <osmium/osm/node.hpp>
#include <osmium/osm/relation.hpp>
#include <protozero/exception.hpp>
#include <protozero/pbf_reader.hpp>

#include "exchange/formats/osm_tags.h"

namespace korvel {
namespace {

constexpr std::string_view kNotOsm = "not an OpenStreetMap file";

// A failure of the source itself, out of a pass.
struct SourceFailure {
  Problem problem;
};

// libosmium's format name for the file's first bytes, or nullopt. The
// extension is never asked: a .osm may hold PBF.
std::optional<std::string> FormatOf(std::string_view bytes) {
  // A PBF file starts with the 4-byte length of a blob header whose first
  // field is the type "OSMHeader".
  if (bytes.size() >= 15 && bytes.substr(4, 11) == std::string_view("\x0a\x09OSMHeader", 11)) {
    return "pbf";
  }
  if (bytes.starts_with("\x1f\x8b")) return "osm.gz";
  if (bytes.starts_with("BZh")) return "osm.bz2";
  std::string_view text = bytes;
  if (text.starts_with("\xef\xbb\xbf")) text.remove_prefix(3);
  const std::size_t start = text.find_first_not_of(" \t\r\n");
  if (start != std::string_view::npos && text[start] == '<') return "osm";
  return std::nullopt;
}

// Follows a PBF file's blocks (a 4-byte length, a header of that length
// naming the size of the data, the data) over the bytes as they pass, to
// tell a file cut inside a block's length, which libosmium takes for its end.
class PbfBlocks {
 public:
  void Pass(const char* data, std::size_t size) {
    while (size != 0 && following_) {
      std::size_t take = 0;
      if (stage_ == Stage::kData) {
        take = static_cast<std::size_t>(std::min<std::uint64_t>(size, left_));
        left_ -= take;
        if (left_ == 0) Next(Stage::kLength);
      } else {
        take = std::min<std::size_t>(size, static_cast<std::size_t>(left_));
        held_.append(data, take);
        left_ -= take;
        if (left_ == 0) Complete();
      }
      data += take;
      size -= take;
    }
  }

  /// Whether the bytes so far end inside a block's length.
  bool cut_in_length() const { return following_ && stage_ == Stage::kLength && !held_.empty(); }

 private:
  enum class Stage { kLength, kHeader, kData };

  void Next(Stage stage) {
    stage_ = stage;
    held_.clear();
    left_ = stage == Stage::kLength ? 4 : left_;
  }

  void Complete() {
    if (stage_ == Stage::kLength) {
      const auto byte = [&](int i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(held_[i]));
      };
      const std::uint32_t length = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
      // libosmium refuses longer headers itself.
      following_ = length != 0 && length <= 64 * 1024;
      left_ = length;
      stage_ = Stage::kHeader;
      held_.clear();
      return;
    }
    // The header's field 3 is the data's size.
    std::uint64_t data_size = 0;
    try {
      protozero::pbf_reader header(held_);
      while (header.next(3, protozero::pbf_wire_type::varint)) data_size = header.get_int32();
    } catch (const protozero::exception&) {
      following_ = false;
    }
    left_ = data_size;
    held_.clear();
    stage_ = Stage::kData;
    if (left_ == 0) following_ = false;
  }

  Stage stage_ = Stage::kLength;
  std::uint64_t left_ = 4;
  std::string held_;
  bool following_ = true;
};

// Feeds a file's bytes to libosmium through a pipe, from a thread of its own:
// libosmium reads a file by name, and /dev/fd/N names the pipe, so any
// BinaryFile streams in bounded memory.
class PipeFeed {
 public:
  /// Feeds `prefix`, the file's first bytes already read, then the rest.
  PipeFeed(BinaryFile& file, bool pbf, std::string prefix)
      : file_(file), pbf_(pbf), prefix_(std::move(prefix)) {
    int ends[2];
    if (::pipe(ends) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
    read_end_ = ends[0];
    write_end_ = ends[1];
    feeder_ = std::thread([this] { Feed(); });
  }
  PipeFeed(const PipeFeed&) = delete;
  PipeFeed& operator=(const PipeFeed&) = delete;
  ~PipeFeed() {
    CloseReadEnd();
    if (feeder_.joinable()) feeder_.join();
  }

  std::string name() const { return "/dev/fd/" + std::to_string(read_end_); }

  /// Once libosmium holds the pipe open itself: then its end alone stops the feeder.
  void CloseReadEnd() {
    if (read_end_ >= 0) ::close(read_end_);
    read_end_ = -1;
  }

  /// Waits for the feeder; whether the file could be read, and whether it
  /// ends inside a PBF block's length.
  void Finish(bool& read_failed, bool& cut) {
    CloseReadEnd();
    if (feeder_.joinable()) feeder_.join();
    read_failed = read_failed_;
    cut = pbf_ && blocks_.cut_in_length();
  }

 private:
  void Feed() {
    // A reader that stops early closes the pipe: the write then fails with
    // EPIPE, and the signal, blocked here, dies with this thread.
    sigset_t pipe_signal;
    sigemptyset(&pipe_signal);
    sigaddset(&pipe_signal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_signal, nullptr);
    std::vector<char> buffer(prefix_.begin(), prefix_.end());
    buffer.resize(std::max<std::size_t>(buffer.size(), 1 << 16));
    for (bool open = true; open;) {
      const std::size_t got =
          !prefix_.empty() ? prefix_.size() : file_.Read(buffer.data(), buffer.size());
      prefix_.clear();
      if (got == 0) break;
      if (pbf_) blocks_.Pass(buffer.data(), got);
      for (std::size_t sent = 0; sent < got && open;) {
        const ssize_t wrote = ::write(write_end_, buffer.data() + sent, got - sent);
        if (wrote > 0) sent += static_cast<std::size_t>(wrote);
        open = wrote > 0 || (wrote < 0 && errno == EINTR);
      }
    }
    read_failed_ = file_.failed();
    ::close(write_end_);
  }

  BinaryFile& file_;
  bool pbf_;
  std::string prefix_;
  int read_end_ = -1, write_end_ = -1;
  PbfBlocks blocks_;
  bool read_failed_ = false;
  std::thread feeder_;
};

// One pass over the file, which must start with `head` as it did when its
// format was told: a pipe gives nothing the second time.
template <typename Handle>
void EachBuffer(SourceFile& source, std::string_view head, const std::string& format,
                osmium::osm_entity_bits::type which, Handle handle) {
  Problem failure;
  const std::unique_ptr<BinaryFile> file = source.Open(failure);
  if (!file) throw SourceFailure{failure};
  std::string first(head.size(), '\0');
  std::size_t got = 0;
  for (std::size_t more = 1; got < first.size() && more != 0; got += more) {
    more = file->Read(first.data() + got, first.size() - got);
  }
  first.resize(got);
  if (first != head && !file->failed()) {
    throw SourceFailure{FileProblem(source.path(),
                                    "the file reads otherwise the second time (a pipe?); "
                                    "OpenStreetMap data is read twice, so give a file",
                                    Fault::kSystem)};
  }
  bool read_failed = false, cut = false;
  {
    PipeFeed feed(*file, format == "pbf", std::move(first));
    osmium::io::Reader reader(osmium::io::File(feed.name(), format), which,
                              osmium::io::read_meta::no);
    feed.CloseReadEnd();
    while (osmium::memory::Buffer buffer = reader.read()) handle(buffer);
    reader.close();
    feed.Finish(read_failed, cut);
  }
  if (read_failed) {
    throw SourceFailure{FileProblem(source.path(), "the file cannot be read", Fault::kSystem)};
  }
  if (cut) throw osmium::pbf_error("truncated data (EOF encountered)");
}

/// The tags of an OSM object, by key.
OsmTagLookup Tags(const osmium::TagList& tags) {
  return [&tags](std::string_view key) -> std::optional<std::string_view> {
    const char* value = tags[std::string(key).c_str()];
    return value ? std::optional<std::string_view>(value) : std::nullopt;
  };
}

/// Hands the relations, then the nodes, to the assembler.
void ReadCameras(SourceFile& source, std::string_view head, const std::string& format,
                 OsmCameraAssembler& cameras) {
  std::vector<OsmMember> members;
  EachBuffer(source, head, format, osmium::osm_entity_bits::relation,
             [&](const osmium::memory::Buffer& buffer) {
               for (const osmium::Relation& relation : buffer.select<osmium::Relation>()) {
                 members.clear();
                 for (const osmium::RelationMember& member : relation.members()) {
                   members.push_back(
                       {member.type() == osmium::item_type::node, member.ref(), member.role()});
                 }
                 cameras.Relation(relation.id(), Tags(relation.tags()), members);
               }
             });
  EachBuffer(source, head, format, osmium::osm_entity_bits::node,
             [&](const osmium::memory::Buffer& buffer) {
               for (const osmium::Node& node : buffer.select<osmium::Node>()) {
                 const osmium::Location location = node.location();
                 cameras.Node(node.id(), node.visible(),
                              location.is_defined()
                                  ? std::optional<OsmLocation>(OsmLocation{
                                        location.lon_without_check(), location.lat_without_check()})
                                  : std::nullopt,
                              Tags(node.tags()));
               }
             });
  cameras.Finish();
}

}  // namespace

bool ReadOsmCameras(SourceFile& source, const std::function<void(const OsmCamera&)>& camera,
                    const std::function<void(const OsmProblem&)>& problem, Problem& failure,
                    const FieldRules& rules) {
  const auto fail = [&](std::string why) {
    failure = FileProblem(source.path(), std::move(why));
    return false;
  };
  std::string_view peeked;
  if (!source.Peek(peeked, failure)) return false;
  // A copy: the peeked bytes go to the first pass's file.
  const std::string head(peeked);
  const std::optional<std::string> format = FormatOf(head);
  if (!format) return fail(std::string(kNotOsm));
  try {
    OsmCameraAssembler cameras(rules, camera, problem);
    ReadCameras(source, head, *format, cameras);
    return true;
  } catch (const SourceFailure& error) {
    failure = error.problem;
    return false;
  } catch (const osmium::xml_error& error) {
    const bool other_xml =
        std::string_view(error.what()).find("Unknown top-level element") != std::string_view::npos;
    return fail(other_xml ? std::string(kNotOsm) : error.what());
  } catch (const std::exception& error) {
    return fail(error.what());
  } catch (...) {
    return fail("the OpenStreetMap reader failed");
  }
}

}  // namespace korvel
