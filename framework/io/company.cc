// Company folders, their shared connection, catalogue and units of work.
#include "framework/io/company.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>

#include "framework/base/log.h"
#include "framework/base/private_file.h"
#include "framework/io/faults.h"
#include "framework/io/rollback_stack.h"
#include "framework/io/sql_names.h"

namespace {

std::string Quote(const std::string& name) { return "\"" + name + "\""; }

bool IsText(tsDataType t) { return t == tsDataType::kAlpha || t == tsDataType::kText || t == tsDataType::kPhone; }

std::string ColumnDdl(tsioBackendConnection& db, const tsioFieldDef& f) {
  std::string s = Quote(f.name) + " " + db.ColumnType(IsText(f.type)) + " NOT NULL DEFAULT ";
  s += IsText(f.type) ? std::string("''") : std::to_string(f.default_value);
  return s;
}

std::string Canonical(const std::string& folder) {
  char* real = realpath(folder.c_str(), nullptr);
  if (!real) return folder;
  std::string s(real);
  free(real);
  return s;
}

}  // namespace

// Companies opened by this process, by canonical folder. A child process
// made by fork() must not use its parent's connection, so entries remember
// the process that opened them.
class tsioCompanyRegistry {
 public:
  static std::mutex& Mu() {
    static std::mutex mu;
    return mu;
  }
  static std::map<std::string, std::weak_ptr<tsioCompany>>& Map() {
    static std::map<std::string, std::weak_ptr<tsioCompany>> m;
    return m;
  }
};

std::shared_ptr<tsioCompany> tsioCompany::Open(const std::string& folder, bool create, tsioStatus::Status* status) {
  *status = tsioStatus::kSuccess;
  if (tsioFaults::Hit(tsioOp::kOpen, status)) return nullptr;
  if (folder.empty()) {
    *status = tsioStatus::kFileDoesNotExist;
    x_log(0, "company folder not given");
    return nullptr;
  }
  const bool server = tsioIsServerAddress(folder);
  struct stat st;
  if (server) {
    // A PostgreSQL database: nothing on this machine to check.
  } else if (stat(folder.c_str(), &st) != 0) {
    if (!create) {
      *status = tsioStatus::kFileDoesNotExist;
      x_log(0, "company folder " + folder + " does not exist");
      return nullptr;
    }
    if (!tsMakePrivateFolder(folder)) {
      *status = errno == ENOENT ? tsioStatus::kFileDoesNotExist : tsioStatus::kReadOnly;
      x_log(0, "cannot create company folder " + folder);
      return nullptr;
    }
  } else if (!S_ISDIR(st.st_mode)) {
    *status = tsioStatus::kFileDoesNotExist;
    x_log(0, "company folder " + folder + " is not a folder");
    return nullptr;
  }
  std::string key = server ? folder : Canonical(folder);
  std::lock_guard<std::mutex> g(tsioCompanyRegistry::Mu());
  auto& slot = tsioCompanyRegistry::Map()[key];
  if (auto existing = slot.lock()) {
    if (existing->pid_ == getpid()) return existing;
    // Inherited through fork(): leave the parent's connection alone.
    new std::shared_ptr<tsioCompany>(existing);  // never released in this process
  }
  std::unique_ptr<tsioBackendConnection> db;
  if (server) {
    db = tsioOpenPostgresConnection(key, create, status);
    if (!db) {
      x_log(0, "cannot open company database " + tsioAddressForLog(key) + ": status " + std::to_string(*status));
      return nullptr;
    }
  } else {
    std::string db_path = key + "/" + kDatabaseName;
    if (tsIsSymbolicLink(db_path)) {
      // A link in the company folder must not redirect the company's data.
      *status = tsioStatus::kIOError;
      x_log(0, "company database " + db_path + " is a symbolic link; it is not opened");
      return nullptr;
    }
    if (create && access(db_path.c_str(), F_OK) != 0) {
      // Created here, owner-only: SQLite gives its WAL and shared-memory files
      // the database file's mode.
      int fd = tsOpenPrivateFile(db_path, O_RDWR | O_CREAT | O_EXCL);
      if (fd >= 0) close(fd);
    }
    if (!create && access(db_path.c_str(), F_OK) != 0) {
      *status = tsioStatus::kFileDoesNotExist;
      x_log(0, "company database " + db_path + " does not exist");
      return nullptr;
    }
    db = tsioOpenSqliteConnection(db_path, create, status);
    if (!db) {
      x_log(0, "cannot open company database " + db_path + ": status " + std::to_string(*status));
      return nullptr;
    }
  }
  std::shared_ptr<tsioCompany> c(new tsioCompany());
  c->folder_ = key;
  c->db_ = std::move(db);
  c->pid_ = getpid();
  // A server database opened only to be used is not asked to make its
  // catalogue (a round trip of every command): a company made by this
  // program has it, and CreateDataFile makes sure of it before a file is
  // added.
  if (!server || create) {
    tsioStatus::Status s = c->EnsureCatalogue();
    if (s != tsioStatus::kSuccess) {
      *status = s;
      c->LogFailure("open company", s);
      return nullptr;
    }
  }
  slot = c;
  return c;
}

