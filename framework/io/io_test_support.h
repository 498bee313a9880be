// Test data files for the data-file layer's own tests: a small file "TST"
// (dictionary ids 9001 and 9002 for a second instance-like copy) with a
// parent record type, a child record type and one header.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "framework/io/cursor.h"
#include "framework/io/file_manager.h"
#include "framework/io/header.h"
#include "framework/types/values.h"
#include "tests/support/test_support.h"

namespace iotest {

// Record type 1: key K1;K2, index 1 on N (non-unique), index 2 on V.
struct Parent : ccRecData {
  tsAlpha k1;
  tsDouble k2{0, 0};
  tsAlpha v;
  tsDouble n{0, 2};
  tsChoice c;
  explicit Parent(const std::string& columns = "") : ccRecData("TST", 1, "K1;K2") {
    const std::pair<const char*, tsData*> all[] = {{"K1", &k1}, {"K2", &k2}, {"V", &v}, {"N", &n}, {"C", &c}};
    for (const auto& [name, field] : all) {
      if (columns.empty() || columns.find(name) != std::string::npos) AddColumn(name, field);
    }
  }
  // Sets the key, and the value when one is given (for a fetch or an insert).
  Parent& Set(const std::string& key1, long long key2 = 0, const char* value = nullptr) {
    k1 = tsAlpha(key1);
    k2 = tsDouble(key2, 0);
    if (value) v = tsAlpha(value);
    return *this;
  }
};

// Record type 2: key P1;P2;LINE, children of a parent by P1;P2.
struct Child : ccRecData {
  tsAlpha p1;
  tsDouble p2{0, 0};
  tsDouble line{0, 0};
  tsCurrency amount;
  Child() : ccRecData("TST", 2, "P1;P2;LINE") {
    AddColumn("P1", &p1);
    AddColumn("P2", &p2);
    AddColumn("LINE", &line);
    AddColumn("AMT", &amount);
  }
};

// Header 1 of a test file with its COUNTER column attached.
struct Counter {
  tsDouble value{0, 0};
  tsioHeader header;
  explicit Counter(tsioDataFile& f);
};

// Registers the test definitions (idempotent).
void RegisterTestFiles();
tsioFileSpec Spec(short instance = 1);
tsioFileSpec OtherSpec();  // a second data file, code "TSU", same layout

// A company folder with both test files created.
std::string MakeCompany(const std::string& folder);

// A company opened by a file manager of its own, `file` instance 1 of the
// test file; with `as_application_company`, also the application's company
// (where its log goes).
struct Opened {
  tsioFileManager fm;
  tsioDataFile* file = nullptr;
  explicit Opened(const std::string& folder, bool as_application_company = false);
};

// A fresh company of the test's own (bktest::TestCompany) with the test
// files, opened (as the application's company when asked).
struct OpenCompany : bktest::TestCompany, Opened {
  explicit OpenCompany(bool as_application_company = false)
      : Opened(MakeCompany(path()), as_application_company) {}
};

// A parent record as plain values (N in cents), for models and whole-result
// comparisons.
struct Row {
  std::string k1;
  long long k2 = 0;
  std::string v;
  long long cents = 0;
  bool operator==(const Row&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Row& r);
Row FromRecord(const Parent& p);
void ToRecord(const Row& r, Parent& p);

// A std::map model of record type 1 and of one handle's position: what each
// fetch of a cursor on index 0 (K1,K2), 1 (N,K1,K2) or 2 (V,K1,K2) answers.
class Model {
 public:
  using Tuple = std::vector<std::variant<long long, std::string>>;
  static Tuple Order(const Row& r, int index);

  std::map<std::pair<std::string, long long>, Row> rows;
  std::optional<Row> position;  // the handle's buffer

  std::vector<Row> Sorted(int index) const;
  // Inserts `r` through cursor `c` over `rec`, and into the model.
  void Insert(ccCursor& c, Parent& rec, const Row& r);
  // What fetch `op` ("first", "last", "next", "prev", "eq", "ge", "gt") finds
  // from `search` (the record's values) or the position; nullopt = the end
  // or not found.
  std::optional<Row> Expect(const std::string& op, int index, const Row& search) const;
};

// Every parent of `f` in key order, one "K1/K2/V/cents" line each.
std::string Contents(tsioDataFile& f);

// Polls `done` until it holds or a deadline far beyond any normal wait
// (bktest::ChildProcess::kGenerousMs) passes; returns at once when it holds.
bool Eventually(const std::function<bool()>& done);

}  // namespace iotest
