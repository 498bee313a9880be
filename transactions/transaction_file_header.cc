// Run numbers from the transaction file's header, and the sequences counted
// within them (see transaction_file_header.h).
#include "transactions/transaction_file_header.h"

#include "framework/io/company.h"
#include "framework/io/header.h"
#include "records/messages.h"
#include "records/transaction_data.h"

// Listens for the end of the unit of work in which runs were taken. It keeps
// the company alive while registered, so it can always unregister.
class TransactionFileHeader::UnitWatch : public tsioUnitListener {
 public:
  explicit UnitWatch(TransactionFileHeader& owner) : owner_(owner) {}
  ~UnitWatch() override { Stop(); }
  void Start(tsioCompany& company) {
    if (company_) return;
    company_ = company.shared_from_this();
    company_->AddUnitListener(this);
  }
  void Stop() {
    if (!company_) return;
    company_->RemoveUnitListener(this);
    company_.reset();
  }
  void OnUnitEnd(bool committed) override {
    Stop();
    owner_.UnitEnded(committed);
  }

 private:
  TransactionFileHeader& owner_;
  std::shared_ptr<tsioCompany> company_;
};

TransactionFileHeader::TransactionFileHeader(const tsioDataFile& file)
    : m_file(file), m_watch(std::make_unique<UnitWatch>(*this)) {}

TransactionFileHeader::~TransactionFileHeader() = default;

tsDouble& TransactionFileHeader::Run(Kind kind) {
  switch (kind) {
    case kTran: return m_tranRun;
    case kCashDetail: return m_cashDetailRun;
    case kTaxDetail: break;
  }
  return m_taxDetailRun;
}

ccStatus<ccBoolStatus> TransactionFileHeader::TakeRuns(unsigned attach, unsigned take) {
  static constexpr struct {
    Kind kind;
    const char* column;
  } kColumns[] = {
      {kTran, kLastRunColumn}, {kCashDetail, kLastCashDetailRunColumn}, {kTaxDetail, kLastTaxDetailRunColumn}};

  tsioHeader header(m_file, kHeaderNumber);
  tsDouble last[3];
  for (int i = 0; i < 3; ++i) {
    if (!(attach & kColumns[i].kind)) continue;
    // A header without the column would read as 0 and hand out run 1 again
    // and again: refuse it as a read failure.
    tsioStatus::Status st = header.AttachColumn(kColumns[i].column, last[i]);
    if (st != tsioStatus::kSuccess) return bktHeaderReadError(st);
  }
  // Within a unit of work that already took a run, this handle holds the
  // header lock until the unit ends. Read under that lock without taking it
  // again: a failing read or write releases the lock it took, and must not
  // release the one the unit needs (another program would then read the
  // counter before this unit commits its new value).
  const bool held = m_takenInUnit != 0;
  tsioStatus::Status st = header.Get(!held);
  if (st != tsioStatus::kSuccess) return bktHeaderReadError(st);

  unsigned taken = 0;
  for (int i = 0; i < 3; ++i) {
    const Kind kind = kColumns[i].kind;
    const bool untaken = !Run(kind);
    if (!(take & kind) || !untaken) continue;
    ++last[i];
    Run(kind) = last[i];
    taken |= kind;
  }
  st = header.Update();
  if (st != tsioStatus::kSuccess) {
    // The file still holds the old counters: a run kept now would be handed
    // to the next program as well.
    for (const auto& c : kColumns) {
      if (taken & c.kind) Run(c.kind) = tsDouble();
    }
    return bktHeaderUpdateError(st);
  }
  if (taken && m_file.Company().InUnit()) {
    m_takenInUnit |= taken;
    m_watch->Start(m_file.Company());
  }
  return ccStatus<ccBoolStatus>(kBoolSuccess);
}

void TransactionFileHeader::UnitEnded(bool committed) {
  if (!committed) {
    // The header write was rolled back with the unit: the runs are free again.
    for (Kind k : {kTran, kCashDetail, kTaxDetail}) {
      if (m_takenInUnit & k) Run(k) = tsDouble();
    }
  }
  m_takenInUnit = 0;
}

tsDouble TransactionFileHeader::ThisRun(ccStatus<ccBoolStatus>& status) {
  if (!m_tranRun) {
    ccStatus<ccBoolStatus> st = TakeRuns(kTran, kTran);
    if (st.Value() != kBoolSuccess) status = st;
  }
  return m_tranRun;
}

tsDouble TransactionFileHeader::ThisCashDetailRun(ccStatus<ccBoolStatus>& status) {
  if (!m_cashDetailRun) {
    ccStatus<ccBoolStatus> st = TakeRuns(kCashDetail, kCashDetail);
    if (st.Value() != kBoolSuccess) status = st;
  }
  return m_cashDetailRun;
}

tsDouble TransactionFileHeader::ThisTaxDetailRun(ccStatus<ccBoolStatus>& status) {
  if (!m_taxDetailRun) {
    ccStatus<ccBoolStatus> st = TakeRuns(kTaxDetail, kTaxDetail);
    if (st.Value() != kBoolSuccess) status = st;
  }
  return m_taxDetailRun;
}

ccStatus<ccBoolStatus> TransactionFileHeader::BothRuns(tsDouble& tran_run, tsDouble& cash_detail_run) {
  ccStatus<ccBoolStatus> status(kBoolSuccess);
  if (!m_tranRun || !m_cashDetailRun) status = TakeRuns(kTran | kCashDetail, kTran | kCashDetail);
  tran_run = m_tranRun;
  cash_detail_run = m_cashDetailRun;
  return status;
}

ccStatus<ccBoolStatus> SetRunAndSequence(TransactionData& record, TransactionFileHeader& header) {
  ccStatus<ccBoolStatus> status(kBoolSuccess);
  const tsDouble run = header.ThisRun(status);
  if (status.Value() != kBoolSuccess) return status;
  record.SetRun(run);
  record.SetSequence(header.NextSequence());
  return status;
}
