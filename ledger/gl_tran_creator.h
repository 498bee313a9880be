// glwTranCreator: turns the register transactions a program walks through
// into general-ledger transaction definitions and hands them to the general
// ledger.
//
// A creator lives for one run:
//   construction (the module settings are read and the two matrices filled)
//   -> SetRunNumber
//   -> per transaction: point the value source at it (SetTranValuesObject),
//      AccumulateTrans, RollTrans at the end of each level
//   -> ProcessTrans (or ResetTranCreator)
//   -> Commit or Rollback.
//
// Summarisation. Each line gets an accumulation level from the matrix cell
// of its transaction (BKTranTypeEnum, rows 0-5) and line type
// (BKGLTranTypeEnum, columns 0-4): -1 merges lines of different
// transactions with equal keys (a summary line, marked summarized and
// carrying no references or descriptions), 0 keeps lines per transaction, 1
// and 2 per deposit item / detail. The description matrix gives the level
// whose description a line carries. Both depend on the settings "CDETGLT"
// (detailed GL transactions), "CDETDCA" (cash level) and "CDETDNC"
// (non-cash level):
//
//   accumulation   not detailed        detailed
//   rows 0, 1      -1 -1 -1 -1 -1      0 0 0 0 0
//   row 2          -1 -1 -1 -1 -1      C N 0 0 0   C = 1 when cash level 2, else 0
//   row 3          -1  1  1  1 -1      0 1 0 0 0   N = 2 when non-cash level 2, else 0
//   row 4          -1  0  0 -1  0      0 0 0 0 0
//   row 5          -1  0  0  0 -1      0 0 0 0 0
//
//   description    not detailed        detailed
//   rows 0, 1      -1 -1 -1 -1 -1      0  0  0 0 0
//   row 2          -1 -1 -1 -1 -1      C' N' 0 0 0   C' = 1 when cash level 2, else 0
//   row 3          -1  0  0  0 -1      0  0  0 0 0   N' = 1 when non-cash level 2, else 0
//   row 4          -1  0  0 -1  0      0  0  0 0 0
//   row 5          -1  0  0  0 -1      0  0  0 0 0
//
// Keys (bkGLTranDefKey) carry the line's accounts, its summarize flags
// (level -1; with "CDETGLT" set only the bank's own side, the offset side
// and the intercompany side of the line's kind may summarize), date,
// journal, intercompany accounts (blanked on summary lines of the cash side
// so they merge whatever the other company), batch, batch source and run.
// A new line also gets vendor, invoice, distribution sequence, check
// number, bank ID (not on summary lines), omitted GL transaction types and,
// for each side that does not summarize, the references and the
// description of its description level.
//
// Processing hands each rolled-out definition to "GL_PROCESS_TRANSACTION",
// for the accrual ledger and then the cash ledger as the company's
// accounting method asks. The whole of one ProcessTrans is all or nothing:
// when the general ledger refuses a definition, what the earlier ones wrote
// is removed ("GL_REMOVE_TRANSACTION", both ledgers, newest first), the
// general-ledger transaction file is put back exactly as it was (the writes
// run in a unit of work of their own, nested in the program's), the account
// recap too, and message 1604 reports it. The stack is empty afterwards in
// every case.
//
// The general ledger must be there. While the company's "BK" to "GL"
// interface is active, a creator that writes GL transactions does not
// process when the general ledger's functions cannot be found or it does
// not hand out its master-file header: it reports 1604 (file does not
// exist) with "You may need to reinstall General Ledger.", never success.
//
// Units of work. Commit (and InitStack, which starts a unit) marks a commit
// point; Rollback puts the accumulators and the account recap back to the
// last commit point and empties the stack, so lines that committed units
// merged into summary lines survive a later unit's rollback. ClearTrans
// empties everything.
//
// Blocks: the update block (gl_update_def, 717 bytes) is zero-filled at
// construction; the batch definition (168 bytes) and the general ledger's
// application block (117 bytes) are allocated with x_alloc when the
// creator writes GL transactions, and freed with it. See
// framework/module/gl_blocks.h.
#pragma once

#include <array>

#include "framework/base/errors.h"
#include "framework/io/io_status.h"
#include "framework/module/gl_blocks.h"
#include "ledger/gl_tran_def_accumulator.h"
#include "ledger/gl_transaction_values.h"
#include "records/bk_export.h"
#include "settings/settings_enums.h"

class bkProgram;
class ccProgram;
class ccOldCrapSection;

