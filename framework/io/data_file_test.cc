// Opening companies and files (missing ones, the modes of made ones, links),
// values that do not fit, notes travelling with a moved record and injected
// failures that must lose nothing, bookmarks and query counters. (Damaged
// and read-only companies: storage_faults_test; relations: records' cursor
// tests; work files: balances' WorkFiles test.)
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "framework/base/application.h"
#include "framework/base/log.h"
#include "framework/io/attachments.h"
#include "framework/io/bookmark.h"
#include "framework/io/counters.h"
#include "framework/io/faults.h"
#include "framework/io/lock_file.h"
#include "framework/io/io_test_support.h"
#include "framework/io/rollback_stack.h"
#include "tests/support/test_support.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A missing company folder, or a missing file in a company, is status 15
// and a log line. Files the framework makes in a company folder are its
// owner's only, even under a permissive umask; a database, log or lock file
// that is a symbolic link is never followed: the link's target is neither
// opened nor written.
TEST(CompanyFiles, MissingOnesAreReportedAndMadeOnesAreOwnerOnlyAndNeverReachedThroughALink) {
  if (bktest::OnServer()) GTEST_SKIP() << "company folder files only";
  bktest::TempDir dir;
  const mode_t old_mask = umask(022);
  const std::string company = iotest::MakeCompany(dir.Sub("company"));
  TSGetApp()->SetCompanyFolder(dir.path());
  EXPECT_EQ(tsioFileManager(dir.Sub("nowhere")).Open(iotest::Spec()), tsioStatus::kFileDoesNotExist);
  tsioFileManager fm(dir.path());
  ASSERT_EQ(fm.CreateCompany(), tsioStatus::kSuccess);
  EXPECT_EQ(fm.Open(iotest::Spec()), tsioStatus::kFileDoesNotExist);
  const std::string log = ReadFile(x_log_path());
  EXPECT_NE(log.find("nowhere"), std::string::npos);
  EXPECT_NE(log.find("TST.1 does not exist"), std::string::npos);

  {
    iotest::Opened opened(company, true);
    x_log(1, "a line");
    for (const char* name : {"", "/company.db", "/company.db-wal", "/company.db-shm", "/company.db.locks",
                             "/bkreg.log"}) {
      struct stat st;
      ASSERT_EQ(stat((company + name).c_str(), &st), 0) << name;
      EXPECT_EQ(st.st_mode & 077, 0u) << name << " mode " << std::oct << (st.st_mode & 0777);
    }
  }
  umask(old_mask);

  // A lock file that is a link into another company (links as the database
  // and the log: cli_test's CompanyFilesAreTheOwnersAndLinksAreNotFollowed).
  const std::string other = dir.Sub("other");
  ASSERT_EQ(mkdir(other.c_str(), 0700), 0);
  tsioLockFile locks;
  ASSERT_EQ(symlink((company + "/company.db.locks").c_str(), (other + "/company.db.locks").c_str()), 0);
  EXPECT_EQ(locks.Open(other + "/company.db.locks"), tsioStatus::kLockUnavailable);
  TSGetApp()->SetCompanyFolder("");
}

// K1 holds 10 characters (not bytes); N 12 digits, 2 of them decimals.
TEST(Values, AValueTooLargeForItsColumnIsRefusedNotWrapped) {
  iotest::OpenCompany o(true);
  iotest::Parent p;
  ccCursor c(p, *o.file, 1, 0);
  struct Case { std::string k1; const char* n; int decimals; tsioStatus::Status want; } cases[] = {
      {"A", "12345678901.00", 2, tsioStatus::kValueDoesNotFit}, {"A", "1.005", 3, tsioStatus::kValueDoesNotFit},
      {"ABCDEFGHIJK", "1", 2, tsioStatus::kValueDoesNotFit}, {"ABCDEFGHIJ", "9999999999.99", 2, tsioStatus::kSuccess},
      {"\u00c9\u00c9\u00c9\u00c9\u00c9\u00c9\u00c9\u00c9\u00c9\u00c9\u00c9", "1", 2, tsioStatus::kValueDoesNotFit},
      {"\u00c9\u00c9\u00c9\u00c9\u00c9\u00c9\u00c9\u00c9\u00c9\u00c9", "1", 2, tsioStatus::kSuccess},
  };
  for (const auto& cs : cases) {
    p.k1 = tsAlpha(cs.k1);
    p.n = tsDouble::FromText(cs.n, cs.decimals);
    EXPECT_EQ(c.Insert(), cs.want) << cs.k1 << " " << cs.n;
  }
  p.k1 = tsAlpha("ABCDEFGHIJ");
  ASSERT_EQ(c.FetchEQ(), tsioStatus::kSuccess);
  EXPECT_EQ(p.n.Format(), "9999999999.99");
}

