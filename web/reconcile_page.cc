// The reconciliation page of one bank account (reconcile_page.h).
//
// What it shows: who holds the account (another program's edit-register
// lock, the reconciliation in progress), the figures (opening, cleared
// deposits and payments, ending, difference), the statement last uploaded
// for the account with each line's result and what can be done with it
// (accept a proposal, enter an unknown line as an adjustment, post the
// statement's batch and apply its waiting lines again), the register's
// outstanding items with a tick each, finish and undo, and the history of
// the account's reconciliations.
//
// Where things live:
//   - The statement last uploaded for each account, with its lines' results,
//     is kept in the server's memory (StatementMemory) until another is
//     uploaded for the account or the server stops; the lines applied are
//     remembered by the library (BKS), so uploading the same file again
//     after a restart shows it again with the applied lines refused.
//   - The CSV column mapping last used for an account is kept in the
//     company's local folder (tsApplication::LocalFolder: the company folder,
//     or this machine's folder of a server company), one file an account,
//     "csv-mapping-<account id, %-encoded>.txt", owner-only, one line.
//   - An uploaded file is written to a private temporary file, read, and
//     removed before the answer: the statement's text is never kept on disk.
#include "web/reconcile_page.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include <nlohmann/json.hpp>

#include "accounts/bank_account.h"
#include "framework/base/application.h"
#include "tools/bkreg/context.h"
#include "tools/bkreg/input.h"
#include "tools/bkreg/ledger_entry.h"
#include "tools/bkreg/statement_commands.h"
#include "tools/bkreg/reconcile_work.h"
#include "web/html.h"
#include "web/pages.h"

namespace bkweb {

namespace {

constexpr size_t kOutstandingShown = 1000;
constexpr size_t kHistoryShown = 24;
constexpr const char kStatementBatch[] = "BKSTMT";  // the import's batch of entered lines
constexpr const char kAdjustBatch[] = "BKRECON";    // the adjustments for a difference

// The statement last uploaded for each account and its lines' results.
struct KeptStatement {
  std::string name;  // the file's name as uploaded
  bkStatement statement;
  std::vector<bkLineResult> lines;
};

class StatementMemory {
 public:
  static StatementMemory& Get() {
    static StatementMemory memory;
    return memory;
  }
  std::shared_ptr<KeptStatement> Find(const std::string& bank) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = kept_.find(bank);
    return it == kept_.end() ? nullptr : it->second;
  }
  void Keep(const std::string& bank, std::shared_ptr<KeptStatement> s) {
    std::lock_guard<std::mutex> lock(mutex_);
    kept_[bank] = std::move(s);
  }

 private:
  std::mutex mutex_;
  std::map<std::string, std::shared_ptr<KeptStatement>> kept_;
};

// Replaces each kept line's result by the newer one of the same id.
void Update(KeptStatement& kept, const std::vector<bkLineResult>& newer) {
  for (const bkLineResult& n : newer) {
    for (bkLineResult& old : kept.lines) {
      if (old.line.id == n.line.id) old = n;
    }
  }
}

std::string MappingFile(const std::string& bank) {
  const std::string folder = TSGetApp()->LocalFolder();
  if (folder.empty()) return "";
  return folder + "/csv-mapping-" + UrlEncode(bank) + ".txt";
}

std::string ReadMapping(const std::string& bank) {
  const std::string path = MappingFile(bank);
  if (path.empty()) return "";
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// Written owner-only, never through a link, replacing the file whole.
void KeepMapping(const std::string& bank, const std::string& mapping) {
  const std::string path = MappingFile(bank);
  if (path.empty() || mapping.find('\n') != std::string::npos) return;
  const std::string temp = path + ".new";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return;
  const std::string text = mapping + "\n";
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  if (!written || ::rename(temp.c_str(), path.c_str()) != 0) ::unlink(temp.c_str());
}

// A private temporary file holding an upload, removed when it goes.
class UploadFile {
 public:
  bool Write(const std::string& content) {
    std::string pattern = (std::filesystem::temp_directory_path() / "bkreg-upload-XXXXXX").string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) return false;
    path_ = pattern;
    size_t at = 0;
    while (at < content.size()) {
      const ssize_t n = ::write(fd, content.data() + at, content.size() - at);
      if (n <= 0) break;
      at += static_cast<size_t>(n);
    }
    ::close(fd);
    return at == content.size();
  }
  const std::string& path() const { return path_; }
  ~UploadFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }

 private:
  std::string path_;
};

const char* TypeName(int type) {
  static const char* kTypes[] = {"?", "check", "deposit", "withdrawal", "adjustment"};
  return kTypes[type >= 1 && type <= 4 ? type : 0];
}

const char* OutcomeWords(bkLineOutcome o) {
  switch (o) {
    case bkLineOutcome::kCleared: return "cleared";
    case bkLineOutcome::kAlreadyApplied: return "refused: already applied";
    case bkLineOutcome::kAlreadyCleared: return "already cleared";
    case bkLineOutcome::kProposed: return "choose";
    case bkLineOutcome::kUnknown: return "unknown";
    case bkLineOutcome::kEntered: return "entered";
    case bkLineOutcome::kAwaitingPost: return "waiting for posting";
    case bkLineOutcome::kFailed: return "failed";
  }
  return "";
}

const char* OutcomeClass(bkLineOutcome o) {
  switch (o) {
    case bkLineOutcome::kCleared:
    case bkLineOutcome::kAlreadyCleared: return "done";
    case bkLineOutcome::kAlreadyApplied: return "refused";
    case bkLineOutcome::kFailed: return "failed";
    default: return "todo";
  }
}

