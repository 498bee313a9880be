// The accounts, balances and batches pages (pages.h).
//
// Accounts: every bank account with its register, bank and reconciled
// balances, open totals and last reconciliation, and a chart of its
// register balance over its latest kChartLines lines (worked back from the
// stored register balance, so it costs those lines whatever the size of the
// register). Balances: every kind of balance of every account as of a
// date, as `bkreg balance` computes them. Batches: `bkreg batch list`, and
// the forms that open, post and close a batch through the same commands.
#include <algorithm>
#include <sstream>

#include <nlohmann/json.hpp>

#include "accounts/bank_account.h"
#include "tools/bkreg/input.h"
#include "tools/bkreg/module_work.h"
#include "web/back_walk.h"
#include "web/html.h"
#include "web/pages.h"

namespace bkweb {

namespace {

constexpr int kChartLines = 120;

// An SVG polyline of the balances (oldest first), 200 x 48.
std::string Chart(const std::string& bank, const std::vector<std::pair<tsDate, tsCurrency>>& points) {
  if (points.size() < 2) return "<span class=\"nochart\">no history yet</span>";
  tsCurrency low = points[0].second, high = points[0].second;
  for (const auto& [d, b] : points) {
    if (b < low) low = b;
    if (high < b) high = b;
  }
  const double lo = low.ToDouble(), hi = high.ToDouble();
  const double span = hi - lo > 0 ? hi - lo : 1.0;
  std::string pts;
  const double n = static_cast<double>(points.size() - 1);
  for (size_t i = 0; i < points.size(); ++i) {
    const double x = 2 + 196.0 * static_cast<double>(i) / n;
    const double y = 45 - 42.0 * (points[i].second.ToDouble() - lo) / span;
    char cell[48];
    std::snprintf(cell, sizeof cell, "%.1f,%.1f ", x, y);
    pts += cell;
  }
  std::string out = "<svg class=\"chart\" viewBox=\"0 0 200 48\" width=\"140\" height=\"34\" role=\"img\" aria-label=\"";
  out += Esc("Register balance of " + bank + " from " + points.front().first.Format() + " to " +
             points.back().first.Format());
  out += "\"><title>" + Esc(points.front().first.Format() + " " + points.front().second.Format() + " to " +
                            points.back().first.Format() + " " + points.back().second.Format()) +
         "</title>";
  if (lo < 0 && hi > 0) {
    const double zero = 45 - 42.0 * (0 - lo) / span;
    char line[96];
    std::snprintf(line, sizeof line, "<line class=\"zero\" x1=\"0\" x2=\"200\" y1=\"%.1f\" y2=\"%.1f\"/>", zero, zero);
    out += line;
  }
  out += "<polyline points=\"" + pts + "\"/></svg>";
  return out;
}

std::string Money(const tsCurrency& c) { return Esc(c.Format()); }

// A cell of a command's JSON row as text.
std::string Cell(const nlohmann::json& row, const char* key) {
  if (!row.contains(key)) return "";
  const auto& v = row[key];
  if (v.is_string()) return v.get<std::string>();
  if (v.is_number_integer()) return std::to_string(v.get<long long>());
  if (v.is_number()) {
    std::ostringstream o;
    o.precision(2);
    o << std::fixed << v.get<double>();
    return o.str();
  }
  return v.dump();
}

std::string AddAccountForm(const Env& env, const std::string& message) {
  std::string out = "<section class=\"form\"><h2>Add a bank account</h2>";
  if (!message.empty()) out += Notice("error", message);
  out += "<form method=\"post\" action=\"/accounts\" id=\"add-account\">" + CsrfField(env.csrf);
  out += "<label>Id <input name=\"id\" id=\"acct-id\" required maxlength=\"15\"></label>";
  out += "<label>Description <input name=\"desc\" id=\"acct-desc\" maxlength=\"40\"></label>";
  out += "<label>Opening balance <input name=\"balance\" id=\"acct-balance\" inputmode=\"decimal\"></label>";
  out += "<label>Cash account <input name=\"cash_account\" id=\"acct-cash\" maxlength=\"45\"></label>";
  out += "<button type=\"submit\" id=\"acct-add\">Add</button></form></section>";
  return out;
}

}  // namespace

void AccountsPage(const Env& env, const httplib::Request& req, httplib::Response& res) {
  auto held = Library::Hold(LibraryWait(env));
  if (!held) return SendProblem(env, res, 503, "Accounts", "The server is busy; try again in a moment.");
  std::ostringstream out, err;
  bkreg::Context ctx(out, err);
  ctx.company = env.config.company;
  bkreg::ModuleWork w(ctx);
  if (int rc = w.Open(); rc != bkreg::kDone) return SendProblem(env, res, HttpStatusOf(rc), "Accounts", err.str());
  std::vector<std::vector<std::string>> rows;
  BankAccount bank(w.Master(), "", 0);
  tsioStatus::Status st = bank.FetchFirst(false);
  std::vector<BankAccountData> accounts;
  for (; st == tsioStatus::kSuccess; st = bank.FetchNext(false)) accounts.push_back(bank.m_Record);
  if (st != tsioStatus::kEndOfFile && st != tsioStatus::kNotFound) {
    return SendProblem(env, res, 500, "Accounts", "The bank accounts could not be read: " +
                                                      bkreg::Context::StatusWords(st));
  }
  BackWalk walk(w.Register(), w.History(), "TBNKACC;TTRANDT;TSUBTR;TADD");
  for (const BankAccountData& r : accounts) {
    const std::string id = r.GetBankAccount().str();
    std::vector<std::pair<tsDate, tsCurrency>> points;
    tsCurrency running = r.GetRegisterBalance();
    walk.Start(id, nullptr);
    const TransactionData* line = nullptr;
    bool posted = false;
    while (static_cast<int>(points.size()) < kChartLines && walk.Prev(&line, &posted) == tsioStatus::kSuccess) {
      points.emplace_back(line->GetTransactionDate(), running);
      running -= line->GetAmount();
    }
    if (!points.empty()) points.emplace_back(points.back().first, running);
    std::reverse(points.begin(), points.end());
    const tsDate& reconciled = r.GetLastReconciledDate();
    rows.push_back({"<a class=\"acct\" href=\"/register?bank=" + UrlEncode(id) + "\">" + Esc(id) +
                        "</a> <a class=\"recon\" href=\"/reconcile?bank=" + UrlEncode(id) + "\">reconcile</a>",
                    Esc(r.GetDescription().str()), Money(r.GetRegisterBalance()), Money(r.GetBankBalance()),
                    Money(r.GetLastReconciledBalance()), Esc(reconciled.IsEmpty() ? "never" : reconciled.Format()),
                    Money(r.GetOpenChecks()), Money(r.GetOpenDeposits()), Money(r.GetOpenWithdrawals()),
                    Money(r.GetOpenAdjustmentsPlus()), Money(r.GetOpenAdjustmentsMinus()),
                    Money(r.GetOpenTransactions()), Chart(id, points)});
  }
  held.reset();
  std::string body;
  const std::string done = Param(req, "done");
  if (!done.empty()) body += Notice("ok", Esc(done));
  body += TableHtml({"Account", "Description", "Register", "Bank", "Reconciled", "Last reconciled", "Open checks",
                     "Open deposits", "Open withdrawals", "Open adj. +", "Open adj. -", "Open net",
                     "Balance, latest lines"},
                    {false, false, true, true, true, false, true, true, true, true, true, true, false}, rows,
                    "accounts");
  if (rows.empty()) body += "<p class=\"empty\">No bank accounts yet.</p>";
  body += AddAccountForm(env, "");
  SendHtml(res, 200, Page("Accounts", Nav::kAccounts, env.csrf, body));
}

void AddAccount(const Env& env, const httplib::Request& req, httplib::Response& res) {
  std::vector<std::string> args = {"bank", "add"};
  if (!Param(req, "desc").empty()) args.push_back(Opt("--desc", Param(req, "desc")));
  if (!Param(req, "balance").empty()) args.push_back(Opt("--balance", Param(req, "balance")));
  if (!Param(req, "cash_account").empty()) args.push_back(Opt("--cash-account", Param(req, "cash_account")));
  args.push_back("--");
  args.push_back(Param(req, "id"));
  auto held = Library::Hold(LibraryWait(env));
  if (!held) return SendProblem(env, res, 503, "Accounts", "The server is busy; try again in a moment.");
  const CommandResult r = RunCommand(env.config, args);
  held.reset();
  if (r.status != bkreg::kDone) {
    std::string msg;
    for (const std::string& l : r.Lines()) msg += "<p>" + Esc(l) + "</p>";
    return SendHtml(res, HttpStatusOf(r.status),
                    Page("Accounts", Nav::kAccounts, env.csrf, AddAccountForm(env, msg)));
  }
  std::string id;
  (void)bkreg::ParseBankId("id", Param(req, "id"), &id);
  SeeOther(res, "/?done=" + UrlEncode("Added bank account " + id + "."));
}

void BalancesPage(const Env& env, const httplib::Request& req, httplib::Response& res) {
  tsDate as_of = tsDate::Today();
  const std::string given = Param(req, "as_of");
  if (!given.empty()) {
    const std::string problem = bkreg::ParseDate("As of", given, &as_of);
    if (!problem.empty()) return SendProblem(env, res, 400, "Balances", problem);
  }
  auto held = Library::Hold(LibraryWait(env));
  if (!held) return SendProblem(env, res, 503, "Balances", "The server is busy; try again in a moment.");
  std::vector<BankName> banks;
  std::string problem;
  if (!ListBankIds(env, &banks, &problem)) return SendProblem(env, res, 500, "Balances", problem);
  // The cash accounts of the banks (the kind "cash" needs one).
  std::vector<std::string> cash(banks.size());
  {
    std::ostringstream out, err;
    bkreg::Context ctx(out, err);
    ctx.company = env.config.company;
    int status = bkreg::kDone;
    if (bkreg::Session* s = ctx.Open(&status)) {
      for (size_t i = 0; i < banks.size(); ++i) {
        BankAccount b(s->Master(), "BANKACC;BGENCSH", 0);
        b.m_Record.SetBankAccount(tsAlpha(banks[i].id));
        if (b.FetchEQ(false) == tsioStatus::kSuccess) cash[i] = b.m_Record.GetMiscCashAccount().str();
      }
    }
  }
  std::vector<std::vector<std::string>> rows;
  for (size_t i = 0; i < banks.size(); ++i) {
    std::vector<std::string> row = {Esc(banks[i].id), Esc(banks[i].description)};
    std::vector<std::pair<std::string, std::string>> kinds = {{"register", ""}, {"bank", ""}, {"reconciled", ""}};
    if (!cash[i].empty()) kinds.push_back({"cash", cash[i]});
    for (const auto& [kind, account] : kinds) {
      std::vector<std::string> args = {"balance", Opt("--as-of", as_of.Format()), Opt("--kind", kind)};
      if (!account.empty()) args.push_back(Opt("--cash-account", account));
      args.push_back("--");
      args.push_back(banks[i].id);
      const CommandResult r = RunCommand(env.config, args);
      std::string cell;
      if (r.status == bkreg::kDone) {
        try {
          const auto j = nlohmann::json::parse(r.out);
          if (j.is_array() && !j.empty()) cell = Esc(Cell(j[0], "Balance"));
        } catch (const std::exception&) {
          cell = "?";
        }
      } else {
        cell = "<span class=\"bad\">" + Esc(r.Lines().empty() ? "failed" : r.Lines().back()) + "</span>";
      }
      row.push_back(kind == "cash" ? cell + " <small>(" + Esc(account) + ")</small>" : cell);
    }
    if (row.size() < 6) row.push_back("");
    rows.push_back(row);
  }
  held.reset();
  std::string body = "<form class=\"filters\" method=\"get\" action=\"/balances\"><label>As of <input type=\"date\" "
                     "name=\"as_of\" id=\"as-of\" value=\"" +
                     Esc(as_of.Format()) + "\"></label><button type=\"submit\" id=\"as-of-show\">Show</button></form>";
  body += "<p class=\"sub\">Balances at the end of <strong id=\"as-of-date\">" + Esc(as_of.Format()) + "</strong>.</p>";
  body += TableHtml({"Account", "Description", "Register", "Bank", "Reconciled", "Cash account"},
                    {false, false, true, true, true, true}, rows, "balances");
  SendHtml(res, 200, Page("Balances", Nav::kBalances, env.csrf, body));
}

namespace {

std::string BatchesBody(const Env& env, const std::string& notice_html, const std::string& journal) {
  const CommandResult r = RunCommand(env.config, {"batch", "list"});
  std::string body = notice_html;
  if (!journal.empty()) {
    body += "<section class=\"journal\"><h2>Posting journal</h2><pre id=\"journal\">" + Esc(journal) +
            "</pre></section>";
  }
  std::vector<std::vector<std::string>> rows;
  if (r.status != bkreg::kDone) {
    std::string msg;
    for (const std::string& l : r.Lines()) msg += "<p>" + Esc(l) + "</p>";
    body += Notice("error", msg);
  } else {
    nlohmann::json j;
    try {
      j = nlohmann::json::parse(r.out);
    } catch (const std::exception&) {
      j = nlohmann::json::array();
    }
    for (const auto& row : j) {
      const std::string id = Cell(row, "Batch");
      const bool balanced = Cell(row, "In balance") == "yes";
      std::string actions = "<form method=\"post\" action=\"/batches/post\" class=\"inline\">" + CsrfField(env.csrf) +
                            "<input type=\"hidden\" name=\"id\" value=\"" + Esc(id) +
                            "\"><button type=\"submit\" class=\"post\" data-batch=\"" + Esc(id) + "\">Post</button></form>";
      actions += "<form method=\"post\" action=\"/batches/close\" class=\"inline\">" + CsrfField(env.csrf) +
                 "<input type=\"hidden\" name=\"id\" value=\"" + Esc(id) + "\"><button type=\"submit\" class=\"close\" data-batch=\"" + Esc(id) + "\">Close</button></form>";
      rows.push_back({"<span class=\"batch-id\">" + Esc(id) + "</span>", Esc(Cell(row, "Description")),
                      Esc(Cell(row, "Date")), Esc(Cell(row, "Control count")), Esc(Cell(row, "Control amount")),
                      Esc(Cell(row, "Entered count")), Esc(Cell(row, "Entered amount")),
                      std::string("<span class=\"") + (balanced ? "ok" : "bad") + " balance\">" +
                          (balanced ? "in balance" : "out of balance") + "</span>",
                      Esc(Cell(row, "State")), actions});
    }
  }
  body += TableHtml({"Batch", "Description", "Date", "Control count", "Control amount", "Entered count",
                     "Entered amount", "Balance", "State", ""},
                    {false, false, false, true, true, true, true, false, false, false}, rows, "batches");
  if (rows.empty()) body += "<p class=\"empty\">No batches.</p>";
  body += "<section class=\"form\"><h2>Open a batch</h2><form method=\"post\" action=\"/batches/open\" id=\"open-batch\">" +
          CsrfField(env.csrf) +
          "<label>Id <input name=\"id\" id=\"batch-id\" required maxlength=\"10\"></label>"
          "<label>Description <input name=\"desc\" id=\"batch-desc\" maxlength=\"30\"></label>"
          "<label>Date <input type=\"date\" name=\"date\" id=\"batch-date\"></label>"
          "<label>Control count <input name=\"count\" id=\"batch-count\" inputmode=\"numeric\"></label>"
          "<label>Control amount <input name=\"amount\" id=\"batch-amount\" inputmode=\"decimal\"></label>"
          "<button type=\"submit\" id=\"batch-open\">Open</button></form></section>";
  return body;
}

std::string Messages(const CommandResult& r) {
  std::string msg;
  for (const std::string& l : r.Lines()) msg += "<p>" + Esc(l) + "</p>";
  return msg;
}

}  // namespace

void BatchesPage(const Env& env, const httplib::Request& req, httplib::Response& res) {
  auto held = Library::Hold(LibraryWait(env));
  if (!held) return SendProblem(env, res, 503, "Batches", "The server is busy; try again in a moment.");
  const std::string done = Param(req, "done");
  const std::string body = BatchesBody(env, done.empty() ? "" : Notice("ok", Esc(done)), "");
  held.reset();
  SendHtml(res, 200, Page("Batches", Nav::kBatches, env.csrf, body));
}

void BatchOpenPost(const Env& env, const httplib::Request& req, httplib::Response& res) {
  std::vector<std::string> args = {"batch", "open"};
  if (!Param(req, "desc").empty()) args.push_back(Opt("--desc", Param(req, "desc")));
  if (!Param(req, "date").empty()) args.push_back(Opt("--date", Param(req, "date")));
  if (!Param(req, "count").empty()) args.push_back(Opt("--count", Param(req, "count")));
  if (!Param(req, "amount").empty()) args.push_back(Opt("--amount", Param(req, "amount")));
  args.push_back("--");
  args.push_back(Param(req, "id"));
  auto held = Library::Hold(LibraryWait(env));
  if (!held) return SendProblem(env, res, 503, "Batches", "The server is busy; try again in a moment.");
  const CommandResult r = RunCommand(env.config, args, bkreg::Format::kText);
  if (r.status != bkreg::kDone) {
    const std::string body = BatchesBody(env, Notice("error", Messages(r)), "");
    held.reset();
    return SendHtml(res, HttpStatusOf(r.status), Page("Batches", Nav::kBatches, env.csrf, body));
  }
  held.reset();
  std::string text = r.out;
  while (!text.empty() && text.back() == '\n') text.pop_back();
  SeeOther(res, "/batches?done=" + UrlEncode(text));
}

void BatchPostPost(const Env& env, const httplib::Request& req, httplib::Response& res) {
  auto held = Library::Hold(LibraryWait(env));
  if (!held) return SendProblem(env, res, 503, "Batches", "The server is busy; try again in a moment.");
  const CommandResult r = RunCommand(env.config, {"post", "--", Param(req, "id")}, bkreg::Format::kText);
  // What `post` prints: the journal, then "Posted batch ...".
  std::string journal = r.out, summary;
  const size_t at = journal.rfind("Posted batch ");
  if (at != std::string::npos) {
    summary = journal.substr(at);
    journal.erase(at);
  }
  const std::string notice = r.status == bkreg::kDone ? Notice("ok", "<span id=\"posted\">" + Esc(summary) + "</span>")
                                                      : Notice("error", Messages(r));
  const std::string body = BatchesBody(env, notice, journal);
  held.reset();
  SendHtml(res, HttpStatusOf(r.status), Page("Batches", Nav::kBatches, env.csrf, body));
}

void BatchClosePost(const Env& env, const httplib::Request& req, httplib::Response& res) {
  auto held = Library::Hold(LibraryWait(env));
  if (!held) return SendProblem(env, res, 503, "Batches", "The server is busy; try again in a moment.");
  const CommandResult r = RunCommand(
      env.config, {"batch", "close", "--", Param(req, "id")},
      bkreg::Format::kText);
  if (r.status != bkreg::kDone) {
    const std::string body = BatchesBody(env, Notice("error", Messages(r)), "");
    held.reset();
    return SendHtml(res, HttpStatusOf(r.status), Page("Batches", Nav::kBatches, env.csrf, body));
  }
  held.reset();
  std::string text = r.out;
  while (!text.empty() && text.back() == '\n') text.pop_back();
  SeeOther(res, "/batches?done=" + UrlEncode(text));
}

}  // namespace bkweb
