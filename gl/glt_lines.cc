// General-ledger transaction lines in GLT: building them from a definition,
// writing, removing and posting them (see posting.h).
#include <cmath>
#include <map>
#include <mutex>
#include <utility>

#include "framework/base/application.h"
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
  return cur.FetchLast() == tsioStatus::kSuccess ? r.sequence.ToLongLong() : 0;
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
bool SameLine(const tsGLTransactionRec& a, const tsGLTransactionRec& b) {
  return a.run == b.run && a.ledger == b.ledger && a.account == b.account && a.debit_credit == b.debit_credit &&
         a.amount == b.amount && a.date == b.date && a.journal == b.journal && a.description == b.description &&
         a.reference1 == b.reference1 && a.reference2 == b.reference2 && a.appl_of_origin == b.appl_of_origin &&
         a.batch == b.batch && a.batch_source == b.batch_source && a.summarized == b.summarized &&
         a.ic_receivable == b.ic_receivable && a.ic_payable == b.ic_payable && a.vendor == b.vendor &&
         a.invoice == b.invoice && a.bank == b.bank && a.check_number == b.check_number &&
         a.employee == b.employee && a.job == b.job;
}

tsioStatus::Status DeleteByKey(tsioDataFile& glt, const tsGLTransactionRec& line) {
  tsGLTransactionRec r;
  r.run = line.run;
  r.sequence = line.sequence;
  r.ledger = line.ledger;
  tsioCursor cur(r, glt, kGLTLine, 0);
  tsioStatus::Status st = cur.FetchEQ();
  return st == tsioStatus::kSuccess ? cur.Delete() : st;
}

std::string Quote(const std::string& name) { return "\"" + name + "\""; }

}  // namespace

tsioStatus::Status LinesOf(const gl_tran_def& d, std::vector<Line>* lines) {
  lines->clear();
  if (d.ledger != kGLLedgerAccrual && d.ledger != kGLLedgerCash) return tsioStatus::kInvalidOperation;
  const tsCurrency amount = glTranDefAmount(d);
  if (!amount.IsValid()) return tsioStatus::kValueDoesNotFit;
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
    tsGLTransactionRec& r = *line.rec;
    r.run = tsDouble(std::llround(d.run_number));
    r.ledger = d.ledger;
    r.account = tsAlpha(account);
    r.debit_credit = tsChoice(debit ? 1 : 2);
    r.amount = amount;
    r.date = DateOf(d);
    r.journal = d.journal;
    r.description = tsAlpha(glGetText(debit ? d.debit_description : d.credit_description));
    r.reference1 = tsAlpha(glGetText(debit ? d.debit_reference1 : d.credit_reference1));
    r.reference2 = tsAlpha(glGetText(debit ? d.debit_reference2 : d.credit_reference2));
    r.appl_of_origin = tsAlpha(glGetText(d.appl_of_origin));
    r.batch = tsAlpha(glGetText(d.batch));
    r.batch_source = tsChoice(d.batch_source);
    r.summarized = tsBool((debit ? d.summarize_debit : d.summarize_credit) != 0);
    r.ic_receivable = tsAlpha(glGetText(d.ic_receivable));
    r.ic_payable = tsAlpha(glGetText(d.ic_payable));
    r.vendor = tsAlpha(glGetText(d.vendor_id));
    r.invoice = tsAlpha(glGetText(d.invoice_id));
    r.bank = tsAlpha(glGetText(d.bank_id));
    r.check_number = tsDouble(std::llround(d.check_number));
    r.employee = tsAlpha(glGetText(d.employee_id));
    r.job = tsAlpha(glGetText(d.job_id));
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
  const long long run = lines.front().rec->run.ToLongLong();
  tsioStatus::Status st = tsioStatus::kSuccess;
  for (int attempt = 0; attempt < 2; ++attempt) {
    const long long last = NextFree(glt, run, attempt > 0);
    size_t written = 0;
    for (; written < lines.size(); ++written) {
      tsGLTransactionRec& r = *lines[written].rec;
      r.sequence = tsDouble(last + static_cast<long long>(written) + 1);
      tsioCursor cur(r, glt, kGLTLine, 0);
      st = cur.Insert();
      if (st != tsioStatus::kSuccess) break;
    }
    if (st == tsioStatus::kSuccess) {
      NoteLast(glt, run, last + static_cast<long long>(lines.size()));
      return st;
    }
    // All or none: take back what this call wrote.
    for (size_t i = 0; i < written; ++i) (void)DeleteByKey(glt, *lines[i].rec);
    Forget(glt, run);
    if (st != tsioStatus::kDuplicateKey) break;
  }
  return st;
}

tsioStatus::Status RemoveLines(tsioDataFile& glt, const std::vector<Line>& lines) {
  tsioStatus::Status result = tsioStatus::kSuccess;
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
    const tsGLTransactionRec& want = *it->rec;
    tsGLTransactionRec r;
    r.run = want.run;
    tsioCursor cur(r, glt, kGLTLine, 0);
    cur.AttachRange(1);
    tsioStatus::Status st = cur.FetchLast();
    while (st == tsioStatus::kSuccess && !SameLine(r, want)) st = cur.FetchPrev();
    if (st == tsioStatus::kSuccess) st = cur.Delete();
    if (st == tsioStatus::kEndOfFile) st = tsioStatus::kNotFound;
    if (st != tsioStatus::kSuccess && result == tsioStatus::kSuccess) result = st;
    Forget(glt, want.run.ToLongLong());
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
