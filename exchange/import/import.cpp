#include "exchange/import/import.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <deque>
#include <memory>
#include <ostream>

#include "camdb/camera_rules.h"
#include "camdb/parser.h"
#include "exchange/export.h"
#include "exchange/formats/fields.h"
#include "exchange/import/dedupe.h"
#include "exchange/import/problem_limit.h"

namespace korvel {
namespace {

constexpr double kDefaultNear = 30, kNearWithoutDirection = 15;

class Importer : public CameraSink {
 public:
  Importer(const ImportOptions& options, FileSystem& fs, const ImportReport& report)
      : options_(options), fs_(fs), report_(report), repeats_(options.shown_per_kind) {
    for (int i = 0; i < kFieldCount; ++i) {
      const auto& map = options.fields.values[static_cast<int>(Column::kType) + i];
      if (map && map->otherwise) defaults_[i] = map->otherwise;
      any_default_ = any_default_ || defaults_[i];
    }
    if (options.dedupe == Dedupe::kNear) {
      near_.emplace(options.near_metres.value_or(kDefaultNear),
                    options.near_metres.value_or(kNearWithoutDirection));
    }
  }

  ImportResult Run() {
    if (!options_.base.empty()) {
      paths_.push_back(options_.base);
      base_ = true;
      SourceFile base(fs_, options_.base, options_.standard_input);
      if (!ReadOne(ImportFormat::kText, base)) return std::move(result_);
    }
    for (const std::string& path : options_.inputs) {
      paths_.push_back(path);
      ImportFormat format = options_.from.value_or(ImportFormat::kText);
      SourceFile file(fs_, path, options_.standard_input);
      if (!options_.from) {
        const SourceOutcome told = DetectImportFormat(file, format, result_.failure);
        if (told != SourceOutcome::kRead) {
          result_.outcome = told == SourceOutcome::kUnreadable ? ImportOutcome::kUnreadable
                                                               : ImportOutcome::kMalformed;
          return std::move(result_);
        }
      }
      base_ = false;
      if (!ReadOne(format, file)) return std::move(result_);
    }
    if (!options_.version_line.empty()) {
      result_.version = options_.version_line;
      result_.version_from = "--version-line";
    }
    if (result_.version.empty()) {
      result_.outcome = ImportOutcome::kNoVersion;
      result_.failure.fault = Fault::kSystem;
      result_.failure.message =
          "no version line: give one with --version-line TEXT (at least 11 characters, "
          "characters 6 to 11 name the output files), or a --base text or an input that "
          "carries one";
      return std::move(result_);
    }
    if (result_.cameras.empty()) {
      result_.outcome = ImportOutcome::kNoCameras;
      result_.failure.path = "import";
      result_.failure.fault = Fault::kInput;
      result_.failure.message = result_.errors != 0
                                    ? "no camera to write: every camera found had an error"
                                    : "no camera to write: the inputs hold none";
      return std::move(result_);
    }
    result_.used_osm =
        std::any_of(result_.cameras.begin(), result_.cameras.end(),
                    [&](const ImportedCamera& camera) { return osm_inputs_[camera.place.input]; });
    if (options_.strict && (result_.errors != 0 || result_.warnings != 0)) {
      result_.outcome = ImportOutcome::kStrictRefused;
    } else if (result_.errors != 0) {
      result_.outcome = ImportOutcome::kRowsSkipped;
    }
    return std::move(result_);
  }

  void Camera(const SourceCamera& source) override {
    if (any_default_) {
      // --values FIELD:*=N also gives the cameras without a value for FIELD.
      SourceCamera given = source;
      for (int i = 0; i < kFieldCount; ++i) {
        if (!given.fields[i]) given.fields[i] = defaults_[i];
      }
      Check(given);
    } else {
      Check(source);
    }
  }

  void Check(const SourceCamera& source) {
    const std::optional<ImportedCamera> checked = DeviceCamera(source, options_.type, *this);
    if (!checked) return;
    ++typed_;
    typeless_ += !source.fields[kType] && !options_.type;
    const ImportedCamera& camera = *checked;
    if (base_) {
      Keep(camera, true);
      return;
    }
    // Marked sample rows go at once; unmarked copies are noted: the last of
    // each may have to go when the input ends.
    if (source.sample) {
      marked_ = true;
      // Only the two sample rows may go unseen: any other marked row is a
      // camera that would otherwise vanish without a word.
      if (!IsSampleCamera(camera, 0) && !IsSampleCamera(camera, 1)) {
        Problem({source.place, ProblemKind::kWarning,
                 "marked as a sample row, but it is not one of the two sample rows: left out"});
      }
      return;
    }
    if (options_.dedupe == Dedupe::kNone) {
      NoteSample(camera, Merge(camera));
      return;
    }
    // Near cameras wait for a batch decided at once; the problems met
    // meanwhile wait behind them.
    if (near_) {
      result_.cameras.push_back(camera);
      ++received_;
      if (++waiting_ == NearIndex::kMaxBatch) MergePending();
      return;
    }
    // The exact index is too large for the cache: each camera waits a few
    // rows behind its prefetch.
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
    if (!result_.version.empty()) return;
    result_.version = line;
    result_.version_from = (base_ ? "--base " : "") + paths_.back();
  }

