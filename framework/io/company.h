// tsioCompany: a company folder opened by this process. All handles of one
// process on one company share its one database connection (so a unit of
// work sees its own changes and two handles never block each other), its
// catalogue of data files and its units of work.
//
// Files in the folder: "company.db" (SQLite, WAL mode), "company.db.locks"
// (record locks, see lock_file.h), "bkreg.log" (see framework/base/log.h).
//
// A "folder" given as "postgresql://user@host[:port]/database" is a company
// kept in that PostgreSQL database instead (one database per company, the
// same tables, indexes and header rows; record locks are the connection's
// advisory locks). Its data file names are the address + "/" + code.instance
// as for a folder.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "framework/base/export.h"
#include "framework/io/backend.h"
#include "framework/io/dictionary.h"
#include "framework/io/io_status.h"

class tclRollbackStack;

// Told when the outermost unit of work of a company ends.
class TS_EXPORT tsioUnitListener {
 public:
  virtual ~tsioUnitListener() = default;
  virtual void OnUnitEnd(bool committed) = 0;
};

class TS_EXPORT tsioCompany : public std::enable_shared_from_this<tsioCompany> {
 public:
  static constexpr const char* kDatabaseName = "company.db";

  // Opens the company in `folder` (or the PostgreSQL database it names).
  // Without `create`, a missing folder or database gives kFileDoesNotExist.
  // With it, the folder and the database are created when missing. Every
  // failure writes one log line.
  static std::shared_ptr<tsioCompany> Open(const std::string& folder, bool create, tsioStatus::Status* status);
  ~tsioCompany();

  const std::string& Folder() const { return folder_; }
  std::string DatabasePath() const { return folder_ + "/" + kDatabaseName; }
  std::string LockPath() const { return DatabasePath() + ".locks"; }
  tsioBackendConnection& Db() { return *db_; }

  // Catalogue of data files. FileExists answers the dictionary id recorded.
  bool FileExists(const std::string& code, short instance, short* dictionary_id);
  // Creates the tables of a data file and records it in the catalogue. A
  // file that exists already is left as it is (kSuccess).
  [[nodiscard]] tsioStatus::Status CreateDataFile(const tsioFileDef& def, short instance);
  // Names of a data file's tables.
  static std::string TableName(const std::string& code, short instance, short record_type);
  static std::string HeaderTableName(const std::string& code, short instance, short header);
  static std::string NotesTableName(const std::string& code, short instance);

  // Bumped by every write through this connection and at the end of every
  // unit; cursors drop what they read ahead when it moves.
  uint64_t WriteGeneration() const { return write_generation_; }
  // A write to record table `table` (its quoted name), or one that names no
  // table (a unit's end or rollback, a header, notes, statements over many
  // rows). WritesTo(t) moves with every write to t and every write that
  // names none: the same answer twice means this program changed nothing
  // of t between (see tsioBookmark).
  void NoteWrite() {
    ++write_generation_;
    ++unnamed_writes_;
  }
  void NoteWrite(const std::string& table) {
    ++write_generation_;
    ++table_writes_[table];
  }
  uint64_t WritesTo(const std::string& table) const {
    auto it = table_writes_.find(table);
    return unnamed_writes_ + (it == table_writes_.end() ? 0 : it->second);
  }

  // Units of work (see rollback_stack.h). A stack begins on its first change;
  // units nest as savepoints; the outermost holds the database's write lock
  // until it ends.
  [[nodiscard]] tsioStatus::Status BeginUnit(tclRollbackStack* stack);
  [[nodiscard]] tsioStatus::Status EndUnit(tclRollbackStack* stack, bool commit);
  bool InUnit() const { return !units_.empty(); }
  // A read snapshot (read_snapshot.h): begun only where no unit and no
  // other transaction is open; `*begun` tells whether this call began one
  // (and EndReadSnapshot must end it).
  [[nodiscard]] tsioStatus::Status BeginReadSnapshot(bool* begun);
  void EndReadSnapshot();
  void AddUnitListener(tsioUnitListener* l);
  void RemoveUnitListener(tsioUnitListener* l);

  // One log line for a failed operation: what, the status, the engine's text.
  void LogFailure(const std::string& what, tsioStatus::Status status);

 private:
  tsioCompany() = default;
  void NotifyUnitEnd(bool committed);
  // Makes the catalogue table when it is missing.
  [[nodiscard]] tsioStatus::Status EnsureCatalogue();

  std::string folder_;
  std::unique_ptr<tsioBackendConnection> db_;
  uint64_t write_generation_ = 1;
  uint64_t unnamed_writes_ = 0;
  std::unordered_map<std::string, uint64_t> table_writes_;
  std::vector<tclRollbackStack*> units_;
  std::vector<tsioUnitListener*> listeners_;
  // The catalogue's files found so far (see FileExists).
  std::map<std::pair<std::string, short>, short> catalogue_;
  bool catalogue_read_ = false;
  bool catalogue_sure_ = false;  // the catalogue table is known to exist
  int pid_ = 0;
  friend class tsioCompanyRegistry;
};
