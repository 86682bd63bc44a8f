// OpenStreetMap XML on libosmium's Reader, which reads a file by name: a
// thread feeds it the file's bytes through a pipe that /dev/fd/N names, so
// any BinaryFile streams in bounded memory.

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <osmium/io/bzip2_compression.hpp>
#include <osmium/io/gzip_compression.hpp>
#include <osmium/io/reader.hpp>
#include <osmium/io/xml_input.hpp>

#include "exchange/formats/osm_xml.h"

namespace korvel {
namespace {

// Feeds a file's bytes to libosmium through a pipe, from a thread of its own.
class PipeFeed {
 public:
  /// Feeds `prefix`, the file's first bytes already read, then the rest.
  PipeFeed(BinaryFile& file, std::string prefix) : file_(file), prefix_(std::move(prefix)) {
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

  /// Waits for the feeder to stop.
  void Finish() {
    CloseReadEnd();
    if (feeder_.joinable()) feeder_.join();
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
      for (std::size_t sent = 0; sent < got && open;) {
        const ssize_t wrote = ::write(write_end_, buffer.data() + sent, got - sent);
        if (wrote > 0) sent += static_cast<std::size_t>(wrote);
        open = wrote > 0 || (wrote < 0 && errno == EINTR);
      }
    }
    ::close(write_end_);
  }

  BinaryFile& file_;
  std::string prefix_;
  int read_end_ = -1, write_end_ = -1;
  std::thread feeder_;
};

}  // namespace

void ReadOsmXmlPass(SourceFile& source, std::string_view head, const std::string& format,
                    osmium::osm_entity_bits::type which, const OsmBufferHandler& handle) {
  const std::unique_ptr<BinaryFile> file = OpenOsmPass(source, head);
  try {
    PipeFeed feed(*file, std::string(head));
    osmium::io::Reader reader(osmium::io::File(feed.name(), format), which,
                              osmium::io::read_meta::no);
    feed.CloseReadEnd();
    while (osmium::memory::Buffer buffer = reader.read()) handle(buffer);
    reader.close();
    feed.Finish();
  } catch (const std::exception& error) {
    // A failed read cuts the XML short: the read is the fault.
    CheckOsmRead(source, *file);
    // Other XML, such as GPX, is no OpenStreetMap file.
    if (dynamic_cast<const osmium::xml_error*>(&error) &&
        std::string_view(error.what()).find("Unknown top-level element") !=
            std::string_view::npos) {
      throw OsmSourceFailure{FileProblem(source.path(), std::string(kNotOsmFile))};
    }
    throw;
  }
  CheckOsmRead(source, *file);
}

}  // namespace korvel
