#include "format/db_encoder.h"

#include <ostream>
#include <string>

namespace korvel {
namespace {

/// The rule the table writers print before each table's name.
const std::string kTraceRule(91, '=');

void TraceTable(std::ostream* trace, const char* name) {
  if (trace != nullptr) *trace << kTraceRule << '\n' << name << '\n';
}

void TraceEnd(std::ostream* trace) {
  if (trace != nullptr) *trace << '\n' << std::flush;
}

}  // namespace

bool BuildHeaders(DbEncoderState& state, GPS_FILE_HEADER& header) {
  state.GPS_CELLS.clear();
  std::uint32_t points = 0;
  std::uint32_t closed_cells = 0;
  // Whether a cell is open is a state of the walk: id 0 is an ordinary key.
  bool have_cell = false;
  GPS_HEADER cell;
  std::uint32_t cell_points = 0;
  for (const GPS_POINT& point : state.GPS_DB) {
    ++points;
    if (have_cell && point.id == cell.id) {
      ++cell_points;
    } else {
      if (have_cell) {
        cell.count = static_cast<std::uint16_t>(cell_points);
        state.GPS_CELLS.push_back(cell);
        ++closed_cells;
      }
      have_cell = true;
      cell = GPS_HEADER{point.id, 0, 0};
      cell_points = 1;
    }
    // The count field is 16 bits: a larger cell cannot be indexed.
    if (cell_points > kMaxPointsPerCell) return false;
  }
  if (have_cell) {
    cell.count = static_cast<std::uint16_t>(cell_points);
    state.GPS_CELLS.push_back(cell);
  }

  // The header stores one less than the number of cells; the first point lies
  // right after the cell table. Offsets are 32 bits wide in the file.
  state.GPS_HEADERS.clear();
  std::uint32_t points_before = 0;
  for (const GPS_HEADER& c : state.GPS_CELLS) {
    GPS_HEADER entry = c;
    entry.offset = static_cast<std::uint32_t>(DatabaseSize(state.GPS_CELLS.size(), points_before));
    state.GPS_HEADERS.push_back(entry);
    points_before += c.count;
  }
  header.headerCount = closed_cells;
  header.bodyCount = points;
  return true;
}

void WriteHeaders(const DbEncoderState& state, ByteWriter& out, std::ostream* trace) {
  TraceTable(trace, "Headers");
  for (const GPS_HEADER& entry : state.GPS_HEADERS) {
    out.U32(entry.id);
    out.U16(entry.count);
    out.U32(entry.offset);
  }
  TraceEnd(trace);
}

bool EncodeDb(DbEncoderState& state, std::ostream* trace) {
  GPS_FILE_HEADER header;
  state.DB_STREAM.clear();
  if (!BuildHeaders(state, header)) return false;

  const std::size_t bodies_at = DatabaseSize(state.GPS_HEADERS.size(), 0);
  const std::size_t size = DatabaseSize(state.GPS_HEADERS.size(), state.GPS_DB.size());
  state.DB_STREAM.reserve(size);
  ByteWriter out(state.DB_STREAM);
  out.U32(header.magic);
  out.U32(header.headerCount);
  out.U32(header.bodyCount);
  // The parser refuses version lines shorter than the field; pad regardless,
  // so the layout never depends on it.
  const std::string_view version(state.DB_VERSION);
  const std::string_view field = version.substr(0, kDbVersionSize);
  out.Raw(field);
  out.Zeros(kDbVersionSize - field.size());
  WriteHeaders(state, out, trace);

  // The point table, the bulk of the file, in whole 18-byte records.
  TraceTable(trace, "Bodys");
  state.DB_STREAM.resize(size);
  std::uint8_t* image = state.DB_STREAM.data() + bodies_at;
  for (const GPS_POINT& point : state.GPS_DB) {
    StoreImage(point, image);
    image += kGpsPointSize;
  }
  TraceEnd(trace);
  return true;
}

}  // namespace korvel