class BK_EXPORT glwTranCreator {
 public:
  // `write_transactions`: the general ledger writes GL transactions (GLT);
  // otherwise it only keeps them in its account recap. `values` is borrowed
  // and may be null.
  glwTranCreator(bkProgram& program, bool write_transactions, glwTransactionValues* values);
  virtual ~glwTranCreator();
  glwTranCreator(const glwTranCreator&) = delete;
  glwTranCreator& operator=(const glwTranCreator&) = delete;

  void SetTranValuesObject(glwTransactionValues* values) { m_Values = values; }
  // When the creator writes GL transactions: takes the next run number of
  // GLT from the framework (zc_increment_lastrun) and puts it in the update
  // block; 0 gives message 1603.
  ccStatus<ccBoolStatus> SetRunNumber(const ccProgram& program);
  // Accumulates the lines of the value source's transaction for the include
  // types of `mask` (1, 2, 4, 8, 16 in that order); nothing when the
  // transaction does not come from the host application ("BK"). Stops at
  // the first failure (the accumulators keep what they held) and returns it.
  ccStatus<tsioStatus::Status> AccumulateTrans(short mask);
  // Rolls the lines of the include types of `mask` into the stack (see
  // bkGLTranDefAccumulator::RollTrans), with each line's accumulation level
  // for the value source's transaction; stops at the first failure.
  ccStatus<tsioStatus::Status> RollTrans(TranLevelEnum ending, short mask);
  // Processes the stack (see above).
  ccStatus<tsioStatus::Status> ProcessTrans();
  // With `roll`: rolls everything out; then processes, clears all
  // accumulators and the stack, and returns the processing status.
  ccStatus<tsioStatus::Status> ResetTranCreator(bool roll);
  void Commit();
  void InitStack();
  void Rollback();
  void ClearTrans();
  // Prints the general ledger's account recap into the journal section
  // `section_id` of the program's journal (an old-style section); a print
  // block naming no section prints nothing.
  void PrintRecap(short section_id);
  void PrintRecap(ccOldCrapSection& section);

  bool GetSendingDetailedGLTs() const { return m_SendDetailed; }
  tclTSEnum<DepositDetailCashSideEnum> GetDepositDetailCashLevel() const { return m_CashLevel; }
  tclTSEnum<DepositDetailNonCashSideEnum> GetDepositDetailNonCashLevel() const { return m_NonCashLevel; }

  // Include type -> line type: 1 -> 0, 2 -> 1, 4 -> 2, 8 -> 3, 16 -> 4; any
  // other value -> -2.
  static BKGLTranTypeEnum MapIncludeTypeToBKGLType(BKIncludeGLTranTypeEnum include_type);

  // The matrices' cells (a row or column out of range gives -3).
  int AccumulationLevel(BKTranTypeEnum row, BKGLTranTypeEnum column) const;
  int DescriptionLevel(BKTranTypeEnum row, BKGLTranTypeEnum column) const;
  const gl_update_def& UpdateBlock() const { return m_UpdateBlock; }
  const gl_batch_appl_def* ApplBlock() const;
  std::size_t StackSize() const { return m_Stack.size(); }
  const bkGLTranDefAccumulator& Accumulator(BKGLTranTypeEnum type) const {
    return m_Accumulators[static_cast<std::size_t>(type)];
  }

 private:
  void SetGLTGeneratingInformation();
  void FillMatrices();
  bkGLTranDefKey PopulateKey(BKIncludeGLTranTypeEnum type, BKTranTypeEnum k, int level) const;
  void FillRemainingFields(gl_tran_def& def, BKIncludeGLTranTypeEnum type, BKTranTypeEnum k, int level) const;
  bool AccrualLedger() const;
  bool CashLedger() const;
  // The general ledger can take entries: its processing functions are found
  // and it hands out its master-file header.
  bool GeneralLedgerReady() const;
  void StartRecapUnit();

  gl_update_def m_UpdateBlock;
  std::array<bkGLTranDefAccumulator, kBKGLTranTypeCount> m_Accumulators;
  glTranDefList m_Stack;
  glwTransactionValues* m_Values;
  bkProgram* m_Program;
  bool m_SendDetailed = false;
  tclTSEnum<DepositDetailCashSideEnum> m_CashLevel{1};
  tclTSEnum<DepositDetailNonCashSideEnum> m_NonCashLevel{1};
  int32_t m_AccumulationLevels[kBKTranTypeCount][kBKGLTranTypeCount];
  int32_t m_DescriptionLevels[kBKTranTypeCount][kBKGLTranTypeCount];
  short m_FallbackAccountingMethod = 0;  // read when there is no value source
};
