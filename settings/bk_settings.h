// bkSettings: the module-wide options of the bank register, a typed view of
// header record 2 of the master file (BKM), with a change tracker.
//
// Each option has its current value (attached to its header column; what the
// getter returns) and a saved copy: the value as it was when the first change
// after the last read or write was made. A setter marks its column saved
// (copying the current value aside) the first time, then marks it changed
// when the new value differs from the saved one, or unmarks it when it
// equals it; either way the current value becomes the new value. So a series
// of settings that ends on the value read leaves Changed() false.
//
// Get reads the header (passing the lock flag on) and, on success, clears the
// marks; on failure the marks and values stay. Update writes and, on
// success, clears the marks; on failure they stay. What Update writes:
//   - after a locked read (Get(true)), the whole record: nobody could write
//     it since, and the write releases the lock;
//   - otherwise only the columns marked changed, so an update never undoes
//     options another program wrote after this object read them.
//
// Defaults until Get: empty dates and time, zero amounts and journals, false
// switches, empty texts and accounts, 1 in each of the four choices.
//
// Built on a program, the settings bind to the master file the program has
// open (ccProgram::File with BKMFileSpec); when it has none open they
// bind to no file and Get and Update answer 3 (file not open). Built on a
// data file, they borrow it: the file must outlive them.
#pragma once

#include <string>
#include <vector>

#include "framework/io/data_file.h"
#include "framework/io/header.h"
#include "framework/types/values.h"
#include "records/bk_column_state.h"
#include "records/bk_export.h"
#include "settings/settings_enums.h"

class bkProgram;

class BK_EXPORT bkSettings : public tsioHeader {
 public:
  static constexpr short kHeaderNumber = 2;

  explicit bkSettings(const bkProgram& program);
  explicit bkSettings(const tsioDataFile& master);
  ~bkSettings() override;

  [[nodiscard]] tsioStatus::Status Get(bool lock);
  [[nodiscard]] tsioStatus::Status Update();
  bool Changed() const { return m_columnState.AnyColumnChanged(); }

  tsDate GetYearEndingDate() const { return m_YearEndingDate; }
  void SetYearEndingDate(const tsDate& value);  // "CYREND"
  tsCurrency GetMaxTranDiscrepancy() const { return m_MaxTranDiscrepancy; }
  void SetMaxTranDiscrepancy(const tsCurrency& value);  // "BKXTDSC"
  tsCurrency GetMaxReconcileDiscrepancy() const { return m_MaxReconcileDiscrepancy; }
  void SetMaxReconcileDiscrepancy(const tsCurrency& value);  // "BKXRDSC"
  tsBool GetMultipleCashAccounts() const { return m_MultipleCashAccounts; }
  void SetMultipleCashAccounts(const tsBool& value);  // "BKULTCA"
  tsBool GetTrackingTaxes() const { return m_TrackingTaxes; }
  void SetTrackingTaxes(const tsBool& value);  // "CTRKTAX"
  tsBool GetOverrideOpeningBalance() const { return m_OverrideOpeningBalance; }
  void SetOverrideOpeningBalance(const tsBool& value);  // "COPBLOV"
  tsBool GetVerifyDupCheckInHistory() const { return m_VerifyDupCheckInHistory; }
  void SetVerifyDupCheckInHistory(const tsBool& value);  // "CVYCKHT"
  tsBool GetVerifyDupDepositInHistory() const { return m_VerifyDupDepositInHistory; }
  void SetVerifyDupDepositInHistory(const tsBool& value);  // "CVYDPHT"
  tsNum<short> GetGLJournalDep() const { return m_GLJournalDep; }
  void SetGLJournalDep(const tsNum<short>& value);  // "CGLJRND"
  tsNum<short> GetGLJournalWdl() const { return m_GLJournalWdl; }
  void SetGLJournalWdl(const tsNum<short>& value);  // "CGLJRNW"
  tsNum<short> GetGLJournalAdj() const { return m_GLJournalAdj; }
  void SetGLJournalAdj(const tsNum<short>& value);  // "CGLJRNA"
  tsAlpha GetGLDueToBaseAccount() const { return m_GLDueToBaseAccount; }
  void SetGLDueToBaseAccount(const tsAlpha& value);  // "CGLPYBL"
  tsAlpha GetGLDueFromBaseAccount() const { return m_GLDueFromBaseAccount; }
  void SetGLDueFromBaseAccount(const tsAlpha& value);  // "CGLRCVB"
  tclTSEnum<GLReferenceContents> GetGLReference1() const { return m_GLReference1; }
  void SetGLReference1(const tclTSEnum<GLReferenceContents>& value);  // "CGLREF1"
  tclTSEnum<GLReferenceContents> GetGLReference2() const { return m_GLReference2; }
  void SetGLReference2(const tclTSEnum<GLReferenceContents>& value);  // "CGLREF2"
  tsText GetReconcileReportDesign() const { return m_ReconcileReportDesign; }
  void SetReconcileReportDesign(const tsText& value);  // "CRECDES"
  tsText GetRegisterReportDesign() const { return m_RegisterReportDesign; }
  void SetRegisterReportDesign(const tsText& value);  // "CREGDES"
  tsBool GetAllowReconcileInRegister() const { return m_AllowReconcileInRegister; }
  void SetAllowReconcileInRegister(const tsBool& value);  // "CREGOOB"
  tsDate GetAllowReconcileInRegisterLastSetDate() const { return m_AllowReconcileInRegisterLastSetDate; }
  void SetAllowReconcileInRegisterLastSetDate(const tsDate& value);  // "CLSTRCH"
  tsTime GetAllowReconcileInRegisterLastSetTime() const { return m_AllowReconcileInRegisterLastSetTime; }
  void SetAllowReconcileInRegisterLastSetTime(const tsTime& value);  // "CLSTRCT"
  tsText GetTransferFromDescription() const { return m_TransferFromDescription; }
  void SetTransferFromDescription(const tsText& value);  // "CBTDSCF"
  tsText GetTransferToDescription() const { return m_TransferToDescription; }
  void SetTransferToDescription(const tsText& value);  // "CBTDSCT"
  tsAlpha GetBankTransfersAccount() const { return m_BankTransfersAccount; }
  void SetBankTransfersAccount(const tsAlpha& value);  // "BTTRACT"
  tsBool GetBankRLSUsage() const { return m_BankRLSUsage; }
  void SetBankRLSUsage(const tsBool& value);  // "BANKRLS"
  tsBool GetDetailedGLTsFromBK() const { return m_DetailedGLTsFromBK; }
  void SetDetailedGLTsFromBK(const tsBool& value);  // "CDETGLT"
  tclTSEnum<DepositDetailCashSideEnum> GetDetailedDepositCash() const { return m_DetailedDepositCash; }
  void SetDetailedDepositCash(const tclTSEnum<DepositDetailCashSideEnum>& value);  // "CDETDCA"
  tclTSEnum<DepositDetailNonCashSideEnum> GetDetailedDepositNonCash() const { return m_DetailedDepositNonCash; }
  void SetDetailedDepositNonCash(const tclTSEnum<DepositDetailNonCashSideEnum>& value);  // "CDETDNC"