std::string Money(const tsCurrency& c) { return Esc(c.Format()); }

std::string CandidateText(const bkMatchCandidate& c) {
  std::string s = std::to_string(c.run) + "/" + std::to_string(c.sequence) + " " + TypeName(c.type) + " " +
                  c.date.Format() + " " + c.amount.Format();
  if (c.check) s += " check " + std::to_string(c.check);
  if (!c.deposit_id.empty()) s += " id " + c.deposit_id;
  if (c.instance == 1) s += " (not posted)";
  return s;
}

std::string Hidden(const char* name, const std::string& value) {
  return "<input type=\"hidden\" name=\"" + std::string(name) + "\" value=\"" + Esc(value) + "\">";
}

// A one-button POST form.
std::string Button(const Env& env, const std::string& action, const std::string& bank,
                   const std::vector<std::pair<const char*, std::string>>& fields, const std::string& label,
                   const std::string& cls, const std::string& confirm = "", const std::string& attributes = "") {
  std::string out = "<form method=\"post\" class=\"inline\" action=\"" + action + "\">" + CsrfField(env.csrf) +
                    Hidden("bank", bank);
  for (const auto& [name, value] : fields) out += Hidden(name, value);
  out += "<button type=\"submit\" class=\"" + cls + "\"";
  if (!confirm.empty()) out += " data-confirm=\"" + Esc(confirm) + "\"";
  out += attributes + ">" + Esc(label) + "</button></form>";
  return out;
}

std::string Back(const std::string& bank) { return "/reconcile?bank=" + UrlEncode(bank); }

// The module work of one request: the company opened, the library held.
struct Work {
  std::ostringstream out, err;
  bkreg::Context ctx{out, err};
  std::unique_ptr<bkreg::ModuleWork> w;
  int Open(const Env& env) {
    ctx.company = env.config.company;
    ctx.wait_seconds = env.config.wait_seconds;
    w = std::make_unique<bkreg::ModuleWork>(ctx);
    return w->Open();
  }
  // Closes the company (before another context of the request opens it).
  void Done() {
    w.reset();
    ctx.Close();
  }
  // The message lines, without "bkreg: ".
  std::string Lines() const {
    std::string html;
    std::istringstream in(err.str());
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("bkreg: ", 0) == 0) line.erase(0, 7);
      if (!line.empty()) html += "<p>" + Esc(line) + "</p>";
    }
    return html;
  }
};

std::string FiguresHtml(const bkreg::ReconcileFigures& f) {
  std::string out = "<section class=\"figures\" id=\"figures\"";
  out += " data-difference=\"" + Esc(f.difference.Format()) + "\">";
  out += "<h2>Statement of <span id=\"fig-date\">" + Esc(f.statement_date.Format()) + "</span></h2><dl>";
  auto item = [&](const char* id, const char* label, const tsCurrency& v) {
    out += "<dt>" + std::string(label) + "</dt><dd id=\"" + id + "\">" + Money(v) + "</dd>";
  };
  item("fig-opening", "Opening balance", f.opening);
  item("fig-deposits", "Cleared deposits", f.deposits);
  item("fig-payments", "Cleared payments", f.payments);
  item("fig-cleared", "Cleared balance", f.opening + f.cleared);
  item("fig-ending", "Ending balance", f.ending);
  out += "<dt>Difference</dt><dd id=\"fig-difference\" class=\"" +
         std::string(f.difference == tsCurrency() ? "zero" : "nonzero") + "\">" + Money(f.difference) + "</dd>";
  out += "<dt>Cleared items</dt><dd id=\"fig-count\">" + std::to_string(f.count) + "</dd></dl></section>";
  return out;
}

nlohmann::json FiguresJson(const bkreg::ReconcileFigures& f) {
  return {{"in_progress", f.in_progress},
          {"statement_date", f.statement_date.Format()},
          {"opening", f.opening.Format()},
          {"deposits", f.deposits.Format()},
          {"payments", f.payments.Format()},
          {"cleared_balance", (f.opening + f.cleared).Format()},
          {"ending", f.ending.Format()},
          {"difference", f.difference.Format()},
          {"zero", f.difference == tsCurrency()},
          {"count", f.count}};
}

