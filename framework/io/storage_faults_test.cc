// Storage faults from real causes: a damaged database (pages overwritten, the
// file truncated), a full disk (a
// small tmpfs in a mount namespace of a child process, or a file-size limit
// where no namespace can be made), a read-only folder (a read-only mount) and
// a lock file that cannot be opened. Every operation that fails gives a
// failure status and exactly one log line, no read that reports success
// returns wrong or missing records, and nothing is half written.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "framework/base/application.h"
#include "framework/base/log.h"
#include "framework/io/header.h"
#include "framework/io/io_test_support.h"
#include "framework/io/rollback_stack.h"
#include "tests/support/test_support.h"

namespace {

constexpr int kRecords = 300;

std::string Key(int i) {
  char b[16];
  std::snprintf(b, sizeof b, "P%04d", i);
  return b;
}
std::string Value(int i) { return "value of " + Key(i) + " ....."; }

int LogLines() {
  std::ifstream in(x_log_path());
  return static_cast<int>(std::count(std::istreambuf_iterator<char>(in), {}, '\n'));
}

// A company with kRecords parents in TST.1 (written in one unit) and the
// header counter at kRecords; every handle is closed on return, so the
// database is checkpointed and its write-ahead log gone.
void MakeFilledCompany(const std::string& folder) {
  iotest::Opened o(iotest::MakeCompany(folder));
  tsioDataFile* f = o.file;
  iotest::Parent p;
  ccCursor c(p, *f, 1, 0);
  tclRollbackStack unit;
  c.AttachRollbackStack(&unit);
  for (int i = 0; i < kRecords; ++i) {
    ASSERT_EQ((p.Set(Key(i), i, Value(i).c_str()), c.Insert()), tsioStatus::kSuccess);
  }
  ASSERT_EQ(unit.Commit(), tsioStatus::kSuccess);
  iotest::Counter h(*f);
  ASSERT_EQ(h.header.Get(true), tsioStatus::kSuccess);
  h.value = tsDouble(kRecords);
  ASSERT_EQ(h.header.Update(), tsioStatus::kSuccess);
  h.header.Unlock();
}

// What a walk of TST.1 found: the records in order, then the status that
// ended it. Every record read must be one that was written, with its value.
struct Walk { int records = 0; tsioStatus::Status end = tsioStatus::kSuccess; bool wrong = false; };
Walk WalkAll(tsioDataFile& f) {
  Walk w;
  iotest::Parent p;
  ccCursor c(p, f, 1, 0);
  tsioStatus::Status st = c.FetchFirst(false);
  for (; st == tsioStatus::kSuccess; st = c.FetchNext(false)) {
    if (p.k1.str() != Key(w.records) || p.v.str() != Value(w.records)) w.wrong = true;
    ++w.records;
  }
  w.end = st;
  return w;
}

// The operations of a program on an open handle, each run on its own: what
// it is, whether it only reads, the records it adds when it succeeds. A read
// that answers the truth gives kMerged; kSuccess from a read is a wrong
// answer.
struct Op {
  const char* what;
  bool read;
  int adds;
  std::function<tsioStatus::Status(tsioDataFile&)> run;
};
// A cursor on TST.1 with the key (k1, k2) in its record.
struct At {
  iotest::Parent p;
  ccCursor c;
  At(tsioDataFile& f, const std::string& k1, int k2) : c(p, f, 1, 0) { p.Set(k1, k2); }
};
// Inserts `n` records of key `k1` (and value `v`) in one unit: its status,
// the unit rolled back when it failed.
tsioStatus::Status InsertUnit(tsioDataFile& f, const std::string& k1, int n, const char* v = "") {
  At a(f, k1, 0);
  a.p.v = tsAlpha(v);
  tclRollbackStack unit;
  a.c.AttachRollbackStack(&unit);
  tsioStatus::Status st = tsioStatus::kSuccess;
  for (int i = 0; st == tsioStatus::kSuccess && i < n; ++i) st = (a.p.k2 = tsDouble(i), a.c.Insert());
  if (st == tsioStatus::kSuccess) st = unit.Commit();
  if (st != tsioStatus::kSuccess) (void)unit.Rollback();
  return st;
}

// A fetch of record `i` by its key (with its lock, given back at once):
// kMerged when it answers the record as it was written.
tsioStatus::Status Fetch(tsioDataFile& f, int i, bool lock) {
  At a(f, Key(i), i);
  const tsioStatus::Status st = a.c.FetchEQ(lock);
  if (lock) (void)a.c.Unlock(1);
  return st == tsioStatus::kSuccess && a.p.v.str() == Value(i) ? tsioStatus::kMerged : st;
}

const Op kOperations[] = {
    {"keyed fetch", true, 0, [](tsioDataFile& f) { return Fetch(f, kRecords / 2, false); }},
    {"locked fetch", true, 0, [](tsioDataFile& f) { return Fetch(f, 1, true); }},
    {"insert", false, 1,
     [](tsioDataFile& f) {
       At a(f, "NEW", 0);
       a.p.v = tsAlpha(std::string(20, 'n'));
       return a.c.Insert();
     }},
    {"update", false, 0,
     [](tsioDataFile& f) {
       At a(f, Key(2), 2);
       tsioStatus::Status st = a.c.FetchEQ(true);
       if (st != tsioStatus::kSuccess) return st;
       st = (a.p.v = tsAlpha("changed"), a.c.Update());
       (void)a.c.Unlock(1);
       return st;
     }},
    {"delete", false, -1,
     [](tsioDataFile& f) {
       At a(f, Key(3), 3);
       const tsioStatus::Status st = a.c.FetchEQ(true);
       return st != tsioStatus::kSuccess ? st : a.c.Delete();
     }},
    {"header update", false, 0,
     [](tsioDataFile& f) {
       iotest::Counter h(f);
       tsioStatus::Status st = h.header.Get(true);
       if (st != tsioStatus::kSuccess) return st;
       st = (h.value = tsDouble(kRecords + 1), h.header.Update());
       h.header.Unlock();
       return st;
     }},
    {"unit of three inserts", false, 3, [](tsioDataFile& f) { return InsertUnit(f, "UNIT", 3); }},
};

// What every operation answered on one handle: "what=status" a line; the
// faults (a read that answered wrongly, a failure that did not log exactly
// one line); the records the operations that succeeded added and the writes
// that succeeded.
struct Answers {
  std::map<std::string, tsioStatus::Status> status;
  std::string text, faults;
  int added = 0, writes_done = 0;
};
Answers RunAll(tsioDataFile& f) {
  Answers a;
  for (const Op& op : kOperations) {
    const int lines = LogLines();
    const tsioStatus::Status st = op.run(f);
    const int logged = LogLines() - lines;
    a.status[op.what] = st;
    a.text += std::string(op.what) + "=" + std::to_string(st) + "\n";
    if (op.read && st == tsioStatus::kSuccess) a.faults += std::string(op.what) + " answered wrongly; ";
    if (st != tsioStatus::kSuccess && st != tsioStatus::kMerged && logged != 1) {
      a.faults += std::string(op.what) + " failed with " + std::to_string(st) + " logging " +
                  std::to_string(logged) + " lines; ";
    }
    if (st == tsioStatus::kSuccess && !op.read) {
      a.added += op.adds;
      ++a.writes_done;
    }
  }
  return a;
}

// How many records a walk of TST.1 in `folder` finds to its end (-1: the
// file does not open, -2: the walk fails).
int CountIn(const std::string& folder) {
  tsioFileManager fm(folder);
  tsioDataFile* f = nullptr;
  if (fm.Open(iotest::Spec(), &f) != tsioStatus::kSuccess) return -1;
  const Walk w = WalkAll(*f);
  return w.end == tsioStatus::kEndOfFile ? w.records : -2;
}

// Damage done to a filled company's files while no program has it open, and
// what every operation then answers ("": whatever it may, as long as no read
// answers wrongly and each failure logs one line).
struct Damage {
  const char* what;
  std::function<void(const std::string& folder)> apply;
  const char* answers;
};

TEST(StorageFaults, DamagedFilesFailOrAnswerTruthfullyAndLogEachFailure) {
  const Damage damages[] = {
      {"pages in the middle overwritten",
       [](const std::string& folder) {
         const std::string db = folder + "/company.db";
         const auto size = std::filesystem::file_size(db);
         std::fstream io(db, std::ios::in | std::ios::out | std::ios::binary);
         io.seekp(static_cast<std::streamoff>(size / 3));
         const std::string junk(size / 3, '\xA5');
         io.write(junk.data(), static_cast<std::streamsize>(junk.size()));
       },
       ""},
      {"file truncated to half",
       [](const std::string& folder) {
         std::filesystem::resize_file(folder + "/company.db", std::filesystem::file_size(folder + "/company.db") / 2);
       },
       ""},
      {"the whole file junk",
       [](const std::string& folder) {
         std::ofstream(folder + "/company.db", std::ios::binary | std::ios::trunc) << std::string(8192, 'x');
       },
       ""},
      // Everything that takes or checks a record lock fails: a lock that
      // cannot be taken is never assumed.
      {"a folder where the lock file should be",
       [](const std::string& folder) {
         std::filesystem::remove(folder + "/company.db.locks");
         std::filesystem::create_directory(folder + "/company.db.locks");
       },
       "keyed fetch=6\nlocked fetch=19\ninsert=19\nupdate=19\ndelete=19\nheader update=19\n"
       "unit of three inserts=19\n"},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.what);
    bktest::TempDir dir;
    const std::string folder = dir.Sub("company");
    MakeFilledCompany(folder);
    d.apply(folder);
    TSGetApp()->SetCompanyFolder(dir.path());  // the log, outside the damaged folder
    const int lines = LogLines();
    tsioFileManager fm(folder);
    tsioDataFile* f = nullptr;
    const tsioStatus::Status opened = fm.Open(iotest::Spec(), &f);
    if (opened != tsioStatus::kSuccess) {
      EXPECT_EQ(LogLines(), lines + 1) << "open failed with " << opened;
      EXPECT_EQ(*d.answers, '\0');
      continue;
    }
    const Walk w = WalkAll(*f);
    EXPECT_FALSE(w.wrong) << "a walk returned records that were never written";
    EXPECT_TRUE(w.end != tsioStatus::kEndOfFile || w.records == kRecords) << "the end reported, records lost";
    const Answers answers = RunAll(*f);
    EXPECT_EQ(answers.faults, "");
    if (*d.answers) {
      EXPECT_EQ(std::pair(w.records, w.end), std::pair(kRecords, tsioStatus::kEndOfFile));
      EXPECT_EQ(answers.text, d.answers);
      EXPECT_EQ(CountIn(folder), kRecords);
    }
  }
  TSGetApp()->SetCompanyFolder("");
}

