// The entry and edit forms: checks, deposits (items), withdrawals
// (details), adjustments and transfers, with distribution lines.
//
// A form is checked whole before anything is written: every input rule it
// breaks is shown at once beside its field, in bkreg's words. Then the
// entry goes through `bkreg enter` (or `transfer`), the change through
// bkreg::EditTransaction and the removal through `bkreg remove`, on a
// context of their own: the module's validation messages come back from
// the catalogue with their numbers and are shown beside the field they
// concern (a message no field owns goes above the form). A duplicate check
// number or deposit is refused as `bkreg enter` refuses it; the form then
// offers "Enter it anyway".
//
// An edit form carries the transaction as it was shown (hidden "was_"
// fields); a change submitted over a transaction another program changed
// meanwhile is refused with what changed (409), never written over it.
#include <sstream>

#include <nlohmann/json.hpp>

#include "tools/bkreg/edit.h"
#include "tools/bkreg/entry.h"
#include "tools/bkreg/entry_details.h"
#include "tools/bkreg/input.h"
#include "transactions/transaction.h"
#include "web/html.h"
#include "web/pages.h"

namespace bkweb {

namespace {

constexpr int kFormLines = 4;       // empty line rows offered beyond those filled
constexpr int kMaxFormLines = 200;  // line rows read from a form

struct LineIn {
  std::string account, amount, item, payer;
  bool Blank() const { return account.empty() && amount.empty() && item.empty() && payer.empty(); }
};

struct Form {
  std::string type = "check", bank, to_bank, date, amount, check, payee, deposit_id, desc, batch = "BKREG", account,
              cash_account;
  std::vector<LineIn> lines;
  bool allow_duplicate = false;
  bool edit = false;
  long long run = 0, seq = 0;
  bkreg::TranSnapshot was;
};

using Problems = std::map<std::string, std::vector<std::string>>;  // by field; "" above the form

const char* const kTypes[] = {"check", "deposit", "withdrawal", "adjustment", "transfer"};
const char* const kSnapshotFields[] = {"date", "amount", "check", "payee", "deposit_id", "description",
                                       "account", "cash_account", "state", "lines"};

Form FormOf(const httplib::Request& req) {
  Form f;
  f.type = Param(req, "type");
  f.bank = Param(req, "bank");
  f.to_bank = Param(req, "to_bank");
  f.date = Param(req, "date");
  f.amount = Param(req, "amount");
  f.check = Param(req, "check");
  f.payee = Param(req, "payee");
  f.deposit_id = Param(req, "deposit_id");
  f.desc = Param(req, "desc");
  f.batch = Param(req, "batch");
  f.account = Param(req, "account");
  f.cash_account = Param(req, "cash_account");
  f.allow_duplicate = Param(req, "allow_duplicate") == "1";
  // Line n's cells are named line_account_n, ...: the form decoder drops a
  // name=value pair it has seen already, so rows never share names.
  for (int i = 1; i <= kMaxFormLines; ++i) {
    const std::string n = std::to_string(i);
    LineIn l{Param(req, ("line_account_" + n).c_str()), Param(req, ("line_amount_" + n).c_str()),
             Param(req, ("line_item_" + n).c_str()), Param(req, ("line_payer_" + n).c_str())};
    if (!l.Blank()) f.lines.push_back(l);
  }
  f.run = std::atoll(Param(req, "run").c_str());
  f.seq = std::atoll(Param(req, "seq").c_str());
  for (const char* field : kSnapshotFields) {
    const std::string name = std::string("was_") + field;
    if (req.has_param(name.c_str())) f.was[field] = req.get_param_value(name.c_str());
  }
  return f;
}

int TypeOf(const std::string& name) {
  if (name == "transfer") return 5;
  return bkreg::TypeCode(name);
}

// The input rules over the whole form: every problem, by field. Fills
// `*e` with what was accepted.
Problems Check(const Form& f, bkreg::Entry* e) {
  Problems p;
  auto add = [&](const char* field, const std::string& problem) {
    if (!problem.empty()) p[field].push_back(problem);
  };
  const int type = TypeOf(f.type);
  if (type == 0) add("type", "Choose check, deposit, withdrawal, adjustment or transfer.");
  e->type = type;
  add("bank", bkreg::ParseBankId("The bank account", f.bank, &e->bank));
  std::string amount_problem = bkreg::ParseAmount("The amount", f.amount, &e->amount);
  if (amount_problem.empty() && type != 4 && e->amount < tsCurrency()) {
    amount_problem = "The amount of a " + f.type + " is not negative (an adjustment may be).";
  }
  if (amount_problem.empty() && type == 5 && !(tsCurrency() < e->amount)) amount_problem = "A transfer moves more than 0.";
  add("amount", amount_problem);
  if (f.date.empty()) {
    e->date = tsDate::Today();
  } else {
    add("date", bkreg::ParseDate("The date", f.date, &e->date));
  }
  e->check = 0;
  if (type == 1 && !f.check.empty()) {
    char* end = nullptr;
    errno = 0;
    const long long n = std::strtoll(f.check.c_str(), &end, 10);
    if (*end != '\0' || errno != 0 || n < 0 || n > 999999999999LL) {
      add("check", "The check number is a whole number from 1 to 999999999999.");
    } else {
      e->check = n;
    }
  }
  add("desc", bkreg::CheckText("The description", f.desc, 60, &e->description));
  if (type == 1) add("payee", bkreg::CheckText("The payee", f.payee, 60, &e->payee));
  if (type == 2) add("deposit_id", bkreg::CheckText("The deposit id", f.deposit_id, 20, &e->deposit_id));
  if (!f.edit) {
    std::string batch_problem = bkreg::CheckText("The batch", f.batch, 10, &e->batch);
    if (batch_problem.empty() && e->batch.empty()) batch_problem = "The batch id is empty.";
    add("batch", batch_problem);
  }
  if (type != 5) {
    add("account", bkreg::CheckText("The offset account", f.account, 45, &e->account));
    add("cash_account", bkreg::CheckText("The cash account", f.cash_account, 45, &e->cash_account));
  }
  if (type == 5) {
    std::string to;
    std::string problem = bkreg::ParseBankId("The account transferred to", f.to_bank, &to);
    if (problem.empty() && to == e->bank) problem = "A transfer needs two different bank accounts.";
    add("to_bank", problem);
  }
  e->allow_duplicate = f.allow_duplicate;
  {
    for (size_t i = 0; i < f.lines.size(); ++i) {
      const LineIn& in = f.lines[i];
      bkreg::DetailLine l;
      const std::string where = "Line " + std::to_string(i + 1) + ": ";
      std::string problem = bkreg::CheckText("the account", in.account, 45, &l.account);
      if (problem.empty() && l.account.empty()) problem = "the account is empty";
      if (problem.empty()) problem = bkreg::ParseAmount("the amount", in.amount, &l.amount);
      if (problem.empty() && !(tsCurrency() < tsCurrency(l.amount))) problem = "the amount is above 0";
      if (problem.empty() && !in.item.empty()) {
        char* end = nullptr;
        const long item = std::strtol(in.item.c_str(), &end, 10);
        if (*end != '\0' || item < 1 || item > 9999) {
          problem = "the item is a number from 1 to 9999";
        } else {
          l.item = item;
        }
      }
      if (problem.empty()) problem = bkreg::CheckText("the payer", in.payer, 60, &l.payer);
      if (!problem.empty()) {
        add("lines", where + problem);
      } else {
        e->lines.push_back(l);
      }
    }
    if (p.count("lines") == 0) add("lines", bkreg::CheckDetailLines(type, e->lines));
  }
  return p;
}

// The field a catalogue message concerns: by its number, else by the words
// it names the field with; "" for the form as a whole.
std::string FieldOf(const ccError& m) {
  switch (m.Number()) {
    case 2202: return "check";
    case 2203: return "deposit_id";
    case 1611:
    case 1612: return "lines";
    case 1605:
    case 1606:
    case 1623:
    case 1624:
    case 1625:
    case 1626:
    case 1629: return "date";
    default: break;
  }
  std::string t = m.Text();
  for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  struct Word {
    const char* word;
    const char* field;
  };
  static const Word kWords[] = {{"check number", "check"}, {"deposit id", "deposit_id"}, {"payee", "payee"},
                                {"description", "desc"},  {"date", "date"},             {"amount", "amount"},
                                {"addition", "amount"},   {"subtraction", "amount"},    {"batch", "batch"},
                                {"bank account", "bank"}, {"account", "account"}};
  for (const Word& w : kWords) {
    if (t.find(w.word) != std::string::npos) return w.field;
  }
  return "";
}

// Places the messages of a refused command: the catalogue's beside their
// fields, the rest (bkreg's own lines) above the form.
void Place(const CommandResult& r, Problems* p) {
  std::vector<std::string> placed;
  for (const ccError& m : r.messages) {
    if (m.Text().empty()) continue;
    (*p)[FieldOf(m)].push_back(m.Text());
    placed.push_back(m.Text());
    if (!m.Text2().empty()) placed.push_back(m.Text2());
  }
  for (std::string line : r.Lines()) {
    if (std::find(placed.begin(), placed.end(), line) != placed.end()) continue;
    // bkreg names the form's fields by their options.
    const std::pair<const char*, const char*> kOptions[] = {{"--cash-account", "Cash account"},
                                                            {"--account", "Offset account"},
                                                            {"--lines", "Distribution lines"},
                                                            {"--line", "Distribution lines"}};
    std::string field;
    for (const auto& [option, label] : kOptions) {
      const size_t at = line.find(option);
      if (at == std::string::npos) continue;
      line.replace(at, std::string(option).size(), std::string("\"") + label + "\"");
      if (field.empty()) field = std::string(option) == "--cash-account" ? "cash_account"
                                 : std::string(option) == "--account"    ? "account"
                                                                         : "lines";
    }
    if (!field.empty()) {
      (*p)[field].push_back(line);
      continue;
    }
    if (line.find("--allow-duplicate") != std::string::npos || line.find("allow the duplicate") != std::string::npos) {
      (*p)[""].push_back("Not entered: tick \"Enter it anyway\" to enter the duplicate all the same.");
      continue;
    }
    (*p)[""].push_back(line);
  }
}

std::string Msgs(const Problems& p, const char* field) {
  std::string out = std::string("<span class=\"msg\" id=\"err-") + field + "\">";
  auto it = p.find(field);
  if (it != p.end()) {
    for (const std::string& m : it->second) out += "<span class=\"error\">" + Esc(m) + "</span>";
  }
  return out + "</span>";
}

// A labelled input; `types` are the kinds of transaction it belongs to.
std::string Field(const Problems& p, const char* name, const char* label, const std::string& value, const char* types,
                  const char* extra = "") {
  const bool bad = p.count(name) > 0;
  std::string out = std::string("<div class=\"field\" data-types=\"") + types + "\"><label for=\"in-" + name + "\">" +
                    label + "</label><input id=\"in-" + name + "\" name=\"" + name + "\" value=\"" + Esc(value) +
                    "\"" + (bad ? " aria-invalid=\"true\" class=\"invalid\"" : "") + " " + extra + ">" +
                    Msgs(p, name) + "</div>";
  return out;
}

std::string BankSelect(const std::vector<BankName>& banks, const char* name, const std::string& value,
                       const Problems& p, const char* label, const char* types, bool locked) {
  std::string out = std::string("<div class=\"field\" data-types=\"") + types + "\"><label for=\"in-" + name + "\">" +
                    label + "</label>";
  if (locked) {
    out += "<input id=\"in-" + std::string(name) + "\" name=\"" + name + "\" value=\"" + Esc(value) + "\" readonly>";
  } else {
    out += "<select id=\"in-" + std::string(name) + "\" name=\"" + name + "\"><option value=\"\"></option>";
    std::string upper = value;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const BankName& b : banks) {
      out += "<option value=\"" + Esc(b.id) + "\"" + (b.id == upper ? " selected" : "") + ">" + Esc(b.id) + " - " +
             Esc(b.description) + "</option>";
    }
    out += "</select>";
  }
  return out + Msgs(p, name) + "</div>";
}

std::string FormHtml(const Env& env, const Form& f, const Problems& p, const std::vector<BankName>& banks,
                     const std::string& notice) {
  std::string out = notice;
  auto top = p.find("");
  if (top != p.end() && !top->second.empty()) {
    std::string html;
    for (std::string m : top->second) {
      if (!m.empty() && m[0] >= 'a' && m[0] <= 'z') m[0] = static_cast<char>(m[0] - 'a' + 'A');
      html += "<p>" + Esc(m) + "</p>";
    }
    out += "<div id=\"form-errors\">" + Notice("error", html) + "</div>";
  }
  out += std::string("<form method=\"post\" action=\"") + (f.edit ? "/edit" : "/enter") +
         "\" id=\"entry\" class=\"entry\" novalidate>" + CsrfField(env.csrf);
  if (f.edit) {
    out += "<input type=\"hidden\" name=\"run\" value=\"" + std::to_string(f.run) + "\">";
    out += "<input type=\"hidden\" name=\"seq\" value=\"" + std::to_string(f.seq) + "\">";
    out += "<input type=\"hidden\" name=\"type\" value=\"" + Esc(f.type) + "\">";
    for (const auto& [field, value] : f.was) {
      out += "<input type=\"hidden\" name=\"was_" + Esc(field) + "\" value=\"" + Esc(value) + "\">";
    }
    out += "<div class=\"field\"><label>Kind</label><input value=\"" + Esc(f.type) + "\" readonly></div>";
  } else {
    out += "<div class=\"field\"><label for=\"in-type\">Kind</label><select id=\"in-type\" name=\"type\">";
    for (const char* t : kTypes) {
      out += std::string("<option value=\"") + t + "\"" + (f.type == t ? " selected" : "") + ">" + t + "</option>";
    }
    out += "</select>" + Msgs(p, "type") + "</div>";
  }
  const char* all = "check deposit withdrawal adjustment transfer";
  out += BankSelect(banks, "bank", f.bank, p, "Bank account", all, f.edit);
  out += BankSelect(banks, "to_bank", f.to_bank, p, "To account", "transfer", false);
  out += Field(p, "date", "Date", f.date, all, "placeholder=\"YYYY-MM-DD\"");
  out += Field(p, "amount", "Amount", f.amount, all, "inputmode=\"decimal\"");
  out += Field(p, "check", "Check number", f.check, "check", "inputmode=\"numeric\"");
  out += Field(p, "payee", "Payee", f.payee, "check", "maxlength=\"60\"");
  out += Field(p, "deposit_id", "Deposit id", f.deposit_id, "deposit", "maxlength=\"20\"");
  out += Field(p, "desc", "Description", f.desc, all, "maxlength=\"60\"");
  if (!f.edit) out += Field(p, "batch", "Batch", f.batch, all, "maxlength=\"10\"");
  out += Field(p, "account", "Offset account", f.account, "check deposit withdrawal adjustment", "maxlength=\"45\"");
  out += Field(p, "cash_account", "Cash account", f.cash_account, "check deposit withdrawal adjustment",
               "maxlength=\"45\" placeholder=\"the bank's\"");
  // Distribution lines.
  out += "<fieldset class=\"lines\" data-types=\"deposit withdrawal\"><legend>Distribution lines</legend>"
         "<table id=\"lines\"><thead><tr><th>Account</th><th>Amount</th><th>Item</th><th>Payer</th></tr></thead><tbody>";
  std::vector<LineIn> rows = f.lines;
  for (int i = 0; i < kFormLines; ++i) rows.push_back(LineIn());
  for (size_t i = 0; i < rows.size(); ++i) {
    const LineIn& l = rows[i];
    const std::string n = std::to_string(i + 1);
    out += "<tr><td><input name=\"line_account_" + n + "\" id=\"line-account-" + n + "\" value=\"" + Esc(l.account) +
           "\"></td><td><input name=\"line_amount_" + n + "\" id=\"line-amount-" + n +
           "\" inputmode=\"decimal\" value=\"" + Esc(l.amount) + "\"></td><td><input name=\"line_item_" + n +
           "\" id=\"line-item-" + n + "\" inputmode=\"numeric\" size=\"4\" value=\"" + Esc(l.item) +
           "\"></td><td><input name=\"line_payer_" + n + "\" id=\"line-payer-" + n + "\" value=\"" + Esc(l.payer) +
           "\"></td></tr>";
  }
  out += "</tbody></table><button type=\"button\" id=\"add-line\">Another line</button>" + Msgs(p, "lines") +
         "</fieldset>";
  const bool duplicate = p.count("check") || p.count("deposit_id") || f.allow_duplicate;
  if (duplicate) {
    out += std::string("<div class=\"field\"><label><input type=\"checkbox\" name=\"allow_duplicate\" value=\"1\" "
                       "id=\"in-allow_duplicate\"") +
           (f.allow_duplicate ? " checked" : "") + "> Enter it anyway (a duplicate number)</label></div>";
  }
  out += std::string("<div class=\"actions\"><button type=\"submit\" id=\"save\">") + (f.edit ? "Save changes" : "Enter") +
         "</button></div></form>";
  if (f.edit) {
    out += "<form method=\"post\" action=\"/remove\" id=\"remove\" class=\"remove\">" + CsrfField(env.csrf) +
           "<input type=\"hidden\" name=\"bank\" value=\"" + Esc(f.bank) + "\"><input type=\"hidden\" name=\"run\" value=\"" +
           std::to_string(f.run) + "\"><input type=\"hidden\" name=\"seq\" value=\"" + std::to_string(f.seq) +
           "\"><button type=\"submit\" id=\"remove-button\" class=\"danger\" data-confirm=\"Remove this transaction?\">Remove "
           "this transaction</button></form>";
  }
  return out;
}

void SendForm(const Env& env, httplib::Response& res, int status, const Form& f, const Problems& p,
              const std::string& notice) {
  std::vector<BankName> banks;
  std::string problem;
  {
    auto held = Library::Hold(LibraryWait(env));
    if (held) (void)ListBankIds(env, &banks, &problem);
  }
  const std::string title = f.edit ? "Change " + f.type + " " + f.bank + " " + std::to_string(f.run) + "-" +
                                         std::to_string(f.seq)
                                   : "Enter a transaction";
  SendHtml(res, status, Page(title, Nav::kEnter, env.csrf, FormHtml(env, f, p, banks, notice)));
}

bool ReadRef(const httplib::Request& req, bkreg::TranRef* r) {
  const std::string bank = Param(req, "bank"), run = Param(req, "run"), seq = Param(req, "seq");
  if (!bkreg::ParseBankId("bank", bank, &r->bank).empty()) return false;
  char* end = nullptr;
  r->run = std::strtoll(run.c_str(), &end, 10);
  if (run.empty() || *end != '\0' || r->run < 1) return false;
  r->sequence = std::strtoll(seq.c_str(), &end, 10);
  return !seq.empty() && *end == '\0' && r->sequence >= 1;
}

std::string RegisterUrl(const std::string& bank, const std::string& done) {
  return "/register?bank=" + UrlEncode(bank) + "&done=" + UrlEncode(done);
}

}  // namespace