// `ledger`: the register's entries go to the general ledger, so an entered
// adjustment needs the account it offsets.
std::string StatementHtml(const Env& env, const std::string& bank, const KeptStatement& kept, bool ledger) {
  int counts[kLineOutcomes] = {};
  bool waiting = false;
  for (const auto& r : kept.lines) {
    ++counts[static_cast<int>(r.outcome)];
    waiting = waiting || r.outcome == bkLineOutcome::kEntered || r.outcome == bkLineOutcome::kAwaitingPost ||
              r.outcome == bkLineOutcome::kUnknown;
  }
  std::string out = "<section class=\"statement\" id=\"statement\"><h2>Statement " + Esc(kept.name) + " of " +
                    Esc(kept.statement.end.Format()) + ", ending " + Money(kept.statement.ending_balance) + "</h2>";
  out += "<p id=\"statement-counts\">";
  for (int k = 0; k < kLineOutcomes; ++k) {
    if (counts[k] == 0) continue;
    out += "<span class=\"count\">" + std::to_string(counts[k]) + " " + OutcomeWords(static_cast<bkLineOutcome>(k)) +
           "</span> ";
  }
  out += "</p>";
  if (waiting) {
    out += "<p class=\"hint\">Lines entered as adjustments, or matching unposted transactions, are cleared once "
           "posted: " +
           Button(env, "/reconcile/post", bank, {{"batch", kStatementBatch}},
                  std::string("Post batch ") + kStatementBatch, "post", "") +
           " " + Button(env, "/reconcile/again", bank, {}, "Apply waiting lines again", "again") + "</p>";
  }
  out += "<table id=\"statement-lines\"><thead><tr><th>Line</th><th>Date</th><th class=\"num\">Amount</th>"
         "<th>Check</th><th>Memo</th><th>Result</th><th>What to do</th></tr></thead><tbody>";
  for (const auto& r : kept.lines) {
    const bkStatementLine& l = r.line;
    out += "<tr class=\"line " + std::string(OutcomeClass(r.outcome)) + "\" data-line=\"" + Esc(l.id) + "\">";
    out += "<td class=\"id\">" + Esc(l.id) + "</td><td>" + Esc(l.date.Format()) + "</td><td class=\"num\">" +
           Money(l.amount) + "</td><td>" + (l.check ? std::to_string(l.check) : "") + "</td><td>" + Esc(l.memo) +
           "</td><td class=\"outcome\">" + Esc(OutcomeWords(r.outcome)) + "</td><td>";
    if (r.outcome == bkLineOutcome::kProposed) {
      for (const auto& c : r.candidates) {
        out += "<div class=\"proposal\">" + Esc(CandidateText(c)) + " " +
               Button(env, "/reconcile/accept", bank,
                      {{"line", l.id}, {"run", std::to_string(c.run)}, {"seq", std::to_string(c.sequence)}},
                      "Accept", "accept") +
               "</div>";
      }
    } else if (r.outcome == bkLineOutcome::kUnknown) {
      if (ledger) {
        out += "<form method=\"post\" class=\"inline\" action=\"/reconcile/enter\">" + CsrfField(env.csrf) +
               Hidden("bank", bank) + Hidden("line", l.id) +
               "<input name=\"offset\" class=\"offset\" size=\"8\" required placeholder=\"offset account\" "
               "aria-label=\"general-ledger account the adjustment offsets\"><button type=\"submit\" "
               "class=\"enter\">Enter as adjustment</button></form>";
      } else {
        out += Button(env, "/reconcile/enter", bank, {{"line", l.id}}, "Enter as adjustment", "enter");
      }
      // Or as a transaction of its kind, matched once posted.
      const bool in = !(l.amount < tsCurrency());
      out += "<form method=\"post\" class=\"inline\" action=\"/reconcile/enter-as\">" + CsrfField(env.csrf) +
             Hidden("bank", bank) + Hidden("line", l.id) + "<select name=\"type\" aria-label=\"kind\">" +
             (in ? "<option value=\"deposit\">deposit</option>"
                 : "<option value=\"withdrawal\">withdrawal</option><option value=\"check\">check</option>") +
             "</select><button type=\"submit\" class=\"enter-as\">Enter as</button></form>";
    } else if (r.outcome == bkLineOutcome::kCleared && !r.candidates.empty()) {
      out += Esc(CandidateText(r.candidates[0]));
    }
    if (!r.note.empty() && r.outcome != bkLineOutcome::kCleared) out += "<span class=\"note\">" + Esc(r.note) + "</span>";
    out += "</td></tr>";
  }
  out += "</tbody></table></section>";
  return out;
}

std::string UploadForm(const Env& env, const std::string& bank, const std::string& mapping) {
  std::string out = "<section class=\"form\"><h2>Upload the bank's statement</h2>";
  out += "<form method=\"post\" action=\"/reconcile/upload\" enctype=\"multipart/form-data\" id=\"upload\">" +
         CsrfField(env.csrf) + Hidden("bank", bank);
  out += "<label>Statement file (OFX, QFX or CSV) <input type=\"file\" name=\"file\" id=\"up-file\" required "
         "accept=\".ofx,.qfx,.csv,.txt\"></label>";
  out += "<label>Format <select name=\"format\" id=\"up-format\"><option value=\"\">by the file's name</option>"
         "<option value=\"ofx\">OFX/QFX</option><option value=\"csv\">CSV</option></select></label>";
  out += "<label>CSV columns <input name=\"mapping\" id=\"up-mapping\" size=\"60\" value=\"" + Esc(mapping) +
         "\" placeholder=\"date=Date;amount=Amount;id=Id;statement_date=2026-04-30;ending_balance=1000.00\"></label>";
  out += "<label>Days either side <input name=\"window\" id=\"up-window\" value=\"3\" size=\"3\" "
         "inputmode=\"numeric\"></label>";
  out += "<button type=\"submit\" id=\"up-send\">Upload and match</button></form>";
  out += "<p class=\"hint\">The CSV columns used last for this account are remembered. A statement naming its "
         "account must be of this account's number.</p></section>";
  return out;
}

