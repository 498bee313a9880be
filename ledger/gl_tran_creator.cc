// Creation and processing of general-ledger transactions (see
// gl_tran_creator.h).
#include "ledger/gl_tran_creator.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "framework/base/memory.h"
#include "framework/batch/batch.h"
#include "framework/control/control_file.h"
#include "framework/control/interfaces.h"
#include "framework/io/rollback_stack.h"
#include "framework/program/journal.h"
#include "ledger/gl_accounts.h"
#include "ledger/gl_binding.h"
#include "programs/bk_program.h"
#include "records/files.h"

static_assert(zzBatch::kBatchDefSize == kGLBatchDefSize);
static_assert(zzBatch::kApplBlockOffset == kGLBatchDefApplBlock);

namespace {

constexpr BKIncludeGLTranTypeEnum kIncludeTypes[] = {kBKIncludeCash, kBKIncludeNonCashWithoutTax,
                                                     kBKIncludeNonCashWithTax, kBKIncludeDueFrom, kBKIncludeDueTo};

bool CreditsTheBank(BKTranTypeEnum k) {
  return k == kBKTranCheck || k == kBKTranWithdrawal || k == kBKTranDecreasingAdjustment;
}
bool DebitsTheBank(BKTranTypeEnum k) { return k == kBKTranDeposit || k == kBKTranIncreasingAdjustment; }

short ReadAccountingMethod() {
  unsigned char block[kControlDefSize] = {};
  (void)xc_get_control_def(block);
  int16_t method = 0;
  std::memcpy(&method, block + kControlDefAccountingMethod, sizeof method);
  return method;
}

// The company of the program's open files (all share one), nullptr when it
// has none open.
tsioCompany* CompanyOf(const bkProgram& program) {
  for (tsioDataFile* f : program.FileManager().Files()) {
    if (f && f->IsOpen()) return &f->Company();
  }
  return nullptr;
}

}  // namespace

glwTranCreator::glwTranCreator(bkProgram& program, bool write_transactions, glwTransactionValues* values)
    : m_UpdateBlock{}, m_Values(values), m_Program(&program) {
  m_UpdateBlock.command_id = static_cast<int16_t>(program.Task().Command().ID());
  m_UpdateBlock.write_transactions = write_transactions ? 1 : 0;
  if (write_transactions) {
    tsioDataFile* glt = program.File(GLTFileSpec);
    if (!glt && program.FileManager().Open(GLTFileSpec, &glt) != tsioStatus::kSuccess) glt = nullptr;
    m_UpdateBlock.glt_file = glt ? glt->FileNum() : 0;
  }
  m_UpdateBlock.one = 1;
  m_UpdateBlock.zero = 0;
  for (int i = 0; i < kBKGLTranTypeCount; ++i) m_Accumulators[static_cast<size_t>(i)].SetTranType(static_cast<BKGLTranTypeEnum>(i));
  if (write_transactions) {
    void* batch_def = x_alloc(kGLBatchDefSize);
    void* appl = x_alloc(sizeof(gl_batch_appl_def));
    if (batch_def && appl) {
      std::memcpy(static_cast<unsigned char*>(batch_def) + kGLBatchDefApplBlock, &appl, sizeof appl);
      m_UpdateBlock.batch_def = batch_def;
    } else {
      x_free(batch_def);
      x_free(appl);
    }
  }
  SetGLTGeneratingInformation();
  StartRecapUnit();
}

glwTranCreator::~glwTranCreator() {
  ClearTrans();
  glw::GL_FREE_RECAP_INFO(&m_UpdateBlock);
  if (m_UpdateBlock.batch_def) {
    void* appl = nullptr;
    std::memcpy(&appl, static_cast<unsigned char*>(m_UpdateBlock.batch_def) + kGLBatchDefApplBlock, sizeof appl);
    x_free(appl);
    x_free(m_UpdateBlock.batch_def);
    m_UpdateBlock.batch_def = nullptr;
  }
}

const gl_batch_appl_def* glwTranCreator::ApplBlock() const {
  if (!m_UpdateBlock.batch_def) return nullptr;
  const gl_batch_appl_def* appl = nullptr;
  std::memcpy(&appl, static_cast<const unsigned char*>(m_UpdateBlock.batch_def) + kGLBatchDefApplBlock,
              sizeof appl);
  return appl;
}

// ---- settings and matrices ------------------------------------------------

