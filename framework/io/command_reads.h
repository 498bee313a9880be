// Reads kept for one command: the small control records a command reads
// again and again (the general ledger's periods and header, the settings),
// asked of a server once per command instead of at each use, and several
// of them in one request.
//
// While a tsioCommandReads lives, a read of a table it keeps, asked outside
// a transaction, is answered by the answer of the same read (same statement,
// same values) asked earlier in the command, outside a transaction, since
// this program last wrote to that table. Rules:
//   - a read inside a transaction (a unit of work, a read snapshot) always
//     asks the server, and its answer is not kept: the reads that guard a
//     write are made in the unit that writes, and see what another program
//     committed before them;
//   - a write by this program to a kept table ends the answers kept of it
//     (even when the write is rolled back);
//   - a read that goes with a lock (a locked fetch, a header read with its
//     lock) always asks the server; keep only tables the command does not
//     lock and read apart from the lock;
//   - another program's change between two reads outside a transaction is
//     not seen by the second: keep only what the command treats as fixed
//     for its length (a decision that must see such a change is made on a
//     read inside its unit);
//   - the scope's end drops everything kept; scopes nest (the outermost
//     ends the command).
// Prefetch queues reads (a record by its whole key, a header) that
// Send then asks in one request; each answer is kept as if read alone.
// An embedded database keeps nothing: its reads cost no round trip, and
// every call here does nothing there.
#pragma once

#include <memory>

#include "framework/base/export.h"
#include "framework/io/data_file.h"

class tsioCursor;
class tsioHeader;

class TS_EXPORT tsioCommandReads {
 public:
  // A command on the company `file` belongs to.
  explicit tsioCommandReads(const tsioDataFile& file);
  ~tsioCommandReads();
  tsioCommandReads(const tsioCommandReads&) = delete;
  tsioCommandReads& operator=(const tsioCommandReads&) = delete;

  // Keeps reads of records of `record_type` of `file`, or of its header
  // `header`, for the command.
  void Keep(const tsioDataFile& file, short record_type);
  void KeepHeader(const tsioDataFile& file, short header);
  // Queues the read cursor.FetchEQ() or cursor.FetchGE() (unlocked, from
  // the record's values) or header.Get(false) would ask (their tables kept
  // by Keep/KeepHeader); Send asks every queued read in one request.
  void PrefetchEQ(tsioCursor& cursor);
  void PrefetchGE(tsioCursor& cursor);
  void Prefetch(const tsioHeader& header);
  void Send();
  // Send for code that queued reads of the command `file`'s company is in
  // without holding its tsioCommandReads (nothing when none is under way).
  static void Send(const tsioDataFile& file);

 private:
  std::shared_ptr<tsioCompany> company_;
};
