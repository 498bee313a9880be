// TransactionValidater: the rules a register transaction must pass before it
// is written, and the base of the validaters chosen by transaction type
// (CheckValidater, DepositValidater, WithdrawalValidater,
// AdjustmentValidater) or made by the programs for cash transfers
// (TransferValidater).
//
// A validater checks one record (the one inside a Transaction when built from
// one). Every broken rule becomes one catalogue message; DoIt returns all of
// them in one list, in rule order, with the highest level as its value
// (2 warning, 3 error, 4 fatal). An error is present when the running list
// holds a message of level 3 or more.
//
// Stages of DoIt:
//   1. type-independent rules, all of them whatever they find: type, bank,
//      dates, check number, application of origin / batch / run / sequence,
//      amounts (DoTypeIndependentValidations);
//   2. when the "BK" to "GL" interface is active, the general-ledger rules
//      over the debit, credit, due-from and due-to accounts
//      (DoAccountValidations): regular accounts and the intercompany-prefix
//      match run whatever stage 1 found; the intercompany-account rule and
//      the closed-period checks only while no error is present.
// Deposits and withdrawals entered in this module add their detail lines
// (see deposit_validater.h, withdrawal_validater.h).
//
// Validation only reads: it writes no record and takes no lock. The program
// given to the constructors is not kept; every operation receives it again.
// Validaters are owned by the record they validate (TransactionData keeps
// the one of its type between validations) and deleted through the virtual
// destructor.
#pragma once

#include "framework/base/errors.h"
#include "framework/types/values.h"
#include "records/bk_export.h"
#include "records/transaction_data.h"

class bkProgram;
class Transaction;

class BK_EXPORT TransactionValidater {
 public:
  // Built on a file-bound transaction: validates the record inside it, and
  // (deposits and withdrawals) reads its detail lines from its file.
  TransactionValidater(const bkProgram& program, Transaction* transaction);
  // Built on a bare record: no Transaction, so no detail lines are read.
  TransactionValidater(const bkProgram& program, TransactionData* record);
  TransactionValidater(const TransactionValidater&) = delete;
  TransactionValidater& operator=(const TransactionValidater&) = delete;

  // Virtual operations, in this order in every class.
  virtual ~TransactionValidater();
  // Runs the rules (stages above) over the record; a fresh list each call.
  // A validater built on nothing (a null cursor or record) answers 1607.
  virtual ccStatus<ccError::Level> DoIt(bkProgram& program);

 protected:
  // Debit and credit accounts must not be blank (1608 "Debit Account" /
  // "Credit Account"); both rules run.
  virtual ccStatus<ccError::Level> ValidateRegularAccounts(bkProgram& program, const tsAlpha& debit,
                                                           const tsAlpha& credit) const;
  // Required (the debit and credit accounts belong to companies whose
  // intercompany prefixes differ): both intercompany accounts must be given
  // (1608 "I/C Receivable Account" / "I/C Payable Account"). Not required:
  // both must be blank (1610 "I/C Receivable Account" / "I/C Payable").
  virtual ccStatus<ccError::Level> ValidateIntercompanyAccounts(bkProgram& program, const tsAlpha& due_from,
                                                                const tsAlpha& due_to, bool required) const;
  // The accounting date against the fiscal periods of each distinct account
  // prefix of the four accounts (blank accounts have none), once per prefix,
  // when the program has the general-ledger master file open. When warnings
  // are the worst finding, a last line (number 0, level 0) names the
  // transaction: MessageText() + " uses this date.".
  virtual ccStatus<ccError::Level> ValidateGLPeriods(bkProgram& program, const tsAlpha& debit, const tsAlpha& credit,
                                                     const tsAlpha& due_from, const tsAlpha& due_to) const;

 public:
  // Whether the field may carry a value for this kind of transaction: the
  // check number; the deposit id; a non-zero addition; a non-zero
  // subtraction.
  virtual bool CheckExpected() const = 0;
  virtual bool DepositIDExpected() const = 0;
  virtual bool AdditionAmountExpected() const = 0;
  virtual bool SubtractionAmountExpected() const = 0;

