#include "exchange/import/import.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <deque>
#include <memory>
#include <ostream>
#include <unordered_map>

#include "camdb/parser.h"
#include "exchange/export.h"
#include "exchange/import/fields.h"
#include "exchange/import/problem_limit.h"
#include "exchange/import/readers.h"

namespace korvel {
namespace {

constexpr double kDefaultNear = 30, kNearWithoutDirection = 15, kMaxAngle = 45;
constexpr double kEarthRadius = 6371008.8;
constexpr double kDegree = 3.14159265358979323846 / 180;

using Cameras = decltype(ImportResult::cameras);

/// What identifies a camera once stored.
struct ExactKey {
  std::uint64_t position, values;
  bool operator==(const ExactKey&) const = default;
};

ExactKey KeyOf(const ImportedCamera& c) {
  return {std::uint64_t{c.x} << 32 | c.y, std::uint64_t{c.type} << 40 |
                                              std::uint64_t{c.speed} << 32 |
                                              std::uint64_t{c.dirtype} << 24 | c.direction};
}

/// The kept cameras by ExactKey: an open-addressing table of 8-byte slots,
/// each an index into them and the 32-bit hash of its key, which also places
/// it; a probe rarely reads a camera, and a node-based map would cost more
/// than the cameras.
class ExactIndex {
 public:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  /// The index of a kept camera with `camera`'s key, or kNone.
  std::uint32_t Find(const ImportedCamera& camera, const Cameras& kept) const {
    if (slots_.empty()) return kNone;
    const ExactKey key = KeyOf(camera);
    const std::uint32_t hash = Hash(key);
    for (std::size_t at = hash & mask_;; at = (at + 1) & mask_) {
      const std::uint64_t slot = slots_[at];
      if (slot == kEmpty) return kNone;
      const auto index = static_cast<std::uint32_t>(slot);
      if ((slot >> 32) == hash && KeyOf(kept[index]) == key) return index;
    }
  }
  /// Where a search for `camera` starts: null data() and a zero mask while
  /// the table is empty. For a prefetch, which never faults.
  const std::uint64_t* Start(const ImportedCamera& camera) const {
    return slots_.data() + (Hash(KeyOf(camera)) & mask_);
  }
  /// Adds kept[index], which no other kept camera's key equals.
  void Add(std::uint32_t index, const Cameras& kept) {
    if (2 * (count_ + 1) > slots_.size()) Grow();
    Place(Hash(KeyOf(kept[index])), index);
    ++count_;
  }

 private:
  static constexpr std::uint64_t kEmpty = ~std::uint64_t{0};

  static std::uint32_t Hash(const ExactKey& key) {
    const std::uint64_t h =
        key.position * 0x9E3779B97F4A7C15ull ^ key.values * 0xC2B2AE3D27D4EB4Full;
    return static_cast<std::uint32_t>((h ^ (h >> 29)) >> 32);
  }
  void Place(std::uint32_t hash, std::uint32_t index) {
    std::size_t at = hash & mask_;
    while (slots_[at] != kEmpty) at = (at + 1) & mask_;
    slots_[at] = std::uint64_t{hash} << 32 | index;
  }
  /// Twice the slots, each old one placed by its stored hash.
  void Grow() {
    Slots old(std::max<std::size_t>(slots_.size() * 2, 1024), kEmpty);
    old.swap(slots_);
    mask_ = slots_.size() - 1;
    for (std::uint64_t slot : old) {
      if (slot != kEmpty)
        Place(static_cast<std::uint32_t>(slot >> 32), static_cast<std::uint32_t>(slot));
    }
  }

