#pragma once
// What the fuzz targets share: their entry points, and the one way they report
// a broken invariant, the same under libFuzzer and in the normal test build.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace korvel::fuzz {

/// A broken invariant, as the replay test sees it.
struct InvariantFailure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

/// Reports a broken invariant. Under libFuzzer it prints `what` and aborts, so
/// the engine keeps the input; elsewhere it throws InvariantFailure.
[[noreturn]] void Fail(const std::string& what);

inline void Require(bool ok, const std::string& what) {
  if (!ok) Fail(what);
}

// The targets. Each takes any bytes; see its file for the input's layout and
// the invariants it checks. The round trip returns how many points it
// checked, the others 0.
int FuzzParser(const std::uint8_t* data, std::size_t size);
int FuzzNumber(const std::uint8_t* data, std::size_t size);
int FuzzReader(const std::uint8_t* data, std::size_t size);
int FuzzRoundtrip(const std::uint8_t* data, std::size_t size);
int FuzzImportCsv(const std::uint8_t* data, std::size_t size);
int FuzzImportDoc(const std::uint8_t* data, std::size_t size);
/// The KMZ reader: the bytes as a zip archive holding a KML.
int FuzzImportKmz(const std::uint8_t* data, std::size_t size);
int FuzzOsm(const std::uint8_t* data, std::size_t size);
int FuzzMap(const std::uint8_t* data, std::size_t size);

}  // namespace korvel::fuzz

#ifdef KORVEL_FUZZ_ENGINE
/// libFuzzer's entry point for a target function.
#define KORVEL_FUZZ_ENTRY(function)                                                   \
  extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) { \
    korvel::fuzz::function(data, size);                                               \
    return 0;                                                                         \
  }
#else
#define KORVEL_FUZZ_ENTRY(function)
#endif
