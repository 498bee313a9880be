// The bank register's batch part (see bk_batch_part.h).
#include "batches/bk_batch_part.h"

#include "batches/batch.h"
#include "batches/bk_batch_dlg.h"
#include "batches/bk_batch_sub_struct.h"
#include "framework/base/application.h"
#include "framework/base/log.h"
#include "framework/batch/record_fields.h"
#include "framework/io/dictionary.h"
#include "framework/types/ts_value_support.h"

namespace {

// The batch record's total columns, in the order of the totals entry.
constexpr const char* kTotalColumns[4] = {"BCNT", "BAMT", "BCNTP", "BAMTP"};

// One total column of the current batch record: its field number, declared
// decimals and the number it holds (as held, see record_fields.h).
struct TotalField {
  short number = 0;
  short decimals = 0;
  tsDouble held;
};

bool ReadTotalFields(short file_number, TotalField (&fields)[4]) {
  for (int i = 0; i < 4; ++i) {
    TotalField& f = fields[i];
    f.number = xio_num(file_number, bkBatchPart::kBatchRecordType, kTotalColumns[i]);
    if (f.number == 0) return false;
    xio_fld_def def;
    if (xio_get_fld_def(file_number, bkBatchPart::kBatchRecordType, f.number, &def) != 0) return false;
    f.decimals = def.decimals;
    if (zc_get_io_number(file_number, bkBatchPart::kBatchRecordType, f.number, &f.held) != 0) return false;
  }
  return true;
}

// value * 10^decimals, exactly and whole, into `held`; false when the value
// is not a whole number of the column's units (never rounded or cut).
bool ToHeld(const tsDouble& value, short decimals, tsDouble* held) {
  if (!value.IsValid()) return false;
  const tsDouble scaled = value * tsDouble::FromScaled(1, -decimals);
  if (!scaled.IsValid() || scaled.Rounded(0) != scaled) return false;
  *held = scaled;
  return true;
}

tsDouble FromHeld(const tsDouble& held, short decimals, int declared) {
  tsDouble v = held * tsDouble::FromScaled(1, decimals);
  v.SetDecimals(declared);
  return v;
}

bool FitsShort(const tsDouble& count) { return count >= tsDouble(-32768) && count <= tsDouble(32767); }

}  // namespace

// ---- bkBatchPartRules ----

bkBatchPartRules::~bkBatchPartRules() = default;
bool bkBatchPartRules::IsBatchAcceptableForComboBox() const { return true; }
bool bkBatchPartRules::IsBatchAcceptableForUse() const { return true; }
bool bkBatchPartRules::AllowAutoAsManual() const { return false; }
CString bkBatchPartRules::Description() const { return "Transactions"; }

// ---- bkBatchPart ----

bkBatchPart::bkBatchPart() : zzBatchPart("BK") { SetRecordColumns("BDESC", "BDATE"); }

bkBatchPart::bkBatchPart(const bkBatchPart& other) : zzBatchPart(other) {
  for (int i = 0; i < kTranTypeCount; ++i) m_Totals[i] = other.m_Totals[i];
}

bkBatchPart& bkBatchPart::operator=(const bkBatchPart& other) {
  if (this != &other) CopyData(other);
  return *this;
}

bkBatchPart::~bkBatchPart() {
  // The cursor reads the register file: it goes first.
  m_BatchCursor.reset();
  m_RegisterFile.reset();
}

zzBatchPart* bkBatchPart::Clone() const { return new bkBatchPart(*this); }

void bkBatchPart::CopyData(const bkBatchPart& other) {
  if (this == &other) return;
  zzBatchPart::operator=(other);
  for (int i = 0; i < kTranTypeCount; ++i) m_Totals[i] = other.m_Totals[i];
}

bool bkBatchPart::NoTransactions() {
  tsioStatus::Status st = tsioStatus::kSuccess;
  if (_TranExists(1, 1, "TAPPL;TBATCH;TSOURCE;TDPLOC", &st)) return false;
  if (_TranExists(5, 7, "CDAPP;CDBATCH;CDSORCE;CDDPLOC", &st)) return false;
  return true;
}

bool bkBatchPart::InBalance() {
  for (const Totals& t : m_Totals) {
    if (!!t.count && t.count != t.posted_count) return false;
    if (t.amount != t.posted_amount) return false;
  }
  return true;
}

void bkBatchPart::Balance() {
  for (Totals& t : m_Totals) {
    t.count = t.posted_count;
    t.amount = t.posted_amount;
  }
}

void bkBatchPart::Init() {
  for (int i = 0; i < kTranTypeCount; ++i) {
    m_Totals[i] = Totals();
    m_Pending[i] = Pending();
    m_Pending[i].absolute = true;
  }
}

