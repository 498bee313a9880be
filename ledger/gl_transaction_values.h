// The value source of general-ledger lines: what one register transaction
// gives each of its general-ledger lines (accounts, amount, description,
// journal, date, references), and the enumerations that name the lines.
//
// A register transaction yields up to five lines, asked for by include type
// (BKIncludeGLTranTypeEnum, bit values so that several can be asked at once):
//
//   include  line                                      GL line type
//   1        cash side: the bank's cash account        0
//   2        non-cash side, transaction without tax    1
//   4        non-cash side, transaction with tax       2
//   8        intercompany due-from line                3
//   16       intercompany due-to line                  4
//
// The bank's side of a transaction: a deposit (type 2) or an adjustment with
// a zero subtraction debits the bank (the cash line takes the debit account
// "TGLDBT", the non-cash line the credit account "TGLCRDT"); every other
// transaction credits it (cash line "TGLCRDT", non-cash line "TGLDBT"). The
// due-from line debits "TGLICRC"; the due-to line credits "TGLICPY".
//
// glwTransactionValues is the interface the general-ledger creator asks;
// bkGLTransactionValuesBase supplies what every bank-register source shares
// (host application "BK", references from the module settings, the
// company's accounting method); bkGLTransactionValues answers for one
// transaction seen at its description levels (DetailedTransactionData).
#pragma once

#include "framework/types/values.h"
#include "records/bk_export.h"
#include "transactions/detailed_transaction_data.h"

class bkProgram;
class TransactionData;

enum BKIncludeGLTranTypeEnum : short {
  kBKIncludeNone = 0,
  kBKIncludeCash = 1,
  kBKIncludeNonCashWithoutTax = 2,
  kBKIncludeNonCashWithTax = 4,
  kBKIncludeDueFrom = 8,
  kBKIncludeDueTo = 16,
  kBKIncludeAll = 31,
};

// The line types; -2 names no line and -1 every line (neither is a line an
// accumulator collects).
enum BKGLTranTypeEnum : int {
  kBKGLTranNone = -2,
  kBKGLTranAll = -1,
  kBKGLTranCash = 0,
  kBKGLTranNonCashWithoutTax = 1,
  kBKGLTranNonCashWithTax = 2,
  kBKGLTranDueFrom = 3,
  kBKGLTranDueTo = 4,
};
inline constexpr int kBKGLTranTypeCount = 5;

// The transaction as the general ledger sees it, from its type ("TRANTYP")
// and amounts.
enum BKTranTypeEnum : int {
  kBKTranOther = 0,               // anything else (an adjustment with both amounts)
  kBKTranCheck = 1,
  kBKTranDeposit = 2,
  kBKTranWithdrawal = 3,
  kBKTranIncreasingAdjustment = 4,  // type 4 with a zero subtraction
  kBKTranDecreasingAdjustment = 5,  // type 4 with a zero addition and a subtraction
};
inline constexpr int kBKTranTypeCount = 6;

// The value source. Each operation returns a new value.
class BK_EXPORT glwTransactionValues {
 public:
  virtual tsAlpha HostAppl() const = 0;
  virtual tsDate AccountingDate() const = 0;
  virtual tsNum<short> Journal() const = 0;
  virtual tsAlpha ApplOfOrigin() const = 0;
  virtual tsAlpha Batch() const = 0;
  virtual tsChoice BatchSource() const = 0;
  virtual tsCurrency Amount() const = 0;
  virtual tsAlpha DueToAcct() const = 0;
  virtual tsAlpha DueFromAcct() const = 0;
  virtual tsAlpha Reference(short n) const = 0;
  virtual tsAlpha Description(TranLevelEnum level) const = 0;
  virtual tsAlpha DebitAccount(BKIncludeGLTranTypeEnum type) const = 0;
  virtual tsAlpha CreditAccount(BKIncludeGLTranTypeEnum type) const = 0;
  virtual bool IsNonTaxTransaction() const = 0;
  virtual BKTranTypeEnum GetBKTranType() const = 0;
  // The general-ledger transaction types (bits 1 debit, 2 credit, 4, 8)
  // that the line of `type` is not.
  virtual tsNum<short> GetOmittedGLTTranTypeBitfield(BKIncludeGLTranTypeEnum type) const = 0;
  virtual bool AccrualAccounting() const = 0;
  virtual bool CashAccounting() const = 0;
  virtual short AccountingMethod() const = 0;
  // Empty (0) unless a source has them.
  virtual tsAlpha VendorID() const { return tsAlpha(); }
  virtual tsAlpha InvoiceID() const { return tsAlpha(); }
  virtual tsNum<short> DistSequence() const { return tsNum<short>(0); }
  virtual tsAlpha JobID() const { return tsAlpha(); }
  virtual tsAlpha BankID() const { return tsAlpha(); }
  virtual tsDouble CheckNumber() const { return tsDouble(0); }
  virtual tsAlpha EmployeeID() const { return tsAlpha(); }
  virtual tsAlpha TenantID() const { return tsAlpha(); }
  virtual tsAlpha ARCustomerID() const { return tsAlpha(); }
  virtual tsAlpha ARInvoiceID() const { return tsAlpha(); }
  virtual tsNum<long> SMWorkOrderInvoiceID() const { return tsNum<long>(0); }
  virtual ~glwTransactionValues();
  virtual tsAlpha TranType() const = 0;
  virtual tsAlpha TranDescription() const = 0;
  virtual tsAlpha BankAccount() const = 0;
  virtual tsAlpha DepositId() const = 0;
  virtual bool _AccrualAccounting() const = 0;
  virtual bool _CashAccounting() const = 0;
  virtual short _AccountingMethod() const = 0;

