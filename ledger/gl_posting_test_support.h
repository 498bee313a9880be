// For the tests of general-ledger values, creation and posting: a company
// with the module's files and the general ledger's files, a program of the
// module that has them open, register transactions as the tests need them,
// and the general-ledger lines read back as text.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "framework/control/control_file.h"
#include "framework/control/interfaces.h"
#include "framework/dictionary/gl_files.h"
#include "framework/io/cursor.h"
#include "deposits/detail_transfer_test_support.h"
#include "framework/io/rollback_stack.h"
#include "ledger/gl_post_launcher.h"
#include "ledger/gl_tran_creator.h"
#include "ledger/gl_test_support.h"
#include "programs/bk_program.h"
#include "records/files.h"
#include "records/transaction_data.h"
#include "tests/support/status_text.h"

namespace posttest {

inline constexpr unsigned short kCommand = 730;

class GlPostingCompany {
 public:
  GlPostingCompany() : ledger_(false) {
    tsioFileManager& fm = program_.FileManager();
    EXPECT_EQ(fm.Create(BKTFileSpec), tsioStatus::kSuccess);
    EXPECT_EQ(fm.Create(BKMFileSpec), tsioStatus::kSuccess);
    EXPECT_EQ(program_.OpenFiles(), kBoolSuccess);
    for (const tsioFileSpec* spec : {&GLMFileSpec, &GLTFileSpec, &GLTFileSpec2}) {
      EXPECT_EQ(fm.Open(*spec), tsioStatus::kSuccess);
    }
  }

  bkProgram& Program() { return program_; }
  const std::string& Folder() const { return ledger_.Folder(); }
  tsioDataFile& Glt(short instance = 1) { return *program_.File(instance == 1 ? GLTFileSpec : GLTFileSpec2); }

  // The module options the creator and the values read, saved and read
  // back into the program's settings.
  void SetOptions(bool detailed, short cash_level, short non_cash_level, short ref1 = 2, short ref2 = 3) {
    bkSettings* s = program_.Settings();
    ASSERT_EQ(s->Get(false), tsioStatus::kSuccess);
    s->SetDetailedGLTsFromBK(tsBool(detailed));
    s->SetDetailedDepositCash(tclTSEnum<DepositDetailCashSideEnum>(cash_level));
    s->SetDetailedDepositNonCash(tclTSEnum<DepositDetailNonCashSideEnum>(non_cash_level));
    s->SetGLReference1(tclTSEnum<GLReferenceContents>(ref1));
    s->SetGLReference2(tclTSEnum<GLReferenceContents>(ref2));
    ASSERT_EQ(s->Update(), tsioStatus::kSuccess);
    ASSERT_EQ(s->Get(false), tsioStatus::kSuccess);
  }
  // 1 accrual, 2 cash, 3 both.
  void SetAccountingMethod(short method) {
    auto control = tsControlFile::Open(Folder());
    ASSERT_NE(control, nullptr);
    ASSERT_EQ(control->SetAccountingMethod(method), tsioStatus::kSuccess);
  }
  void SetInterface(bool active) { EXPECT_EQ(zc_set_interface_active("BK", "GL", active), 1); }