std::string StartForm(const Env& env, const std::string& bank, const bkreg::ReconcileFigures& f) {
  std::string out = "<section class=\"form\"><h2>" +
                    std::string(f.in_progress ? "Correct the ending balance" : "Start from the statement's figures") +
                    "</h2><form method=\"post\" action=\"/reconcile/start\" id=\"start\">" + CsrfField(env.csrf) +
                    Hidden("bank", bank);
  out += "<label>Statement date <input name=\"date\" id=\"st-date\" required value=\"" +
         (f.in_progress ? Esc(f.statement_date.Format()) : std::string()) + "\" placeholder=\"YYYY-MM-DD\"></label>";
  out += "<label>Ending balance <input name=\"ending\" id=\"st-ending\" required inputmode=\"decimal\" value=\"" +
         (f.in_progress ? Esc(f.ending.Format()) : std::string()) + "\"></label>";
  out += "<button type=\"submit\" id=\"st-send\">" + std::string(f.in_progress ? "Correct" : "Start") +
         "</button></form></section>";
  return out;
}

std::string ItemsHtml(const Env& env, const std::string& bank, const std::vector<bkreg::OutstandingItem>& items,
                      size_t more) {
  std::string out = "<section class=\"items\"><h2>Outstanding items</h2>";
  out += "<table id=\"items\"><thead><tr><th>Tick</th><th>Date</th><th>Kind</th><th>Check</th><th>Text</th>"
         "<th class=\"num\">Amount</th><th>Run/seq</th></tr></thead><tbody>";
  for (const auto& i : items) {
    const std::string key = std::to_string(i.run) + "/" + std::to_string(i.sequence);
    const bool ticked = i.state == 2;
    out += "<tr class=\"item" + std::string(ticked ? " ticked" : "") + "\" data-key=\"" + Esc(key) + "\"><td>";
    if (!i.posted) {
      out += "<span class=\"unposted\" title=\"An unposted transaction cannot be cleared: post its batch "
             "first\">not posted</span>";
    } else {
      out += "<form method=\"post\" class=\"inline tick\" action=\"/reconcile/tick\" data-tick>" + CsrfField(env.csrf) +
             Hidden("bank", bank) + Hidden("run", std::to_string(i.run)) + Hidden("seq", std::to_string(i.sequence)) +
             Hidden("on", ticked ? "0" : "1") + "<button type=\"submit\" class=\"tickbox\" aria-pressed=\"" +
             (ticked ? "true" : "false") + "\" id=\"tick-" + Esc(std::to_string(i.run) + "-" + std::to_string(i.sequence)) +
             "\">" + (ticked ? "&#x2611;" : "&#x2610;") + "</button></form>";
    }
    out += "</td><td>" + Esc(i.date.Format()) + "</td><td>" + TypeName(i.type) + "</td><td>" +
           (i.check ? std::to_string(i.check) : "") + "</td><td>" + Esc(i.text) + "</td><td class=\"num\">" +
           Money(i.amount) + "</td><td>" + Esc(key) + "</td></tr>";
  }
  out += "</tbody></table>";
  if (items.empty()) out += "<p class=\"empty\">Nothing outstanding.</p>";
  if (more > 0) out += "<p class=\"more\">" + std::to_string(more) + " more items are not shown.</p>";
  out += "</section>";
  return out;
}

std::string HistoryHtml(const Env& env, const std::string& bank, const std::vector<bkreg::ReconciliationEntry>& h) {
  std::vector<std::vector<std::string>> rows;
  for (const auto& e : h) {
    rows.push_back({Esc(e.statement_date.Format()), Money(e.previous), Money(e.deposits), Money(e.payments),
                    Money(e.ending), std::to_string(e.count)});
  }
  std::string out = "<section class=\"history\"><h2>Reconciliations</h2>";
  out += TableHtml({"Statement date", "Opening", "Deposits", "Payments", "Ending balance", "Items"},
                   {false, true, true, true, true, true}, rows, "history");
  if (h.empty()) {
    out += "<p class=\"empty\">None yet.</p>";
  } else {
    out += Button(env, "/reconcile/undo", bank, {}, "Undo the reconciliation of " + h.front().statement_date.Format(),
                  "undo", "Undo the last reconciliation? Its items become cleared again.");
  }
  return out + "</section>";
}

