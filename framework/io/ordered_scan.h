// tsioOrderedScan: reads a cursor's records in its index order, slice by
// slice, so a walk of a large table along an index that is not the table's
// own order reads each table page about once per slice instead of once per
// record.
//
// A cursor walking a secondary index finds each record by its key in the
// table, and the table is kept in key order: when the two orders differ
// (a register in date order, entered in run order), every record costs a
// look-up on another page, and a walk of a table larger than the page cache
// reads it from the file again and again. A scan reads the next slice's
// index columns from the index alone, sorts the slice's keys, reads its
// records by key in key order (a batch of keys per query, so a server sees
// one round trip per batch) and serves them in index order.
//
// Contract:
//   - The scan starts where FetchGE would (the cursor's bound fields, the
//     handle's buffer for index columns the cursor does not bind) and keeps
//     to the cursor's range (AttachRange); cursors with conditions
//     (AttachCondition) are refused (kInvalidOperation).
//   - Next() serves the next record as a fetch does: it becomes the
//     handle's current record and lands in the cursor's bound fields. It
//     answers kEndOfFile after the last record, or a failure status.
//   - Slices start small and grow (to `max_slice_rows`, and to about
//     kSliceBytes of packed columns), so a caller that stops after a few
//     records has read little, and memory stays bounded.
//   - Without an enclosing unit of work each query reads what is committed
//     when it runs: a record removed after its slice's index columns were
//     read is left out, and one changed since is served as it now is, in
//     the place its old index values gave it.
//   - On a server backend (tsioBackendConnection::ReadsPagesItself false)
//     the scan is the cursor's own walk, FetchGE then FetchNext: the server
//     reads its pages close to them, and a batch of rows per round trip
//     serves better than key look-ups. Like any walk on a handle, it goes
//     on from the handle's position, which other cursors on the handle
//     must leave alone meanwhile.
//   - No locks are taken; the cursor must outlive the scan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/base/export.h"
#include "framework/io/cursor.h"
#include "framework/io/io_status.h"

class TS_EXPORT tsioOrderedScan {
 public:
  static constexpr size_t kDefaultMaxSliceRows = size_t{1} << 18;
  // What a slice may hold in memory, about: slices after the first are
  // sized from the bytes per record the last one took.
  static constexpr size_t kSliceBytes = size_t{12} << 20;
  // Keys per record query (three parameters each for a three-column key).
  static constexpr size_t kKeysPerQuery = 128;

  explicit tsioOrderedScan(tsioCursor& cursor, size_t max_slice_rows = kDefaultMaxSliceRows);
  tsioOrderedScan(const tsioOrderedScan&) = delete;
  tsioOrderedScan& operator=(const tsioOrderedScan&) = delete;

  // Each query (an index slice, a batch of records) counts as a fetch query
  // (tsioCounters).
  [[nodiscard]] tsioStatus::Status Next();

 private:
  // Rows of cells kept packed: `ints` holds each cell's integer, or for text
  // its offset in `text`, whose length is in `lens` (one per text column).
  struct Packed {
    size_t width = 0;
    std::vector<uint8_t> is_text;   // per column
    std::vector<int> text_col;      // per column: its place among the text columns, or -1
    size_t text_width = 0;
    std::vector<int64_t> ints;
    std::vector<uint32_t> lens;
    std::string text;
    void Columns(const std::vector<uint8_t>& text_flags);
    void Reset(size_t rows);
    // Stores cells[from[i]] as column i of `row` (from empty: cells[i]).
    void Put(size_t row, const std::vector<tsCell>& cells, const std::vector<int>& from);
    std::string_view Text(size_t row, size_t col) const {
      return std::string_view(text).substr(static_cast<size_t>(ints[row * width + col]),
                                           lens[row * text_width + static_cast<size_t>(text_col[col])]);
    }
    int64_t Int(size_t row, size_t col) const { return ints[row * width + col]; }
  };

  tsioStatus::Status Start();
  tsioStatus::Status ReadSlice();
  tsioStatus::Status ReadKeys();
  tsioStatus::Status ReadRecords();
  int CompareKeys(size_t a, size_t b) const;
  int CompareRowToKey(const std::vector<tsCell>& row, size_t pos) const;
  tsioStatus::Status Fail(const std::string& what, tsioStatus::Status st);
  std::string rows_sql_;            // the record query, built once

  tsioCursor* cursor_;
  size_t max_slice_rows_;
  size_t slice_rows_ = 256;
  bool started_ = false;
  bool first_slice_ = true;
  bool walk_ = false;               // a server reads the pages: walk the index
  bool done_ = false;               // no index entries after this slice
  tsioStatus::Status failed_ = tsioStatus::kSuccess;
  std::vector<tsCell> from_;        // order values the next slice starts after (or at, first)
  std::vector<int> key_cols_;       // the index query's columns: order columns, then missing key columns
  std::vector<int> key_in_keys_;    // position of each key column in key_cols_
  std::vector<int> no_map_;         // Put's identity mapping
  std::vector<uint8_t> key_is_text_;  // per column of key_cols_
  std::vector<int> key_in_select_;  // ... and in its selected columns
  Packed keys_;                     // the slice's keys (the key columns), in index order
  Packed rows_;                     // the slice's records (selected columns), by index position
  std::vector<uint8_t> found_;      // per index position: the record was read
  std::vector<uint32_t> by_key_;    // index positions sorted by key
  size_t count_ = 0;                // records in the slice
  size_t next_ = 0;                 // next index position to serve
  std::vector<tsCell> cells_;       // reused row of cells
  std::vector<tsCell> params_;      // reused query parameters
};