  using Slots = std::vector<std::uint64_t, HugePageAllocator<std::uint64_t>>;
  Slots slots_;
  std::size_t mask_ = 0;
  std::size_t count_ = 0;
};

double Metres(const ImportedCamera& a, const ImportedCamera& b) {
  const double lat = (a.y + b.y) / 2e4 * kDegree;
  const double dx = (static_cast<double>(a.x) - b.x) / 1e4 * kDegree * std::cos(lat);
  const double dy = (static_cast<double>(a.y) - b.y) / 1e4 * kDegree;
  return std::hypot(dx, dy) * kEarthRadius;
}

std::string NumberText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

class Importer : public CameraSink {
 public:
  Importer(const ImportOptions& options, const ImportReport& report)
      : options_(options), report_(report), repeats_(options.shown_per_kind) {
    near_ = options.near_metres.value_or(kDefaultNear);
    near_blind_ = options.near_metres.value_or(kNearWithoutDirection);
    // A grid cell as wide as the largest distance, in units of latitude:
    // every match lies in a neighbouring cell.
    cell_ = std::max<std::uint32_t>(1, static_cast<std::uint32_t>(std::max(near_, near_blind_) /
                                                                  (kEarthRadius * kDegree) * 1e4) +
                                           1);
  }

  ImportResult Run() {
    if (!options_.base.empty()) {
      paths_.push_back(options_.base);
      base_ = true;
      if (!ReadOne(ImportFormat::kText)) return std::move(result_);
    }
    for (const std::string& path : options_.inputs) {
      paths_.push_back(path);
      ImportFormat format = options_.from.value_or(ImportFormat::kText);
      if (!options_.from) {
        const SourceOutcome told = DetectImportFormat(path, format, result_.failure);
        if (told != SourceOutcome::kRead) {
          result_.outcome = told == SourceOutcome::kUnreadable ? ImportOutcome::kUnreadable
                                                               : ImportOutcome::kMalformed;
          return std::move(result_);
        }
      }
      base_ = false;
      if (!ReadOne(format)) return std::move(result_);
    }
    if (!options_.version_line.empty()) result_.version = options_.version_line;
    if (result_.version.empty()) {
      result_.outcome = ImportOutcome::kNoVersion;
      result_.failure =
          "no version line: give one with --version-line TEXT (at least 11 characters, "
          "characters 6 to 11 name the output files), or a --base text or an input that "
          "carries one";
      return std::move(result_);
    }
    if (options_.strict && (result_.errors != 0 || result_.warnings != 0)) {
      result_.outcome = ImportOutcome::kStrictRefused;
    } else if (result_.errors != 0) {
      result_.outcome = ImportOutcome::kRowsSkipped;
    }
    return std::move(result_);
  }

  void Camera(const SourceCamera& source) override {
    ImportedCamera camera;
    if (!Check(source, camera)) return;
    if (base_) {
      Keep(camera, true);
      return;
    }
    // Marked sample rows go at once; unmarked copies are noted: the last of
    // each may have to go when the input ends.
    if (source.sample) {
      marked_ = true;
      return;
    }
    if (options_.dedupe != Dedupe::kExact) {
      MergeOne(camera);
      return;
    }
    // The exact index is too large for the cache: each camera waits a few
    // rows behind its prefetch, and the problems met meanwhile behind it.
#if defined(__GNUC__) || defined(__clang__)
    // Here, not in a function of its own: GCC takes such a function for one
    // without effects and drops the call.
    __builtin_prefetch(exact_.Start(camera));
#endif
    if (received_ - merged_ == kAhead) MergeNext();
    ahead_[received_++ % kAhead] = camera;
  }

  void Problem(const SourceProblem& problem) override {
    if (merged_ != received_) {
      deferred_.push_back({received_, problem});
      return;
    }
    Report(problem);
  }

  void Version(const std::string& line) override {
    if (result_.version.empty()) result_.version = line;
  }

  const FieldRules& Fields() const override {
    return options_.fields;
  }

  void FromOpenStreetMap() override {
    result_.used_osm = true;
  }

  void Expect(std::uint64_t rows) override {
    // Room for the rows at once spares the copies of growing by doubling.
    // Capped, and in huge pages that only become memory when written: room
    // for rows that turn out duplicates or errors costs address space only.
    constexpr std::uint64_t kMaxExpected = std::uint64_t{1} << 22;
    result_.cameras.reserve(result_.cameras.size() +
                            static_cast<std::size_t>(std::min(rows, kMaxExpected)));
  }

