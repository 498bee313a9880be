// For the validation tests: a company with the module's files and
// general-ledger master data, a program of the module with the current
// transaction file, the master file and the GL master file open; records
// that pass every rule changed by column text; rule tables run over every
// kind they name; messages as validation answers them.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "deposits/detail_transfer_test_support.h"
#include "programs/bk_program.h"
#include "framework/control/interfaces.h"
#include "framework/dictionary/gl_files.h"
#include "ledger/gl_test_support.h"
#include "records/files.h"
#include "tests/support/status_text.h"
#include "transactions/transaction.h"
#include "validation/transaction_validater.h"
#include "validation/transfer_validater.h"

namespace vtest {

// Accounts of the master data (unformatted, format 9 with prefixes:
// sections 2-2-0-4-3, the full prefix is the first four characters).
inline constexpr const char* kCash = "01011000100";       // company 01-01
inline constexpr const char* kSales = "01014000000";
inline constexpr const char* kFees = "01014100000";
inline constexpr const char* kRent = "01015000000";
inline constexpr const char* kOther = "02021000100";      // company 02-02, its own calendar
inline constexpr const char* kSister = "03031000100";     // 03-03, prefixes matched with 01-01
inline constexpr const char* kDueFrom = "01021500000";    // 01-02
inline constexpr const char* kDueTo = "02012500000";      // 02-01
inline constexpr const char* kUnknown = "09091000100";    // prefix 09-09 is not set up

// Accounting dates and what the company's calendar (2025, current year)
// says of them: open; in January, closed with a warning (status 3: 1605).
// February is closed to posting (status 4: 1606, a warning); March is open.
inline tsDate OpenDate() { return tsDate(2025, 3, 10); }
inline tsDate ClosedWarningDate() { return tsDate(2025, 1, 15); }

// The company (a temporary folder, the application's company while the
// object lives) and a program of the module on it.
class ValidationCompany {
 public:
  explicit ValidationCompany(bool prefixed = true) : ledger_(prefixed) {
    gltest::LedgerCompany& c = ledger_;
    c.SetHeader(2025, true);
    c.AddPeriods("", 2025, "341");  // January closed with a warning, February to posting, March open
    if (prefixed) {
      for (const char* p : {"0101", "0202", "0102", "0201", "0303"}) c.AddPrefix(p);
      c.AddPrefixMatch("0101", "0303");
      for (const char* a : {kCash, kSales, kFees, kRent, kOther, kSister, kDueFrom, kDueTo}) c.AddAccount(a);
      c.AddYear("0202", 2025);
    }
    tsioFileManager& fm = program_.FileManager();
    EXPECT_EQ(fm.Create(BKTFileSpec), tsioStatus::kSuccess);
    EXPECT_EQ(fm.Create(BKMFileSpec), tsioStatus::kSuccess);
    EXPECT_EQ(program_.OpenFiles(), kBoolSuccess);
    EXPECT_EQ(fm.Open(GLMFileSpec), tsioStatus::kSuccess);
  }

  bkProgram& Program() { return program_; }
  tsioDataFile& Bkt() { return *program_.File(BKTFileSpec); }
  const std::string& Folder() const { return ledger_.Folder(); }
  // Records the "BK" to "GL" interface as active or not.
  void SetInterface(bool active) { EXPECT_EQ(zc_set_interface_active("BK", "GL", active), 1); }