void EnterForm(const Env& env, const httplib::Request& req, httplib::Response& res) {
  Form f;
  f.bank = Param(req, "bank");
  if (!Param(req, "type").empty()) f.type = Param(req, "type");
  f.date = tsDate::Today().Format();
  SendForm(env, res, 200, f, {}, "");
}

void EnterPost(const Env& env, const httplib::Request& req, httplib::Response& res) {
  Form f = FormOf(req);
  bkreg::Entry e;
  Problems p = Check(f, &e);
  if (!p.empty()) return SendForm(env, res, 422, f, p, "");
  std::vector<std::string> args;
  if (e.type == 5) {
    args = {"transfer", Opt("--amount", f.amount), Opt("--date", e.date.Format()), Opt("--batch", e.batch)};
    if (!e.description.empty()) args.push_back(Opt("--desc", e.description));
    std::string to;
    (void)bkreg::ParseBankId("to", f.to_bank, &to);
    args.insert(args.end(), {"--", e.bank, to});
  } else {
    args = {"enter", Opt("--bank", e.bank), Opt("--amount", f.amount), Opt("--date", e.date.Format()),
            Opt("--batch", e.batch)};
    if (e.type == 1) args.push_back(Opt("--check", std::to_string(e.check)));
    if (!e.description.empty()) args.push_back(Opt("--desc", e.description));
    if (!e.payee.empty()) args.push_back(Opt("--payee", e.payee));
    if (!e.deposit_id.empty()) args.push_back(Opt("--deposit-id", e.deposit_id));
    if (!e.account.empty()) args.push_back(Opt("--account", e.account));
    if (!e.cash_account.empty()) args.push_back(Opt("--cash-account", e.cash_account));
    for (const bkreg::DetailLine& l : e.lines) {
      args.push_back(Opt("--line", l.account + "=" + tsCurrency(l.amount).Format() + "@" + std::to_string(l.item)));
    }
    if (e.allow_duplicate) args.push_back("--allow-duplicate");
    args.insert(args.end(), {"--", f.type});
  }
  CommandResult r;
  {
    auto held = Library::Hold(LibraryWait(env));
    if (!held) return SendProblem(env, res, 503, "Enter", "The server is busy; try again in a moment.");
    r = RunCommand(env.config, args, e.type == 5 ? bkreg::Format::kText : bkreg::Format::kJson);
  }
  if (r.status != bkreg::kDone) {
    Place(r, &p);
    return SendForm(env, res, HttpStatusOf(r.status), f, p, "");
  }
  std::string done;
  if (e.type == 5) {
    done = r.out;
    while (!done.empty() && done.back() == '\n') done.pop_back();
  } else {
    try {
      const auto j = nlohmann::json::parse(r.out);
      char amount[64];
      std::snprintf(amount, sizeof amount, "%.2f", j[0]["Amount"].get<double>());
      done = "Entered " + f.type + " in run " + j[0]["Run"].dump() + ", sequence " + j[0]["Sequence"].dump() +
             " (" + amount + ").";
    } catch (const std::exception&) {
      done = "Entered.";
    }
  }
  SeeOther(res, RegisterUrl(e.bank, done));
}