bool bkBatchPart::GetValues() {
  TotalField f[4];
  if (!ReadTotalFields(FileNumber(), f)) return false;
  Totals& t = m_Totals[kAllTransactions];
  t.count = FromHeld(f[0].held, f[0].decimals, t.count.Decimals());
  t.amount = FromHeld(f[1].held, f[1].decimals, t.amount.Decimals());
  t.posted_count = FromHeld(f[2].held, f[2].decimals, t.posted_count.Decimals());
  t.posted_amount = FromHeld(f[3].held, f[3].decimals, t.posted_amount.Decimals());
  m_Pending[kAllTransactions] = Pending();
  return true;
}

bool bkBatchPart::PutValues() {
  const short fn = FileNumber();
  TotalField f[4];
  if (!ReadTotalFields(fn, f)) return false;
  const Totals& t = m_Totals[kAllTransactions];
  const Pending& p = m_Pending[kAllTransactions];
  // Entered totals: what the record holds plus this part's changes since it
  // last read or wrote it, unless they were set outright.
  tsDouble posted_count = t.posted_count;
  tsDouble posted_amount = t.posted_amount;
  if (!p.absolute) {
    posted_count = FromHeld(f[2].held, f[2].decimals, 0) + p.count;
    posted_amount = FromHeld(f[3].held, f[3].decimals, 2) + p.amount;
  }
  const tsDouble values[4] = {t.count, t.amount, posted_count, posted_amount};
  if (!FitsShort(values[0]) || !FitsShort(values[2])) return false;
  tsDouble held[4];
  for (int i = 0; i < 4; ++i) {
    if (!ToHeld(values[i], f[i].decimals, &held[i])) {
      x_log(1, "batch " + BatchID().str() + ": " + kTotalColumns[i] + " " + values[i].Format() +
                   " cannot be stored exactly; the totals were not written");
      return false;
    }
  }
  for (int i = 0; i < 4; ++i) {
    if (zc_put_io_number(fn, kBatchRecordType, f[i].number, held[i]) != 0) {
      // Put back what was already set, so the buffer is as it was.
      for (int j = 0; j < i; ++j) (void)zc_put_io_number(fn, kBatchRecordType, f[j].number, f[j].held);
      return false;
    }
  }
  return true;
}

std::size_t bkBatchPart::FillSubStruct(unsigned char* buffer, std::size_t size) const {
  if (!buffer || size < kSubStructSize) return kSubStructSize;
  zzBatchPart::FillSubStruct(buffer, size);
  const Totals& t = m_Totals[kAllTransactions];
  bkWriteBatchSubStructTotals(buffer, t.count, t.amount, t.posted_count, t.posted_amount);
  return kSubStructSize;
}

bool bkBatchPart::SetPart(const unsigned char* buffer, std::size_t size) {
  bkBatchSubStruct s;
  if (!bkReadBatchSubStruct(buffer, size, &s)) return false;
  if (!zzBatchPart::SetPart(buffer, size)) return false;
  Totals& t = m_Totals[kAllTransactions];
  t.count = s.number_of_trans;
  t.amount = s.amount_of_trans;
  t.posted_count = s.number_of_trans_posted;
  t.posted_amount = s.amount_of_trans_posted;
  if (m_UnitPending) {
    for (int i = 0; i < kTranTypeCount; ++i) m_Pending[i] = m_UnitPending[i];
    m_UnitPending.reset();
  }
  return true;
}

void bkBatchPart::InitUnitOfWork() {
  zzBatchPart::InitUnitOfWork();
  m_UnitPending = std::make_unique<Pending[]>(kTranTypeCount);
  for (int i = 0; i < kTranTypeCount; ++i) m_UnitPending[i] = m_Pending[i];
}

bool bkBatchPart::Commit() {
  m_UnitPending.reset();
  return zzBatchPart::Commit();
}

bkBatchPartRules& bkBatchPart::Rules() const {
  if (!m_Rules) m_Rules = std::make_unique<bkBatchPartRules>(const_cast<bkBatchPart*>(this));
  return *m_Rules;
}

bool bkBatchPart::IsBatchAcceptableForComboBox() const { return Rules().IsBatchAcceptableForComboBox(); }
bool bkBatchPart::IsBatchAcceptableForUse() const { return Rules().IsBatchAcceptableForUse(); }
bool bkBatchPart::AllowAutoAsManual() const { return Rules().AllowAutoAsManual(); }
std::string bkBatchPart::Description() const { return Rules().Description(); }

void bkBatchPart::SetBatchPartRules(bkBatchPartRules* rules) {
  m_Rules.reset(rules);
  if (m_Rules) m_Rules->SetPart(this);
}

void bkBatchPart::AddTran(TranType type, const tsCurrency& amount) {
  const int i = Index(type);
  m_Totals[i].posted_count += tsDouble(1);
  m_Totals[i].posted_amount += amount;
  m_Pending[i].count += tsDouble(1);
  m_Pending[i].amount += amount;
}

