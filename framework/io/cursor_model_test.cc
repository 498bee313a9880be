// Cursor behaviour checked against a std::map model over random keys: every
// fetch kind on a unique and a non-unique index, both ends, deletes and
// inserts between fetches, cursors sharing one handle's position (a failed
// fetch changes neither it nor the record), and
// ordered scans (slice by slice) against the model's index order.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <optional>
#include <random>
#include <variant>

#include "framework/io/faults.h"
#include "framework/io/io_test_support.h"
#include "framework/io/ordered_scan.h"
#include "tests/support/test_support.h"

namespace {

using Value = std::variant<long long, std::string>;
using Tuple = std::vector<Value>;

struct Row {
  std::string k1;
  long long k2 = 0;
  std::string v;
  long long cents = 0;
  bool operator==(const Row&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Row& r) {
  return o << r.k1 << "/" << r.k2 << "/" << r.v << "/" << r.cents;
}

// Index order of the test file: 0 = (K1,K2); 1 = (N,K1,K2); 2 = (V,K1,K2).
Tuple Order(const Row& r, int index) {
  switch (index) {
    case 1: return {r.cents, r.k1, r.k2};
    case 2: return {r.v, r.k1, r.k2};
    default: return {r.k1, r.k2};
  }
}

class Model {
 public:
  std::map<std::pair<std::string, long long>, Row> rows;
  std::optional<Row> position;  // the handle's buffer

  std::vector<Row> Sorted(int index) const {
    std::vector<Row> v;
    for (const auto& [k, r] : rows) v.push_back(r);
    std::sort(v.begin(), v.end(), [index](const Row& a, const Row& b) { return Order(a, index) < Order(b, index); });
    return v;
  }
  // Expected result of a fetch; nullopt = end or not found.
  std::optional<Row> Expect(const std::string& op, int index, const Row& search) const {
    auto v = Sorted(index);
    if (op == "first") return v.empty() ? std::nullopt : std::optional<Row>(v.front());
    if (op == "last") return v.empty() ? std::nullopt : std::optional<Row>(v.back());
    if ((op == "next" || op == "prev") && !position) return Expect(op == "next" ? "first" : "last", index, search);
    Tuple pos = position ? Order(*position, index) : Tuple{};
    if (op == "next") {
      for (const auto& r : v) if (Order(r, index) > pos) return r;
      return std::nullopt;
    }
    if (op == "prev") {
      for (auto it = v.rbegin(); it != v.rend(); ++it) if (Order(*it, index) < pos) return *it;
      return std::nullopt;
    }
    Tuple s = Order(search, index);
    auto declared = [index](const Row& r) {  // the index's own columns
      Tuple t = Order(r, index);
      t.resize(index == 0 ? 2 : 1);
      return t;
    };
    for (const auto& r : v) {
      if (op == "eq" && declared(r) == declared(search)) return r;
      if (op == "ge" && Order(r, index) >= s) return r;
      if (op == "gt" && Order(r, index) > s) return r;
    }
    return std::nullopt;
  }
};

Row FromRecord(const iotest::Parent& p) {
  Row r;
  r.k1 = p.k1.str();
  r.k2 = p.k2.ToLongLong();
  r.v = p.v.str();
  r.cents = (p.n * tsDouble(100)).ToLongLong();
  return r;
}

void ToRecord(const Row& r, iotest::Parent& p) {
  p.k1 = tsAlpha(r.k1);
  p.k2 = tsDouble(r.k2, 0);
  p.v = tsAlpha(r.v);
  p.n = tsDouble(r.cents, 0) / tsDouble(100);
}

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
  std::vector<std::unique_ptr<ccCursor>> cursors;
  for (int i = 0; i < 4; ++i) cursors.push_back(std::make_unique<ccCursor>(recs[i], *co.file, 1, i < 2 ? 0 : i - 1));
  Model model;