// The whole page; `notice` already escaped.
void SendPage(const Env& env, httplib::Response& res, int status, const std::string& bank, std::string notice) {
  Work work;
  if (int rc = work.Open(env); rc != bkreg::kDone) {
    return SendProblem(env, res, HttpStatusOf(rc), "Reconcile", work.err.str());
  }
  bkreg::ModuleWork& w = *work.w;
  BankAccount account(w.Master(), "", 0);
  account.m_Record.SetBankAccount(tsAlpha(bank));
  tsioStatus::Status st = account.FetchEQ(false);
  if (st != tsioStatus::kSuccess) {
    return SendProblem(env, res, st == tsioStatus::kNotFound || st == tsioStatus::kEndOfFile ? 404 : 500, "Reconcile",
                       "No bank account '" + bank + "'.");
  }
  const std::string description = account.m_Record.GetDescription().str();
  const auto locked = account.isEditRegisterLocked();
  bkreg::ReconcileFigures f;
  std::vector<bkreg::OutstandingItem> items;
  size_t more = 0;
  std::vector<bkreg::ReconciliationEntry> history;
  if (bkreg::ReadReconcileFigures(w, bank, &f, work.err) != bkreg::kDone ||
      bkreg::ListOutstanding(w, bank, kOutstandingShown, &items, &more, work.err) != bkreg::kDone ||
      bkreg::ListReconciliations(w, bank, kHistoryShown, &history, work.err) != bkreg::kDone) {
    notice += Notice("error", work.Lines());
  }
  const std::string mapping = ReadMapping(bank);
  const bool ledger = bkreg::LedgerInterfaceOn();

  std::string body = "<p class=\"crumbs\"><a href=\"/\">Accounts</a> &rsaquo; <a href=\"/register?bank=" +
                     UrlEncode(bank) + "\">Register of " + Esc(bank) + "</a></p>";
  body += "<p class=\"sub\">" + Esc(description) + "</p>";
  body += "<div id=\"notices\">" + notice + "</div>";
  std::string holder;
  if (locked.Value() != ccError::kNone && locked.MaxLevel() < ccError::kError) {
    holder += "<p id=\"held\">Another program is editing the register of " + Esc(bank) +
              " (it holds the account's edit-register lock): ticking, statements, finish and undo are refused "
              "until it lets go.</p>";
  }
  if (f.in_progress) {
    holder += "<p id=\"in-progress\">The reconciliation in progress is against the statement of " +
              Esc(f.statement_date.Format()) +
              "; it is the account's, one at a time, shared with every program (bkreg reconcile status shows the "
              "same figures).</p>";
  }
  if (!holder.empty()) body += Notice("warn", holder);
  std::string left;
  if (f.in_progress) {
    left += FiguresHtml(f);
    left += "<div class=\"finish\">" +
            Button(env, "/reconcile/finish", bank, {}, "Finish", "finish", "",
                   f.difference == tsCurrency() ? " id=\"finish\"" : " id=\"finish\" disabled") +
            " " +
            Button(env, "/reconcile/cancel", bank, {}, "Abandon", "cancel",
                   "Abandon this reconciliation? What is cleared stays cleared.") +
            "</div>";
    if (!(f.difference == tsCurrency())) {
      left += "<section class=\"form adjust\"><h2>Or enter the difference</h2>"
              "<form method=\"post\" action=\"/reconcile/adjust\" id=\"adjust\">" + CsrfField(env.csrf) +
              Hidden("bank", bank) + Hidden("amount", f.difference.Format()) +
              "<p>An adjustment of <strong id=\"adjust-amount\">" + Money(f.difference) + "</strong> dated " +
              Esc(f.statement_date.Format()) + ", posted in batch " + kAdjustBatch +
              " and ticked: the difference becomes 0.00.</p>"
              "<label>General-ledger account (when the ledger wants one) <input name=\"account\" "
              "id=\"adjust-account\" maxlength=\"45\"></label>"
              "<button type=\"submit\" id=\"adjust-send\">Enter the adjustment</button></form></section>";
    }
    left += "<p class=\"hint" + std::string(f.difference == tsCurrency() ? " hidden" : "") +
            "\" id=\"finish-hint\">Finish is possible at a difference of 0.00: tick what the statement shows, "
            "or enter what it shows and the register lacks.</p>";
  } else {
    left += "<p id=\"none\">No reconciliation of " + Esc(bank) +
            " is in progress: upload the bank's statement, or start from its date and ending balance.</p>";
  }
  left += UploadForm(env, bank, mapping) + StartForm(env, bank, f);
  body += "<div class=\"recon\"><div class=\"recon-side\">" + left + "</div><div class=\"recon-main\">";
  if (auto kept = StatementMemory::Get().Find(bank)) body += StatementHtml(env, bank, *kept, ledger);
  if (f.in_progress) body += ItemsHtml(env, bank, items, more);
  body += HistoryHtml(env, bank, history) + "</div></div>";
  body += "<script src=\"/static/reconcile.js\" defer></script>";
  work.Done();
  SendHtml(res, status, Page("Reconcile " + bank, Nav::kAccounts, env.csrf, body));
}

// The bank id of a request by the id rules; "" after answering 400.
std::string BankOf(const Env& env, const httplib::Request& req, httplib::Response& res, const std::string& given) {
  std::string bank;
  const std::string problem = bkreg::ParseBankId("bank", given, &bank);
  if (!problem.empty()) {
    SendProblem(env, res, 400, "Reconcile", problem);
    return "";
  }
  (void)req;
  return bank;
}

// After a change: 303 to the page with `done` on success, else the page with
// the messages and the command's status.
void Answer(const Env& env, httplib::Response& res, const std::string& bank, int rc, const std::string& done,
            const std::string& messages_html) {
  if (rc == bkreg::kDone) return SeeOther(res, Back(bank) + "&done=" + UrlEncode(done));
  SendPage(env, res, HttpStatusOf(rc), bank, Notice("error", messages_html));
}

std::string CommandLines(const CommandResult& r) {
  std::string html;
  for (const std::string& l : r.Lines()) html += "<p>" + Esc(l) + "</p>";
  return html;
}

using Held = std::optional<std::unique_lock<std::timed_mutex>>;

bool HoldLibrary(const Env& env, httplib::Response& res, Held* held) {
  *held = Library::Hold(LibraryWait(env));
  if (!*held) SendProblem(env, res, 503, "Reconcile", "The server is busy; try again in a moment.");
  return held->has_value();
}

// Runs a bkreg command for the page and answers.
void RunAndAnswer(const Env& env, const httplib::Request& req, httplib::Response& res,
                  std::vector<std::string> args, const std::string& done_prefix) {
  const std::string bank = BankOf(env, req, res, Param(req, "bank"));
  if (bank.empty()) return;
  Held held;
  if (!HoldLibrary(env, res, &held)) return;
  for (std::string& a : args) {
    if (a == "@bank") a = bank;
  }
  const CommandResult r = RunCommand(env.config, args, bkreg::Format::kText);
  std::string said = r.out;
  while (!said.empty() && said.back() == '\n') said.pop_back();
  Answer(env, res, bank, r.status, done_prefix.empty() ? said : done_prefix, CommandLines(r));
}

