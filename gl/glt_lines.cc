// General-ledger transaction lines in GLT: building them from a definition,
// writing, removing and posting them (see posting.h).
#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <utility>

#include "framework/base/application.h"
#include "framework/base/log.h"
#include "framework/io/company.h"
#include "framework/io/cursor.h"
#include "framework/io/rollback_stack.h"
#include "gl/posting.h"

namespace gl {

namespace {

// The last sequence written in each run of a GLT file (by file name), so a
// definition costs no query for its numbers. A number that turns out to be
// taken (another program wrote the run) is read again from the file; a
// number left unused by a rolled-back unit only leaves a gap.
std::mutex seq_mu;
std::map<std::pair<std::string, long long>, long long> last_seq;

long long ReadLastSequence(tsioDataFile& glt, long long run) {
  tsGLTransactionRec r;
  r.run = tsDouble(run);
  tsioCursor cur(r, glt, kGLTLine, 0);
  cur.AttachRange(1);
  long long last = cur.FetchLast() == tsioStatus::kSuccess ? r.sequence.ToLongLong() : 0;
  // Posting moves lines to the posted instance (2) with their numbers, so a
  // run's next number is past its posted lines too: lines written after a
  // posting (by another program, or after some were taken back) never take
  // a number a posted line holds, and posting them never collides.
  tsioCompany& company = glt.Company();
  if (glt.Spec().Instance() == 1 && company.FileExists("GLT", 2, nullptr)) {
    tsioStatus::Status st = tsioStatus::kSuccess;
    tsioBackendStatement* q = company.Db().Prepare(
        "SELECT MAX(\"GTSEQ\") FROM \"" + tsioCompany::TableName("GLT", 2, kGLTLine) + "\" WHERE \"GTRUN\" = ?1", &st);
    if (q) {
      q->BindInt(1, run);
      if (q->Step() == tsioBackendStatement::kRow) last = std::max<long long>(last, q->ColumnInt(0));
      q->Reset();
    }
  }
  return last;
}

long long NextFree(tsioDataFile& glt, long long run, bool reread) {
  const auto key = std::make_pair(glt.FileName(), run);
  {
    std::lock_guard<std::mutex> lock(seq_mu);
    auto it = last_seq.find(key);
    if (it != last_seq.end() && !reread) return it->second;
  }
  const long long seq = ReadLastSequence(glt, run);
  std::lock_guard<std::mutex> lock(seq_mu);
  last_seq[key] = seq;
  return seq;
}

void NoteLast(tsioDataFile& glt, long long run, long long seq) {
  std::lock_guard<std::mutex> lock(seq_mu);
  last_seq[std::make_pair(glt.FileName(), run)] = seq;
}

void Forget(tsioDataFile& glt, long long run) {
  std::lock_guard<std::mutex> lock(seq_mu);
  last_seq.erase(std::make_pair(glt.FileName(), run));
}

tsDate DateOf(const gl_tran_def& d) {
  if (d.date_year == 0 && d.date_month == 0 && d.date_day == 0) return tsDate();
  return tsDate::FromYmd(d.date_year * 10000 + d.date_month * 100 + d.date_day);
}

// Same content, sequence aside.
bool SameLine(const tsGLTransactionRec& r, const Line& l) {
  return r.run == tsDouble(l.run) && r.ledger == l.ledger && r.account == l.account &&
         r.debit_credit.Value() == (l.debit ? 1 : 2) && r.amount == l.amount && r.date == l.date &&
         r.journal == l.journal && r.description == l.description && r.reference1 == l.reference1 &&
         r.reference2 == l.reference2 && r.appl_of_origin == l.appl_of_origin && r.batch == l.batch &&
         r.batch_source.Value() == l.batch_source && r.summarized.Value() == l.summarized &&
         r.ic_receivable == l.ic_receivable && r.ic_payable == l.ic_payable && r.vendor == l.vendor &&
         r.invoice == l.invoice && r.bank == l.bank && r.check_number == tsDouble(l.check_number) &&
         r.employee == l.employee && r.job == l.job;
}

tsioStatus::Status DeleteByKey(tsioDataFile& glt, long long run, long long sequence, short ledger) {
  tsGLTransactionRec r;
  r.run = tsDouble(run);
  r.sequence = tsDouble(sequence);
  r.ledger = ledger;
  tsioCursor cur(r, glt, kGLTLine, 0);
  tsioStatus::Status st = cur.FetchEQ();
  return st == tsioStatus::kSuccess ? cur.Delete() : st;
}

std::string Quote(const std::string& name) { return "\"" + name + "\""; }

// Writing a line: one prepared INSERT over the backend, its columns and
// their encodings taken from the dictionary's definition of GLT lines, the
// same checks as any write (a value that does not fit its column refuses
// the line).
enum class Col { kRun, kSeq, kLedger, kAccount, kDC, kAmount, kDate, kJournal, kDesc, kRef1, kRef2, kAppl, kBatch,
                 kSource, kSummarized, kICRC, kICPY, kVendor, kInvoice, kBank, kCheck, kEmployee, kJob, kOther };

Col ColumnOf(const std::string& name) {
  static const std::map<std::string, Col> kNames = {
      {"GTRUN", Col::kRun},     {"GTSEQ", Col::kSeq},      {"GTLEDG", Col::kLedger}, {"GTACCT", Col::kAccount},
      {"GTDC", Col::kDC},       {"GTAMT", Col::kAmount},   {"GTDATE", Col::kDate},   {"GTJRN", Col::kJournal},
      {"GTDESC", Col::kDesc},   {"GTREF1", Col::kRef1},    {"GTREF2", Col::kRef2},   {"GTAPPL", Col::kAppl},
      {"GTBATCH", Col::kBatch}, {"GTBSRC", Col::kSource},  {"GTSUM", Col::kSummarized}, {"GTICRC", Col::kICRC},
      {"GTICPY", Col::kICPY},   {"GTVEND", Col::kVendor},  {"GTINV", Col::kInvoice}, {"GTBANK", Col::kBank},
      {"GTCHECK", Col::kCheck}, {"GTEMP", Col::kEmployee}, {"GTJOB", Col::kJob}};
  auto it = kNames.find(name);
  return it == kNames.end() ? Col::kOther : it->second;
}

bool IsTextType(tsDataType t) { return t == tsDataType::kAlpha || t == tsDataType::kText || t == tsDataType::kPhone; }

bool Fits(const tsioFieldDef& f, const tsCell& c) {
  if (f.width <= 0) return true;
  if (c.is_text) return static_cast<int>(c.s.size()) <= f.width;
  if (f.width >= 19) return true;
  int64_t limit = 1;
  for (int i = 0; i < f.width; ++i) limit *= 10;
  return c.i < limit && c.i > -limit;
}

struct Writer {
  const tsioRecordDef* def = nullptr;
  std::vector<Col> cols;
  std::string sql;
};

const Writer& WriterFor(tsioDataFile& glt) {
  static std::mutex mu;
  static std::map<std::string, Writer> writers;  // by table
  const std::string table = Quote(tsioCompany::TableName("GLT", glt.Spec().Instance(), kGLTLine));
  std::lock_guard<std::mutex> lock(mu);
  Writer& w = writers[table];
  const tsioRecordDef* def = glt.Def() ? glt.Def()->Record(kGLTLine) : nullptr;
  if (w.def != def) {
    w.def = def;
    w.cols.clear();
    w.sql.clear();
    if (def) {
      std::string names, marks;
      for (const auto& f : def->fields) {
        w.cols.push_back(ColumnOf(f.name));
        names += (names.empty() ? "" : ",") + Quote(f.name);
        marks += marks.empty() ? "?" : ",?";
      }
      w.sql = "INSERT INTO " + table + "(" + names + ") VALUES (" + marks + ")";
    }
  }
  return w;
}

bool NumberCell(const tsData& v, const tsioFieldDef& f, tsCell* c) { return v.ToCell(*c, f.decimals); }

tsioStatus::Status InsertLine(tsioDataFile& glt, const Line& l, long long sequence) {
  const Writer& w = WriterFor(glt);
  if (!w.def) return tsioStatus::kInvalidOperation;
  tsioCompany& company = glt.Company();
  tsioStatus::Status st = tsioStatus::kSuccess;
  tsioBackendStatement* q = company.Db().Prepare(w.sql, &st);
  if (!q) return st;
  tsCell c;
  for (size_t i = 0; i < w.cols.size(); ++i) {
    const tsioFieldDef& f = w.def->fields[i];
    c.is_text = IsTextType(f.type);
    c.s.clear();
    c.i = 0;
    bool ok = true;
    switch (w.cols[i]) {
      case Col::kRun: ok = NumberCell(tsDouble(l.run), f, &c); break;
      case Col::kSeq: ok = NumberCell(tsDouble(sequence), f, &c); break;
      case Col::kLedger: c.i = l.ledger; break;
      case Col::kAccount: c.s = l.account; break;
      case Col::kDC: c.i = l.debit ? 1 : 2; break;
      case Col::kAmount: ok = NumberCell(l.amount, f, &c); break;
      case Col::kDate: ok = NumberCell(l.date, f, &c); break;
      case Col::kJournal: c.i = l.journal; break;
      case Col::kDesc: c.s = l.description; break;
      case Col::kRef1: c.s = l.reference1; break;
      case Col::kRef2: c.s = l.reference2; break;
      case Col::kAppl: c.s = l.appl_of_origin; break;
      case Col::kBatch: c.s = l.batch; break;
      case Col::kSource: c.i = l.batch_source; break;
      case Col::kSummarized: c.i = l.summarized ? 1 : 0; break;
      case Col::kICRC: c.s = l.ic_receivable; break;
      case Col::kICPY: c.s = l.ic_payable; break;
      case Col::kVendor: c.s = l.vendor; break;
      case Col::kInvoice: c.s = l.invoice; break;
      case Col::kBank: c.s = l.bank; break;
      case Col::kCheck: ok = NumberCell(tsDouble(l.check_number), f, &c); break;
      case Col::kEmployee: c.s = l.employee; break;
      case Col::kJob: c.s = l.job; break;
      case Col::kOther: c.i = c.is_text ? 0 : f.default_value; break;
    }
    c.is_text = IsTextType(f.type);
    if (!ok || !Fits(f, c)) {
      x_log(0, "GL: a value of " + f.name + " does not fit its column; the line is not written");
      return tsioStatus::kValueDoesNotFit;
    }
    q->Bind(static_cast<int>(i + 1), c);
  }
  const short r = q->Step();
  q->Reset();
  company.NoteWrite();
  if (r != tsioBackendStatement::kDone) {
    if (r != tsioStatus::kDuplicateKey) company.LogFailure("GL: write a transaction line", static_cast<tsioStatus::Status>(r));
    return static_cast<tsioStatus::Status>(r);
  }
  return tsioStatus::kSuccess;
}

// A run or check number the definition carries as a double: it must be a
// whole number a line's integer column holds. NaN, infinities and fractions
// are refused rather than rounded to whatever the conversion gives.
bool WholeNumber(double v, long long* out) {
  if (!std::isfinite(v) || v != std::trunc(v) || std::fabs(v) >= 9.0e18) return false;
  *out = static_cast<long long>(v);
  return true;
}

}  // namespace

tsioStatus::Status LinesOf(const gl_tran_def& d, std::vector<Line>* lines) {
  lines->clear();
  if (d.ledger != kGLLedgerAccrual && d.ledger != kGLLedgerCash) return tsioStatus::kInvalidOperation;
  const tsCurrency amount = glTranDefAmount(d);
  if (!amount.IsValid()) return tsioStatus::kValueDoesNotFit;
  long long run = 0;
  long long check_number = 0;
  if (!WholeNumber(d.run_number, &run) || !WholeNumber(d.check_number, &check_number))
    return tsioStatus::kValueDoesNotFit;
  const std::string debit_account = glGetText(d.debit_account);
  const std::string credit_account = glGetText(d.credit_account);
  for (int side = 0; side < 2; ++side) {
    const bool debit = side == 0;
    const std::string& account = debit ? debit_account : credit_account;
    if (account.empty()) continue;
    // A debit needs the line to be a debit or a due-from line, a credit a
    // credit or a due-to line.
    const int16_t kinds = debit ? (kGLTranTypeDebit | kGLTranTypeDueFrom) : (kGLTranTypeCredit | kGLTranTypeDueTo);
    if ((d.omitted_tran_types & kinds) == kinds) return tsioStatus::kInvalidOperation;
    Line line;
    line.debit = debit;
    line.run = run;
    line.ledger = d.ledger;
    line.account = account;
    line.amount = amount;
    line.date = DateOf(d);
    line.journal = d.journal;
    line.description = glGetText(debit ? d.debit_description : d.credit_description);
    line.reference1 = glGetText(debit ? d.debit_reference1 : d.credit_reference1);
    line.reference2 = glGetText(debit ? d.debit_reference2 : d.credit_reference2);
    line.appl_of_origin = glGetText(d.appl_of_origin);
    line.batch = glGetText(d.batch);
    line.batch_source = d.batch_source;
    line.summarized = (debit ? d.summarize_debit : d.summarize_credit) != 0;
    line.ic_receivable = glGetText(d.ic_receivable);
    line.ic_payable = glGetText(d.ic_payable);
    line.vendor = glGetText(d.vendor_id);
    line.invoice = glGetText(d.invoice_id);
    line.bank = glGetText(d.bank_id);
    line.check_number = check_number;
    line.employee = glGetText(d.employee_id);
    line.job = glGetText(d.job_id);
    lines->push_back(std::move(line));
  }
  return tsioStatus::kSuccess;
}

GltFile::GltFile(short file_number, short instance) {
  tsRegisterLedgerFiles();
  if (file_number != 0) {
    file_ = tsioDataFile::ByNumber(file_number);
    if (!file_ || file_->Spec().Code() != "GLT") {
      file_ = nullptr;
      status_ = tsioStatus::kFileNotOpen;
    }
    return;
  }
  const std::string folder = TSGetApp()->CompanyFolder();
  if (folder.empty()) {
    status_ = tsioStatus::kFileNotOpen;
    return;
  }
  own_ = std::make_unique<tsioDataFile>();
  status_ = own_->OpenByName(folder + "/GLT." + std::to_string(instance));
  if (status_ == tsioStatus::kSuccess) {
    file_ = own_.get();
  } else {
    own_.reset();
  }
}

tsioStatus::Status WriteLines(tsioDataFile& glt, std::vector<Line>& lines) {
  if (lines.empty()) return tsioStatus::kSuccess;
  const long long run = lines.front().run;
  tsioStatus::Status st = tsioStatus::kSuccess;
  tsioWaitingWrites waiting(glt.Company());  // a line number taken meanwhile is tried again
  for (int attempt = 0; attempt < 2; ++attempt) {
    const long long last = NextFree(glt, run, attempt > 0);
    size_t written = 0;
    for (; written < lines.size(); ++written) {
      st = InsertLine(glt, lines[written], last + static_cast<long long>(written) + 1);
      if (st != tsioStatus::kSuccess) break;
    }
    if (st == tsioStatus::kSuccess) {
      NoteLast(glt, run, last + static_cast<long long>(lines.size()));
      return st;
    }
    // All or none: take back what this call wrote.
    for (size_t i = 0; i < written; ++i) {
      (void)DeleteByKey(glt, run, last + static_cast<long long>(i) + 1, lines[i].ledger);
    }
    Forget(glt, run);
    if (st != tsioStatus::kDuplicateKey) break;
  }
  return st;
}

tsioStatus::Status RemoveLines(tsioDataFile& glt, const std::vector<Line>& lines) {
  tsioStatus::Status result = tsioStatus::kSuccess;
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
    tsGLTransactionRec r;
    r.run = tsDouble(it->run);
    tsioCursor cur(r, glt, kGLTLine, 0);
    cur.AttachRange(1);
    tsioStatus::Status st = cur.FetchLast();
    while (st == tsioStatus::kSuccess && !SameLine(r, *it)) st = cur.FetchPrev();
    if (st == tsioStatus::kSuccess) st = cur.Delete();
    if (st == tsioStatus::kEndOfFile) st = tsioStatus::kNotFound;
    if (st != tsioStatus::kSuccess && result == tsioStatus::kSuccess) result = st;
    Forget(glt, it->run);
  }
  return result;
}