// ---- faults that need a file system of their own -----------------------

// In a child process: a tmpfs of `size` at `dir` in a mount namespace of
// the child's own (the mount dies with the child). False when the system
// allows no namespace.
bool MountTmpfs(const std::string& dir, const std::string& size) {
  if (unshare(CLONE_NEWNS) != 0) {
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
    auto put = [](const char* path, const std::string& text) {
      std::ofstream out(path);
      out << text;
      return static_cast<bool>(out.flush());
    };
    if (!put("/proc/self/setgroups", "deny") || !put("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
        !put("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
      return false;
    }
  }
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
  return mount("tmpfs", dir.c_str(), "tmpfs", 0, ("size=" + size + ",mode=0700").c_str()) == 0;
}

// Child results: 0 passed, 77 no namespace, else the number of the first
// check that failed (with a line on standard error).
constexpr int kNoNamespace = 77;
#define CHILD_CHECK(n, cond)                                             \
  do {                                                                   \
    if (!(cond)) {                                                       \
      std::fprintf(stderr, "check %d failed: %s\n", n, #cond);           \
      return n;                                                          \
    }                                                                    \
  } while (0)

TEST(StorageFaults, FullDiskFailsEachWriteWithOneLogLineAndLosesNoCommittedUnit) {
  bktest::TempDir dir;
  const std::string mount_point = dir.Sub("disk");
  ASSERT_EQ(mkdir(mount_point.c_str(), 0700), 0);
  const std::string log_folder = dir.path();
  auto child = bktest::ChildProcess::Start([mount_point, log_folder] {
    const bool tmpfs = MountTmpfs(mount_point, "384k");
    TSGetApp()->SetCompanyFolder(log_folder);
    const std::string folder = mount_point + "/company";
    MakeFilledCompany(folder);
    if (!tmpfs) {
      // No namespace: the same disk-full condition from a file-size limit.
      signal(SIGXFSZ, SIG_IGN);
      rlimit lim{256 * 1024, 256 * 1024};
      if (setrlimit(RLIMIT_FSIZE, &lim) != 0) return kNoNamespace;
    }
    std::fprintf(stderr, "full disk from %s\n", tmpfs ? "a 384 KiB tmpfs" : "a 256 KiB file-size limit");
    int committed = 0;
    int expected = kRecords;
    tsioStatus::Status failed = tsioStatus::kSuccess;
    {
      tsioFileManager fm(folder);
      tsioDataFile* f = nullptr;
      CHILD_CHECK(1, fm.Open(iotest::Spec(), &f) == tsioStatus::kSuccess);
      // Units of 50 records until the disk is full; the one that fails logs one line.
      int lines = LogLines();
      for (int u = 0; u < 2000; ++u, committed += 50, lines = LogLines()) {
        if ((failed = InsertUnit(*f, "U" + std::to_string(u), 50, "xxxxxxxxxxxxxxxxxxxx")) != tsioStatus::kSuccess) {
          break;
        }
      }
      CHILD_CHECK(2, LogLines() == lines + 1);
      CHILD_CHECK(3, failed == tsioStatus::kDiskFull || failed == tsioStatus::kIOError);
      // Every other write fails too, each with one log line; reads work.
      // (Space a rolled-back unit gave back may take a small change.)
      const Answers answers = RunAll(*f);
      std::fprintf(stderr, "full disk:\n%s%s\n", answers.text.c_str(), answers.faults.c_str());
      CHILD_CHECK(4, answers.faults.empty() && answers.status.at("keyed fetch") == tsioStatus::kMerged &&
                         answers.status.at("locked fetch") == tsioStatus::kMerged);
      expected += answers.added;
    }
    // Nothing half written: exactly the committed units are there.
    const int n = CountIn(folder);
    std::fprintf(stderr, "committed %d records before the disk was full (status %d); %d found\n", committed,
                 static_cast<int>(failed), n);
    CHILD_CHECK(6, n == expected + committed);
    return 0;
  });
  const int rc = child.Wait();
  if (rc == kNoNamespace) GTEST_SKIP() << "neither a mount namespace nor a file-size limit is available";
  EXPECT_EQ(rc, 0);
}

TEST(StorageFaults, ReadOnlyFolderReadsAndRefusesEveryWriteWithOneLogLine) {
  bktest::TempDir dir;
  const std::string mount_point = dir.Sub("ro");
  ASSERT_EQ(mkdir(mount_point.c_str(), 0700), 0);
  const std::string log_folder = dir.path();
  auto child = bktest::ChildProcess::Start([mount_point, log_folder] {
    if (!MountTmpfs(mount_point, "4m")) return kNoNamespace;
    TSGetApp()->SetCompanyFolder(log_folder);
    const std::string folder = mount_point + "/company";
    MakeFilledCompany(folder);
    if (mount(nullptr, mount_point.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) return kNoNamespace;
    {
      tsioFileManager fm(folder);
      tsioDataFile* f = nullptr;
      CHILD_CHECK(1, fm.Open(iotest::Spec(), &f) == tsioStatus::kSuccess);
      const Walk w = WalkAll(*f);
      CHILD_CHECK(2, w.end == tsioStatus::kEndOfFile && w.records == kRecords && !w.wrong);
      // A locked fetch needs the lock file; without it the fetch fails.
      const Answers answers = RunAll(*f);
      std::fprintf(stderr, "read-only folder:\n%s%s\n", answers.text.c_str(), answers.faults.c_str());
      CHILD_CHECK(3, answers.faults.empty() && answers.status.at("keyed fetch") == tsioStatus::kMerged);
      CHILD_CHECK(4, answers.writes_done == 0);
    }
    CHILD_CHECK(6, CountIn(folder) == kRecords);
    return 0;
  });
  const int rc = child.Wait();
  if (rc == kNoNamespace) GTEST_SKIP() << "no mount namespace: a read-only mount cannot be made";
  EXPECT_EQ(rc, 0);
}

}  // namespace
