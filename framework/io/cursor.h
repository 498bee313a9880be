// tsioCursor and ccCursor: ISAM cursors over one record type and one index of
// an open data file.
//
// A cursor moves values between its record's bound fields and the handle's
// file buffer (data_file.h), which all cursors on that handle share. Every
// fetch is one indexed query from the buffer's index values; sequential
// fetches read a bounded batch ahead and serve it while nothing has moved,
// the program has written nothing and the batch is fresh.
//
// Fetch semantics (index I with declared columns D; O = D followed by the key
// columns that D lacks, so O orders every record):
//   FetchFirst/FetchLast  first/last record in O order.
//   FetchNext/FetchPrev   the record after/before the buffer's position.
//   FetchEQ               first record whose D columns equal the cursor's.
//   FetchGE/FetchGT       first record whose O values are >= / > the cursor's.
//   FetchCurrent          re-reads the buffer's record from the file.
// The search values are the cursor's bound fields, and the buffer's values
// for columns the cursor does not bind. A fetch that finds a record makes it
// the current record of the handle and copies it into the bound fields; a
// fetch that fails changes nothing. With the lock flag the record is also
// locked for this handle; when another handle holds it the fetch answers 9
// and changes nothing.
//
// Writes: Insert writes the bound columns (unbound ones take their defaults);
// Update writes the bound columns of the current record; Delete removes the
// current record (with its notes) and releases its lock. A record locked by
// another handle cannot be updated or deleted (9). A value that does not fit
// its column is refused (8) and nothing is written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/base/export.h"
#include "framework/io/data_file.h"
#include "framework/io/io_status.h"
#include "framework/io/record.h"

class tclRollbackStack;

class TS_EXPORT tsioCursor {
 public:
  tsioCursor(ccRecData& record, const tsioDataFile& file, short record_type, short index);
  virtual ~tsioCursor();
  tsioCursor(const tsioCursor&) = delete;
  tsioCursor& operator=(const tsioCursor&) = delete;

  [[nodiscard]] virtual tsioStatus::Status FetchFirst(bool lock = false);
  [[nodiscard]] virtual tsioStatus::Status FetchLast(bool lock = false);
  [[nodiscard]] virtual tsioStatus::Status FetchNext(bool lock = false);
  [[nodiscard]] virtual tsioStatus::Status FetchCurrent(bool lock = false);
  [[nodiscard]] virtual tsioStatus::Status FetchPrev(bool lock = false);
  [[nodiscard]] virtual tsioStatus::Status FetchEQ(bool lock = false);
  [[nodiscard]] virtual tsioStatus::Status FetchGE(bool lock = false);
  [[nodiscard]] virtual tsioStatus::Status FetchGT(bool lock = false);
  // Positions the handle on the record FetchEQ would find, without copying
  // it into the record.
  [[nodiscard]] virtual tsioStatus::Status SeekEQ();
  // Queues, on a server, the read FetchEQ (unlocked) of the record's values
  // would ask, to be asked together with the command's other queued reads
  // (command_reads.h); nothing elsewhere.
  void PrefetchEQ();
  // The same for the read FetchGE (unlocked) would ask from the record's
  // values: its first batch of the walk.
  void PrefetchGE();
  // The same for the read FetchFirst (unlocked) would ask.
  void PrefetchFirst();
  // Queues, on a server, in a writing unit, the lock and the read FetchEQ
  // (locked) of the record's values takes and asks, and ties to that lock
  // the reads queued after it (tsioBackendLocks::PrefetchLockThenStep):
  // several records' locks and reads then go in one request. Nothing
  // elsewhere, nor when this handle holds the lock already.
  void PrefetchLockedEQ();
  // The key text (as CurrentKeyText gives it) of the record's key values:
  // what names the record's notes before it is read.
  std::string RecordKeyText() const;

  // `count` (optional) receives the number of records written.
  [[nodiscard]] virtual tsioStatus::Status Insert(short* count = nullptr);
  // Insert of a record moved from another file (same as Insert).
  [[nodiscard]] virtual tsioStatus::Status InsertMovedRecord(short* count = nullptr);
  // Update method 0 writes the bound columns of the current record.
  [[nodiscard]] virtual tsioStatus::Status Update(short* count = nullptr, short method = 0);
  [[nodiscard]] virtual tsioStatus::Status Delete();