 private:
  /// Cameras between their prefetch and their Merge.
  static constexpr std::uint64_t kAhead = 16;

  /// A problem held back until the cameras before it are merged.
  struct Deferred {
    std::uint64_t before;  ///< the number of cameras received before it
    SourceProblem problem;
  };

  /// Counts `problem` and hands it on as a line, at once.
  void Report(const SourceProblem& problem) {
    switch (problem.kind) {
      case ProblemKind::kError:
        ++result_.errors;
        break;
      case ProblemKind::kWarning:
        ++result_.warnings;
        break;
      case ProblemKind::kNote:
        ++result_.notes;
        break;
    }
    if (!repeats_.Pass(problem)) return;
    report_(PlaceText(problem.place) + ": " + std::string(ProblemKindText(problem.kind)) + ": " +
            problem.message);
  }

  /// The end of an input: one warning for the cameras that took the default
  /// TYPE, then the counts of the problems held back.
  void EndInput(std::uint32_t input) {
    const Place file{input, PlaceKind::kFile, 0};
    if (typeless_ != 0) {
      const std::string count =
          typeless_ == typed_
              ? (typeless_ == 1 ? std::string("the camera")
                                : "all " + std::to_string(typeless_) + " cameras")
              : std::to_string(typeless_) + " of " + std::to_string(typed_) + " cameras";
      Problem({file, ProblemKind::kWarning,
               "no TYPE: " + count + (typeless_ == 1 ? " takes" : " take") +
                   " TYPE 1 (--type N or --field TYPE=NAME)"});
    }
    typeless_ = typed_ = 0;
    for (const HeldBack& held : repeats_.TakeHeld()) {
      report_(PlaceText(file) + ": " + HeldBackText(held));
    }
  }

  /// Merges the oldest waiting camera, after the problems met before it.
  void MergeNext() {
    const std::uint64_t next = merged_++;
    while (!deferred_.empty() && deferred_.front().before <= next) {
      Report(deferred_.front().problem);
      deferred_.pop_front();
    }
    MergeOne(ahead_[next % kAhead]);
  }

  /// Merges every waiting camera and reports every held-back problem.
  void Flush() {
    while (merged_ != received_) MergeNext();
    for (const Deferred& held : deferred_) Report(held.problem);
    deferred_.clear();
  }

  void MergeOne(const ImportedCamera& camera) {
    const std::uint32_t kept = Merge(camera);
    for (int s = 0; s < 2 && drop_samples_; ++s) {
      if (IsSample(camera, s)) last_sample_[s] = {true, kept};
    }
  }

  bool ReadOne(ImportFormat format) {
    if (format == ImportFormat::kOsm) result_.used_osm = true;
    const auto source = MakeCameraSource(format, options_.type.value_or(1));
    const auto input = static_cast<std::uint32_t>(paths_.size() - 1);
    // A camera text's rows are its own; other sources may hold the sample rows.
    drop_samples_ = format != ImportFormat::kText;
    marked_ = false;
    last_sample_[0] = last_sample_[1] = {};
    const SourceOutcome outcome = source->Read(paths_.back(), input, *this, result_.failure);
    Flush();
    if (outcome != SourceOutcome::kRead) EndInput(input);
    switch (outcome) {
      case SourceOutcome::kRead:
        break;
      case SourceOutcome::kUnreadable:
        result_.outcome = ImportOutcome::kUnreadable;
        return false;
      case SourceOutcome::kMalformed:
        result_.outcome = ImportOutcome::kMalformed;
        return false;
    }
    if (drop_samples_ && !marked_) DropSamples();
    EndInput(input);
    return true;
  }

  static bool IsSample(const ImportedCamera& c, int which) {
    static const GPS_POINT kSamples[2] = {SamplePoint(0), SamplePoint(1)};
    const GPS_POINT& sample = kSamples[which];
    return c.x == sample.x && c.y == sample.y && c.type == sample.type && c.speed == sample.speed &&
           c.dirtype == sample.flag && c.direction == sample.angle;
  }