void glwTranCreator::SetGLTGeneratingInformation() {
  // The program's settings, as the program has read them.
  const bkSettings* settings = m_Program->Settings();
  m_SendDetailed = settings && settings->GetDetailedGLTsFromBK().Value();
  if (m_SendDetailed) {
    m_CashLevel = settings->GetDetailedDepositCash();
    m_NonCashLevel = settings->GetDetailedDepositNonCash();
  } else {
    m_CashLevel = tclTSEnum<DepositDetailCashSideEnum>(1);
    m_NonCashLevel = tclTSEnum<DepositDetailNonCashSideEnum>(1);
  }
  FillMatrices();
}

void glwTranCreator::FillMatrices() {
  static constexpr int32_t kSummary[kBKTranTypeCount][kBKGLTranTypeCount] = {
      {-1, -1, -1, -1, -1}, {-1, -1, -1, -1, -1}, {-1, -1, -1, -1, -1},
      {-1, 1, 1, 1, -1},    {-1, 0, 0, -1, 0},    {-1, 0, 0, 0, -1}};
  static constexpr int32_t kSummaryDescription[kBKTranTypeCount][kBKGLTranTypeCount] = {
      {-1, -1, -1, -1, -1}, {-1, -1, -1, -1, -1}, {-1, -1, -1, -1, -1},
      {-1, 0, 0, 0, -1},    {-1, 0, 0, -1, 0},    {-1, 0, 0, 0, -1}};
  const bool cash_by_item = m_CashLevel.Value() == 2;
  const bool non_cash_by_item = m_NonCashLevel.Value() == 2;
  for (int r = 0; r < kBKTranTypeCount; ++r) {
    for (int c = 0; c < kBKGLTranTypeCount; ++c) {
      if (!m_SendDetailed) {
        m_AccumulationLevels[r][c] = kSummary[r][c];
        m_DescriptionLevels[r][c] = kSummaryDescription[r][c];
        continue;
      }
      m_AccumulationLevels[r][c] = 0;
      m_DescriptionLevels[r][c] = 0;
    }
  }
  if (m_SendDetailed) {
    m_AccumulationLevels[kBKTranDeposit][kBKGLTranCash] = cash_by_item ? 1 : 0;
    m_AccumulationLevels[kBKTranDeposit][kBKGLTranNonCashWithoutTax] = non_cash_by_item ? 2 : 0;
    m_AccumulationLevels[kBKTranWithdrawal][kBKGLTranNonCashWithoutTax] = 1;
    m_DescriptionLevels[kBKTranDeposit][kBKGLTranCash] = cash_by_item ? 1 : 0;
    m_DescriptionLevels[kBKTranDeposit][kBKGLTranNonCashWithoutTax] = non_cash_by_item ? 1 : 0;
  }
}

int glwTranCreator::AccumulationLevel(BKTranTypeEnum row, BKGLTranTypeEnum column) const {
  if (row < 0 || row >= kBKTranTypeCount || column < 0 || column >= kBKGLTranTypeCount) return kTranLevelNothing;
  return m_AccumulationLevels[row][column];
}

int glwTranCreator::DescriptionLevel(BKTranTypeEnum row, BKGLTranTypeEnum column) const {
  if (row < 0 || row >= kBKTranTypeCount || column < 0 || column >= kBKGLTranTypeCount) return kTranLevelNothing;
  return m_DescriptionLevels[row][column];
}

BKGLTranTypeEnum glwTranCreator::MapIncludeTypeToBKGLType(BKIncludeGLTranTypeEnum include_type) {
  switch (include_type) {
    case kBKIncludeCash: return kBKGLTranCash;
    case kBKIncludeNonCashWithoutTax: return kBKGLTranNonCashWithoutTax;
    case kBKIncludeNonCashWithTax: return kBKGLTranNonCashWithTax;
    case kBKIncludeDueFrom: return kBKGLTranDueFrom;
    case kBKIncludeDueTo: return kBKGLTranDueTo;
    default: return kBKGLTranNone;
  }
}

// ---- run number -------------------------------------------------------------

ccStatus<ccBoolStatus> glwTranCreator::SetRunNumber(const ccProgram& program) {
  if (!m_UpdateBlock.write_transactions) return ccStatus<ccBoolStatus>(kBoolSuccess);
  const long run = zc_increment_lastrun(static_cast<unsigned short>(m_UpdateBlock.command_id),
                                        m_UpdateBlock.glt_file, 1);
  if (run == 0) return glwGLTHeaderUpdateError(&program);
  m_UpdateBlock.run_number = static_cast<double>(run);
  return ccStatus<ccBoolStatus>(kBoolSuccess);
}

// ---- accumulation -----------------------------------------------------------

