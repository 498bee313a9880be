// Cursor behaviour checked against a std::map model over random keys: every
// fetch kind on a unique and a non-unique index, both ends, deletes and
// inserts between fetches, cursors sharing one handle's position (a failed
// fetch changes neither it nor the record), writes and locks of another
// handle of the program between the steps of walks that read ahead (what
// was read ahead is dropped at once), and ordered scans (slice by slice)
// against the model's index order.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "framework/io/faults.h"
#include "framework/io/io_test_support.h"
#include "framework/io/ordered_scan.h"
#include "tests/support/test_support.h"

namespace {

using iotest::FromRecord;
using iotest::Model;
using iotest::Row;
using iotest::ToRecord;

class CursorModelTest : public ::testing::TestWithParam<int> {};

TEST_P(CursorModelTest, RandomOperationsMatchModel) {
  iotest::OpenCompany co;
  std::mt19937 rng(static_cast<unsigned>(GetParam()));
  auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  // Keys in byte order whatever the engine's or server's language settings:
  // upper case before lower, punctuation and digits by their code, a space
  // before letters, bytes above 127 last.
  const char* keys1[] = {"", "A", "AB", "B", "b", "a b", "ab", "_x", "9", "~", "\xC3\xA9t\xC3\xA9", "ZZ"};
  const char* vals[] = {"", "x", "y", "yy", "Y", "x y"};
  // Cursors on all three indexes over one handle; two on index 0 share a position.
  iotest::Parent recs[4];
  ccCursor cursors[] = {ccCursor(recs[0], *co.file, 1, 0), ccCursor(recs[1], *co.file, 1, 0),
                        ccCursor(recs[2], *co.file, 1, 1), ccCursor(recs[3], *co.file, 1, 2)};
  Model model;
  // Another handle of the program (on a server, its own connection).
  tsioDataFile second(co.file->FileName());
  iotest::Parent theirs;
  ccCursor other(theirs, second, 1, 0);

  // Walks go on: the cursor stays three steps in four, and a walk's
  // direction three fetches in four (so batches read ahead are served, with
  // the other handle's writes between their steps).
  int ci = 0, walking = -1;
  for (int step = 0; step < 1500; ++step) {
    if (pick(4) == 0) ci = pick(4);
    ccCursor& cur = cursors[ci];
    iotest::Parent& rec = recs[ci];
    const int index = cur.IndexID();
    const int what = pick(12);
    Row r{keys1[pick(12)], pick(8), vals[pick(6)], (pick(9) - 4) * 125};
    SCOPED_TRACE("step " + std::to_string(step) + " op " + std::to_string(what) + " index " + std::to_string(index));
    if (what <= 2) {  // insert
      const bool exists = model.rows.count({r.k1, r.k2}) != 0;
      ASSERT_EQ((ToRecord(r, rec), cur.Insert()), exists ? tsioStatus::kDuplicateKey : tsioStatus::kSuccess);
      if (!exists) model.position = model.rows[{r.k1, r.k2}] = r;
    } else if (what == 3 && !model.rows.empty()) {  // delete a record after fetching it by key
      const Row target = std::next(model.rows.begin(), pick(static_cast<int>(model.rows.size())))->second;
      ASSERT_EQ((ToRecord(target, recs[0]), cursors[0].FetchEQ()), tsioStatus::kSuccess);
      ASSERT_EQ(cursors[0].Delete(), tsioStatus::kSuccess);
      model.rows.erase({target.k1, target.k2});
      model.position = target;  // the walk goes on from the deleted record
    } else if (what == 4 && model.position && model.rows.count({model.position->k1, model.position->k2})) {
      // update the current record's non-key columns through this cursor
      ASSERT_EQ(cur.Refresh(), tsioStatus::kSuccess);
      Row changed = *model.position;
      changed.v = vals[pick(6)];
      changed.cents = (pick(9) - 4) * 125;
      ASSERT_EQ((ToRecord(changed, rec), cur.Update()), tsioStatus::kSuccess);
      model.position = model.rows[{changed.k1, changed.k2}] = changed;
    } else if (what >= 10 && !model.rows.empty()) {
      // The other handle adds a record, changes or removes one, or takes a
      // record's lock and gives it back: every change shows at once.
      // Half the time the record a walk comes to next (perhaps read ahead).
      Row target = std::next(model.rows.begin(), pick(static_cast<int>(model.rows.size())))->second;
      if (pick(2)) target = model.Expect("next", index, r).value_or(target);
      ASSERT_EQ((ToRecord(target, theirs), other.FetchEQ(what == 11)), tsioStatus::kSuccess);
      ASSERT_EQ(FromRecord(theirs), target);
      if (what == 11) {
        ASSERT_EQ(other.Unlock(), tsioStatus::kSuccess);
      } else if (!model.rows.count({r.k1, r.k2})) {
        model.Insert(other, theirs, r);
      } else if (pick(2)) {
        ASSERT_EQ(other.Delete(), tsioStatus::kSuccess);
        model.rows.erase({target.k1, target.k2});
      } else {
        target.v = r.v;
        target.cents = r.cents;
        ASSERT_EQ((ToRecord(target, theirs), other.Update()), tsioStatus::kSuccess);
        model.rows[{target.k1, target.k2}] = target;
      }
    } else if (what < 10) {  // a fetch
      using Fetch = tsioStatus::Status (ccCursor::*)(bool);
      static const std::pair<const char*, Fetch> fetches[] = {
          {"first", &ccCursor::FetchFirst}, {"last", &ccCursor::FetchLast}, {"next", &ccCursor::FetchNext},
          {"prev", &ccCursor::FetchPrev},   {"eq", &ccCursor::FetchEQ},     {"ge", &ccCursor::FetchGE},
          {"gt", &ccCursor::FetchGT}};
      const int fi = walking >= 0 && pick(4) != 0 ? walking : pick(7);
      walking = fi == 2 || fi == 3 ? fi : -1;
      const auto& [op, fetch] = fetches[fi];
      SCOPED_TRACE(op);
      ToRecord(r, rec);
      const tsioStatus::Status st = (cur.*fetch)(false);
      if (auto expect = model.Expect(op, index, r)) {
        ASSERT_EQ(st, tsioStatus::kSuccess);
        ASSERT_EQ(FromRecord(rec), *expect);
        model.position = *expect;
      } else {
        ASSERT_EQ(st, std::string(op) == "eq" ? tsioStatus::kNotFound : tsioStatus::kEndOfFile);
        ASSERT_EQ(FromRecord(rec), r) << "a failed fetch changed the record";
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, CursorModelTest, ::testing::Values(1, 2, 3, 4));

// Cursors binding different columns walk one handle in turn, in runs of
// random length: each run goes on from the shared position, and every record
// arrives whole in the columns its cursor binds (the rows read ahead by one
// cursor, of its width, become the room the next cursor reads into).
TEST(CursorReadAhead, CursorsOfDifferentWidthsTakeTurnsOnOneHandle) {
  iotest::OpenCompany co;
  auto row = [](long long k) {  // V of 17 characters: more than a short text holds in place
    char v[32];
    std::snprintf(v, sizeof v, "value %06lld long", k);
    return Row{"K", k, v, k * 100};
  };
  iotest::Parent all, narrow("K1;K2;V"), keys("K1;K2");
  ccCursor a(all, *co.file, 1, 0), b(narrow, *co.file, 1, 0), c(keys, *co.file, 1, 0);
  const int rows = 900;
  for (int i = 0; i < rows; ++i) ASSERT_EQ((ToRecord(row(i), all), a.Insert()), tsioStatus::kSuccess);
  const std::pair<ccCursor*, Row (*)(Row)> cursors[] = {
      {&a, [](Row r) { return r; }},
      {&b, [](Row r) { return Row{r.k1, r.k2, r.v, 0}; }},
      {&c, [](Row r) { return Row{r.k1, r.k2, "", 0}; }}};
  const iotest::Parent* records[] = {&all, &narrow, &keys};
  std::mt19937 rng(11);
  ASSERT_EQ(a.FetchFirst(), tsioStatus::kSuccess);
  for (long long expect = 1; expect < rows;) {
    const size_t which = rng() % 3;
    const int run = rng() % 4 == 0 ? 1 + static_cast<int>(rng() % 300) : 1 + static_cast<int>(rng() % 3);
    for (int i = 0; i < run && expect < rows; ++i, ++expect) {
      ASSERT_EQ(cursors[which].first->FetchNext(), tsioStatus::kSuccess) << expect;
      ASSERT_EQ(FromRecord(*records[which]), cursors[which].second(row(expect)));
    }
  }
  EXPECT_EQ(b.FetchNext(), tsioStatus::kEndOfFile);
}

// What an ordered scan serves from the cursor's record to its end: the rows,
// and the status that ended it.
std::pair<std::vector<Row>, tsioStatus::Status> ScanAll(tsioOrderedScan& scan, const iotest::Parent& got) {
  std::vector<Row> served;
  tsioStatus::Status st;
  while ((st = scan.Next()) == tsioStatus::kSuccess) served.push_back(FromRecord(got));
  return {served, st};
}

// An ordered scan serves exactly what a walk of the index from the same
// start, within the same range, would: every index, slice sizes from one
// record to more than the table, starts inside and outside the data, with and
// without a range on the first column.
TEST(OrderedScan, ServesTheIndexOrderOfEverySliceSize) {
  iotest::OpenCompany co;
  std::mt19937 rng(7);
  auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const char* keys1[] = {"A", "AB", "B", "b", "a b", "_x", "~", "ZZ", "\xC3\xA9t\xC3\xA9"};
  const char* vals[] = {"", "x", "y", "yy", "Y", "text past sixteen ch"};
  Model model;
  iotest::Parent rec;
  ccCursor writer(rec, *co.file, 1, 0);
  while (model.rows.size() < 700) {  // more than a first slice and several record batches
    Row r{keys1[pick(9)], pick(100000), vals[pick(6)], (pick(2001) - 1000) * 5};
    if (model.rows.count({r.k1, r.k2})) continue;
    model.Insert(writer, rec, r);
  }
  for (int index : {0, 1, 2}) {
    for (size_t slice : {size_t{1}, size_t{3}, size_t{130}, size_t{100000}}) {
      for (int start = 0; start < 6; ++start) {
        const bool ranged = start % 2 == 1;
        Row from = model.Sorted(index)[static_cast<size_t>(pick(700))];
        if (start == 0) from = Row{"", -1, "", -1000000};  // before everything
        if (start == 4) from.k2 += 1;                       // between records
        SCOPED_TRACE("index " + std::to_string(index) + " slice " + std::to_string(slice) + " start " +
                     std::to_string(start));
        const auto at = Model::Order(from, index);
        std::vector<Row> expect;
        for (const Row& r : model.Sorted(index)) {
          const auto order = Model::Order(r, index);
          if (order >= at && (!ranged || order[0] == at[0])) expect.push_back(r);
        }
        iotest::Parent got;
        ccCursor cur(got, *co.file, 1, static_cast<short>(index));
        cur.Initialize();
        ToRecord(from, got);
        if (ranged) cur.AttachRange(1);
        tsioOrderedScan scan(cur, slice);
        ASSERT_EQ(ScanAll(scan, got), std::pair(expect, tsioStatus::kEndOfFile));
        EXPECT_EQ(scan.Next(), tsioStatus::kEndOfFile);
      }
    }
  }
}

// What other writers do while a scan runs: a record removed before its slice
// is read is left out, one changed is served as it now is; a failed query
// ends the scan with its status (never as the end of the records), and a
// cursor with conditions is refused.
TEST(OrderedScan, ChangesFailuresAndConditions) {
  iotest::OpenCompany co;
  iotest::Opened other(co.path());  // another program's handle writes
  iotest::Parent rec, got;
  ccCursor writer(rec, *other.file, 1, 0);
  Model model;
  for (int i = 0; i < 40; ++i) {
    model.Insert(writer, rec, Row{"K", i, "v", (39 - i) * 100});  // index 1 (N) runs against the key
  }
  ccCursor cur(got, *co.file, 1, 1);
  for (int nth : {1, 2, 3, 5}) {  // the first index query, its record batch, later slices
    SCOPED_TRACE("failing query " + std::to_string(nth));
    cur.Initialize();
    tsioOrderedScan scan(cur, 4);
    tsioFaults::Arm(tsioOp::kFetch, tsioStatus::kIOError, nth);
    const auto [served, end] = ScanAll(scan, got);
    tsioFaults::Clear();
    EXPECT_EQ(end, tsioStatus::kIOError);
    EXPECT_EQ(scan.Next(), tsioStatus::kIOError);
    EXPECT_LT(served.size(), 40u);
  }
  cur.Initialize();
  tsioOrderedScan scan(cur, 4);
  ASSERT_EQ(scan.Next(), tsioStatus::kSuccess);
  EXPECT_EQ(FromRecord(got), (model.rows[{"K", 39}]));
  ASSERT_EQ((rec.Set("K", 0), writer.FetchEQ()), tsioStatus::kSuccess);  // the last in N order, in a later slice
  ASSERT_EQ(writer.Delete(), tsioStatus::kSuccess);
  model.rows.erase({"K", 0});
  ASSERT_EQ((rec.Set("K", 1), writer.FetchEQ()), tsioStatus::kSuccess);
  const Row changed{"K", 1, "changed", 3800};
  ASSERT_EQ((ToRecord(changed, rec), writer.Update()), tsioStatus::kSuccess);
  model.rows[{"K", 1}] = changed;
  auto expect = model.Sorted(1);
  expect.erase(expect.begin());
  EXPECT_EQ(ScanAll(scan, got), std::pair(expect, tsioStatus::kEndOfFile));

  cur.Initialize();
  got.v = tsAlpha("v");
  cur.AttachCondition(3, true, false);
  tsioOrderedScan refused(cur);
  EXPECT_EQ(refused.Next(), tsioStatus::kInvalidOperation);
}

}  // namespace