void EditForm(const Env& env, const httplib::Request& req, httplib::Response& res) {
  bkreg::TranRef ref;
  if (!ReadRef(req, &ref)) return SendProblem(env, res, 400, "Change", "Which transaction? (bank, run, seq)");
  TransactionData data;
  bkreg::TranSnapshot snapshot;
  std::vector<bkreg::DetailLine> lines;
  std::ostringstream out, err;
  int rc;
  {
    auto held = Library::Hold(LibraryWait(env));
    if (!held) return SendProblem(env, res, 503, "Change", "The server is busy; try again in a moment.");
    bkreg::Context ctx(out, err);
    ctx.company = env.config.company;
    rc = bkreg::ReadForEdit(ctx, ref, &data, &snapshot, &lines);
  }
  if (rc != bkreg::kDone) return SendProblem(env, res, rc == bkreg::kRefused ? 404 : HttpStatusOf(rc), "Change", err.str());
  if (!data.GetTransferSequence().IsNull()) {
    return SendProblem(env, res, 422, "Change", "This transaction is one side of a transfer; a transfer is not changed by halves.");
  }
  Form f;
  f.edit = true;
  f.run = ref.run;
  f.seq = ref.sequence;
  f.type = kTypes[std::clamp(data.GetType().Value(), 1, 4) - 1];
  f.bank = ref.bank;
  f.date = snapshot["date"];
  f.amount = snapshot["amount"];
  f.check = snapshot["check"];
  f.payee = snapshot["payee"];
  f.deposit_id = snapshot["deposit_id"];
  f.desc = snapshot["description"];
  f.account = snapshot["account"];
  f.cash_account = snapshot["cash_account"];
  for (const bkreg::DetailLine& l : lines) {
    f.lines.push_back({l.account, tsCurrency(l.amount).Format(), std::to_string(l.item), l.payer});
  }
  f.was = snapshot;
  SendForm(env, res, 200, f, {}, "");
}