bkGLTranDefKey glwTranCreator::PopulateKey(BKIncludeGLTranTypeEnum t, BKTranTypeEnum k, int level) const {
  const glwTransactionValues& v = *m_Values;
  bkGLTranDefKey key;
  key.m_CreditAccount = v.CreditAccount(t);
  key.m_DebitAccount = v.DebitAccount(t);
  bool summarize_credit = level == kTranLevelSummary;
  bool summarize_debit = summarize_credit;
  if (m_SendDetailed) {
    const bool non_cash = t == kBKIncludeNonCashWithoutTax || t == kBKIncludeNonCashWithTax;
    summarize_credit = summarize_credit && ((t == kBKIncludeCash && CreditsTheBank(k)) ||
                                            (non_cash && DebitsTheBank(k)) || t == kBKIncludeDueTo);
    summarize_debit = summarize_debit && ((t == kBKIncludeCash && DebitsTheBank(k)) ||
                                          (non_cash && CreditsTheBank(k)) || t == kBKIncludeDueFrom);
  }
  key.m_SummarizeCredit = tsBool(summarize_credit);
  key.m_SummarizeDebit = tsBool(summarize_debit);
  key.m_AccountingDate = v.AccountingDate();
  key.m_Journal = v.Journal();
  // Summary lines of the cash side (and the intercompany line of the same
  // side) merge whatever the other company's account.
  const bool blank_payable = (t == kBKIncludeCash || t == kBKIncludeDueFrom) &&
                             ((k == kBKTranCheck && level == -1) ||
                              (k == kBKTranWithdrawal && (level == -1 || level == 0)) ||
                              (k == kBKTranDecreasingAdjustment && level == -1));
  const bool blank_receivable = (t == kBKIncludeCash || t == kBKIncludeDueTo) &&
                                ((k == kBKTranDeposit && level >= -1 && level <= 1) ||
                                 (k == kBKTranIncreasingAdjustment && level == -1));
  key.m_ICPayableAccount = blank_payable ? tsAlpha() : v.DueToAcct();
  key.m_ICReceivableAccount = blank_receivable ? tsAlpha() : v.DueFromAcct();
  key.m_ApplOfOrigin = v.ApplOfOrigin();
  key.m_Batch = v.Batch();
  key.m_BatchSource = v.BatchSource();
  key.m_RunNumber = tsDouble(std::llround(m_UpdateBlock.run_number));
  key.m_EmployeeID = v.EmployeeID();
  key.m_JobID = v.JobID();
  key.m_ARCustomerID = v.ARCustomerID();
  key.m_ARInvoiceID = v.ARInvoiceID();
  key.m_SMWorkOrderInvoiceID = v.SMWorkOrderInvoiceID();
  return key;
}

void glwTranCreator::FillRemainingFields(gl_tran_def& def, BKIncludeGLTranTypeEnum t, BKTranTypeEnum k,
                                         int level) const {
  const glwTransactionValues& v = *m_Values;
  glPutText(def.vendor_id, v.VendorID().view());
  glPutText(def.invoice_id, v.InvoiceID().view());
  def.dist_sequence = v.DistSequence().Value();
  def.check_number = v.CheckNumber().ToDouble();
  glPutText(def.bank_id, level >= 0 && level <= 2 ? v.BankID().view() : std::string_view());
  def.omitted_tran_types = v.GetOmittedGLTTranTypeBitfield(t).Value();
  const auto description_level = static_cast<TranLevelEnum>(m_DescriptionLevels[k][MapIncludeTypeToBKGLType(t)]);
  if (!def.summarize_debit) {
    glPutText(def.debit_reference1, v.Reference(1).view());
    glPutText(def.debit_reference2, v.Reference(2).view());
    glPutText(def.debit_description, v.Description(description_level).view());
  }
  if (!def.summarize_credit) {
    glPutText(def.credit_reference1, v.Reference(1).view());
    glPutText(def.credit_reference2, v.Reference(2).view());
    glPutText(def.credit_description, v.Description(description_level).view());
  }
}

