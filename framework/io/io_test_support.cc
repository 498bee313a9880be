// Test data files for the data-file layer's own tests.
#include "framework/io/io_test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <sstream>

#include "framework/base/application.h"

namespace iotest {

namespace {
tsioFileDef Def(const char* code, short id) {
  using T = tsDataType;
  const tsioRecordDef parent{1, "parent",
                             {{"K1", T::kAlpha, 10, 0, 0}, {"K2", T::kDouble, 9, 0, 0}, {"V", T::kAlpha, 20, 0, 0},
                              {"N", T::kDouble, 12, 2, 0}, {"C", T::kChoice, 4, 0, 1}},
                             {{0, {"K1", "K2"}, true}, {1, {"N"}, false}, {2, {"V"}, false}},
                             /*notes=*/true, /*file_links=*/true};
  const tsioRecordDef child{2, "child",
                            {{"P1", T::kAlpha, 10, 0, 0}, {"P2", T::kDouble, 9, 0, 0},
                             {"LINE", T::kDouble, 9, 0, 0}, {"AMT", T::kCurrency, 15, 2, 0}},
                            {{0, {"P1", "P2", "LINE"}, true}}, false, false};
  const tsioHeaderDef header{1, {{"COUNTER", T::kDouble, 9, 0, 0}, {"NAME", T::kAlpha, 20, 0, 0}}};
  return tsioFileDef{code, id, "test file", false, {parent, child}, {header}, {}};
}
}  // namespace

void RegisterTestFiles() {
  static bool done = false;
  if (done) return;
  done = true;
  tsioDictionary::Register(Def("TST", 9001));
  tsioDictionary::Register(Def("TSU", 9002));
}

tsioFileSpec Spec(short instance) { return tsioFileSpec("TST", instance, 9001); }
tsioFileSpec OtherSpec() { return tsioFileSpec("TSU", 1, 9002); }

std::string MakeCompany(const std::string& folder) {
  RegisterTestFiles();
  tsioFileManager fm(folder);
  EXPECT_EQ(fm.CreateCompany(), tsioStatus::kSuccess);
  EXPECT_EQ(fm.Create(Spec(1)), tsioStatus::kSuccess);
  EXPECT_EQ(fm.Create(Spec(2)), tsioStatus::kSuccess);
  EXPECT_EQ(fm.Create(OtherSpec()), tsioStatus::kSuccess);
  return folder;
}

Opened::Opened(const std::string& folder, bool as_application_company) : fm(folder) {
  if (as_application_company) TSGetApp()->SetCompanyFolder(folder);
  EXPECT_EQ(fm.Open(Spec(), &file), tsioStatus::kSuccess);
}

Counter::Counter(tsioDataFile& f) : header(f, 1) {
  EXPECT_EQ(header.AttachColumn("COUNTER", value), tsioStatus::kSuccess);
}

std::ostream& operator<<(std::ostream& o, const Row& r) {
  return o << r.k1 << "/" << r.k2 << "/" << r.v << "/" << r.cents;
}

Row FromRecord(const Parent& p) {
  return Row{p.k1.str(), p.k2.ToLongLong(), p.v.str(), (p.n * tsDouble(100)).ToLongLong()};
}

void ToRecord(const Row& r, Parent& p) {
  p.k1 = tsAlpha(r.k1);
  p.k2 = tsDouble(r.k2, 0);
  p.v = tsAlpha(r.v);
  p.n = tsDouble(r.cents, 0) / tsDouble(100);
}

Model::Tuple Model::Order(const Row& r, int index) {
  switch (index) {
    case 1: return {r.cents, r.k1, r.k2};
    case 2: return {r.v, r.k1, r.k2};
    default: return {r.k1, r.k2};
  }
}

std::vector<Row> Model::Sorted(int index) const {
  std::vector<Row> v;
  for (const auto& [k, r] : rows) v.push_back(r);
  std::sort(v.begin(), v.end(), [index](const Row& a, const Row& b) { return Order(a, index) < Order(b, index); });
  return v;
}

void Model::Insert(ccCursor& c, Parent& rec, const Row& r) {
  ASSERT_EQ((ToRecord(r, rec), c.Insert()), tsioStatus::kSuccess) << r;
  rows[{r.k1, r.k2}] = r;
}

std::optional<Row> Model::Expect(const std::string& op, int index, const Row& search) const {
  const auto v = Sorted(index);
  if (op == "first") return v.empty() ? std::nullopt : std::optional<Row>(v.front());
  if (op == "last") return v.empty() ? std::nullopt : std::optional<Row>(v.back());
  if ((op == "next" || op == "prev") && !position) return Expect(op == "next" ? "first" : "last", index, search);
  const Tuple pos = position ? Order(*position, index) : Tuple{};
  if (op == "prev") {
    for (auto it = v.rbegin(); it != v.rend(); ++it) {
      if (Order(*it, index) < pos) return *it;
    }
    return std::nullopt;
  }
  const Tuple s = Order(search, index);
  auto declared = [index](const Row& r) {  // the index's own columns
    Tuple t = Order(r, index);
    t.resize(index == 0 ? 2 : 1);
    return t;
  };
  for (const auto& r : v) {
    if (op == "next" && Order(r, index) > pos) return r;
    if (op == "eq" && declared(r) == declared(search)) return r;
    if (op == "ge" && Order(r, index) >= s) return r;
    if (op == "gt" && Order(r, index) > s) return r;
  }
  return std::nullopt;
}

std::string Contents(tsioDataFile& f) {
  Parent p;
  ccCursor c(p, f, 1, 0);
  std::ostringstream out;
  for (auto st = c.FetchFirst(false); st == tsioStatus::kSuccess; st = c.FetchNext(false)) {
    out << FromRecord(p) << "\n";
  }
  return out.str();
}

bool Eventually(const std::function<bool()>& done) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(bktest::ChildProcess::kGenerousMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    usleep(10000);
  }
  return true;
}

}  // namespace iotest