  /// Our own map exports mark the two sample rows; other sources that hold
  /// them lose their last copy of each, as the tsv export leaves it out:
  /// generate appends them again. A last copy already dropped as a duplicate
  /// leaves the earlier one, which stands for a row of the text.
  void DropSamples() {
    std::vector<std::uint32_t> gone;
    for (const SampleCopy& copy : last_sample_) {
      if (!copy.seen || copy.kept == ExactIndex::kNone) continue;
      gone.push_back(copy.kept);
      Problem({result_.cameras[copy.kept].place, ProblemKind::kNote,
               "one of the two sample rows generate adds to every database: left out"});
    }
    if (gone.empty()) return;
    std::sort(gone.rbegin(), gone.rend());
    for (std::uint32_t index : gone) {
      result_.cameras.erase(result_.cameras.begin() + static_cast<std::ptrdiff_t>(index));
    }
    exact_ = ExactIndex();
    grid_.clear();
    for (std::uint32_t i = 0; i < result_.cameras.size(); ++i) Index(i, true);
  }

  /// The device's limits, written once for every format.
  bool Check(const SourceCamera& s, ImportedCamera& camera) {
    camera.place = s.place;
    const double degrees[2] = {s.x, s.y};
    static constexpr const char* kAxis[2] = {"longitude X", "latitude Y"};
    static constexpr double kLimit[2] = {180, 90};
    std::uint32_t units[2] = {};
    for (int i = 0; i < 2; ++i) {
      const double d = degrees[i];
      if (std::isnan(d)) return Reject(s.place, std::string(kAxis[i]) + " missing or unreadable");
      if (d < 0) {
        return Reject(s.place, std::string(kAxis[i]) + " " + NumberText(d) +
                                   " is west or south: the device stores no sign");
      }
      if (d > kLimit[i]) {
        return Reject(s.place, std::string(kAxis[i]) + " " + NumberText(d) + " is outside -" +
                                   NumberText(kLimit[i]) + " to " + NumberText(kLimit[i]));
      }
      const auto& stored = i == 0 ? s.stored_x : s.stored_y;
      units[i] = stored ? *stored : static_cast<std::uint32_t>(std::llround(d * 1e4));
      // Tested here once: the writer formats by the bit.
      if (FourDecimalsReadBack(units[i])) {
        camera.four_decimals |= static_cast<std::uint8_t>(1 << i);
      } else if (!CoordinateText(units[i])) {
        return Reject(s.place, std::string(kAxis[i]) + " " + NumberText(d) +
                                   " has no text that generate reads back");
      }
    }
    if (units[0] == 0 && units[1] == 0) return Reject(s.place, "the position 0,0 is no camera");
    camera.x = units[0];
    camera.y = units[1];
    std::int64_t values[kFieldCount] = {};
    for (int i = 0; i < kFieldCount; ++i) {
      if (i == kType) ++typed_;
      if (s.fields[i]) {
        values[i] = *s.fields[i];
      } else if (i == kType) {
        values[i] = options_.type.value_or(1);
        typeless_ += !options_.type;
      } else if (i == kDirType) {
        // A direction read without a DIRTYPE is a direction the device uses.
        values[i] = s.fields[kDirection] ? 1 : 0;
      }
      const std::int64_t top = i == kDirection ? 359 : 255;
      if (values[i] < 0 || values[i] > top) {
        return Reject(s.place, std::string(FieldName(static_cast<Field>(i))) + " " +
                                   std::to_string(values[i]) + " is outside 0 to " +
                                   std::to_string(top));
      }
    }
    camera.type = static_cast<std::uint8_t>(values[kType]);
    camera.speed = static_cast<std::uint8_t>(values[kSpeed]);
    camera.dirtype = static_cast<std::uint8_t>(values[kDirType]);
    camera.direction = static_cast<std::uint16_t>(values[kDirection]);
    return true;
  }

  bool Reject(const Place& place, std::string message) {
    Problem({place, ProblemKind::kError, message + "; skipped"});
    return false;
  }