 protected:
  glwTransactionValues() = default;
  glwTransactionValues(const glwTransactionValues&) = default;
  glwTransactionValues& operator=(const glwTransactionValues&) = default;
};

// What every bank-register value source shares.
//   HostAppl        "BK".
//   Description     empty (sources that describe lines override it).
//   Reference(n)    the program's settings: "CGLREF1" for n = 1, "CGLREF2"
//                   for any other n; 2 gives BankAccount(), 3 DepositId(),
//                   anything else empty.
//   _AccountingMethod  the company's accounting method, from the control
//                   definition (xc_get_control_def, 16-bit at offset 150):
//                   1 accrual, 2 cash, 3 both. Read once per object.
//   _AccrualAccounting  the method is not 2; _CashAccounting: it is not 1.
class BK_EXPORT bkGLTransactionValuesBase : public glwTransactionValues {
 public:
  // `posting`: the values serve a posting program (kept for callers; no
  // answer depends on it).
  bkGLTransactionValuesBase(bkProgram& program, bool posting);
  ~bkGLTransactionValuesBase() override;

  tsAlpha HostAppl() const override;
  tsAlpha Description(TranLevelEnum level) const override;
  tsAlpha Reference(short n) const override;
  bool _AccrualAccounting() const override;
  bool _CashAccounting() const override;
  short _AccountingMethod() const override;

  bkProgram& Program() const { return m_Program; }
  bool Posting() const { return m_Posting; }

 private:
  bkProgram& m_Program;
  bool m_Posting;
  mutable short m_AccountingMethod = 0;  // 0 until read
};

// The values of one register transaction, through its description levels.
// Without a detailed transaction (or without its record) every value is
// empty or zero, Description is empty and GetBKTranType is 0.
//
//   AccountingDate "TACTGDT"; Journal "TGLJRN"; ApplOfOrigin, Batch,
//   BatchSource the transaction's; DueToAcct "TGLICPY"; DueFromAcct
//   "TGLICRC"; BankAccount and BankID the bank account; DepositId the
//   deposit ID; TranDescription "TDESC"; TranType the type's full
//   description; CheckNumber the check number of a check (type 1), else 0;
//   IsNonTaxTransaction: the non-cash type is 0.
//
// Amount: the net amount made positive, or, for a negative detail (its
// negative flag set), the subtraction when the addition is zero, else the
// addition; negated for a reversal.
// Description(level): the hierarchy description at that level; when it is
// empty, "BK " and the type's full description; for a reversal "(REV) " in
// front and the whole cut to 30 characters.
class BK_EXPORT bkGLTransactionValues : public bkGLTransactionValuesBase {
 public:
  static constexpr int kDescriptionWidth = 30;

  // `detailed` is borrowed; it may be null.
  bkGLTransactionValues(bkProgram& program, bool posting, DetailedTransactionData* detailed);
  ~bkGLTransactionValues() override;

  tsDate AccountingDate() const override;
  tsNum<short> Journal() const override;
  tsAlpha ApplOfOrigin() const override;
  tsAlpha Batch() const override;
  tsChoice BatchSource() const override;
  tsCurrency Amount() const override;
  tsAlpha DueToAcct() const override;
  tsAlpha DueFromAcct() const override;
  tsAlpha Description(TranLevelEnum level) const override;
  tsAlpha DebitAccount(BKIncludeGLTranTypeEnum type) const override;
  tsAlpha CreditAccount(BKIncludeGLTranTypeEnum type) const override;
  bool IsNonTaxTransaction() const override;
  BKTranTypeEnum GetBKTranType() const override;
  tsNum<short> GetOmittedGLTTranTypeBitfield(BKIncludeGLTranTypeEnum type) const override;
  bool AccrualAccounting() const override { return _AccrualAccounting(); }
  bool CashAccounting() const override { return _CashAccounting(); }
  short AccountingMethod() const override { return _AccountingMethod(); }
  tsAlpha BankID() const override { return BankAccount(); }
  tsDouble CheckNumber() const override;
  tsAlpha TranType() const override;
  tsAlpha TranDescription() const override;
  tsAlpha BankAccount() const override;
  tsAlpha DepositId() const override;

  DetailedTransactionData* GetDetailedTransaction() const { return m_Detailed; }

 private:
  const TransactionData* Record() const;
  // The transaction debits the bank: a deposit or an increasing adjustment.
  bool DebitsTheBank() const;

  DetailedTransactionData* m_Detailed;
};