  for (int step = 0; step < 1500; ++step) {
    int ci = pick(4);
    ccCursor& cur = *cursors[static_cast<size_t>(ci)];
    iotest::Parent& rec = recs[ci];
    int index = cur.IndexID();
    int what = pick(10);
    Row r{keys1[pick(12)], pick(8), vals[pick(6)], (pick(9) - 4) * 125};
    SCOPED_TRACE("step " + std::to_string(step) + " op " + std::to_string(what) + " index " + std::to_string(index));
    if (what <= 2) {  // insert
      ToRecord(r, rec);
      tsioStatus::Status st = cur.Insert();
      bool exists = model.rows.count({r.k1, r.k2}) != 0;
      ASSERT_EQ(st, exists ? tsioStatus::kDuplicateKey : tsioStatus::kSuccess);
      if (!exists) {
        model.rows[{r.k1, r.k2}] = r;
        model.position = r;
      }
    } else if (what == 3 && !model.rows.empty()) {  // delete the current record after fetching it by key
      auto it = model.rows.begin();
      std::advance(it, pick(static_cast<int>(model.rows.size())));
      Row target = it->second;
      ccCursor& key_cursor = *cursors[0];
      ToRecord(target, recs[0]);
      ASSERT_EQ(key_cursor.FetchEQ(), tsioStatus::kSuccess);
      ASSERT_EQ(key_cursor.Delete(), tsioStatus::kSuccess);
      model.rows.erase(it);
      model.position = target;  // the walk goes on from the deleted record
    } else if (what == 4 && model.position && model.rows.count({model.position->k1, model.position->k2})) {
      // update the current record's non-key columns through this cursor
      ASSERT_EQ(cur.Refresh(), tsioStatus::kSuccess);
      Row changed = *model.position;
      changed.v = vals[pick(6)];
      changed.cents = (pick(9) - 4) * 125;
      ToRecord(changed, rec);
      ASSERT_EQ(cur.Update(), tsioStatus::kSuccess);
      model.rows[{changed.k1, changed.k2}] = changed;
      model.position = changed;
    } else {  // a fetch
      using Fetch = tsioStatus::Status (ccCursor::*)(bool);
      static const std::pair<const char*, Fetch> fetches[] = {
          {"first", &ccCursor::FetchFirst}, {"last", &ccCursor::FetchLast}, {"next", &ccCursor::FetchNext},
          {"prev", &ccCursor::FetchPrev},   {"eq", &ccCursor::FetchEQ},     {"ge", &ccCursor::FetchGE},
          {"gt", &ccCursor::FetchGT}};
      const auto& [op, fetch] = fetches[pick(7)];
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

// A sequential walk sees the program's own writes at once, even in the
// middle of a batch read ahead.
TEST(CursorReadAhead, OwnWritesDropWhatWasReadAhead) {
  iotest::OpenCompany co;
  iotest::Parent a, w;
  ccCursor walk(a, *co.file, 1, 0);
  for (int i = 0; i < 200; i += 2) ASSERT_EQ((a.Set("K", i, "old"), walk.Insert()), tsioStatus::kSuccess);
  // A second handle on the same file writes while the walk is under way.
  tsioDataFile second(co.file->FileName());
  ccCursor writer(w, second, 1, 0);
  ASSERT_EQ(walk.FetchFirst(), tsioStatus::kSuccess);
  int seen = 1;
  while (walk.FetchNext() == tsioStatus::kSuccess) {
    ++seen;
    long long k = a.k2.ToLongLong();
    if (k == 40) {
      ASSERT_EQ((w.Set("K", 41, "new"), writer.Insert()), tsioStatus::kSuccess);
      ASSERT_EQ((w.Set("K", 60), writer.FetchEQ()), tsioStatus::kSuccess);
      ASSERT_EQ((w.Set("K", 60, "changed"), writer.Update()), tsioStatus::kSuccess);
    }
    if (k == 41 || k == 60) {
      EXPECT_EQ(a.v.str(), k == 41 ? "new" : "changed");
    }
  }
  EXPECT_EQ(seen, 101);
}

// Cursors binding different columns walk one handle in turn, in runs of
// random length: each run goes on from the shared position, and every record
// arrives whole in the columns its cursor binds (the rows read ahead by one
// cursor, of its width, become the room the next cursor reads into).
TEST(CursorReadAhead, CursorsOfDifferentWidthsTakeTurnsOnOneHandle) {
  iotest::OpenCompany co;
  tsioDataFile* file = co.file;
  auto text = [](long long k) {  // 17 characters: more than a short text holds in place
    char buf[32];
    std::snprintf(buf, sizeof buf, "value %06lld long", k);
    return std::string(buf);
  };
  iotest::Parent all, narrow("K1;K2;V"), keys("K1;K2");
  ccCursor writer(all, *file, 1, 0);
  const int rows = 900;
  for (int i = 0; i < rows; ++i) {
    ASSERT_EQ((ToRecord({"K", i, text(i), i * 100}, all), writer.Insert()), tsioStatus::kSuccess);
  }
  ccCursor a(all, *file, 1, 0), b(narrow, *file, 1, 0), c(keys, *file, 1, 0);
  ccCursor* cursors[] = {&a, &b, &c};
  std::mt19937 rng(11);
  ASSERT_EQ(a.FetchFirst(), tsioStatus::kSuccess);
  long long expect = 1;
  while (expect < rows) {
    const size_t which = rng() % 3;
    const int run = rng() % 4 == 0 ? 1 + static_cast<int>(rng() % 300) : 1 + static_cast<int>(rng() % 3);
    for (int i = 0; i < run && expect < rows; ++i, ++expect) {
      ASSERT_EQ(cursors[which]->FetchNext(), tsioStatus::kSuccess) << expect;
      const iotest::Parent& r = which == 0 ? all : which == 1 ? narrow : keys;
      ASSERT_EQ(r.k2.ToLongLong(), expect);
      ASSERT_EQ(which == 2 ? text(expect) : r.v.str(), text(expect));
      ASSERT_EQ(which == 0 ? r.n.ToLongLong() : expect, expect);
    }
  }
  EXPECT_EQ(b.FetchNext(), tsioStatus::kEndOfFile);
}

// An ordered scan serves exactly what a walk of the index from the same
// start, within the same range, would: every index, slice sizes from one
// record to more than the table, starts inside and outside the data, with and
// without a range on the first column.
TEST(OrderedScan, ServesTheIndexOrderOfEverySliceSize) {
  iotest::OpenCompany co;
  tsioDataFile* file = co.file;
  std::mt19937 rng(7);
  auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const char* keys1[] = {"A", "AB", "B", "b", "a b", "_x", "~", "ZZ", "\xC3\xA9t\xC3\xA9"};
  const char* vals[] = {"", "x", "y", "yy", "Y", "text past sixteen ch"};
  Model model;
  iotest::Parent rec;
  ccCursor writer(rec, *file, 1, 0);
  while (model.rows.size() < 700) {  // more than a first slice and several record batches
    Row r{keys1[pick(9)], pick(100000), vals[pick(6)], (pick(2001) - 1000) * 5};
    if (model.rows.count({r.k1, r.k2})) continue;
    ToRecord(r, rec);
    ASSERT_EQ(writer.Insert(), tsioStatus::kSuccess);
    model.rows[{r.k1, r.k2}] = r;
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
        std::vector<Row> expect;
        for (const Row& r : model.Sorted(index)) {
          if (Order(r, index) < Order(from, index)) continue;
          if (ranged && Order(r, index)[0] != Order(from, index)[0]) continue;
          expect.push_back(r);
        }
        iotest::Parent got;
        ccCursor cur(got, *file, 1, static_cast<short>(index));
        cur.Initialize();
        ToRecord(from, got);
        if (ranged) cur.AttachRange(1);
        tsioOrderedScan scan(cur, slice);
        std::vector<Row> served;
        tsioStatus::Status st;
        while ((st = scan.Next()) == tsioStatus::kSuccess) served.push_back(FromRecord(got));
        ASSERT_EQ(st, tsioStatus::kEndOfFile);
        ASSERT_EQ(served, expect);
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
  tsioDataFile* file = co.file;
  iotest::Opened other(co.path());  // another program's handle writes
  iotest::Parent rec;
  ccCursor writer(rec, *other.file, 1, 0);
  for (int i = 0; i < 40; ++i) {
    ToRecord(Row{"K", i, "v", (39 - i) * 100}, rec);  // index 1 (N) runs against the key
    ASSERT_EQ(writer.Insert(), tsioStatus::kSuccess);
  }
  {
    iotest::Parent got;
    ccCursor cur(got, *file, 1, 1);
    cur.Initialize();
    got.n = tsDouble(-1);
    tsioOrderedScan scan(cur, 4);
    ASSERT_EQ(scan.Next(), tsioStatus::kSuccess);
    EXPECT_EQ(got.k2.ToLongLong(), 39);
    ASSERT_EQ((rec.Set("K", 0), writer.FetchEQ()), tsioStatus::kSuccess);  // the last in N order, in a later slice
    ASSERT_EQ(writer.Delete(), tsioStatus::kSuccess);
    ASSERT_EQ((rec.Set("K", 1), writer.FetchEQ()), tsioStatus::kSuccess);
    ASSERT_EQ((ToRecord(Row{"K", 1, "changed", 3800}, rec), writer.Update()), tsioStatus::kSuccess);
    std::vector<Row> served;
    tsioStatus::Status st;
    while ((st = scan.Next()) == tsioStatus::kSuccess) served.push_back(FromRecord(got));
    ASSERT_EQ(st, tsioStatus::kEndOfFile);
    ASSERT_EQ(served.size(), 38u);
    EXPECT_EQ(served.back(), (Row{"K", 1, "changed", 3800}));
  }
  for (int nth : {1, 2, 3, 5}) {  // the first index query, its record batch, later slices
    SCOPED_TRACE("failing query " + std::to_string(nth));
    iotest::Parent got;
    ccCursor cur(got, *file, 1, 1);
    cur.Initialize();
    tsioOrderedScan scan(cur, 4);
    tsioFaults::Arm(tsioOp::kFetch, tsioStatus::kIOError, nth);
    int served = 0;
    tsioStatus::Status st;
    while ((st = scan.Next()) == tsioStatus::kSuccess) ++served;
    tsioFaults::Clear();
    EXPECT_EQ(st, tsioStatus::kIOError);
    EXPECT_EQ(scan.Next(), tsioStatus::kIOError);
    EXPECT_LT(served, 38);
  }
  iotest::Parent got;
  ccCursor cur(got, *file, 1, 1);
  cur.Initialize();
  got.v = tsAlpha("v");
  cur.AttachCondition(3, true, false);
  tsioOrderedScan scan(cur);
  EXPECT_EQ(scan.Next(), tsioStatus::kInvalidOperation);
}

}  // namespace