ccStatus<tsioStatus::Status> glwTranCreator::AccumulateTrans(short mask) {
  ccStatus<tsioStatus::Status> status;
  if (!m_Values || m_Values->ApplOfOrigin() != m_Values->HostAppl()) return status;
  const bool non_tax = m_Values->IsNonTaxTransaction();
  const BKTranTypeEnum k = m_Values->GetBKTranType();
  for (BKIncludeGLTranTypeEnum t : kIncludeTypes) {
    if (!(mask & t)) continue;
    if (t == kBKIncludeNonCashWithoutTax && !non_tax) continue;
    if (t == kBKIncludeNonCashWithTax && non_tax) continue;
    if (t == kBKIncludeDueFrom && m_Values->DueFromAcct().IsBlank()) continue;
    if (t == kBKIncludeDueTo && m_Values->DueToAcct().IsBlank()) continue;
    const BKGLTranTypeEnum line_type = MapIncludeTypeToBKGLType(t);
    const int level = m_AccumulationLevels[k][line_type];
    glTranDefPtr def;
    try {
      def = std::make_shared<gl_tran_def>();
    } catch (const std::bad_alloc&) {
      return ccStatus<tsioStatus::Status>(tsioStatus::kInvalidOperation);
    }
    glSetTranDefAmount(*def, m_Values->Amount());
    const bkGLTranDefKey key = PopulateKey(t, k, level);
    ccStatus<tsioStatus::Status> st = m_Accumulators[line_type].AccumulateGLTranDef(key, def);
    if (st.Value() == bkGLTranDefAccumulator::kAdded) {
      key.CopyKeyToGLTranDef(*def);
      FillRemainingFields(*def, t, k, level);
    } else if (st.Value() != bkGLTranDefAccumulator::kMerged) {
      return st;
    }
  }
  return status;
}

ccStatus<tsioStatus::Status> glwTranCreator::RollTrans(TranLevelEnum ending, short mask) {
  const BKTranTypeEnum k = m_Values ? m_Values->GetBKTranType() : kBKTranOther;
  for (BKIncludeGLTranTypeEnum t : kIncludeTypes) {
    if (!(mask & t)) continue;
    const BKGLTranTypeEnum line_type = MapIncludeTypeToBKGLType(t);
    const auto level = static_cast<TranLevelEnum>(m_AccumulationLevels[k][line_type]);
    ccStatus<tsioStatus::Status> st = m_Accumulators[line_type].RollTrans(m_Stack, ending, level);
    if (st.Value() != tsioStatus::kSuccess) return st;
  }
  return ccStatus<tsioStatus::Status>();
}

// ---- processing -------------------------------------------------------------

bool glwTranCreator::AccrualLedger() const {
  if (m_Values) return m_Values->AccrualAccounting();
  return m_FallbackAccountingMethod != 2;
}

bool glwTranCreator::CashLedger() const {
  if (m_Values) return m_Values->CashAccounting();
  return m_FallbackAccountingMethod != 1;
}

bool glwTranCreator::GeneralLedgerReady() const {
  if (!glwFindFunction("GL_PROCESS_TRANSACTION") || !glwFindFunction("GL_REMOVE_TRANSACTION")) return false;
  glwInterface<glGLMHeader> header(kGLNewGLMHeader, kIID_glGLMHeader);
  return static_cast<bool>(header);
}

