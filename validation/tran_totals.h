// TranTotals: the running totals of the transactions a program creates,
// removes or posts during one run, kept per unit of work and printed as a
// totals report into the program's journal.
//
// Calling order: construct, InitJournalSection, InitUnitOfWork; per unit any
// number of AddTransaction / SubtractTransaction, then Commit (the unit's
// amounts join the totals) or RollBack (they are dropped); each of those
// starts the next unit. At the end Print (or PrintToFile and
// PrintToPrinter).
//
// Totals are kept per (bank account, transaction type description) as an
// addition total and a subtraction total, ordered by bank account, then
// description.
//
// With the general-ledger flag, every transaction added also feeds the
// totals' general-ledger transaction creator (glwTranCreator, made on first
// need, which keeps its lines in the general ledger's account recap rather
// than writing GL transactions): its lines are committed and rolled back
// with the unit. A subtracted transaction feeds its reversal (the
// transaction itself, marked as a reversal: negated amounts, "(REV) "
// descriptions), so its lines cancel those it added.
//
// The report (PrintToFile), columns being 1-based print positions:
//   the title of the totals type at column 1 (0 "TOTALS", 1 "ENTRY TOTALS",
//   2 "POST ENTRIES TOTALS"; other types print none), a line end;
//   with nothing committed, the type's empty line at column 3 ("No entries
//   created.", "No entries made.", "No entries posted.");
//   otherwise per bank account: "Bank Account <id>" at column 3, two line
//   ends; headings "Transactions", "Subtraction", "Addition" right-aligned
//   in 15 positions at columns 5, 34 and 51, two line ends; one line per
//   type: the description at column 7 ("(no charge type)" when blank), the
//   subtraction and addition totals right-aligned in 15 positions at
//   columns 35 and 52 (FormatForPrint); and, when the account has more than
//   one line, fifteen hyphens at columns 34 and 51, then the account's
//   subtraction and addition totals at columns 35 and 52.
// PrintToFile writes the whole report again each time (the section holds
// the last one).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/base/errors.h"
#include "framework/program/journal.h"
#include "framework/program/printer.h"
#include "framework/types/values.h"
#include "records/bk_export.h"

class bkProgram;
class glwTranCreator;
class TransactionData;

class BK_EXPORT TranTotals {
 public:
  enum TotalsType : short {
    kTotals = 0,        // "TOTALS"
    kEntryTotals = 1,   // "ENTRY TOTALS"
    kPostTotals = 2,    // "POST ENTRIES TOTALS"
  };

  TranTotals(bkProgram& program, TotalsType type, bool general_ledger);
  virtual ~TranTotals();
  TranTotals(const TranTotals&) = delete;
  TranTotals& operator=(const TranTotals&) = delete;

  // Adds the report section (a buffer section) and the general ledger's
  // section (an old-style section) to the program's journal; the journal's
  // status.
  ccStatus<ccBoolStatus> InitJournalSection();
  void InitUnitOfWork();
  void AddTransaction(const TransactionData& record);
  // The transaction with its addition and subtraction negated.
  void SubtractTransaction(const TransactionData& record);
  void Commit();
  void RollBack();
  // Writes the report into the report section (the flag is not used).
  void PrintToFile(bool flag = false);
  // Prints the report section, then the general ledger's section.
  void PrintToPrinter(xp::PrinterEnum printer);
  void Print(xp::PrinterEnum printer, bool flag = false);
  void PrintToDlg() {}

  // The general-ledger creator (null until the first unit with the flag).
  glwTranCreator* GetGLTranCreator() const { return m_Creator.get(); }
  const ccBufferID& ReportSectionID() const { return m_BufferID; }
  const ccOldCrapID& GLSectionID() const { return m_OldCrapID; }

 private:
  struct _TotalsNode {
    tsAlpha bank_account;
    tsAlpha description;
    tsCurrency addition;
    tsCurrency subtraction;
  };
  void Add(const TransactionData& record, bool negate, bool reversal);
  void PrintAccountTotals(ccJournalStream& out, int lines, const tsCurrency& subtraction,
                          const tsCurrency& addition) const;

  std::map<std::pair<tsAlpha, tsAlpha>, std::pair<tsCurrency, tsCurrency>> m_Totals;  // (addition, subtraction)
  std::vector<_TotalsNode> m_Pending;
  TotalsType m_Type;
  bool m_GeneralLedger;
  bkProgram& m_Program;
  std::unique_ptr<glwTranCreator> m_Creator;
  ccBufferID m_BufferID;
  ccOldCrapID m_OldCrapID;
};

// The text of an amount on the report: the field editor's, 2 decimals, at
// most 110 characters ("1,234.50", "-20.00").
BK_EXPORT std::string FormatForPrint(const tsCurrency& amount);
