// The module settings over header 2 of the master file (see bk_settings.h).
#include "settings/bk_settings.h"

#include "programs/bk_program.h"
#include "records/files.h"

namespace {
// The handle settings bind to when their program has no master file open:
// never opened, so every read and write answers "file not open".
const tsioDataFile& NoFile() {
  static const tsioDataFile* none = new tsioDataFile();
  return *none;
}

const tsioDataFile& MasterOf(const bkProgram& program) {
  const tsioDataFile* f = program.File(BKMFileSpec);
  return f ? *f : NoFile();
}
}  // namespace

bkSettings::bkSettings(const bkProgram& program) : tsioHeader(MasterOf(program), kHeaderNumber) { _AttachColumns(); }

bkSettings::bkSettings(const tsioDataFile& master) : tsioHeader(master, kHeaderNumber) { _AttachColumns(); }

bkSettings::~bkSettings() = default;

void bkSettings::Attach(const char* name, tsData& current) {
  // A column the header does not define is neither read nor written.
  (void)AttachColumn(name, current);
  m_columns.push_back(Column{name, &current});
}

void bkSettings::_AttachColumns() {
  Attach("CYREND", m_YearEndingDate);
  Attach("BKXTDSC", m_MaxTranDiscrepancy);
  Attach("BKXRDSC", m_MaxReconcileDiscrepancy);
  Attach("BKULTCA", m_MultipleCashAccounts);
  Attach("CTRKTAX", m_TrackingTaxes);
  Attach("COPBLOV", m_OverrideOpeningBalance);
  Attach("CVYCKHT", m_VerifyDupCheckInHistory);
  Attach("CVYDPHT", m_VerifyDupDepositInHistory);
  Attach("CGLJRND", m_GLJournalDep);
  Attach("CGLJRNW", m_GLJournalWdl);
  Attach("CGLJRNA", m_GLJournalAdj);
  Attach("CGLPYBL", m_GLDueToBaseAccount);
  Attach("CGLRCVB", m_GLDueFromBaseAccount);
  Attach("CGLREF1", m_GLReference1);
  Attach("CGLREF2", m_GLReference2);
  Attach("CRECDES", m_ReconcileReportDesign);
  Attach("CREGDES", m_RegisterReportDesign);
  Attach("CREGOOB", m_AllowReconcileInRegister);
  Attach("CLSTRCH", m_AllowReconcileInRegisterLastSetDate);
  Attach("CLSTRCT", m_AllowReconcileInRegisterLastSetTime);
  Attach("CBTDSCF", m_TransferFromDescription);
  Attach("CBTDSCT", m_TransferToDescription);
  Attach("BTTRACT", m_BankTransfersAccount);
  Attach("BANKRLS", m_BankRLSUsage);
  Attach("CDETGLT", m_DetailedGLTsFromBK);
  Attach("CDETDCA", m_DetailedDepositCash);
  Attach("CDETDNC", m_DetailedDepositNonCash);
}

template <typename T>
void bkSettings::Track(const char* name, T& current, T& saved, const T& value) {
  if (!m_columnState.ColumnSaved(name)) {
    m_columnState.SetColumnAsSaved(name);
    saved = current;
  }
  if (value == saved) {
    if (m_columnState.ColumnChanged(name)) m_columnState.SetColumnAsOriginal(name);
  } else if (!m_columnState.ColumnChanged(name)) {
    m_columnState.SetColumnAsChanged(name);
  }
  current = value;
}

tsioStatus::Status bkSettings::Get(bool lock) {
  tsioStatus::Status st = tsioHeader::Get(lock);
  if (st == tsioStatus::kSuccess) m_columnState.Clear();
  return st;
}

tsioStatus::Status bkSettings::Update() {
  tsioStatus::Status st;
  if (HoldsLock()) {
    st = tsioHeader::Update();
  } else {
    tsioHeader changed(File(), kHeaderNumber);
    for (const Column& c : m_columns) {
      if (m_columnState.ColumnChanged(c.name)) (void)changed.AttachColumn(c.name, *c.current);
    }
    st = changed.Update();
  }
  if (st == tsioStatus::kSuccess) m_columnState.Clear();
  return st;
}