tsioStatus::Status MoveBatch(tsioDataFile& waiting, tsioDataFile& posted, const std::string& appl,
                             const std::string& batch, short source, short ledger, long* moved) {
  tsioCompany& company = waiting.Company();
  if (&company != &posted.Company()) return tsioStatus::kInvalidOperation;
  const std::string from = Quote(tsioCompany::TableName("GLT", waiting.Spec().Instance(), kGLTLine));
  const std::string to = Quote(tsioCompany::TableName("GLT", posted.Spec().Instance(), kGLTLine));
  std::string where = " WHERE \"GTBATCH\" = ? AND \"GTBSRC\" = ?";
  if (!appl.empty()) where += " AND \"GTAPPL\" = ?";
  if (ledger != 0) where += " AND \"GTLEDG\" = ?";
  auto bind = [&](tsioBackendStatement* q) {
    int n = 1;
    q->Bind(n++, tsCell::Text(batch));
    q->BindInt(n++, source);
    if (!appl.empty()) q->Bind(n++, tsCell::Text(appl));
    if (ledger != 0) q->BindInt(n++, ledger);
  };
  tclRollbackStack unit;
  tsioStatus::Status st = unit.EnsureBegun(company);
  if (st != tsioStatus::kSuccess) return st;
  auto run = [&](const std::string& sql, int* changes) {
    tsioStatus::Status s = tsioStatus::kSuccess;
    tsioBackendStatement* q = company.Db().Prepare(sql, &s);
    if (!q) return s;
    bind(q);
    const short step = q->Step();
    q->Reset();
    company.NoteWrite();
    if (step != tsioBackendStatement::kDone) return static_cast<tsioStatus::Status>(step);
    *changes = company.Db().Changes();
    return tsioStatus::kSuccess;
  };
  int copied = 0;
  int deleted = 0;
  st = run("INSERT INTO " + to + " SELECT * FROM " + from + where, &copied);
  if (st == tsioStatus::kSuccess) st = run("DELETE FROM " + from + where, &deleted);
  if (st == tsioStatus::kSuccess && copied != deleted) st = tsioStatus::kIOError;
  if (st == tsioStatus::kSuccess) st = unit.Commit();
  if (st != tsioStatus::kSuccess) {
    (void)unit.Rollback();
    company.LogFailure("GL: post batch " + batch, st);
    return st;
  }
  *moved += copied;
  return st;
}

bool AnyLine(tsioDataFile& glt) {
  tsGLTransactionRec r;
  tsioCursor cur(r, glt, kGLTLine, 0);
  return cur.FetchFirst() == tsioStatus::kSuccess;
}

}  // namespace gl