// A moved record takes its notes and file links along and leaves none; every
// injected failure in the middle of a move leaves both files and the notes
// as they were: nothing lost, nothing duplicated.
TEST(FaultInjection, AMoveTakesItsNotesAndAFailedMoveLosesNothing) {
  iotest::OpenCompany o(true);
  tsioDataFile* history = nullptr;
  ASSERT_EQ(o.fm.Open(iotest::Spec(2), &history), tsioStatus::kSuccess);
  iotest::Parent p;
  ccCursor pc(p, *o.file, 1, 0);
  ASSERT_EQ((p.Set("P", 2), pc.Insert()), tsioStatus::kSuccess);
  ASSERT_EQ(pc.FetchEQ(), tsioStatus::kSuccess);
  const std::string key = pc.CurrentKeyText();
  tsioAttachments notes(*o.file, 1);
  notes.Notes() = {"first note", "second note"};
  notes.FileLinks() = {"scan.pdf"};
  ASSERT_EQ(notes.Write(pc), tsioStatus::kSuccess);
  // Each file's records, then its notes and links of the record.
  auto state = [&] {
    std::string out;
    for (tsioDataFile* f : {o.file, history}) {
      tsioAttachments a(*f, 1);
      out += iotest::Contents(*f) + (a.Fetch(key) == tsioStatus::kSuccess ? "" : "?");
      for (const auto* list : {&a.Notes(), &a.FileLinks()}) {
        for (const std::string& n : *list) out += n + ";";
        out += "|";
      }
    }
    return out;
  };
  const std::string before = state();
  ASSERT_EQ(before, "P/2//0\nfirst note;second note;|scan.pdf;|||");
  struct Case { tsioOp op; tsioStatus::Status status; } cases[] = {{tsioOp::kInsert, tsioStatus::kDiskFull},
               {tsioOp::kDelete, tsioStatus::kIOError}, {tsioOp::kAttachmentsRead, tsioStatus::kIOError},
               {tsioOp::kCommit, tsioStatus::kBusy}};
  for (const auto& cs : cases) {
    SCOPED_TRACE(static_cast<int>(cs.op));
    ASSERT_EQ(pc.FetchEQ(), tsioStatus::kSuccess);
    tsioFaults::Arm(cs.op, cs.status);
    EXPECT_EQ(pc.MoveRecord(*history), cs.status);
    tsioFaults::Clear();
    EXPECT_EQ(state(), before);
  }
  ASSERT_EQ(pc.FetchEQ(), tsioStatus::kSuccess);
  ASSERT_EQ(pc.MoveRecord(*history), tsioStatus::kSuccess);
  EXPECT_EQ(state(), "||P/2//0\nfirst note;second note;|scan.pdf;|");
}