void bkBatchPart::RemoveTran(TranType type, const tsCurrency& amount) {
  const int i = Index(type);
  m_Totals[i].posted_count -= tsDouble(1);
  m_Totals[i].posted_amount -= amount;
  m_Pending[i].count -= tsDouble(1);
  m_Pending[i].amount -= amount;
}

void bkBatchPart::ChangeTran(TranType type, const tsCurrency& difference) {
  const int i = Index(type);
  m_Totals[i].posted_amount += difference;
  m_Pending[i].amount += difference;
}

tsDouble bkBatchPart::GetNumberOfTrans(TranType type) const { return m_Totals[Index(type)].count; }
tsDouble bkBatchPart::GetAmountOfTrans(TranType type) const { return m_Totals[Index(type)].amount; }
tsDouble bkBatchPart::GetNumberOfTransPosted(TranType type) const { return m_Totals[Index(type)].posted_count; }
tsDouble bkBatchPart::GetAmountOfTransPosted(TranType type) const { return m_Totals[Index(type)].posted_amount; }

namespace {
void Assign(tsDouble& target, const tsDouble& value) {
  const int declared = target.Decimals();
  target = value;
  target.SetDecimals(declared);
}
}  // namespace

void bkBatchPart::SetNumberOfTrans(const tsDouble& value, TranType type) { Assign(m_Totals[Index(type)].count, value); }
void bkBatchPart::SetAmountOfTrans(const tsDouble& value, TranType type) { Assign(m_Totals[Index(type)].amount, value); }
void bkBatchPart::SetNumberOfTransPosted(const tsDouble& value, TranType type) {
  Assign(m_Totals[Index(type)].posted_count, value);
  m_Pending[Index(type)].absolute = true;
}
void bkBatchPart::SetAmountOfTransPosted(const tsDouble& value, TranType type) {
  Assign(m_Totals[Index(type)].posted_amount, value);
  m_Pending[Index(type)].absolute = true;
}

bool bkBatchPart::IsBatchFullyPosted() {
  const tsioDataFile* file = m_RegisterFile ? m_RegisterFile.get() : tsioDataFile::ByNumber(FileNumber());
  if (!file || !file->IsOpen()) return false;
  std::unique_ptr<Batch> local;
  Batch* cursor = nullptr;
  if (m_RegisterFile) {
    if (!m_BatchCursor) m_BatchCursor = std::make_unique<Batch>(*m_RegisterFile, "", 0);
    cursor = m_BatchCursor.get();
  } else {
    local = std::make_unique<Batch>(*file, "", 0);
    cursor = local.get();
  }
  BatchData& rec = cursor->m_Record;
  tsAlpha appl, batch, loc;
  tsChoice source(0);
  if (!BatchID().IsNull()) {
    appl = tsAlpha(HostAppl());
    batch = BatchID();
  } else {
    // The key of the batch file's current batch record.
    const short fn = FileNumber();
    const char* names[4] = {"BAPPL", "BATCH", "BSOURCE", "BDPLOC"};
    tsData* out[4] = {&appl, &batch, &source, &loc};
    for (int i = 0; i < 4; ++i) {
      const short n = xio_num(fn, kBatchRecordType, names[i]);
      if (n == 0 || xio_get_field(fn, kBatchRecordType, n, *out[i]) != 0) return false;
    }
  }
  rec.SetApplOfOrigin(appl);
  rec.SetBatch(batch);
  tclTSEnum<BatchSourceEnum> src;
  src.SetValue(source.Value());
  rec.SetSource(src);
  rec.SetDPLoc(loc);
  if (cursor->FetchGE(false) != tsioStatus::kSuccess) return false;
  if (rec.GetApplOfOrigin() != appl || rec.GetBatch() != batch) return false;
  return !rec.GetCountPosted() && !rec.GetCount();
}

tsioStatus::Status bkBatchPart::SetRegisterFile(const tsioFileInfo& info) {
  m_BatchCursor.reset();
  m_RegisterFile = std::make_unique<tsioDataFile>(info.FileName(), 0, 0);
  return m_RegisterFile->OpenStatus();
}

void bkBatchPart::CloseRegisterFile() {
  m_BatchCursor.reset();
  m_RegisterFile.reset();
}

// ---- entry points ----

zzBatchPart* bk_new_batch_part() { return new bkBatchPart(); }

void bk_delete_batch_part(zzBatchPart* part) {
  if (auto* mine = dynamic_cast<bkBatchPart*>(part)) delete mine;
}

zzBatchDlg* bk_full_batch_dlg(_zzBatch* batch, bool info_static, zzBatchPart* part, unsigned short help_id) {
  auto* mine = dynamic_cast<bkBatchPart*>(part);
  if (!mine) return nullptr;
  return new bkBatchDlg(TSGetApp()->ParentWindow(), batch, info_static, mine, help_id);
}