// Applies lines `only` of the kept statement of `bank` with `options`.
void ApplyKept(const Env& env, const httplib::Request& req, httplib::Response& res,
               const std::vector<std::string>& only_given, bkStatementImportOptions options, const std::string& done) {
  const std::string bank = BankOf(env, req, res, Param(req, "bank"));
  if (bank.empty()) return;
  Held held;
  if (!HoldLibrary(env, res, &held)) return;
  auto kept = StatementMemory::Get().Find(bank);
  if (kept == nullptr) {
    return SendPage(env, res, 409, bank,
                    Notice("error", "<p>No statement of " + Esc(bank) +
                                        " is kept by this server (it was restarted): upload it again; the lines "
                                        "applied already are refused line by line.</p>"));
  }
  std::vector<std::string> only = only_given;
  if (only.empty()) {
    for (const auto& r : kept->lines) {
      if (r.outcome == bkLineOutcome::kEntered || r.outcome == bkLineOutcome::kAwaitingPost ||
          r.outcome == bkLineOutcome::kFailed || r.outcome == bkLineOutcome::kUnknown) {
        only.push_back(r.line.id);
      }
    }
    if (only.empty()) return SeeOther(res, Back(bank) + "&done=" + UrlEncode("No line is waiting."));
  }
  Work work;
  int rc = work.Open(env);
  std::vector<bkLineResult> lines;
  if (rc == bkreg::kDone && options.enter_unknown && bkreg::LedgerInterfaceOn()) {
    // Entered adjustments go to the general ledger as `statement import
    // --enter-unknown --offset-account` sends them.
    bkreg::StatementImportOptions ledger;
    ledger.bank = bank;
    ledger.offset_account = Param(req, "offset");
    rc = bkreg::PrepareLedgerAdjustments(work.ctx, work.w->Program(), &ledger);
    options.ledger_cash = ledger.ledger_cash;
    options.ledger_offset = ledger.offset_account;
    options.on_entered = ledger.on_entered;
  }
  if (rc == bkreg::kDone) rc = bkreg::ApplyStatement(*work.w, bank, kept->statement, options, only, &lines, work.err);
  work.Done();
  if (rc != bkreg::kDone) return Answer(env, res, bank, rc, "", work.Lines());
  Update(*kept, lines);
  std::string words;
  for (const auto& l : lines) {
    words += (words.empty() ? "" : "; ") + std::string("line ") + l.line.id + ": " + OutcomeWords(l.outcome);
    if (!l.note.empty() && l.outcome != bkLineOutcome::kCleared) words += " (" + l.note + ")";
  }
  if (lines.empty()) words = "no line of that id";
  SeeOther(res, Back(bank) + "&done=" + UrlEncode(done + ": " + words));
}

}  // namespace

void ReconcilePage(const Env& env, const httplib::Request& req, httplib::Response& res) {
  const std::string bank = BankOf(env, req, res, Param(req, "bank"));
  if (bank.empty()) return;
  Held held;
  if (!HoldLibrary(env, res, &held)) return;
  const std::string done = Param(req, "done");
  SendPage(env, res, 200, bank, done.empty() ? "" : Notice("ok", "<p id=\"done\">" + Esc(done) + "</p>"));
}

void ReconcileStartPost(const Env& env, const httplib::Request& req, httplib::Response& res) {
  RunAndAnswer(env, req, res,
               {"reconcile", "start", Opt("--date", Param(req, "date")),
                Opt("--ending-balance", Param(req, "ending")), "--", "@bank"},
               "");
}

void ReconcileFinishPost(const Env& env, const httplib::Request& req, httplib::Response& res) {
  RunAndAnswer(env, req, res, {"reconcile", "finish", "--", "@bank"}, "");
}

void ReconcileUndoPost(const Env& env, const httplib::Request& req, httplib::Response& res) {
  RunAndAnswer(env, req, res, {"reconcile", "undo", "--", "@bank"}, "");
}

void ReconcileCancelPost(const Env& env, const httplib::Request& req, httplib::Response& res) {
  RunAndAnswer(env, req, res, {"reconcile", "cancel", "--", "@bank"}, "");
}

void ReconcilePostBatch(const Env& env, const httplib::Request& req, httplib::Response& res) {
  RunAndAnswer(env, req, res, {"post", "--", Param(req, "batch")}, "Posted batch " + Param(req, "batch") + ".");
}

