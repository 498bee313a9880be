// The register page: one bank account's transactions, unposted and posted,
// in register order with running balances, a page at a time.
//
// Paging is by position, never by counting: the first page shows the newest
// lines, with balances worked back from the account's stored register
// balance (it holds every transaction, unposted and posted); "Earlier" walks
// back from the oldest line shown, "Later" forward from the newest, each
// carrying in its link the position it starts from and the running balance
// there. So every page costs the lines it shows (and those a filter leaves
// out on the way), whatever the size of the register.
//
// A link's position and balance are signed with the server's key
// (security.h): a link changed by hand, or from an earlier run of the
// server, is refused (400). It also carries the account's register balance
// when the first page was made: when another program has changed the
// register since, the page says so (its balances may be off) and offers the
// newest page again.
//
// Filters (from, to, state, kind, text) leave lines out, never the balance:
// a running balance is the register's. A page walks at most kScanLimit
// lines; a filter that leaves out more than that ends the page with a link
// that goes on searching.
#include <sstream>

#include "accounts/bank_account.h"
#include "tools/bkreg/input.h"
#include "tools/bkreg/module_work.h"
#include "tools/bkreg/register_walk.h"
#include "web/back_walk.h"
#include "web/html.h"
#include "web/pages.h"

namespace bkweb {

namespace {

constexpr const char kColumns[] =
    "TBNKACC;TRUN;TSEQ;TTRANDT;TRANTYP;TCHECK;TDEPID;TDESC;TCPAYEE;TSUBTR;TADD;TRECOND;TBATCH;TAPPL;TRTRSEQ";
constexpr long kScanLimit = 20000;
constexpr int kDefaultRows = 50;
constexpr int kMaxRows = 500;

struct Filter {
  tsDate from, to;
  int state = 0;  // 0 every state, 1 open, 2 cleared, 3 reconciled
  int kind = 0;   // 0 every kind, 1 check, 2 deposit, 3 withdrawal, 4 adjustment
  std::string text;  // lower-cased; in the description, payee or number
};

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

std::string NumberOf(const TransactionData& l) {
  if (l.GetType().Value() == 1) return l.GetCheck().Format();
  return l.GetDepositID().str();
}

bool Matches(const Filter& f, const TransactionData& l) {
  const tsDate& d = l.GetTransactionDate();
  if (!f.from.IsEmpty() && d < f.from) return false;
  if (!f.to.IsEmpty() && f.to < d) return false;
  if (f.state != 0 && l.GetReconciled().Value() != f.state) return false;
  if (f.kind != 0 && l.GetType().Value() != f.kind) return false;
  if (!f.text.empty()) {
    const std::string hay = Lower(l.GetDescription().str()) + "\n" + Lower(l.GetPayee().str()) + "\n" + Lower(NumberOf(l));
    if (hay.find(f.text) == std::string::npos) return false;
  }
  return true;
}

// A page link's state: the direction, where it starts, the running balance
// there (before that line going back, after it going forward), and the
// account's register balance when the first page was made.
struct Mark {
  bool back = true;
  std::string bank;
  bkreg::RegisterPosition at;
  tsCurrency balance;
  tsCurrency stored;
};

std::string Num(const tsDouble& d) { return std::to_string(d.Mantissa()) + ":" + std::to_string(d.Scale()); }

bool ReadNum(const std::string& text, int decimals, tsDouble* out) {
  const size_t colon = text.find(':');
  if (colon == std::string::npos) return false;
  try {
    size_t used = 0;
    const long long m = std::stoll(text.substr(0, colon), &used);
    if (used != colon) return false;
    const int scale = std::stoi(text.substr(colon + 1), &used);
    if (used != text.size() - colon - 1 || scale < 0 || scale > 18) return false;
    *out = tsDouble::FromScaled(m, scale, decimals);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

std::string Encode(const Mark& m) {
  std::string s = std::string(m.back ? "b" : "f") + "|" + m.bank + "|" + std::to_string(m.at.date.Ymd()) + "|" +
                  Num(m.at.check) + "|" + Num(m.at.subtraction) + "|" + Num(m.at.run) + "|" + Num(m.at.sequence) +
                  "|" + Num(m.balance) + "|" + Num(m.stored);
  return s;
}

bool Decode(const std::string& payload, Mark* m) {
  std::vector<std::string> f;
  std::stringstream in(payload);
  for (std::string part; std::getline(in, part, '|');) f.push_back(part);
  if (f.size() != 9 || (f[0] != "b" && f[0] != "f")) return false;
  m->back = f[0] == "b";
  m->bank = f[1];
  int ymd = 0;
  try {
    ymd = std::stoi(f[2]);
  } catch (const std::exception&) {
    return false;
  }
  m->at.date = tsDate::FromYmd(ymd);
  tsDouble balance, stored, subtraction;
  if (!ReadNum(f[3], 0, &m->at.check) || !ReadNum(f[4], 2, &subtraction) || !ReadNum(f[5], 0, &m->at.run) ||
      !ReadNum(f[6], 0, &m->at.sequence) || !ReadNum(f[7], 2, &balance) || !ReadNum(f[8], 2, &stored)) {
    return false;
  }
  m->at.subtraction = tsCurrency(subtraction);
  m->balance = tsCurrency(balance);
  m->stored = tsCurrency(stored);
  return true;
}

const char* StateName(int state) {
  switch (state) {
    case 1: return "open";
    case 2: return "cleared";
    case 3: return "reconciled";
    default: return "?";
  }
}

const char* KindName(int kind) {
  switch (kind) {
    case 1: return "check";
    case 2: return "deposit";
    case 3: return "withdrawal";
    case 4: return "adjustment";
    default: return "?";
  }
}

struct Row {
  std::vector<std::string> cells;
  bool posted = false;
};

// One line's cells, escaped; `balance` is the running balance after it.
Row MakeRow(const TransactionData& l, bool posted, const tsCurrency& balance) {
  Row r;
  r.posted = posted;
  const std::string key = "bank=" + UrlEncode(l.GetBankAccount().str()) + "&run=" + l.GetRun().Format() +
                          "&seq=" + l.GetSequence().Format();
  std::string action;
  if (!posted && l.GetTransferSequence().IsNull()) {
    action = "<a class=\"edit\" href=\"/edit?" + key + "\">edit</a>";
  }
  const int state = l.GetReconciled().Value();
  r.cells = {Esc(l.GetTransactionDate().Format()),
             Esc(NumberOf(l)),
             Esc(KindName(l.GetType().Value())),
             Esc(l.GetDescription().str()),
             Esc(l.GetAmount().Format()),
             Esc(balance.Format()),
             std::string("<span class=\"state s") + std::to_string(state) + "\">" + StateName(state) + "</span>",
             posted ? "posted" : "unposted",
             Esc(l.GetBatch().str()),
             Esc(l.GetRun().Format() + "-" + l.GetSequence().Format()),
             action};
  return r;
}

std::string FilterQuery(const std::string& bank, const Filter& f, const std::string& text_raw, int rows) {
  std::string q = "bank=" + UrlEncode(bank);
  if (!f.from.IsEmpty()) q += "&from=" + UrlEncode(f.from.Format());
  if (!f.to.IsEmpty()) q += "&to=" + UrlEncode(f.to.Format());
  if (f.state != 0) q += "&state=" + std::to_string(f.state);
  if (f.kind != 0) q += "&kind=" + std::to_string(f.kind);
  if (!text_raw.empty()) q += "&q=" + UrlEncode(text_raw);
  if (rows != kDefaultRows) q += "&rows=" + std::to_string(rows);
  return q;
}

std::string Select(const char* name, int value, const std::vector<std::pair<int, const char*>>& options) {
  std::string out = std::string("<select name=\"") + name + "\" id=\"f-" + name + "\">";
  for (const auto& [v, label] : options) {
    out += "<option value=\"" + std::to_string(v) + "\"" + (v == value ? " selected" : "") + ">" + label + "</option>";
  }
  return out + "</select>";
}

std::string FilterForm(const std::string& bank, const Filter& f, const std::string& text_raw, int rows) {
  std::string out = "<form class=\"filters\" method=\"get\" action=\"/register\">";
  out += "<input type=\"hidden\" name=\"bank\" value=\"" + Esc(bank) + "\">";
  out += "<label>From <input type=\"date\" name=\"from\" id=\"f-from\" value=\"" +
         Esc(f.from.IsEmpty() ? "" : f.from.Format()) + "\"></label>";
  out += "<label>To <input type=\"date\" name=\"to\" id=\"f-to\" value=\"" + Esc(f.to.IsEmpty() ? "" : f.to.Format()) +
         "\"></label>";
  out += "<label>State " +
         Select("state", f.state, {{0, "any"}, {1, "open"}, {2, "cleared"}, {3, "reconciled"}}) + "</label>";
  out += "<label>Kind " +
         Select("kind", f.kind, {{0, "any"}, {1, "check"}, {2, "deposit"}, {3, "withdrawal"}, {4, "adjustment"}}) +
         "</label>";
  out += "<label>Text <input type=\"search\" name=\"q\" id=\"f-q\" value=\"" + Esc(text_raw) + "\"></label>";
  out += "<label>Lines <input type=\"number\" name=\"rows\" id=\"f-rows\" min=\"10\" max=\"500\" value=\"" +
         std::to_string(rows) + "\"></label>";
  out += "<button type=\"submit\" id=\"f-apply\">Show</button></form>\n";
  return out;
}

}  // namespace

void RegisterPage(const Env& env, const httplib::Request& req, httplib::Response& res) {
  std::string bank;
  std::string problem = bkreg::ParseBankId("the bank account", Param(req, "bank"), &bank);
  Filter f;
  const std::string from = Param(req, "from"), to = Param(req, "to"), text_raw = Param(req, "q");
  if (problem.empty() && !from.empty()) problem = bkreg::ParseDate("From", from, &f.from);
  if (problem.empty() && !to.empty()) problem = bkreg::ParseDate("To", to, &f.to);
  if (problem.empty() && !text_raw.empty()) problem = bkreg::CheckText("Text", text_raw, 60, &f.text);
  f.text = Lower(f.text);
  auto small = [&](const char* name, int low, int high, int fallback, int* out) {
    const std::string v = Param(req, name);
    *out = fallback;
    if (v.empty()) return;
    try {
      size_t used = 0;
      const int n = std::stoi(v, &used);
      if (used == v.size() && n >= low && n <= high) {
        *out = n;
        return;
      }
    } catch (const std::exception&) {
    }
    if (problem.empty()) problem = std::string(name) + ": a number from " + std::to_string(low) + " to " +
                                   std::to_string(high);
  };
  int rows = kDefaultRows;
  small("state", 0, 3, 0, &f.state);
  small("kind", 0, 4, 0, &f.kind);
  small("rows", 10, kMaxRows, kDefaultRows, &rows);
  if (!problem.empty()) return SendProblem(env, res, 400, "Register", problem);

  Mark mark;
  const std::string page = Param(req, "page");
  const bool first = page.empty();
  if (!first) {
    std::string payload;
    if (!env.signer->Open(page, &payload) || !Decode(payload, &mark) || mark.bank != bank) {
      return SendProblem(env, res, 400, "Register",
                         "This page link was changed, or comes from an earlier run of the server. Open the "
                         "register again from the accounts page.");
    }
  }

  auto held = Library::Hold(LibraryWait(env));
  if (!held) return SendProblem(env, res, 503, "Register", "The server is busy; try again in a moment.");
  std::ostringstream out, err;
  bkreg::Context ctx(out, err);
  ctx.company = env.config.company;
  ctx.wait_seconds = env.config.wait_seconds;
  bkreg::ModuleWork w(ctx);
  if (int rc = w.Open(); rc != bkreg::kDone) {
    return SendProblem(env, res, HttpStatusOf(rc), "Register", err.str());
  }
  BankAccount account(w.Master(), "BANKACC;BDESC;BRGBLNC", 0);
  account.m_Record.SetBankAccount(tsAlpha(bank));
  tsioStatus::Status st = account.FetchEQ(false);
  if (st == tsioStatus::kNotFound || st == tsioStatus::kEndOfFile) {
    return SendProblem(env, res, 404, "Register", "There is no bank account " + bank + ".");
  }
  if (st != tsioStatus::kSuccess) {
    return SendProblem(env, res, 500, "Register", "The bank account could not be read: " +
                                                      bkreg::Context::StatusWords(st));
  }
  const tsCurrency stored = account.m_Record.GetRegisterBalance();
  if (first) {
    mark.back = true;
    mark.balance = stored;
    mark.stored = stored;
  }

  std::vector<Row> shown;  // in walk order
  bkreg::RegisterPosition last_walked, newest_shown, oldest_shown;
  tsCurrency balance_at_oldest, balance_at_newest;  // before the oldest shown, after the newest shown
  bool any_walked = false, ended = false, scanned_out = false;
  long walked = 0;
  tsCurrency running = mark.balance;
  if (mark.back) {
    BackWalk walk(w.Register(), w.History(), kColumns);
    walk.Start(bank, first ? nullptr : &mark.at);
    const TransactionData* line = nullptr;
    bool posted = false;
    for (;;) {
      if (walked >= kScanLimit) {
        scanned_out = true;
        break;
      }
      st = walk.Prev(&line, &posted);
      if (st != tsioStatus::kSuccess) {
        ended = true;
        break;
      }
      ++walked;
      last_walked = bkreg::RegisterPosition::Of(*line);
      any_walked = true;
      const tsCurrency after = running;
      running -= line->GetAmount();
      if (!f.from.IsEmpty() && line->GetTransactionDate() < f.from) {
        ended = true;
        running = after;  // the walk stops before this line
        break;
      }
      if (Matches(f, *line)) {
        if (shown.empty()) {
          newest_shown = last_walked;
          balance_at_newest = after;
        }
        shown.push_back(MakeRow(*line, posted, after));
        oldest_shown = last_walked;
        balance_at_oldest = running;
        if (static_cast<int>(shown.size()) >= rows) break;
      }
    }
    std::reverse(shown.begin(), shown.end());
  } else {
    bkreg::RegisterWalk walk(w.Register(), w.History(), kColumns);
    walk.StartAfter(bank, mark.at);
    const TransactionData* line = nullptr;
    bool posted = false;
    for (;;) {
      if (walked >= kScanLimit) {
        scanned_out = true;
        break;
      }
      st = walk.Next(&line, &posted);
      if (st != tsioStatus::kSuccess) {
        ended = true;
        break;
      }
      ++walked;
      last_walked = bkreg::RegisterPosition::Of(*line);
      any_walked = true;
      const tsCurrency before = running;
      running += line->GetAmount();
      if (!f.to.IsEmpty() && f.to < line->GetTransactionDate()) {
        ended = true;
        running = before;
        break;
      }
      if (Matches(f, *line)) {
        if (shown.empty()) {
          oldest_shown = last_walked;
          balance_at_oldest = before;
        }
        shown.push_back(MakeRow(*line, posted, running));
        newest_shown = last_walked;
        balance_at_newest = running;
        if (static_cast<int>(shown.size()) >= rows) break;
      }
    }
  }
  if (st != tsioStatus::kSuccess && st != tsioStatus::kEndOfFile) {
    return SendProblem(env, res, 500, "Register", "The register could not be read: " +
                                                      bkreg::Context::StatusWords(st));
  }
  held.reset();

  // Links: Earlier from the oldest line shown (or walked, when nothing was
  // shown), Later from the newest.
  const std::string base = "/register?" + FilterQuery(bank, f, text_raw, rows);
  auto link = [&](bool back, const bkreg::RegisterPosition& at, const tsCurrency& balance) {
    Mark m{back, bank, at, balance, mark.stored};
    return base + "&page=" + env.signer->Sign(Encode(m));
  };
  std::string nav = "<nav class=\"pages\">";
  // Going back, the walk goes on from the last line it walked (the balance
  // before it); going forward, Earlier starts at the oldest line shown.
  if (mark.back && !ended) {
    nav += "<a id=\"earlier\" href=\"" + Esc(link(true, last_walked, running)) + "\">&larr; " +
           (scanned_out && shown.size() < static_cast<size_t>(rows) ? "Go on searching" : "Earlier") + "</a>";
  } else if (!mark.back && !shown.empty()) {
    nav += "<a id=\"earlier\" href=\"" + Esc(link(true, oldest_shown, balance_at_oldest)) + "\">&larr; Earlier</a>";
  }
  if (mark.back && !first && !shown.empty()) {
    nav += "<a id=\"later\" href=\"" + Esc(link(false, newest_shown, balance_at_newest)) + "\">Later &rarr;</a>";
  } else if (!mark.back && !ended && any_walked) {
    nav += "<a id=\"later\" href=\"" + Esc(link(false, last_walked, running)) + "\">" +
           (scanned_out && shown.size() < static_cast<size_t>(rows) ? "Go on searching" : "Later") + " &rarr;</a>";
  }
  if (!first) nav += "<a id=\"newest\" href=\"" + Esc(base) + "\">Newest</a>";
  nav += "</nav>\n";

  std::string body;
  body += "<p class=\"sub\">" + Esc(account.m_Record.GetDescription().str()) + " &middot; register balance <strong id=\"register-balance\">" +
          Esc(stored.Format()) + "</strong> &middot; <a href=\"/enter?bank=" + UrlEncode(bank) +
          "\">enter a transaction</a> &middot; <a class=\"recon\" href=\"/reconcile?bank=" + UrlEncode(bank) +
          "\">reconcile</a></p>\n";
  if (!(stored == mark.stored)) {
    body += Notice("warn", "Another program changed this register since its newest page was shown; the balances "
                           "below may be off. <a href=\"" + Esc(base) + "\">Show the newest page again</a>.");
  }
  const std::string created = Param(req, "done");
  if (!created.empty()) body += Notice("ok", Esc(created));
  body += FilterForm(bank, f, text_raw, rows);
  if (scanned_out) {
    body += Notice("warn", "The filter left out " + std::to_string(kScanLimit) +
                               " lines in a row; follow the link to search further.");
  }
  body += nav;
  std::vector<std::vector<std::string>> cells;
  for (const Row& r : shown) cells.push_back(r.cells);
  body += TableHtml({"Date", "Number", "Kind", "Description", "Amount", "Balance", "State", "Posted", "Batch", "Run-seq",
                     ""},
                    {false, false, false, false, true, true, false, false, false, false, false}, cells, "register");
  if (shown.empty()) body += "<p class=\"empty\">No lines here.</p>";
  body += nav;
  SendHtml(res, 200, Page("Register of " + bank, Nav::kAccounts, env.csrf, body));
}

}  // namespace bkweb