tsioStatus::Status tsioCompany::EnsureCatalogue() {
  tsioStatus::Status s = db_->Exec(
      std::string("CREATE TABLE IF NOT EXISTS tsio_catalogue(code TEXT NOT NULL, instance INTEGER NOT NULL, "
                  "dict_id INTEGER NOT NULL, PRIMARY KEY(code, instance))") +
      db_->KeyedTableOptions());
  // (kDuplicateKey: another program created the catalogue at the same
  // moment, on a server database.)
  if (s == tsioStatus::kReadOnly || s == tsioStatus::kDuplicateKey) s = tsioStatus::kSuccess;
  if (s == tsioStatus::kSuccess) catalogue_sure_ = true;
  return s;
}

tsioCompany::~tsioCompany() {
  // A unit still open when the last handle goes is rolled back by closing.
  units_.clear();
}

std::string tsioCompany::TableName(const std::string& code, short instance, short record_type) {
  return "f_" + code + "_" + std::to_string(instance) + "_r" + std::to_string(record_type);
}
std::string tsioCompany::HeaderTableName(const std::string& code, short instance, short header) {
  return "f_" + code + "_" + std::to_string(instance) + "_h" + std::to_string(header);
}
std::string tsioCompany::NotesTableName(const std::string& code, short instance) {
  return "f_" + code + "_" + std::to_string(instance) + "_notes";
}

bool tsioCompany::FileExists(const std::string& code, short instance, short* dictionary_id) {
  // A data file, once made, stays: what the committed catalogue says of one
  // is kept, the whole of it read at the first question (one request to a
  // server instead of one per file). A file not found is asked again, and
  // inside a transaction (whose own new files may roll back) nothing is kept.
  const bool keep = !db_->InTransaction();
  if (keep && !catalogue_read_) {
    tsioStatus::Status st;
    if (auto* all = db_->Prepare("SELECT code, instance, dict_id FROM tsio_catalogue", &st)) {
      tsCell file;
      while (all->Step() == tsioBackendStatement::kRow) {
        all->Column(0, true, file);
        catalogue_[{file.s, static_cast<short>(all->ColumnInt(1))}] = static_cast<short>(all->ColumnInt(2));
      }
      all->Reset();
      catalogue_read_ = true;
    }
  }
  if (auto it = catalogue_.find({code, instance}); it != catalogue_.end()) {
    if (dictionary_id) *dictionary_id = it->second;
    return true;
  }
  tsioStatus::Status st;
  auto* q = db_->Prepare("SELECT dict_id FROM tsio_catalogue WHERE code = ?1 AND instance = ?2", &st);
  if (!q) return false;
  q->Bind(1, tsCell::Text(code));
  q->BindInt(2, instance);
  bool found = q->Step() == tsioBackendStatement::kRow;
  const short id = found ? static_cast<short>(q->ColumnInt(0)) : 0;
  if (found && dictionary_id) *dictionary_id = id;
  if (found && keep) catalogue_[{code, instance}] = id;
  q->Reset();
  return found;
}