void ReconcileTickPost(const Env& env, const httplib::Request& req, httplib::Response& res) {
  const std::string bank = BankOf(env, req, res, Param(req, "bank"));
  if (bank.empty()) return;
  const bool json = req.get_header_value("Accept").find("application/json") != std::string::npos;
  bkreg::TranRef ref{bank, std::atoll(Param(req, "run").c_str()), std::atoll(Param(req, "seq").c_str())};
  const bool on = Param(req, "on") != "0";
  const auto began = std::chrono::steady_clock::now();
  if (ref.run <= 0 || ref.sequence <= 0) return SendProblem(env, res, 400, "Reconcile", "Which transaction?");
  Held held;
  if (!HoldLibrary(env, res, &held)) return;
  Work work;
  int rc = work.Open(env);
  if (rc == bkreg::kDone) {
    if (on) {
      rc = bkreg::TickTransaction(work.ctx, *work.w, ref, work.err);
    } else {
      bkreg::ClearOptions o;
      o.tran = ref;
      o.undo = true;
      std::ostringstream quiet;
      rc = bkreg::ClearTransaction(bkreg::Common{&work.ctx, bkreg::Format::kText}, o, quiet, work.err);
    }
  }
  bkreg::ReconcileFigures f;
  const int read = work.w ? bkreg::ReadReconcileFigures(*work.w, bank, &f, work.err) : rc;
  work.Done();
  const std::string key = std::to_string(ref.run) + "/" + std::to_string(ref.sequence);
  if (!json) {
    return Answer(env, res, bank, rc, std::string(on ? "Ticked " : "Unticked ") + key + ".", work.Lines());
  }
  nlohmann::json answer = {{"ok", rc == bkreg::kDone},
                           {"ticked", rc == bkreg::kDone ? on : !on},
                           {"key", key},
                           {"message", ""}};
  std::string message;
  std::istringstream in(work.err.str());
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("bkreg: ", 0) == 0) line.erase(0, 7);
    if (!line.empty()) message += (message.empty() ? "" : "\n") + line;
  }
  answer["message"] = message;
  if (read == bkreg::kDone) answer["figures"] = FiguresJson(f);
  res.status = HttpStatusOf(rc);
  // The server's time for the tick (waiting for the library included): what
  // the benchmark reads.
  char timing[64];
  std::snprintf(timing, sizeof timing, "tick;dur=%.3f",
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count());
  res.set_header("Server-Timing", timing);
  res.set_content(answer.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), "application/json");
}

void ReconcileAcceptPost(const Env& env, const httplib::Request& req, httplib::Response& res) {
  bkStatementImportOptions options;
  options.choices[Param(req, "line")] = {std::atoll(Param(req, "run").c_str()), std::atoll(Param(req, "seq").c_str())};
  ApplyKept(env, req, res, {Param(req, "line")}, options, "Accepted");
}

void ReconcileEnterPost(const Env& env, const httplib::Request& req, httplib::Response& res) {
  bkStatementImportOptions options;
  options.enter_unknown = true;
  ApplyKept(env, req, res, {Param(req, "line")}, options, "Entered");
}

void ReconcileAgainPost(const Env& env, const httplib::Request& req, httplib::Response& res) {
  ApplyKept(env, req, res, {}, bkStatementImportOptions(), "Applied again");
}

void ReconcileEnterAsPost(const Env& env, const httplib::Request& req, httplib::Response& res) {
  const std::string bank = BankOf(env, req, res, Param(req, "bank"));
  if (bank.empty()) return;
  const std::string type = Param(req, "type");
  if (type != "deposit" && type != "withdrawal" && type != "check") {
    return SendProblem(env, res, 400, "Reconcile", "Enter a line as a deposit, a withdrawal or a check.");
  }
  Held held;
  if (!HoldLibrary(env, res, &held)) return;
  auto kept = StatementMemory::Get().Find(bank);
  const bkStatementLine* line = nullptr;
  if (kept != nullptr) {
    for (const auto& r : kept->lines) {
      if (r.line.id == Param(req, "line") && r.outcome == bkLineOutcome::kUnknown) line = &r.line;
    }
  }
  if (line == nullptr) {
    return SendPage(env, res, 409, bank, Notice("error", "<p>That line is not an unknown line of the statement this "
                                                         "server keeps for " + Esc(bank) + ".</p>"));
  }
  const bool in = !(line->amount < tsCurrency());
  if (in != (type == "deposit")) {
    return SendPage(env, res, 422, bank, Notice("error", "<p>A line of " + Money(line->amount) + " is not a " +
                                                         Esc(type) + ".</p>"));
  }
  tsCurrency amount = line->amount;
  if (amount < tsCurrency()) amount = tsCurrency() - amount;
  // The description: the bank's memo cut to 60 characters, never inside one.
  std::string desc = line->memo;
  size_t cut = 0;
  for (size_t chars = 0; cut < desc.size(); ++cut) {
    if ((static_cast<unsigned char>(desc[cut]) & 0xC0) == 0x80) continue;
    if (chars++ == 60) break;
  }
  desc.resize(cut);
  std::vector<std::string> args = {"enter", type, Opt("--bank", bank), Opt("--amount", amount.Format()),
                                   Opt("--date", line->date.Format()), Opt("--batch", kStatementBatch)};
  if (!desc.empty()) args.push_back(Opt("--desc", desc));
  if (type == "check" && line->check != 0) args.push_back(Opt("--check", std::to_string(line->check)));
  const CommandResult r = RunCommand(env.config, args, bkreg::Format::kText);
  std::string said = r.out;
  while (!said.empty() && said.back() == '\n') said.pop_back();
  Answer(env, res, bank, r.status, said + " Post batch " + kStatementBatch + ", then apply the waiting lines again.",
         CommandLines(r));
}