 private:
  gltest::LedgerCompany ledger_;
  bkProgram program_{710};
};

// The kinds a validater is chosen for, by letter: C check, D deposit,
// W withdrawal, A adjustment, T transfer (the transfer validater).
inline constexpr const char* kEveryKind = "CDWAT";

// A record of `kind` that breaks no rule: bank "FIRST", run 1, sequence
// `seq`, both dates OpenDate(), entered by another application ("AP") in
// batch "B1" (source 1); a check 1001 of 125.50, a deposit of 300.00, a
// withdrawal of 75.00, a plus adjustment of 10.00, the paying side of a
// transfer of 50.00. No accounts. Then the columns of `change`
// ("COLUMN=value;...") are set.
inline TransactionData Valid(char kind, const std::string& change = "", int seq = 1) {
  static const char* const kKinds[] = {"TRANTYP=1;TCHECK=1001;TSUBTR=125.50", "TRANTYP=2;TDEPID=D-1;TADD=300.00",
                                       "TRANTYP=3;TSUBTR=75.00", "TRANTYP=4;TADD=10.00", "TRANTYP=4;TSUBTR=50.00"};
  std::string text = "TBNKACC=FIRST;TRUN=1;TTRANDT=2025-03-10;TACTGDT=2025-03-10;TAPPL=AP;TBATCH=B1;TSOURCE=1;TSEQ=" +
                     std::to_string(seq) + ";" + kKinds[std::string_view(kEveryKind).find(kind)] + ";" + change;
  while (text.ends_with(';')) text.pop_back();
  TransactionData r;
  EXPECT_TRUE(bkdetailtest::Set(r, text)) << text;
  return r;
}

// Runs the validater of `kind` over `record` the way the module does: the
// record chooses it by type, except for transfers, whose validater the
// programs make.
inline ccStatus<ccError::Level> RunKind(char kind, bkProgram& program, TransactionData& record) {
  if (kind != 'T') return record.Validate(program, nullptr);
  TransferValidater v(program, &record);
  return v.DoIt(program);
}

// One rule's case: the kinds it applies to, the change to a record that
// passes, and what validation answers (bktest::Said).
using Case = std::tuple<const char*, std::string, std::string>;
// Validates every case for every kind it names.
inline void ExpectEvery(bkProgram& program, const std::vector<Case>& cases) {
  for (const auto& [kinds, change, said] : cases) {
    for (const char* kind = kinds; *kind != 0; ++kind) {
      SCOPED_TRACE(std::string(1, *kind) + " " + change);
      TransactionData r = Valid(*kind, change);
      EXPECT_EQ(bktest::Said(RunKind(*kind, program, r)), said);
    }
  }
}

// The columns of the transaction's accounts.
inline std::string Accounts(const char* debit, const char* credit, const char* due_from = "", const char* due_to = "") {
  return std::string("TGLDBT=") + debit + ";TGLCRDT=" + credit + ";TGLICRC=" + due_from + ";TGLICPY=" + due_to + ";";
}

// The column of the accounting date.
inline std::string On(const tsDate& date) { return "TACTGDT=" + std::to_string(date.Ymd()) + ";"; }

// Messages as bktest::Said shows them.
inline std::string Msg(unsigned short number, int level, const std::string& text) {
  return " | " + std::to_string(number) + "/" + std::to_string(level) + " " + text;
}
inline std::string Blank(const std::string& field, const std::string& what = "blank") {
  return Msg(1608, 3, field + " cannot be " + what + ".");
}
inline std::string NonBlank(const std::string& field, const std::string& what) {
  return Msg(1610, 3, field + " must be " + what + " for this type of transaction.");
}
// A period message for the formatted prefix, or for no prefix: an error
// when no period is known, else a warning.
inline std::string Period(unsigned short number, const tsDate& date, const char* prefix) {
  const char* what = number == 1605 ? "in a closed period" : number == 1606 ? "in a period closed to posting"
                   : number == 1629 ? "in a future period" : "not in any known fiscal period";
  return Msg(number, number == 1624 ? 3 : 2, "The accounting date " + date.Format() + " is " + what +
                                                 (prefix ? " for prefix " + std::string(prefix) : "") + ".");
}
inline std::string UsesThisDate(const std::string& transaction) { return Msg(0, 0, transaction + " uses this date."); }

// A cursor positioned on the stored transaction with `record`'s key.
inline void Fetch(Transaction& t, const TransactionData& record) {
  t.m_Record = record;
  ASSERT_EQ(t.FetchEQ(false), tsioStatus::kSuccess);
}

}  // namespace vtest
