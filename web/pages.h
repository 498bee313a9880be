// The web register's pages: each a handler of one request, working through
// the module-work layer of work.h. The routes (server.cc):
//
//   GET  /                       accounts: balances, open totals, last reconciliation, chart
//   POST /accounts               add a bank account
//   GET  /register?bank=ID&...   the register (filters: from, to, state, kind, q; rows; page)
//   GET  /enter[?bank=&type=]    the entry form
//   POST /enter                  enter a check, deposit, withdrawal, adjustment or transfer
//   GET  /edit?bank=&run=&seq=   the edit form of an unposted transaction
//   POST /edit, POST /remove     change or remove it
//   GET  /batches                batches with control and entered totals
//   POST /batches/open|post|close
//   GET  /balances[?as_of=]      every account's balances as of a date
//
// Answers: 200 with the page; 303 to the page that shows what a change
// made; 422 with the form and every message beside its field when the
// module refuses; 409 when another program holds what a change needs past
// the wait (the message says who holds what); 503 when the library stayed
// busy; 500 when an operation failed.
#pragma once

#include <string>

#include <httplib.h>

#include "web/security.h"
#include "web/work.h"

namespace bkweb {

struct Env {
  Config config;
  const Signer* signer = nullptr;
  std::string csrf;  // the session's form token
};

void AccountsPage(const Env& env, const httplib::Request& req, httplib::Response& res);
void AddAccount(const Env& env, const httplib::Request& req, httplib::Response& res);
void RegisterPage(const Env& env, const httplib::Request& req, httplib::Response& res);
void EnterForm(const Env& env, const httplib::Request& req, httplib::Response& res);
void EnterPost(const Env& env, const httplib::Request& req, httplib::Response& res);
void EditForm(const Env& env, const httplib::Request& req, httplib::Response& res);
void EditPost(const Env& env, const httplib::Request& req, httplib::Response& res);
void RemovePost(const Env& env, const httplib::Request& req, httplib::Response& res);
void BatchesPage(const Env& env, const httplib::Request& req, httplib::Response& res);
void BatchOpenPost(const Env& env, const httplib::Request& req, httplib::Response& res);
void BatchPostPost(const Env& env, const httplib::Request& req, httplib::Response& res);
void BatchClosePost(const Env& env, const httplib::Request& req, httplib::Response& res);
void BalancesPage(const Env& env, const httplib::Request& req, httplib::Response& res);

// Shared by the pages (pages_common.cc).
// The page `html` with `status`, as HTML.
void SendHtml(httplib::Response& res, int status, const std::string& html);
// 303 to `location` (a path of this server).
void SeeOther(httplib::Response& res, const std::string& location);
// A page that says why the request was not done.
void SendProblem(const Env& env, httplib::Response& res, int status, const std::string& title,
                 const std::string& text);
// The HTTP status for a bkreg exit status.
int HttpStatusOf(int exit_status);
// A request's parameter ("" when absent).
std::string Param(const httplib::Request& req, const char* name);
// How long a request waits for the library: the change's own wait and a
// margin.
std::chrono::milliseconds LibraryWait(const Env& env);
// The banks of the company: id and description, in id order (library held).
struct BankName {
  std::string id, description;
};
bool ListBankIds(const Env& env, std::vector<BankName>* banks, std::string* problem);

}  // namespace bkweb