ccStatus<tsioStatus::Status> glwTranCreator::ProcessTrans() {
  ccStatus<tsioStatus::Status> status;
  if (m_Stack.empty()) return status;
  if (!m_Values && m_FallbackAccountingMethod == 0) m_FallbackAccountingMethod = ReadAccountingMethod();
  const bool accrual = AccrualLedger();
  const bool cash = CashLedger();
  const std::string host = m_Values ? m_Values->HostAppl().str() : "BK";
  if (m_UpdateBlock.write_transactions && zc_interface_active(host, "GL") && !GeneralLedgerReady()) {
    status = glwGLTranWriteError(m_Program, tsioStatus::kFileDoesNotExist);
    status.Add(ccError(0, ccError::kNone, "", "You may need to reinstall General Ledger."));
    m_Stack.clear();
    return status;
  }
  if (m_UpdateBlock.batch_def) m_Program->GetBatch().FillBatchStruct(m_UpdateBlock.batch_def);

  // One unit of work for the whole stack: whatever fails, the general
  // ledger's files end as they began.
  tclRollbackStack unit;
  tsioStatus::Status io = tsioStatus::kSuccess;
  if (m_UpdateBlock.write_transactions) {
    if (tsioCompany* company = CompanyOf(*m_Program)) io = unit.EnsureBegun(*company);
  }
  (void)glw::GL_START_TRANSACTION_FOR_RECAP(&m_UpdateBlock);
  gl_tran_def& def = m_UpdateBlock.tran;
  // Where processing stopped: nothing before it needs undoing when the unit
  // could not even begin.
  auto failed_at = io == tsioStatus::kSuccess ? m_Stack.end() : m_Stack.begin();
  for (auto it = m_Stack.begin(); io == tsioStatus::kSuccess && it != m_Stack.end(); ++it) {
    def = **it;
    bool accrual_done = false;
    if (accrual) {
      def.ledger = kGLLedgerAccrual;
      io = tsioStatus::ConvertToTsio(glw::GL_PROCESS_TRANSACTION(&m_UpdateBlock));
      accrual_done = io == tsioStatus::kSuccess;
    }
    if (cash && io == tsioStatus::kSuccess) {
      def.ledger = kGLLedgerCash;
      io = tsioStatus::ConvertToTsio(glw::GL_PROCESS_TRANSACTION(&m_UpdateBlock));
      if (io != tsioStatus::kSuccess && accrual_done) {
        def.ledger = kGLLedgerAccrual;
        (void)glw::GL_REMOVE_TRANSACTION(&m_UpdateBlock);
      }
    }
    if (io != tsioStatus::kSuccess) failed_at = it;
  }
  if (io != tsioStatus::kSuccess) {
    status = glwGLTranWriteError(m_Program, io);
    // Undo, newest first, what the definitions before the failed one wrote.
    for (auto it = failed_at; it != m_Stack.begin();) {
      --it;
      def = **it;
      if (cash) {
        def.ledger = kGLLedgerCash;
        (void)glw::GL_REMOVE_TRANSACTION(&m_UpdateBlock);
      }
      if (accrual) {
        def.ledger = kGLLedgerAccrual;
        (void)glw::GL_REMOVE_TRANSACTION(&m_UpdateBlock);
      }
    }
    (void)unit.Rollback();
    glw::GL_ROLLBACK_TRANSACTION_FOR_RECAP(&m_UpdateBlock);
  } else {
    io = unit.Commit();
    if (io != tsioStatus::kSuccess) {
      status = glwGLTranWriteError(m_Program, io);
      (void)unit.Rollback();
      glw::GL_ROLLBACK_TRANSACTION_FOR_RECAP(&m_UpdateBlock);
    } else {
      glw::GL_COMMIT_TRANSACTION_FOR_RECAP(&m_UpdateBlock);
    }
  }
  if (const gl_batch_appl_def* appl = ApplBlock()) {
    if (zzBatchPart* part = m_Program->GetBatch().ApplPart("GL")) part->ReceiveApplBlock(appl, sizeof *appl);
  }
  m_Stack.clear();
  return status;
}

ccStatus<tsioStatus::Status> glwTranCreator::ResetTranCreator(bool roll) {
  ccStatus<tsioStatus::Status> status;
  if (roll) status = RollTrans(kTranLevelEverything, kBKIncludeAll);
  if (status.Value() == tsioStatus::kSuccess) status = ProcessTrans();
  ClearTrans();
  return status;
}

// ---- units of work ----------------------------------------------------------

void glwTranCreator::StartRecapUnit() { (void)glw::GL_START_TRANSACTION_FOR_RECAP(&m_UpdateBlock); }

void glwTranCreator::Commit() {
  m_Stack.clear();
  for (auto& a : m_Accumulators) a.CommitUnit();
  glw::GL_COMMIT_TRANSACTION_FOR_RECAP(&m_UpdateBlock);
  StartRecapUnit();
}

void glwTranCreator::InitStack() { Commit(); }

void glwTranCreator::Rollback() {
  m_Stack.clear();
  for (auto& a : m_Accumulators) a.RollBackUnit();
  glw::GL_ROLLBACK_TRANSACTION_FOR_RECAP(&m_UpdateBlock);
  StartRecapUnit();
}

void glwTranCreator::ClearTrans() {
  m_Stack.clear();
  for (auto& a : m_Accumulators) a.ClearAccumulatorContainer();
}

// ---- recap --------------------------------------------------------------------

void glwTranCreator::PrintRecap(short section_id) {
  if (ccOldCrapSection* section = m_Program->Journal().Section(ccOldCrapID(static_cast<unsigned short>(section_id)))) {
    PrintRecap(*section);
    return;
  }
  unsigned char block[kGLPrintBlockSize] = {};
  const int16_t kind = 1;
  std::memcpy(block, &kind, sizeof kind);
  std::memcpy(block + 2, &section_id, sizeof section_id);
  glw::GL_PRINT_ACCT_RECAP(&m_UpdateBlock, block);
}

void glwTranCreator::PrintRecap(ccOldCrapSection& section) {
  glw::GL_PRINT_ACCT_RECAP(&m_UpdateBlock, section.ZpPrintDef());
}