  const FieldRules& Fields() const override {
    return options_.fields;
  }

  void FromOpenStreetMap() override {
    osm_inputs_.back() = true;
  }

  void Refuse(const Place& place, std::string option, std::string why) override {
    if (refused_.empty()) refused_ = option + ": " + paths_[place.input] + " " + why;
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
  static constexpr std::uint64_t kAhead = 64;

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
    report_(ProblemLine(korvel::Problem{paths_[problem.place.input], problem.place.kind,
                                        problem.place.number, problem.kind, Fault::kInput,
                                        problem.message}));
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

  /// Reports the problems met before waiting camera `next`.
  void ReportHeld(std::uint64_t next) {
    while (!deferred_.empty() && deferred_.front().before <= next) {
      Report(deferred_.front().problem);
      deferred_.pop_front();
    }
  }

  /// Merges the oldest waiting camera, after the problems met before it.
  void MergeNext() {
    const std::uint64_t next = merged_++;
    ReportHeld(next);
    const ImportedCamera& camera = ahead_[next % kAhead];
    NoteSample(camera, Merge(camera));
  }

  /// Merges every waiting camera and reports every held-back problem.
  void Flush() {
    if (near_) MergePending();
    while (merged_ != received_) MergeNext();
    for (const Deferred& held : deferred_) Report(held.problem);
    deferred_.clear();
  }

  /// Notes where a copy of a sample row went: `kept`, or nowhere.
  void NoteSample(const ImportedCamera& camera, std::uint32_t kept) {
    for (int s = 0; s < 2 && drop_samples_; ++s) {
      if (camera.x == sample_x_[s] && IsSampleCamera(camera, s)) last_sample_[s] = {true, kept};
    }
  }

  /// Decides the cameras waiting for --dedupe near after the kept ones in
  /// one batch, or, where they crowd too densely for that, one by one, and
  /// moves each one kept down to the end of those kept before it.
  void MergePending() {
    ImportedCameras& cameras = result_.cameras;
    const std::size_t first = cameras.size() - waiting_;
    IndexKept(first);
    NearMatches matches;
    const bool batch = near_->Resolve(std::span(cameras).subspan(first), matches);
    kept_ = first;
    for (std::size_t at = 0; at < waiting_; ++at) {
      ReportHeld(merged_++);
      // A copy: its place may take a camera kept.
      const ImportedCamera camera = cameras[first + at];
      std::uint32_t kept = ExactIndex::kNone;
      double metres = 0;
      if (!batch) {
        IndexKept(kept_);
        if (const auto found = near_->Find(camera, metres)) {
          SameAs(camera, cameras[*found], metres);
        } else {
          kept = KeepWaiting(camera);
        }
      } else if (NearMatch& match = matches[at]; match.earlier == NearMatch::kNone) {
        // Where the camera lies now, for those the same as it.
        match.earlier = kept = KeepWaiting(camera);
      } else {
        const ImportedCamera& same =
            cameras[match.in_batch ? matches[match.earlier].earlier : match.earlier];
        SameAs(camera, same, MetresApart(camera, same));
      }
#if defined(__GNUC__) || defined(__clang__)
      // The camera a note names lies anywhere: asked for early.
      if (batch && at + kAhead < waiting_) {
        const NearMatch& ahead = matches[at + kAhead];
        if (ahead.earlier != NearMatch::kNone && (!ahead.in_batch || ahead.earlier <= at))
          __builtin_prefetch(
              &cameras[ahead.in_batch ? matches[ahead.earlier].earlier : ahead.earlier]);
      }
#endif
      NoteSample(camera, kept);
    }
    cameras.resize(kept_);
    waiting_ = 0;
  }

  /// Keeps a camera that waited for a near batch; its index.
  std::uint32_t KeepWaiting(const ImportedCamera& camera) {
    result_.cameras[kept_] = camera;
    return static_cast<std::uint32_t>(kept_++);
  }

  /// Adds the kept cameras before `end` that the near index lacks.
  void IndexKept(std::size_t end) {
    for (; near_indexed_ < end; ++near_indexed_)
      near_->Add(result_.cameras[near_indexed_], static_cast<std::uint32_t>(near_indexed_));
  }

  bool ReadOne(ImportFormat format, SourceFile& file) {
    osm_inputs_.push_back(format == ImportFormat::kOsm);
    const auto source = MakeCameraSource(format, options_.type.value_or(1));
    const auto input = static_cast<std::uint32_t>(paths_.size() - 1);
    // A camera text's rows are its own; other sources may hold the sample rows.
    drop_samples_ = format != ImportFormat::kText;
    marked_ = false;
    last_sample_[0] = last_sample_[1] = {};
    const SourceOutcome outcome = source->Read(file, input, *this, result_.failure);
    Flush();
    if (outcome != SourceOutcome::kRead) EndInput(input);
    switch (outcome) {
      case SourceOutcome::kRead:
        break;
      case SourceOutcome::kUnreadable:
        result_.outcome = ImportOutcome::kUnreadable;
        result_.failure.fault = Fault::kSystem;
        return false;
      case SourceOutcome::kMalformed:
        result_.outcome = ImportOutcome::kMalformed;
        result_.failure.fault = Fault::kInput;
        return false;
    }
    if (!refused_.empty()) {
      result_.outcome = ImportOutcome::kUsage;
      result_.failure.fault = Fault::kInput;
      result_.failure.message = refused_;
      return false;
    }
    if (drop_samples_ && !marked_) DropSamples();
    EndInput(input);
    return true;
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
    if (near_) near_->Clear();
    near_indexed_ = 0;
    for (std::uint32_t i = 0; i < result_.cameras.size(); ++i) Index(i, true);
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
    }
    return Keep(camera, false);
  }