 private:
  gltest::LedgerCompany ledger_;
  bkProgram program_{kCommand};
};

// A transaction of type `type` (1 check, 2 deposit, 3 withdrawal, 4
// adjustment) of bank "BANK1", entered in this module ("BK") in batch "B1"
// (source 2), dated 2025-03-05, journal 7, accounts TGLDBT "1000", TGLCRDT
// "4000" and, with `ic`, TGLICRC "1500" and TGLICPY "2500"; check number
// 1234. The amount goes to the addition or the subtraction as the type
// (and for an adjustment, its sign) asks.
inline TransactionData MakeTransaction(int type, const char* amount, const char* description = "First",
                                       const char* deposit_id = "D-1", bool ic = true) {
  TransactionData t;
  EXPECT_TRUE(bkdetailtest::Set(t, "TBNKACC=BANK1;TRUN=1;TSEQ=1;TACTGDT=2025-03-05;TTRANDT=2025-03-05;TGLJRN=7;"
                                   "TAPPL=BK;TBATCH=B1;TSOURCE=2;TGLDBT=1000;TGLCRDT=4000;TCHECK=1234;TRANTYP=" +
                                       std::to_string(type) + (ic ? ";TGLICRC=1500;TGLICPY=2500" : "") +
                                       ";TDESC=" + description + ";TDEPID=" + deposit_id));
  const tsCurrency a = tsCurrency::FromText(amount);
  if (type == 2 || (type == 4 && a > 0)) {
    t.SetAddition(a);
  } else {
    t.SetSubtraction(a < 0 ? -a : a);
  }
  return t;
}

// A creator's call that succeeded without a word.
inline void Expect(const ccStatus<tsioStatus::Status>& st) { EXPECT_EQ(bktest::Said(st), "0"); }

// A register transaction as a creator's value source: the record, its
// detailed form (with the item description `item`, when given) and the GL
// values read from them.
struct Source {
  TransactionData record;
  DetailedTransactionData detailed;
  bkGLTransactionValues values;
  Source(bkProgram& program, TransactionData t, const char* item = nullptr)
      : record(std::move(t)), detailed(&record, record.GetDescription(), kNonCashWithoutTax, false, false),
        values(program, true, &detailed) {
    if (item) detailed.SetDescription(1, tsAlpha(item));
  }
};

// Accumulates transaction `t` into the creator (every include type), rolled
// out at its transaction's level when `roll`.
inline void Accumulate(glwTranCreator& creator, bkProgram& program, TransactionData t, bool roll = false) {
  Source s(program, std::move(t));
  creator.SetTranValuesObject(&s.values);
  Expect(creator.AccumulateTrans(kBKIncludeAll));
  if (roll) Expect(creator.RollTrans(kTranLevelTransaction, kBKIncludeAll));
  creator.SetTranValuesObject(nullptr);
}

// The lines of a GLT table in key order, as records. (A deque: a record
// binds its own fields, so records must never move.)
inline std::deque<tsGLTransactionRec> ReadLines(tsioDataFile& glt) {
  std::deque<tsGLTransactionRec> out;
  tsGLTransactionRec r;
  tsioCursor cur(r, glt, kGLTLine, 0);
  for (tsioStatus::Status st = cur.FetchFirst(); st == tsioStatus::kSuccess; st = cur.FetchNext()) {
    out.emplace_back();
    out.back().SetData(r);
  }
  return out;
}

// The lines of a GLT table in key order (run, sequence, ledger), each the
// text of the named columns ("GTACCT GTAMT", every column when empty) in
// the record's column order, separated by spaces.
inline std::vector<std::string> Lines(tsioDataFile& glt, const std::string& columns = "") {
  std::vector<std::string> out;
  for (const tsGLTransactionRec& r : ReadLines(glt)) {
    std::string& line = out.emplace_back();
    for (const auto& column : r.Columns()) {
      if (!columns.empty() && (" " + columns + " ").find(" " + column.name + " ") == std::string::npos) continue;
      line += (line.empty() ? "" : " ") + column.field->Format();
    }
  }
  return out;
}

// Deletes every line of a GLT table.
inline void ClearLines(tsioDataFile& glt) {
  tclRollbackStack unit;
  ASSERT_EQ(unit.EnsureBegun(glt.Company()), tsioStatus::kSuccess);
  tsGLTransactionRec r;
  tsioCursor cur(r, glt, kGLTLine, 0);
  while (cur.FetchFirst() == tsioStatus::kSuccess) ASSERT_EQ(cur.Delete(), tsioStatus::kSuccess);
  ASSERT_EQ(unit.Commit(), tsioStatus::kSuccess);
}

}  // namespace posttest