  // The transaction type the validater was chosen for (set by the record
  // that owns it; a cached validater serves again only for that type).
  TransactionData::TranTypeEnum GetTranType() const { return m_TranType; }
  void SetTranType(TransactionData::TranTypeEnum type) { m_TranType = type; }
  // The file-bound transaction validated, or null.
  Transaction* GetTransaction() const { return m_Transaction; }
  // The record validated (the one inside GetTransaction() when there is one).
  TransactionData* GetTransactionData() const { return m_TransactionData; }

 protected:
  // Rules. Each returns a fresh status holding only its own messages, all at
  // level 3 unless stated.
  // The type must be 1 to 4 (1607).
  ccStatus<ccError::Level> ValidateTransactionType(bkProgram& program) const;
  // The bank account must not be blank (1608 "Bank").
  ccStatus<ccError::Level> ValidateBank(bkProgram& program) const;
  // Transaction date and accounting date must not be blank (1608
  // "Transaction Date", "Accounting Date"); both rules run.
  ccStatus<ccError::Level> ValidateDates(bkProgram& program) const;
  // Required: the check number must not be blank (1608 "<8I> number"); not
  // required: it must be (1610). The message shows the user's term for a
  // check ("Check number cannot be blank.").
  ccStatus<ccError::Level> ValidateCheck(bkProgram& program, bool required) const;
  // The same two rules on the deposit id ("Deposit ID"); not part of DoIt.
  ccStatus<ccError::Level> ValidateDepositID(bkProgram& program, bool required) const;
  // Application of origin, batch id ("<1I> ID", the user's term for a batch
  // replaced), batch source ("<1I> Source") must be set, run and sequence
  // numbers must not be zero; all five rules run, in that order.
  ccStatus<ccError::Level> ValidateBatchRunSeq(bkProgram& program) const;
  // Addition and subtraction must not be negative (1608 "negative"); an
  // amount the kind of transaction does not expect must be zero (1610
  // "zero"); all four rules run, in that order. No rule demands an amount.
  ccStatus<ccError::Level> ValidateAmounts(bkProgram& program) const;

  // Stage 1 into `status`; its value becomes the level of its list.
  void DoTypeIndependentValidations(bkProgram& program, ccStatus<ccError::Level>& status) const;
  // Stage 2 into `status` for one set of accounts; nothing when the "BK" to
  // "GL" interface is inactive. Regular accounts and the prefix match run
  // when debit and credit are both given; the intercompany accounts are
  // then required exactly when the prefixes differ (checked only while no
  // error is present); the period checks run while the level is below 3.
  void DoAccountValidations(bkProgram& program, ccStatus<ccError::Level>& status, const tsAlpha& debit,
                            const tsAlpha& credit, const tsAlpha& due_from, const tsAlpha& due_to) const;
  // Queues, on a server inside a unit, what DoAccountValidations reads of
  // the general ledger every time (its calendar and header), to go with
  // the unit's next read: a validater checking line after line queues them
  // before its walk and after each line's checks, so each line's reads go
  // with the request that reads or probes the next line.
  void QueueAccountValidationReads(bkProgram& program) const;
  // Whether the intercompany prefixes of the two accounts match, as the
  // general ledger answers it (glwMatchingICPrefixesOnAccounts).
  ccStatus<ccError::Level> MatchingIntercompanyPrefixes(const tsAlpha& debit, const tsAlpha& credit, short glm_file,
                                                        bool& match) const;

  // The file number of the general-ledger master file as the program has it
  // open; 0 when it is not open.
  static short GLMFileNumber(const bkProgram& program);
  // Whether `status` holds a message of level 3 or more.
  static bool ErrorPresent(const ccStatus<ccError::Level>& status);

 private:
  TransactionData::TranTypeEnum m_TranType = TransactionData::TranTypeEnum::kCheck;
  Transaction* m_Transaction = nullptr;
  TransactionData* m_TransactionData = nullptr;
};