void EditPost(const Env& env, const httplib::Request& req, httplib::Response& res) {
  Form f = FormOf(req);
  f.edit = true;
  bkreg::TranRef ref;
  if (!ReadRef(req, &ref)) return SendProblem(env, res, 400, "Change", "Which transaction? (bank, run, seq)");
  bkreg::Entry e;
  Problems p = Check(f, &e);
  if (!p.empty()) return SendForm(env, res, 422, f, p, "");
  std::ostringstream out, err;
  CommandResult r;
  std::vector<std::string> changed;
  {
    auto held = Library::Hold(LibraryWait(env));
    if (!held) return SendProblem(env, res, 503, "Change", "The server is busy; try again in a moment.");
    bkreg::Context ctx(out, err);
    ctx.company = env.config.company;
    ctx.wait_seconds = env.config.wait_seconds;
    ctx.messages = &r.messages;
    r.status = bkreg::EditTransaction(ctx, ref, e, f.was, &changed);
  }
  r.out = out.str();
  r.err = err.str();
  if (!changed.empty()) {
    std::string html = "<p>Another program changed this transaction after this form was made; nothing was saved. "
                       "What changed:</p><ul id=\"changed\">";
    for (const std::string& c : changed) html += "<li>" + Esc(c) + "</li>";
    html += "</ul><p><a href=\"/edit?bank=" + UrlEncode(ref.bank) + "&run=" + std::to_string(ref.run) + "&seq=" +
            std::to_string(ref.sequence) + "\">Open it again as it now is</a></p>";
    return SendForm(env, res, 409, f, {}, Notice("error", html));
  }
  if (r.status != bkreg::kDone) {
    Place(r, &p);
    return SendForm(env, res, HttpStatusOf(r.status), f, p, "");
  }
  std::string done = r.out;
  while (!done.empty() && done.back() == '\n') done.pop_back();
  SeeOther(res, RegisterUrl(ref.bank, done));
}

void RemovePost(const Env& env, const httplib::Request& req, httplib::Response& res) {
  bkreg::TranRef ref;
  if (!ReadRef(req, &ref)) return SendProblem(env, res, 400, "Remove", "Which transaction? (bank, run, seq)");
  CommandResult r;
  {
    auto held = Library::Hold(LibraryWait(env));
    if (!held) return SendProblem(env, res, 503, "Remove", "The server is busy; try again in a moment.");
    r = RunCommand(env.config, {"remove", "--", ref.bank, std::to_string(ref.run), std::to_string(ref.sequence)},
                   bkreg::Format::kText);
  }
  if (r.status != bkreg::kDone) return SendProblem(env, res, HttpStatusOf(r.status), "Remove", r.err);
  std::string done = r.out;
  while (!done.empty() && done.back() == '\n') done.pop_back();
  SeeOther(res, RegisterUrl(ref.bank, done));
}

}  // namespace bkweb
