// The database reader over any bytes. Where it accepts the input, encoding
// what it read must give the input back byte for byte: a reader that accepts
// what the encoder would never write hides a fault.
//
// Input: the file's bytes.

#include <string>

#include "fuzz/fuzz_check.h"
#include "format/db_encoder.h"
#include "generate/pipeline.h"
#include "format/db_reader.h"
#include "tests/support/memory_file_system.h"

namespace korvel::fuzz {

int FuzzReader(const std::uint8_t* data, std::size_t size) {
  const Bytes input(data, data + size);
  const std::optional<DecodedDb> db = DecodeDb(input, nullptr);
  if (!db) return 0;
  RunState state;
  state.GPS_DB.assign(db->points.begin(), db->points.end());
  state.DB_VERSION = db->version;
  testing::MemoryFileSystem fs;
  Require(WriteDbFile(state, fs, nullptr) == WriteDbResult::kOk,
          "the encoder refused a database the reader accepted");
  const Bytes& again = fs.files[state.TEMP_DB_BIN];
  if (again != input) {
    Fail("database re-encoded differently: " + std::to_string(input.size()) + " bytes became " +
         std::to_string(again.size()));
  }
  return 0;
}

}  // namespace korvel::fuzz

KORVEL_FUZZ_ENTRY(FuzzReader)