 private:
  struct Column {
    const char* name;
    tsData* current;
  };
  void _AttachColumns();
  void Attach(const char* name, tsData& current);
  template <typename T>
  void Track(const char* name, T& current, T& saved, const T& value);

  tsDate m_YearEndingDate;
  tsDate m_YearEndingDateSaved;
  tsCurrency m_MaxTranDiscrepancy;
  tsCurrency m_MaxTranDiscrepancySaved;
  tsCurrency m_MaxReconcileDiscrepancy;
  tsCurrency m_MaxReconcileDiscrepancySaved;
  tsBool m_MultipleCashAccounts;
  tsBool m_MultipleCashAccountsSaved;
  tsBool m_TrackingTaxes;
  tsBool m_TrackingTaxesSaved;
  tsBool m_OverrideOpeningBalance;
  tsBool m_OverrideOpeningBalanceSaved;
  tsBool m_VerifyDupCheckInHistory;
  tsBool m_VerifyDupCheckInHistorySaved;
  tsBool m_VerifyDupDepositInHistory;
  tsBool m_VerifyDupDepositInHistorySaved;
  tsNum<short> m_GLJournalDep;
  tsNum<short> m_GLJournalDepSaved;
  tsNum<short> m_GLJournalWdl;
  tsNum<short> m_GLJournalWdlSaved;
  tsNum<short> m_GLJournalAdj;
  tsNum<short> m_GLJournalAdjSaved;
  tsAlpha m_GLDueToBaseAccount;
  tsAlpha m_GLDueToBaseAccountSaved;
  tsAlpha m_GLDueFromBaseAccount;
  tsAlpha m_GLDueFromBaseAccountSaved;
  tclTSEnum<GLReferenceContents> m_GLReference1;
  tclTSEnum<GLReferenceContents> m_GLReference1Saved;
  tclTSEnum<GLReferenceContents> m_GLReference2;
  tclTSEnum<GLReferenceContents> m_GLReference2Saved;
  tsText m_ReconcileReportDesign;
  tsText m_ReconcileReportDesignSaved;
  tsText m_RegisterReportDesign;
  tsText m_RegisterReportDesignSaved;
  tsBool m_AllowReconcileInRegister;
  tsBool m_AllowReconcileInRegisterSaved;
  tsDate m_AllowReconcileInRegisterLastSetDate;
  tsDate m_AllowReconcileInRegisterLastSetDateSaved;
  tsTime m_AllowReconcileInRegisterLastSetTime;
  tsTime m_AllowReconcileInRegisterLastSetTimeSaved;
  tsText m_TransferFromDescription;
  tsText m_TransferFromDescriptionSaved;
  tsText m_TransferToDescription;
  tsText m_TransferToDescriptionSaved;
  tsAlpha m_BankTransfersAccount;
  tsAlpha m_BankTransfersAccountSaved;
  tsBool m_BankRLSUsage;
  tsBool m_BankRLSUsageSaved;
  tsBool m_DetailedGLTsFromBK;
  tsBool m_DetailedGLTsFromBKSaved;
  tclTSEnum<DepositDetailCashSideEnum> m_DetailedDepositCash;
  tclTSEnum<DepositDetailCashSideEnum> m_DetailedDepositCashSaved;
  tclTSEnum<DepositDetailNonCashSideEnum> m_DetailedDepositNonCash;
  tclTSEnum<DepositDetailNonCashSideEnum> m_DetailedDepositNonCashSaved;
  bkColumnState m_columnState;
  std::vector<Column> m_columns;
};
