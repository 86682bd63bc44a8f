#pragma once
// Encodes the parsed camera points into the device database image.

#include <iosfwd>
#include <vector>

#include "camdb/db_state.h"
#include "format/db_layout.h"
#include "platform/bytes.h"

namespace korvel {

/// The encoder's state: the parsed points and version line, the cells found
/// in them and the encoded file.
struct DbEncoderState : DbState {
  std::vector<GPS_HEADER> GPS_CELLS;    ///< cells in id order, offsets not yet set
  std::vector<GPS_HEADER> GPS_HEADERS;  ///< cells with their offsets: the cell table
  Bytes DB_STREAM;                      ///< the device database as encoded
};

/// Groups the sorted GPS_DB into GPS_CELLS and derives GPS_HEADERS with the
/// offsets. False when a cell would hold more than 65535 points.
bool BuildHeaders(DbEncoderState& state, GPS_FILE_HEADER& header);

/// Appends the cell table; with `trace`, prints the rule and "Headers".
void WriteHeaders(const DbEncoderState& state, ByteWriter& out, std::ostream* trace);

/// Encodes the sorted GPS_DB into DB_STREAM, trace lines included. False,
/// with DB_STREAM empty, when a cell would hold more than 65535 points.
bool EncodeDb(DbEncoderState& state, std::ostream* trace);

}  // namespace korvel