  /// Takes `camera` unless it repeats one kept before; its index, or kNone.
  std::uint32_t Merge(const ImportedCamera& camera) {
    if (options_.dedupe == Dedupe::kExact) {
      const std::uint32_t found = exact_.Find(camera, result_.cameras);
      if (found != ExactIndex::kNone) {
        const std::string kept = PlaceText(result_.cameras[found].place);
        Report({camera.place, ProblemKind::kNote,
                "same camera as " + kept + " (identical); kept " + kept});
        return ExactIndex::kNone;
      }
    } else if (options_.dedupe == Dedupe::kNear) {
      double metres = 0;
      if (const auto match = NearMatch(camera, metres)) {
        const std::string kept = PlaceText(result_.cameras[*match].place);
        Report({camera.place, ProblemKind::kNote,
                "same camera as " + kept + " (" + std::to_string(std::lround(metres)) +
                    " m apart); kept " + kept});
        return ExactIndex::kNone;
      }
    }
    return Keep(camera, false);
  }

  /// Keeps `camera`; `repeats` when it may repeat one kept before (a base
  /// row), which then stays the one found.
  std::uint32_t Keep(const ImportedCamera& camera, bool repeats) {
    const auto index = static_cast<std::uint32_t>(result_.cameras.size());
    result_.cameras.push_back(camera);
    Index(index, repeats);
    return index;
  }

  void Index(std::uint32_t index, bool repeats) {
    const ImportedCamera& camera = result_.cameras[index];
    if (options_.dedupe == Dedupe::kExact &&
        (!repeats || exact_.Find(camera, result_.cameras) == ExactIndex::kNone)) {
      exact_.Add(index, result_.cameras);
    }
    if (options_.dedupe == Dedupe::kNear) {
      grid_[CellOf(camera.x / cell_, camera.y / cell_)].push_back(index);
    }
  }

  static std::uint64_t CellOf(std::uint32_t column, std::uint32_t row) {
    return std::uint64_t{column} << 32 | row;
  }

  /// The earliest kept camera that is the same as `camera`.
  std::optional<std::uint32_t> NearMatch(const ImportedCamera& camera, double& metres) const {
    // A cell spans fewer metres of longitude away from the equator.
    const double shrink = std::cos(std::min(camera.y / 1e4, 89.0) * kDegree);
    const auto columns = static_cast<std::int64_t>(std::ceil(1 / shrink));
    const std::int64_t cx = camera.x / cell_, cy = camera.y / cell_;
    std::optional<std::uint32_t> best;
    for (std::int64_t row = cy - 1; row <= cy + 1; ++row) {
      for (std::int64_t column = cx - columns; column <= cx + columns; ++column) {
        if (row < 0 || column < 0) continue;
        const auto cell =
            grid_.find(CellOf(static_cast<std::uint32_t>(column), static_cast<std::uint32_t>(row)));
        if (cell == grid_.end()) continue;
        for (std::uint32_t index : cell->second) {
          if (best && index > *best) continue;
          const ImportedCamera& other = result_.cameras[index];
          const bool blind = camera.dirtype == 0 || other.dirtype == 0;
          if (!blind) {
            const int apart = std::abs(int{camera.direction} - int{other.direction}) % 360;
            if (std::min(apart, 360 - apart) > kMaxAngle) continue;
          }
          const double distance = Metres(camera, other);
          if (distance <= (blind ? near_blind_ : near_)) {
            best = index;
            metres = distance;
          }
        }
      }
    }
    return best;
  }

  std::string PlaceText(const Place& place) const {
    const std::string& path = paths_[place.input];
    switch (place.kind) {
      case PlaceKind::kFile:
        return path;
      case PlaceKind::kLine:
        return path + ":" + std::to_string(place.number);
      case PlaceKind::kFeature:
        return path + ": feature " + std::to_string(place.number);
      case PlaceKind::kNode:
        return path + ": node " + std::to_string(place.number);
    }
    return path;
  }