tsioStatus::Status tsioCompany::CreateDataFile(const tsioFileDef& def, short instance) {
  // Tables are named and declared from the definition's names: only plain
  // identifiers ever reach SQL text.
  if (!tsioNamesArePlain(def)) {
    LogFailure("create data file " + def.code + ": a name in its definition is not a plain identifier",
               tsioStatus::kInvalidOperation);
    return tsioStatus::kInvalidOperation;
  }
  if (FileExists(def.code, instance, nullptr)) return tsioStatus::kSuccess;
  std::vector<std::string> ddl;
  for (const auto& r : def.records) {
    std::string table = TableName(def.code, instance, r.record_type);
    std::string s = "CREATE TABLE " + Quote(table) + "(";
    for (const auto& f : r.fields) s += ColumnDdl(*db_, f) + ", ";
    s += "PRIMARY KEY(";
    const tsioKeyDef* k0 = r.Key(0);
    for (size_t i = 0; k0 && i < k0->columns.size(); ++i) s += (i ? "," : "") + Quote(k0->columns[i]);
    s += "))";
    s += db_->KeyedTableOptions();
    ddl.push_back(s);
    for (const auto& k : r.keys) {
      if (k.number == 0) continue;
      std::vector<std::string> cols = k.columns;
      if (!k.unique && k0) {
        for (const auto& kc : k0->columns) {
          if (std::find(cols.begin(), cols.end(), kc) == cols.end()) cols.push_back(kc);
        }
        for (const auto& carried : def.carried) {
          if (carried.record_type != r.record_type || carried.index != k.number) continue;
          for (const auto& c : carried.columns) {
            if (std::find(cols.begin(), cols.end(), c) == cols.end()) cols.push_back(c);
          }
        }
      }
      std::string ix = std::string(k.unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
                       Quote(table + "_i" + std::to_string(k.number)) + " ON " + Quote(table) + "(";
      for (size_t i = 0; i < cols.size(); ++i) ix += (i ? "," : "") + Quote(cols[i]);
      ddl.push_back(ix + ")");
    }
  }
  for (const auto& h : def.headers) {
    std::string table = HeaderTableName(def.code, instance, h.number);
    std::string s = "CREATE TABLE " + Quote(table) + "(hdr INTEGER PRIMARY KEY";
    for (const auto& f : h.fields) s += ", " + ColumnDdl(*db_, f);
    ddl.push_back(s + ")");
    ddl.push_back("INSERT INTO " + Quote(table) + "(hdr) VALUES (" + std::to_string(h.number) + ")");
  }
  ddl.push_back("CREATE TABLE " + Quote(NotesTableName(def.code, instance)) +
                "(rt INTEGER NOT NULL, rkey TEXT NOT NULL, seq INTEGER NOT NULL, kind INTEGER NOT NULL, "
                "body TEXT NOT NULL, PRIMARY KEY(rt, rkey, seq))" + std::string(db_->KeyedTableOptions()));

  bool own = !db_->InTransaction();
  // (Inside a transaction a refused CREATE would spoil it on a server: there
  // the catalogue is taken as made.)
  if (own && !catalogue_sure_) {
    const tsioStatus::Status made = EnsureCatalogue();
    if (made != tsioStatus::kSuccess) return made;
  }
  tsioStatus::Status st = own ? db_->BeginWrite() : tsioStatus::kSuccess;
  for (size_t i = 0; st == tsioStatus::kSuccess && i < ddl.size(); ++i) st = db_->Exec(ddl[i]);
  if (st == tsioStatus::kSuccess) {
    auto* q = db_->Prepare("INSERT INTO tsio_catalogue(code, instance, dict_id) VALUES (?1, ?2, ?3)", &st);
    if (q) {
      q->Bind(1, tsCell::Text(def.code));
      q->BindInt(2, instance);
      q->BindInt(3, def.dictionary_id);
      const short step = q->Step();
      st = step == tsioBackendStatement::kDone ? tsioStatus::kSuccess : static_cast<tsioStatus::Status>(step);
      q->Reset();
    }
  }
  if (own) {
    if (st == tsioStatus::kSuccess) st = db_->Exec("COMMIT");
    if (st != tsioStatus::kSuccess) (void)db_->Exec("ROLLBACK");
  }
  NoteWrite();
  // Another program that made the same file at the same moment wins: its
  // tables (or its catalogue row) refused ours, and its committed file is
  // the one this program opens.
  if (st != tsioStatus::kSuccess && own && FileExists(def.code, instance, nullptr)) return tsioStatus::kSuccess;
  if (st != tsioStatus::kSuccess) LogFailure("create data file " + def.code + "." + std::to_string(instance), st);
  return st;
}

tsioStatus::Status tsioCompany::BeginUnit(tclRollbackStack* stack) {
  tsioStatus::Status st = tsioStatus::kSuccess;
  if (units_.empty() && !db_->InTransaction()) st = db_->BeginWrite();
  if (st == tsioStatus::kSuccess) st = db_->Exec("SAVEPOINT u" + std::to_string(stack->Id()));
  if (st != tsioStatus::kSuccess) {
    if (units_.empty() && db_->InTransaction()) (void)db_->Exec("ROLLBACK");
    LogFailure("begin unit of work", st);
    return st;
  }
  units_.push_back(stack);
  return tsioStatus::kSuccess;
}

tsioStatus::Status tsioCompany::EndUnit(tclRollbackStack* stack, bool commit) {
  auto it = std::find(units_.begin(), units_.end(), stack);
  if (it == units_.end()) return tsioStatus::kSuccess;
  bool outermost = it == units_.begin();
  std::string sp = "u" + std::to_string(stack->Id());
  tsioStatus::Status st = tsioStatus::kSuccess;
  if (commit) {
    if (tsioFaults::Hit(tsioOp::kCommit, &st)) return st;
    st = db_->Exec("RELEASE " + sp);
    if (st == tsioStatus::kSuccess && outermost && db_->InTransaction()) st = db_->Exec("COMMIT");
    if (st != tsioStatus::kSuccess) {
      LogFailure("commit unit of work", st);
      return st;  // the unit stays open; the program rolls it back
    }
  } else {
    if (!db_->InTransaction()) {
      // SQLite already rolled the whole transaction back (a commit that
      // failed for a full disk or an I/O error may do so): nothing of the
      // unit is left to undo.
    } else if (outermost) {
      st = db_->Exec("ROLLBACK");
    } else {
      st = db_->Exec("ROLLBACK TO " + sp);
      if (st == tsioStatus::kSuccess) st = db_->Exec("RELEASE " + sp);
    }
    if (st != tsioStatus::kSuccess) LogFailure("roll back unit of work", st);
  }
  units_.erase(it, units_.end());
  // What was read ahead may be older than what other programs committed
  // meanwhile; a rollback also undid this program's writes, to any table.
  if (commit) {
    ++write_generation_;
  } else {
    NoteWrite();
  }
  if (units_.empty()) NotifyUnitEnd(commit && st == tsioStatus::kSuccess);
  return st;
}

tsioStatus::Status tsioCompany::BeginReadSnapshot(bool* begun) {
  *begun = false;
  if (!units_.empty() || db_->InTransaction()) return tsioStatus::kSuccess;
  const tsioStatus::Status st = db_->BeginRead();
  if (st != tsioStatus::kSuccess) {
    LogFailure("begin a read snapshot", st);
    return st;
  }
  *begun = true;
  NoteWrite();  // what cursors read ahead before it belongs to no snapshot
  return tsioStatus::kSuccess;
}

void tsioCompany::EndReadSnapshot() {
  if (db_->InTransaction()) (void)db_->Exec("COMMIT");
  NoteWrite();
}

void tsioCompany::AddUnitListener(tsioUnitListener* l) { listeners_.push_back(l); }
void tsioCompany::RemoveUnitListener(tsioUnitListener* l) {
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), l), listeners_.end());
}
void tsioCompany::NotifyUnitEnd(bool committed) {
  auto copy = listeners_;
  for (auto* l : copy) l->OnUnitEnd(committed);
}

void tsioCompany::LogFailure(const std::string& what, tsioStatus::Status status) {
  x_log(0, what + " failed in " + tsioAddressForLog(folder_) + ": status " + std::to_string(status) + " (" + db_->LastError() + ")");
}