// A bookmark on a record read under its lock restores it without reading
// it again (on a server, a round trip) while nothing could have changed it:
// the handle held the lock all the time and this program neither wrote to
// its table nor rolled anything back. Otherwise GoTo reads the record again
// and sees what changed. A fetch fault armed before GoTo tells whether it read.
TEST(Bookmarks, RestoreARecordReadUnderItsLockWithoutAReadOnlyWhileNothingCouldChangeIt) {
  iotest::OpenCompany o(true);
  iotest::Parent p, q;
  ccCursor pc(p, *o.file, 1, 0), same(q, *o.file, 1, 0);
  tclRollbackStack unit;
  auto write = [](ccCursor& c, iotest::Parent& rec, long long key, const char* value) {
    rec.Set("B", key);
    ASSERT_EQ(c.FetchEQ(false), tsioStatus::kSuccess);
    rec.v = tsAlpha(value);
    ASSERT_EQ(c.Update(), tsioStatus::kSuccess);
  };
  const struct {
    const char* what;
    std::function<void(long long)> before, between;  // before the read; between the mark and GoTo
    bool locked;
    const char* seen;  // V after GoTo
    bool reads;
  } cases[] = {
      {"nothing between", [](long long) {}, [](long long) {}, true, "a", false},
      {"read without its lock", [](long long) {}, [](long long) {}, false, "a", true},
      {"written through another cursor of the handle", [](long long) {},
       [&](long long k) { write(same, q, k, "w"); }, true, "w", true},
      {"a write before the read rolled back", [&](long long k) {
         pc.AttachRollbackStack(&unit);
         write(pc, p, k, "u");
       },
       [&](long long) {
         ASSERT_EQ(unit.Rollback(), tsioStatus::kSuccess);
         pc.AttachRollbackStack(nullptr);
       },
       true, "a", true},
      {"the lock given back while another program wrote", [](long long) {},
       [&](long long k) {
         ASSERT_EQ(pc.Unlock(), tsioStatus::kSuccess);
         const std::string folder = o.path();
         bktest::ChildProcess writer = bktest::ChildProcess::Start([folder, k, &write] {
           iotest::Opened there(folder);
           iotest::Parent rec;
           ccCursor cur(rec, *there.file, 1, 0);
           write(cur, rec, k, "o");
           return ::testing::Test::HasFailure() ? 1 : 0;
         });
         ASSERT_EQ(writer.Wait(), 0);
         ASSERT_EQ(pc.Lock(), tsioStatus::kSuccess);
       },
       true, "o", true},
  };
  long long key = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ((p.Set("B", ++key, "a"), pc.Insert()), tsioStatus::kSuccess);
    c.before(key);
    p.Set("B", key);
    ASSERT_EQ(pc.FetchEQ(c.locked), tsioStatus::kSuccess);
    tsioBookmark mark(pc);
    c.between(key);
    p.v = tsAlpha("changed in the record only");
    ASSERT_EQ(pc.SetBuffer(), tsioStatus::kSuccess);
    tsioFaults::Arm(tsioOp::kFetch, tsioStatus::kIOError);
    EXPECT_EQ(mark.GoTo(), c.reads ? tsioStatus::kIOError : tsioStatus::kSuccess);
    tsioFaults::Clear();
    if (c.reads) {
      EXPECT_EQ(mark.GoTo(), tsioStatus::kSuccess);
    }
    EXPECT_EQ(p.v.str(), c.seen);
    (void)pc.Unlock();
  }
}

// Each keyed fetch is one query, found or not; a walk reads ahead, so it runs
// fewer queries than it makes fetches, and a fetch that fails before the
// database (an injected fault) runs none.
TEST(Counters, CountTheQueriesFetchesRun) {
  iotest::OpenCompany o(true);
  iotest::Parent p;
  ccCursor c(p, *o.file, 1, 0);
  for (long long k2 = 1; k2 <= 40; ++k2) ASSERT_EQ((p.Set("P", k2), c.Insert()), tsioStatus::kSuccess);
  tsioCounters::Reset();
  ASSERT_EQ((p.Set("P", 7), c.FetchEQ(false)), tsioStatus::kSuccess);
  ASSERT_EQ((p.Set("P", 99), c.FetchEQ(false)), tsioStatus::kNotFound);
  using Counts = std::pair<uint64_t, uint64_t>;  // queries, rows
  EXPECT_EQ(Counts(tsioCounters::FetchQueries(), tsioCounters::RowsRead()), Counts(2, 1));
  tsioFaults::Arm(tsioOp::kFetch, tsioStatus::kDamaged);
  EXPECT_EQ(c.FetchEQ(false), tsioStatus::kDamaged);
  tsioFaults::Clear();
  EXPECT_EQ(tsioCounters::FetchQueries(), 2u);

  tsioCounters::Reset();
  const std::string walked = iotest::Contents(*o.file);
  EXPECT_EQ(std::count(walked.begin(), walked.end(), '\n'), 40);
  EXPECT_LT(tsioCounters::FetchQueries(), 40u);
  EXPECT_EQ(tsioCounters::RowsRead(), 40u);
}

}  // namespace
