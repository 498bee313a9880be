// Record locks across real processes and handles, and units of work that
// roll back as one or die with their process.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "framework/io/faults.h"
#include "framework/io/header.h"
#include "framework/io/io_test_support.h"
#include "framework/io/rollback_stack.h"
#include "tests/support/test_support.h"

namespace {

using bktest::ChildProcess;
using iotest::Contents;

void Put(ccCursor& c, iotest::Parent& p, const char* k1, long long k2, const char* v) {
  ASSERT_EQ((p.Set(k1, k2, v), c.Insert()), tsioStatus::kSuccess);
}

tsioStatus::Status FetchKey(ccCursor& c, iotest::Parent& p, const char* k1, long long k2, bool lock = true) {
  p.Set(k1, k2);
  return c.FetchEQ(lock);
}

TEST(RecordLocks, SecondProcessSeesLockUntilHolderIsKilled) {
  bktest::TestCompany dir;
  {  // the database closed before the holder starts: no handle crosses a fork
    iotest::Opened o(iotest::MakeCompany(dir.path()));
    iotest::Parent p;
    ccCursor c(p, *o.file, 1, 0);
    Put(c, p, "A", 1, "one");
  }
  const std::string folder = dir.path();
  ChildProcess holder = ChildProcess::Start([folder] {
    iotest::Opened o(folder);
    iotest::Parent p;
    ccCursor c(p, *o.file, 1, 0);
    ChildProcess::WriteLine(std::to_string(FetchKey(c, p, "A", 1)));
    ChildProcess::ReadLine();  // hold until killed
    return 0;
  });
  ASSERT_EQ(holder.Receive(), "0");
  iotest::Opened o(dir.path());
  iotest::Parent p;
  ccCursor c(p, *o.file, 1, 0);
  // A locked fetch, a read without a lock, the lock's state, an update and
  // a delete of the record, in turn.
  auto tries = [&] {
    std::string out;
    for (const auto st : {FetchKey(c, p, "A", 1), FetchKey(c, p, "A", 1, false), c.Locked(),
                          (p.v = tsAlpha("mine"), c.Update()), c.Delete()}) {
      out += std::to_string(st) + " ";
    }
    return out;
  };
  EXPECT_EQ(tries(), "9 0 9 9 9 ");  // only reading without a lock works
  holder.Kill(SIGKILL);
  EXPECT_EQ(holder.Wait(), -SIGKILL);
  // ChildProcess::Wait has waited for a database server to end the
  // holder's sessions; the lock file's lock may take a moment longer.
  EXPECT_TRUE(iotest::Eventually([&] { return c.Locked() == tsioStatus::kSuccess; }));
  EXPECT_EQ(tries(), "0 0 0 0 0 ");
}

TEST(RecordLocks, TwoHandlesInOneProcessLockIndependently) {
  iotest::OpenCompany co;
  tsioDataFile second(co.file->FileName());
  iotest::Parent p, q;
  ccCursor c1(p, *co.file, 1, 0), c2(q, second, 1, 0);
  Put(c1, p, "A", 1, "one");
  Put(c1, p, "A", 2, "two");
  using S = std::vector<tsioStatus::Status>;
  // Ours, ours already, the other handle's try (nothing copied on 9).
  EXPECT_EQ((S{FetchKey(c1, p, "A", 1), FetchKey(c1, p, "A", 1), FetchKey(c2, q, "A", 1)}),
            (S{tsioStatus::kSuccess, tsioStatus::kSuccess, tsioStatus::kLocked}));
  EXPECT_EQ(q.v.str(), "");
  // The other handle's own, and ours on it.
  EXPECT_EQ((S{FetchKey(c2, q, "A", 2), FetchKey(c1, p, "A", 2)}),
            (S{tsioStatus::kSuccess, tsioStatus::kLocked}));
  ASSERT_EQ(FetchKey(c1, p, "A", 1), tsioStatus::kSuccess);
  (void)c1.Unlock(1);
  EXPECT_EQ(FetchKey(c2, q, "A", 1), tsioStatus::kSuccess);
  second.Close();  // closing releases every lock of the handle
  EXPECT_EQ(FetchKey(c1, p, "A", 2), tsioStatus::kSuccess);
}

// The header lock serialises two programs taking the next counter value.
TEST(Headers, LockedReadWaitsForTheHolderThenSeesItsWrite) {
  bktest::TestCompany dir;
  const std::string folder = iotest::MakeCompany(dir.path());
  ChildProcess other = ChildProcess::Start([folder] {
    iotest::Opened o(folder);
    iotest::Counter h(*o.file);
    if (h.header.Get(true) != tsioStatus::kSuccess) return 2;
    ChildProcess::WriteLine("held");
    ChildProcess::ReadLine();
    h.value = h.value + tsDouble(1, 0);
    return h.header.Update() == tsioStatus::kSuccess ? 0 : 3;
  });
  ASSERT_EQ(other.Receive(), "held");
  iotest::Opened o(folder);
  iotest::Counter h(*o.file);
  other.Send("go");
  ASSERT_EQ(h.header.Get(true), tsioStatus::kSuccess);  // waited for the other's update
  EXPECT_EQ(h.value.ToLongLong(), 1);
  EXPECT_EQ(other.Wait(), 0);
  h.header.Unlock();
}

// A failed header write gives the header's lock back; one written inside a
// unit stays locked until the unit ends, even when a later read of it in the
// same unit fails.
TEST(Headers, AFailedWriteFreesTheLockAWriteInsideAUnitHoldsItUntilTheUnitEnds) {
  iotest::OpenCompany co;
  tsioDataFile other(co.file->FileName());
  const uint64_t id = tsioLockFile::Identity("TST", 1, -1, "");
  iotest::Counter h(*co.file);
  ASSERT_EQ(h.header.Get(true), tsioStatus::kSuccess);
  tsioFaults::Arm(tsioOp::kHeaderWrite, tsioStatus::kDiskFull);
  EXPECT_EQ(h.header.Update(), tsioStatus::kDiskFull);
  EXPECT_EQ(std::pair(h.header.HoldsLock(), other.Locks().TestOther(id)), std::pair(false, tsioStatus::kSuccess));

  iotest::Parent p;
  ccCursor c(p, *co.file, 1, 0);
  tclRollbackStack unit;
  c.AttachRollbackStack(&unit);
  Put(c, p, "A", 1, "begins the unit");
  ASSERT_EQ(h.header.Get(true), tsioStatus::kSuccess);
  h.value = tsDouble(7, 0);
  ASSERT_EQ(h.header.Update(), tsioStatus::kSuccess);
  // (The injected read fault comes before the lock: still locked after it,
  // the lock is the write's.)
  tsioFaults::Arm(tsioOp::kHeaderRead, tsioStatus::kIOError);
  EXPECT_EQ(h.header.Get(true), tsioStatus::kIOError);
  EXPECT_EQ(other.Locks().TestOther(id), tsioStatus::kLocked);
  ASSERT_EQ(unit.Rollback(), tsioStatus::kSuccess);
  EXPECT_EQ(other.Locks().TestOther(id), tsioStatus::kSuccess);
  ASSERT_EQ(h.header.Get(false), tsioStatus::kSuccess);
  EXPECT_EQ(h.value.ToLongLong(), 0);  // the write went with the unit
}

TEST(UnitsOfWork, ThreeFilesRollBackAsOne) {
  iotest::OpenCompany co;
  tsioDataFile *f1 = co.file, *f2 = nullptr, *f3 = nullptr;
  ASSERT_EQ(co.fm.Open(iotest::Spec(2), &f2), tsioStatus::kSuccess);
  ASSERT_EQ(co.fm.Open(iotest::OtherSpec(), &f3), tsioStatus::kSuccess);
  iotest::Parent a, b, c;
  ccCursor c1(a, *f1, 1, 0), c2(b, *f2, 1, 0), c3(c, *f3, 1, 0);
  Put(c1, a, "A", 1, "before");
  auto all = [&] { return Contents(*f1) + "|" + Contents(*f2) + "|" + Contents(*f3); };
  const std::string before = all();
  tclRollbackStack unit;
  for (ccCursor* cur : {&c1, &c2, &c3}) cur->AttachRollbackStack(&unit);
  ASSERT_EQ(FetchKey(c1, a, "A", 1, false), tsioStatus::kSuccess);
  ASSERT_EQ((a.v = tsAlpha("during"), c1.Update()), tsioStatus::kSuccess);
  Put(c2, b, "B", 1, "x");
  Put(c3, c, "C", 1, "y");
  ASSERT_EQ(c1.MoveRecord(*f2), tsioStatus::kSuccess);
  EXPECT_EQ(all(), "|A/1/during/0\nB/1/x/0\n|C/1/y/0\n");  // the unit sees its own changes
  ASSERT_EQ(unit.Rollback(), tsioStatus::kSuccess);
  EXPECT_EQ(all(), before);
}

TEST(UnitsOfWork, ProcessKilledInsideAUnitLeavesFilesAsBefore) {
  bktest::TestCompany dir;
  const std::string folder = iotest::MakeCompany(dir.path());
  ChildProcess worker = ChildProcess::Start([folder] {
    iotest::Opened o(folder);
    tsioDataFile* f3 = nullptr;
    if (o.fm.Open(iotest::OtherSpec(), &f3) != tsioStatus::kSuccess) return 1;
    iotest::Parent a, c;
    ccCursor c1(a, *o.file, 1, 0), c3(c, *f3, 1, 0);
    tclRollbackStack unit;
    c1.AttachRollbackStack(&unit);
    c3.AttachRollbackStack(&unit);
    for (int i = 0; i < 50; ++i) {
      if ((a.Set("A", i), c1.Insert()) != tsioStatus::kSuccess) return 2;
      if ((c.Set("C", i), c3.Insert()) != tsioStatus::kSuccess) return 2;
    }
    ChildProcess::WriteLine("inside");
    ChildProcess::ReadLine();
    return 0;
  });
  ASSERT_EQ(worker.Receive(), "inside");
  worker.Kill(SIGKILL);
  worker.Wait();
  iotest::Opened o(folder);
  tsioDataFile* f3 = nullptr;
  ASSERT_EQ(o.fm.Open(iotest::OtherSpec(), &f3), tsioStatus::kSuccess);
  EXPECT_EQ(Contents(*o.file) + Contents(*f3), "");
  iotest::Parent a;
  ccCursor c1(a, *o.file, 1, 0);
  Put(c1, a, "A", 1, "after");  // the database is writable again
  EXPECT_EQ(Contents(*o.file), "A/1/after/0\n");
}

}  // namespace