  // Locks the current record for this handle (9 when another holds it).
  [[nodiscard]] virtual tsioStatus::Status Lock();
  // Mode 1 releases the current record's lock; any other mode releases
  // every lock this handle holds on the record type.
  virtual tsioStatus::Status Unlock(short mode = 1);
  // Releases the current record's lock when the unit of work open on the
  // company ends (at once when none is open): a record changed in a unit
  // stays held until the change commits or rolls back, so no other program
  // reads it meanwhile and writes an older copy back.
  tsioStatus::Status UnlockAtUnitEnd();
  // 9 when another handle holds the current record's lock, else 0.
  [[nodiscard]] virtual tsioStatus::Status Locked() const;
  virtual short TableLockMode() const { return 0; }

  // Initialize makes a new, empty record: the bound fields AND the handle's
  // file buffer take their columns' defaults (choices their default choice)
  // and the handle is no longer positioned, so a keyed fetch that follows
  // searches from defaults for the key columns this cursor does not bind.
  // Clear empties the bound fields only (choices to 0).
  virtual void Initialize();
  virtual void Clear();
  // Copies the file buffer into the bound fields (reading the current record
  // again when the buffer lacks some of them).
  virtual tsioStatus::Status Refresh();
  // Copies the bound fields into the file buffer.
  virtual tsioStatus::Status SetBuffer();
  virtual tsioStatus::Status GetColumnData(const std::string& name, tsData& out) const;
  virtual tsioStatus::Status SetColumnData(const std::string& name, const tsData& value);

  // Binds one more field to a column.
  void AttachColumn(const std::string& name, tsData& field);
  // Restricts fetches to records whose first `segments` O columns equal the
  // record's values at the time of the call.
  void AttachRange(short segments);
  void DetachRange();
  // Restricts fetches to records whose column number `field` (1-based, as
  // xio_num gives) equals (equal = true) or differs from the record's value
  // at the time of the call; `ignore_blank` skips the condition when that
  // value is blank. Connector 1 joins conditions with AND, 2 with OR.
  void AttachCondition(short field, bool equal, bool ignore_blank, short connector = 1);
  void DetachCondition(short which = 0);

  short TableID() const { return record_type_; }
  short IndexID() const { return index_; }
  const tsioDataFile& File() const { return *file_; }
  ccRecData& Record() const { return *record_; }

  bool AttachmentsExist() const;
  void ClearFileBuffers() const { file_->ClearFileBuffers(); }
  // Copies (or appends) the current record's notes and file links to the
  // record with the same key in `target`.
  [[nodiscard]] virtual tsioStatus::Status CopyNotes(const tsioDataFile& target);
  [[nodiscard]] virtual tsioStatus::Status AppendNotes(const tsioDataFile& target);

  // The key of the current record in the handle's buffer, as text (used for
  // lock identities, notes and bookmarks).
  std::string CurrentKeyText() const;
  tsioRecordState& State() const { return *state_; }
  // Fetches made on this cursor's record type of its handle, by any cursor
  // (see tsioRecordState::fetches).
  uint64_t FetchCount() const { return state_ ? state_->fetches : 0; }

 protected:
  friend class tsioOrderedScan;  // reads slices through the cursor's columns and buffer
  friend class tsioBookmark;     // restores a record it knows is current without reading it
  // Notes that the buffer is record `id` as a locked fetch just read it.
  void NoteLockedRead(uint64_t id);
  // Whether the record the buffer holds, read locked at the state's
  // locked_read_since and locked_read_writes, is still the stored one: this
  // handle held its lock all the time since (no other program changed it)
  // and this program wrote nothing to its table nor rolled anything back.
  bool StillAsReadLocked(const std::vector<tsCell>& row, uint64_t since, uint64_t writes) const;

  struct Binding {
    int col;        // column number in the record definition
    tsData* field;
  };
  struct Filter {
    int col;
    tsCell value;
    bool equal = true;
  };

  // The single implementation of every fetch.
  enum class Seek { kFirst, kLast, kNext, kPrev, kEQ, kGE, kGT, kCurrent };
  tsioStatus::Status DoFetch(Seek seek, bool lock, const std::vector<Filter>& extra, bool copy_to_record = true);
  // Queues the read DoFetch(seek) (kEQ or kGE, unlocked, nothing extra)
  // sends through its shaped statement (PrefetchEQ, PrefetchGE).
  void PrefetchShaped(Seek seek, bool lock = false, const std::vector<Filter>& extra = {});
  // The record's buffer with the key's columns taken from the bound fields;
  // false when a bound field's value does not fit its column.
  bool KeyCells(std::vector<tsCell>& wanted) const;
  tsioStatus::Status BeginChange();
  tsioStatus::Status CellsFromRecord(std::vector<tsCell>& row, std::vector<uint8_t>* set) const;
  void CopyRowToRecord(const std::vector<tsCell>& row);
  tsioStatus::Status ReadFullRow(const std::vector<tsCell>& key_source, std::vector<tsCell>& row);
  // ReadFullRow in two steps: the query bound to the record's key, and its
  // answer `step` (the query's first Step) made into `row`.
  tsioBackendStatement* FullRowQuery(const std::vector<tsCell>& key_source, tsioStatus::Status* st);
  tsioStatus::Status FullRowAnswer(tsioBackendStatement& q, short step, std::vector<tsCell>& row);
  std::string KeyText(const std::vector<tsCell>& row) const;
  uint64_t LockId(const std::vector<tsCell>& row) const;
  void Bind();