  /// Notes `camera` left out as the same as kept camera `kept`.
  void SameAs(const ImportedCamera& camera, const ImportedCamera& kept, double metres) {
    // Built in one piece: a large input meets this note on every few rows.
    const std::string place = PlaceText(kept.place);
    std::string note;
    note.reserve(2 * place.size() + 40);
    note.append("same camera as ")
        .append(place)
        .append(" (")
        .append(std::to_string(std::lround(metres)))
        .append(" m apart); kept ")
        .append(place);
    Report({camera.place, ProblemKind::kNote, std::move(note)});
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
  }

  std::string PlaceText(const Place& place) const {
    return korvel::PlaceText(paths_[place.input], place.kind, place.number);
  }

  const ImportOptions& options_;
  FileSystem& fs_;
  const ImportReport& report_;
  ImportResult result_;
  std::vector<std::string> paths_;
  std::vector<bool> osm_inputs_;  ///< by input: it holds OpenStreetMap data
  std::string refused_;           ///< the usage error of an option an input cannot honour
  /// The `*=N` of --values, by field, for cameras without the field.
  std::optional<std::int64_t> defaults_[kFieldCount];
  bool any_default_ = false;
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
  /// The sample rows' X, which rules out nearly every other camera at once.
  const std::uint32_t sample_x_[2] = {SamplePoint(0).x, SamplePoint(1).x};
  ExactIndex exact_;
  std::optional<NearIndex> near_;  ///< for --dedupe near
  std::size_t near_indexed_ = 0;   ///< the kept cameras added to it
  /// Cameras at the end of result_.cameras waiting for a near batch, and
  /// the cameras kept while it is merged.
  std::size_t waiting_ = 0, kept_ = 0;
  std::array<ImportedCamera, kAhead> ahead_;
  std::uint64_t received_ = 0, merged_ = 0;  ///< cameras received and merged
  std::deque<Deferred> deferred_;
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
    case ImportOutcome::kNoCameras:
      return "nothing written: no camera to write";
    case ImportOutcome::kUsage:
      return "nothing written: an option an input cannot honour";
  }
  return "";
}

std::string NearProblem(const std::string& text) {
  char* end = nullptr;
  const double metres = std::strtod(text.c_str(), &end);
  if (end != text.c_str() && *end == '\0' && metres >= kMinNearMetres && metres <= kMaxNearMetres) {
    return "";
  }
  return text + " is not a distance from 0.1 to 10000 metres";
}

ImportResult RunImport(const ImportOptions& options, FileSystem& fs, const ImportReport& report) {
  return Importer(options, fs, report).Run();
}

void WriteImportText(const ImportResult& result, std::ostream& out) {
  CameraTextWriter text(out, result.version);
  GPS_POINT point;
  for (const ImportedCamera& c : result.cameras) {
    point.x = c.x;
    point.y = c.y;
    point.type = c.type;
    point.speed = c.speed;
    point.flag = c.dirtype;
    point.angle = c.direction;
    // Every kept camera passed the check, so it has a text.
    text.Row(point, c.four_decimals);
  }
}

}  // namespace korvel