void ReconcileAdjustPost(const Env& env, const httplib::Request& req, httplib::Response& res) {
  const std::string bank = BankOf(env, req, res, Param(req, "bank"));
  if (bank.empty()) return;
  Held held;
  if (!HoldLibrary(env, res, &held)) return;
  // The difference the page showed must still be the difference: another
  // program may have ticked or cleared meanwhile.
  bkreg::ReconcileFigures f;
  {
    Work work;
    int rc = work.Open(env);
    if (rc == bkreg::kDone) rc = bkreg::ReadReconcileFigures(*work.w, bank, &f, work.err);
    const std::string lines = work.Lines();
    work.Done();
    if (rc != bkreg::kDone) return Answer(env, res, bank, rc, "", lines);
  }
  if (!f.in_progress || f.difference == tsCurrency() || f.difference.Format() != Param(req, "amount")) {
    return SendPage(env, res, 409, bank,
                    Notice("error", "<p>The difference is " + Money(f.difference) +
                                        " now, not " + Esc(Param(req, "amount")) +
                                        ": nothing was entered. Look at the figures again.</p>"));
  }
  std::vector<std::string> args = {"enter", "adjustment", Opt("--bank", bank), Opt("--amount", f.difference.Format()),
                                   Opt("--date", f.statement_date.Format()), Opt("--batch", kAdjustBatch),
                                   Opt("--desc", "Reconciliation difference, statement of " +
                                                     f.statement_date.Format())};
  if (!Param(req, "account").empty()) args.push_back(Opt("--account", Param(req, "account")));
  CommandResult r = RunCommand(env.config, args, bkreg::Format::kJson);
  if (r.status != bkreg::kDone) return Answer(env, res, bank, r.status, "", CommandLines(r));
  bkreg::TranRef ref{bank, 0, 0};
  try {
    const auto row = nlohmann::json::parse(r.out).at(0);
    ref.run = row.at("Run").get<long long>();
    ref.sequence = row.at("Sequence").get<long long>();
  } catch (const std::exception&) {
    return Answer(env, res, bank, bkreg::kFailed, "", "<p>The adjustment was entered; its key could not be read.</p>");
  }
  const std::string key = std::to_string(ref.run) + "/" + std::to_string(ref.sequence);
  r = RunCommand(env.config, {"post", "--", kAdjustBatch}, bkreg::Format::kText);
  if (r.status != bkreg::kDone) {
    return Answer(env, res, bank, r.status, "",
                  "<p>The adjustment " + Esc(key) + " was entered in batch " + kAdjustBatch +
                      " but not posted:</p>" + CommandLines(r));
  }
  Work work;
  int rc = work.Open(env);
  if (rc == bkreg::kDone) rc = bkreg::TickTransaction(work.ctx, *work.w, ref, work.err);
  const std::string lines = work.Lines();
  work.Done();
  if (rc != bkreg::kDone) {
    return Answer(env, res, bank, rc, "",
                  "<p>The adjustment " + Esc(key) + " was entered and posted but not ticked:</p>" + lines);
  }
  SeeOther(res, Back(bank) + "&done=" + UrlEncode("Entered, posted and ticked the adjustment " + key + " of " +
                                                  f.difference.Format() + "."));
}

void ReconcileUploadPost(const Env& env, const httplib::Request& req, httplib::Response& res) {
  auto field = [&](const char* name) {
    return req.has_file(name) ? req.get_file_value(name).content : Param(req, name);
  };
  const std::string bank = BankOf(env, req, res, field("bank"));
  if (bank.empty()) return;
  if (!req.has_file("file")) return SendProblem(env, res, 400, "Reconcile", "No statement file was sent.");
  const httplib::MultipartFormData& file = req.get_file_value("file");
  const std::string format = field("format");
  const std::string mapping = field("mapping");
  int window = 3;
  if (const std::string w = field("window"); !w.empty()) {
    char* end = nullptr;
    const long v = std::strtol(w.c_str(), &end, 10);
    if (*end != '\0' || v < 0 || v > 60) return SendProblem(env, res, 400, "Reconcile", "Days either side: 0 to 60.");
    window = static_cast<int>(v);
  }
  Held held;
  if (!HoldLibrary(env, res, &held)) return;
  auto kept = std::make_shared<KeptStatement>();
  kept->name = file.filename;
  std::string error;
  {
    UploadFile temp;
    if (!temp.Write(file.content)) {
      error = "the upload could not be kept for reading";
    } else {
      (void)bkreg::ReadStatementFile(temp.path(), file.filename, format, mapping, &kept->statement, &error);
      // The reason names the file as the user knows it.
      for (size_t at; (at = error.find(temp.path())) != std::string::npos;) {
        error.replace(at, temp.path().size(), file.filename);
      }
    }
  }
  if (!error.empty()) {
    return SendPage(env, res, 422, bank,
                    Notice("error", "<p id=\"refused\">Statement not imported, nothing was changed: " + Esc(error) +
                                        "</p>"));
  }
  Work work;
  int rc = work.Open(env);
  bkStatementImportOptions options;
  options.window_days = window;
  if (rc == bkreg::kDone) {
    rc = bkreg::ApplyStatement(*work.w, bank, kept->statement, options, {}, &kept->lines, work.err);
  }
  const bool csv = !mapping.empty() && (format == "csv" || (format.empty() && file.filename.size() > 4 &&
                                                            file.filename.substr(file.filename.size() - 4) == ".csv"));
  if (rc == bkreg::kDone && csv) KeepMapping(bank, mapping);
  work.Done();
  if (rc != bkreg::kDone) {
    return SendPage(env, res, HttpStatusOf(rc), bank,
                    Notice("error", "<div id=\"refused\">" +
                                        (kept->lines.empty() ? std::string("<p>Statement not imported, nothing was "
                                                                           "changed.</p>")
                                                             : std::string()) +
                                        work.Lines() + "</div>"));
  }
  StatementMemory::Get().Keep(bank, kept);
  SeeOther(res, Back(bank) + "&done=" + UrlEncode("Statement " + file.filename + " matched: " +
                                                  std::to_string(kept->lines.size()) + " lines."));
}

}  // namespace bkweb
