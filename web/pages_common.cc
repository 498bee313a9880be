// What the pages share: answers, problems, parameters, the bank list.
#include <sstream>

#include "accounts/bank_account.h"
#include "tools/bkreg/context.h"
#include "tools/bkreg/module_work.h"
#include "web/html.h"
#include "web/pages.h"

namespace bkweb {

void SendHtml(httplib::Response& res, int status, const std::string& html) {
  res.status = status;
  res.set_content(html, "text/html; charset=utf-8");
}

void SeeOther(httplib::Response& res, const std::string& location) {
  res.status = 303;
  res.set_header("Location", location);
  res.set_content("", "text/plain");
}

void SendProblem(const Env& env, httplib::Response& res, int status, const std::string& title,
                 const std::string& text) {
  std::string html;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("bkreg: ", 0) == 0) line.erase(0, 7);
    if (!line.empty()) html += "<p>" + Esc(line) + "</p>";
  }
  SendHtml(res, status, Page(title, Nav::kNone, env.csrf, Notice("error", html) + "<p><a href=\"/\">Accounts</a></p>"));
}

int HttpStatusOf(int exit_status) {
  switch (exit_status) {
    case bkreg::kDone: return 200;
    case bkreg::kRefused: return 422;
    case bkreg::kBusy: return 409;
    default: return 500;
  }
}

std::string Param(const httplib::Request& req, const char* name) {
  return req.has_param(name) ? req.get_param_value(name) : std::string();
}

std::chrono::milliseconds LibraryWait(const Env& env) {
  return std::chrono::milliseconds(static_cast<long long>(env.config.wait_seconds * 1000.0) + 15000);
}

bool ListBankIds(const Env& env, std::vector<BankName>* banks, std::string* problem) {
  std::ostringstream out, err;
  bkreg::Context ctx(out, err);
  ctx.company = env.config.company;
  int status = bkreg::kDone;
  bkreg::Session* s = ctx.Open(&status);
  if (s == nullptr) {
    *problem = err.str();
    return false;
  }
  BankAccount bank(s->Master(), "BANKACC;BDESC", 0);
  tsioStatus::Status st = bank.FetchFirst(false);
  for (; st == tsioStatus::kSuccess; st = bank.FetchNext(false)) {
    banks->push_back({bank.m_Record.GetBankAccount().str(), bank.m_Record.GetDescription().str()});
  }
  if (st != tsioStatus::kEndOfFile && st != tsioStatus::kNotFound) {
    *problem = "The bank accounts could not be read: " + bkreg::Context::StatusWords(st);
    return false;
  }
  return true;
}

}  // namespace bkweb