  // A statement prepared for one fetch shape (kind, filter columns).
  struct Prepared {
    std::string shape;
    std::string sql;
    tsioBackendStatement* stmt = nullptr;
  };
  // The query of a fetch, reading `columns` (select_, or all_).
  std::string BuildFetchSql(Seek seek, const std::vector<Filter>& filters, const std::vector<int>& columns) const;

  std::vector<Prepared> prepared_;
  ccRecData* record_;
  const tsioDataFile* file_;
  short record_type_;
  short index_;
  tsioRecordState* state_ = nullptr;
  std::vector<Binding> bindings_;
  std::vector<int> order_;      // O: index columns then missing key columns
  std::vector<int> declared_;   // D
  std::vector<int> key_;        // key columns (index 0)
  std::vector<int> select_;     // columns this cursor reads
  std::vector<int> select_pos_;          // column -> position in select_, -1 when not read
  std::vector<int> all_;                 // every column, in the record type's order
  std::vector<tsData*> bound_by_col_;    // column -> bound field, nullptr when unbound
  std::vector<tsCell> search_;           // keyed fetches' search values of bound columns
  std::vector<Filter> range_;
  std::vector<Filter> conditions_;
  bool conditions_or_ = false;
  std::vector<tsCell> batch_;            // rows of the last query, select_.size() cells each (reused)
  std::vector<const tsCell*> params_;    // the last query's parameters (reused)
  std::string insert_sql_;               // built on the first Insert
  tclRollbackStack* stack_ = nullptr;
  uint64_t prepared_generation_ = 0;
};

class ccRelSpec;

// ccCursor adds relations, moving records between files and units of work.
class TS_EXPORT ccCursor : public tsioCursor {
 public:
  using tsioCursor::tsioCursor;

  // First/next record whose relation target columns equal the source
  // cursor's source columns, in this cursor's index order.
  [[nodiscard]] virtual tsioStatus::Status FetchFirstOf(const ccCursor& source, const ccRelSpec& rel, bool lock);
  [[nodiscard]] virtual tsioStatus::Status FetchNextOf(const ccCursor& source, const ccRelSpec& rel, bool lock);
  // Queues, on a server, the first read FetchFirstOf(source, rel, lock)
  // would ask (a locked one finds its record unlocked first), to go with
  // the unit's next request (command_reads.h); nothing elsewhere.
  void PrefetchFirstOf(const ccCursor& source, const ccRelSpec& rel, bool lock);
  // First/next record whose leading index columns equal the key values of
  // `record`, in key order.
  [[nodiscard]] virtual tsioStatus::Status FetchFirstOf(const ccRecData& record, bool lock);
  [[nodiscard]] virtual tsioStatus::Status FetchNextOf(const ccRecData& record, bool lock);

  // Moves (copies) the current record, with its notes and file links, into
  // the same record type of `target`; the move deletes it here.
  [[nodiscard]] virtual tsioStatus::Status MoveRecord(const tsioDataFile& target);
  [[nodiscard]] virtual tsioStatus::Status CopyRecord(const tsioDataFile& target);

  void AttachRollbackStack(tclRollbackStack* stack) { stack_ = stack; }
  void DetachRollbackStack() { stack_ = nullptr; }
  tclRollbackStack* RollbackStack() const { return stack_; }

  // Whether `rel` leads from the source cursor's record type to this one /
  // from this cursor's record type; whether `record` is of this record type.
  bool IsRelToValid(const ccCursor& source, const ccRelSpec& rel) const;
  bool IsRelFromValid(const ccCursor& target, const ccRelSpec& rel) const;
  bool IsDataValid(const ccRecData& record) const;

 private:
  std::vector<Filter> RelationFilters(const ccCursor& source, const ccRelSpec& rel, tsioStatus::Status* st) const;
  std::vector<Filter> RecordFilters(const ccRecData& record, tsioStatus::Status* st) const;
  tsioStatus::Status CopyOrMove(const tsioDataFile& target, bool move);
};