  const ImportOptions& options_;
  const ImportReport& report_;
  ImportResult result_;
  std::vector<std::string> paths_;
  bool base_ = false;
  /// The last copy of a sample point in the input being read, and where it
  /// was kept (kNone: dropped as a duplicate).
  struct SampleCopy {
    bool seen = false;
    std::uint32_t kept = ExactIndex::kNone;
  };
  SampleCopy last_sample_[2];
  bool drop_samples_ = false;  ///< the input being read may hold sample rows
  bool marked_ = false;        ///< it marks its sample rows
  double near_ = 0, near_blind_ = 0;
  std::uint32_t cell_ = 1;  ///< grid cell side in 1/10000 degree
  ExactIndex exact_;
  std::array<ImportedCamera, kAhead> ahead_;
  std::uint64_t received_ = 0, merged_ = 0;  ///< cameras put in ahead_ and taken out
  std::deque<Deferred> deferred_;
  std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> grid_;
  RepeatLimit repeats_;
  /// In the input being read: cameras whose TYPE was checked, and those that
  /// took the default.
  std::uint64_t typed_ = 0, typeless_ = 0;
};

}  // namespace

std::string_view ImportOutcomeText(ImportOutcome outcome) {
  switch (outcome) {
    case ImportOutcome::kDone:
      return "every camera imported";
    case ImportOutcome::kRowsSkipped:
      return "rows with errors left out";
    case ImportOutcome::kStrictRefused:
      return "nothing written: --strict and problems found";
    case ImportOutcome::kMalformed:
      return "nothing written: an input is not what its format says";
    case ImportOutcome::kUnreadable:
      return "nothing written: an input cannot be read";
    case ImportOutcome::kNoVersion:
      return "nothing written: no version line";
  }
  return "";
}

std::string_view ProblemKindText(ProblemKind kind) {
  switch (kind) {
    case ProblemKind::kError:
      return "error";
    case ProblemKind::kWarning:
      return "warning";
    case ProblemKind::kNote:
      return "note";
  }
  return "";
}

ImportResult RunImport(const ImportOptions& options, const ImportReport& report) {
  return Importer(options, report).Run();
}

void WriteImportText(const ImportResult& result, std::ostream& out) {
  // Rows go straight into a chunk of their own, which is written when nearly
  // full: no string grows or copies a field at a time.
  constexpr std::size_t kChunk = 1 << 16;
  // A row's most: two CoordinateText texts (under 64 bytes each, as
  // FloatText makes them), four numbers, TABs and the line end.
  constexpr std::size_t kMaxRow = 192;
  const auto chunk = std::make_unique<char[]>(kChunk + kMaxRow);
  const std::string head = result.version + "\r\nX\tY\tTYPE\tSPEED\tDIRTYPE\tDIRECTION\r\n";
  out.write(head.data(), static_cast<std::streamsize>(head.size()));
  char* end = chunk.get();
  for (const ImportedCamera& c : result.cameras) {
    const std::uint32_t units[2] = {c.x, c.y};
    for (int i = 0; i < 2; ++i) {
      if (c.four_decimals & (1 << i)) {
        end += FormatDegrees(units[i], end, true);
      } else {
        // Every kept camera passed the check, so it has a text.
        const std::string text = CoordinateText(units[i]).value_or(std::string());
        end = std::copy_n(text.data(), std::min<std::size_t>(text.size(), 63), end);
      }
      *end++ = '\t';
    }
    end = std::to_chars(end, end + 4, unsigned{c.type}).ptr;
    for (unsigned value : {unsigned{c.speed}, unsigned{c.dirtype}, unsigned{c.direction}}) {
      *end++ = '\t';
      end = std::to_chars(end, end + 4, value).ptr;
    }
    *end++ = '\r';
    *end++ = '\n';
    if (end - chunk.get() >= static_cast<std::ptrdiff_t>(kChunk)) {
      out.write(chunk.get(), end - chunk.get());
      end = chunk.get();
    }
  }
  out.write(chunk.get(), end - chunk.get());
}

}  // namespace korvel