void bkSettings::SetYearEndingDate(const tsDate& value) { Track("CYREND", m_YearEndingDate, m_YearEndingDateSaved, value); }
void bkSettings::SetMaxTranDiscrepancy(const tsCurrency& value) { Track("BKXTDSC", m_MaxTranDiscrepancy, m_MaxTranDiscrepancySaved, value); }
void bkSettings::SetMaxReconcileDiscrepancy(const tsCurrency& value) { Track("BKXRDSC", m_MaxReconcileDiscrepancy, m_MaxReconcileDiscrepancySaved, value); }
void bkSettings::SetMultipleCashAccounts(const tsBool& value) { Track("BKULTCA", m_MultipleCashAccounts, m_MultipleCashAccountsSaved, value); }
void bkSettings::SetTrackingTaxes(const tsBool& value) { Track("CTRKTAX", m_TrackingTaxes, m_TrackingTaxesSaved, value); }
void bkSettings::SetOverrideOpeningBalance(const tsBool& value) { Track("COPBLOV", m_OverrideOpeningBalance, m_OverrideOpeningBalanceSaved, value); }
void bkSettings::SetVerifyDupCheckInHistory(const tsBool& value) { Track("CVYCKHT", m_VerifyDupCheckInHistory, m_VerifyDupCheckInHistorySaved, value); }
void bkSettings::SetVerifyDupDepositInHistory(const tsBool& value) { Track("CVYDPHT", m_VerifyDupDepositInHistory, m_VerifyDupDepositInHistorySaved, value); }
void bkSettings::SetGLJournalDep(const tsNum<short>& value) { Track("CGLJRND", m_GLJournalDep, m_GLJournalDepSaved, value); }
void bkSettings::SetGLJournalWdl(const tsNum<short>& value) { Track("CGLJRNW", m_GLJournalWdl, m_GLJournalWdlSaved, value); }
void bkSettings::SetGLJournalAdj(const tsNum<short>& value) { Track("CGLJRNA", m_GLJournalAdj, m_GLJournalAdjSaved, value); }
void bkSettings::SetGLDueToBaseAccount(const tsAlpha& value) { Track("CGLPYBL", m_GLDueToBaseAccount, m_GLDueToBaseAccountSaved, value); }
void bkSettings::SetGLDueFromBaseAccount(const tsAlpha& value) { Track("CGLRCVB", m_GLDueFromBaseAccount, m_GLDueFromBaseAccountSaved, value); }
void bkSettings::SetGLReference1(const tclTSEnum<GLReferenceContents>& value) { Track("CGLREF1", m_GLReference1, m_GLReference1Saved, value); }
void bkSettings::SetGLReference2(const tclTSEnum<GLReferenceContents>& value) { Track("CGLREF2", m_GLReference2, m_GLReference2Saved, value); }
void bkSettings::SetReconcileReportDesign(const tsText& value) { Track("CRECDES", m_ReconcileReportDesign, m_ReconcileReportDesignSaved, value); }
void bkSettings::SetRegisterReportDesign(const tsText& value) { Track("CREGDES", m_RegisterReportDesign, m_RegisterReportDesignSaved, value); }
void bkSettings::SetAllowReconcileInRegister(const tsBool& value) { Track("CREGOOB", m_AllowReconcileInRegister, m_AllowReconcileInRegisterSaved, value); }
void bkSettings::SetAllowReconcileInRegisterLastSetDate(const tsDate& value) { Track("CLSTRCH", m_AllowReconcileInRegisterLastSetDate, m_AllowReconcileInRegisterLastSetDateSaved, value); }
void bkSettings::SetAllowReconcileInRegisterLastSetTime(const tsTime& value) { Track("CLSTRCT", m_AllowReconcileInRegisterLastSetTime, m_AllowReconcileInRegisterLastSetTimeSaved, value); }
void bkSettings::SetTransferFromDescription(const tsText& value) { Track("CBTDSCF", m_TransferFromDescription, m_TransferFromDescriptionSaved, value); }
void bkSettings::SetTransferToDescription(const tsText& value) { Track("CBTDSCT", m_TransferToDescription, m_TransferToDescriptionSaved, value); }
void bkSettings::SetBankTransfersAccount(const tsAlpha& value) { Track("BTTRACT", m_BankTransfersAccount, m_BankTransfersAccountSaved, value); }
void bkSettings::SetBankRLSUsage(const tsBool& value) { Track("BANKRLS", m_BankRLSUsage, m_BankRLSUsageSaved, value); }
void bkSettings::SetDetailedGLTsFromBK(const tsBool& value) { Track("CDETGLT", m_DetailedGLTsFromBK, m_DetailedGLTsFromBKSaved, value); }
void bkSettings::SetDetailedDepositCash(const tclTSEnum<DepositDetailCashSideEnum>& value) { Track("CDETDCA", m_DetailedDepositCash, m_DetailedDepositCashSaved, value); }
void bkSettings::SetDetailedDepositNonCash(const tclTSEnum<DepositDetailNonCashSideEnum>& value) { Track("CDETDNC", m_DetailedDepositNonCash, m_DetailedDepositNonCashSaved, value); }
