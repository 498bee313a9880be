// `bkreg serve`: the web register's HTTP server, its guards and its routes.
//
// Guards (every request, before any page runs):
//   - The server listens on loopback (127.0.0.1) unless --listen names
//     another address.
//   - The Host header must name the address listened on (a page of another
//     site that a DNS name points at this machine is refused: 421).
//   - The address printed at start carries a one-time token: the first
//     visit with it gets the session cookie (HttpOnly, SameSite=Strict,
//     random, never the token) and the token is spent. Every other request
//     without the session cookie is refused (403), static files included.
//   - Every request that changes something is a POST whose form carries the
//     session's form token (CSRF; 403 without it); an Origin header, when
//     sent, must be this server's.
//   - Every answer carries a Content-Security-Policy without inline script
//     or style, no framing, no referrer to other sites, nothing cached.
//   - Bounded work: 4 worker threads; request bodies up to 64 KiB; reads and
//     writes time out after 10 s; one request at a time in the library
//     (work.h), waiting at most the change's --wait and a margin.
//   - Ctrl-C (SIGINT) or SIGTERM stops it: no new request is taken, the
//     requests in flight finish (a change is one unit of work: whole or
//     not at all), then the program ends.
#include "web/serve.h"

#include <malloc.h>
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <thread>

#include <CLI/CLI.hpp>
#include <httplib.h>

#include "framework/base/application.h"
#include "framework/base/responder.h"
#include "tools/bkreg/context.h"
#include "web/html.h"
#include "web/pages.h"
#include "web/reconcile_page.h"
#include "web/security.h"
#include "web/static_files.h"

namespace bkweb {

namespace {

constexpr size_t kWorkers = 4;
constexpr size_t kMaxBody = 64 * 1024;
constexpr time_t kTimeoutSeconds = 10;
constexpr const char kCookie[] = "bk_session";

// Message boxes never wait for a person in a server: the safe answer.
class ServerResponder : public tsResponder {
 public:
  void ShowMessage(std::string_view, int) override {}
  int MessageBox(std::string_view, std::string_view, unsigned style) override { return tsSafeAnswer(style); }
};

struct ListenAddress {
  std::string host;
  int port = 0;
};

// HOST:PORT ("127.0.0.1:8080", "[::1]:8080", "localhost:0"); "" or the message.
std::string ParseListen(const std::string& text, ListenAddress* out) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return "--listen takes HOST:PORT (e.g. 127.0.0.1:8080)";
  std::string host = text.substr(0, colon);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  const std::string port = text.substr(colon + 1);
  char* end = nullptr;
  const long p = std::strtol(port.c_str(), &end, 10);
  if (port.empty() || *end != '\0' || p < 0 || p > 65535) return "--listen: the port is a number from 0 to 65535";
  out->host = host;
  out->port = static_cast<int>(p);
  return "";
}

bool IsLoopback(const std::string& host) {
  return host == "localhost" || host == "::1" || host.rfind("127.", 0) == 0;
}

std::string HostPort(const std::string& host, int port) {
  return (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::string CookieValue(const httplib::Request& req, const std::string& name) {
  const std::string header = req.get_header_value("Cookie");
  size_t at = 0;
  while (at < header.size()) {
    size_t end = header.find(';', at);
    if (end == std::string::npos) end = header.size();
    std::string part = header.substr(at, end - at);
    const size_t b = part.find_first_not_of(' ');
    part = b == std::string::npos ? "" : part.substr(b);
    if (part.rfind(name + "=", 0) == 0) return part.substr(name.size() + 1);
    at = end + 1;
  }
  return "";
}

void Refuse(httplib::Response& res, int status, const std::string& text) {
  res.status = status;
  res.set_content(text + "\n", "text/plain; charset=utf-8");
}

// The server's state: its secrets and the session, shared by the threads.
struct Server {
  Env env;
  std::unique_ptr<Signer> signer;
  std::string token;    // the one-time login token
  std::string session;  // the session cookie's value
  std::mutex login_mutex;
  bool token_spent = false;
  std::vector<std::string> hosts;  // Host headers accepted
  httplib::Server http;
};

// The guard every request passes first; true when it answered (refused or
// logged in).
bool Guard(Server& s, const httplib::Request& req, httplib::Response& res) {
  const std::string host = req.get_header_value("Host");
  if (std::find(s.hosts.begin(), s.hosts.end(), host) == s.hosts.end()) {
    Refuse(res, 421, "This server answers only for " + s.hosts.front() + ".");
    return true;
  }
  if (req.path == "/login") {
    const std::string given = req.has_param("token") ? req.get_param_value("token") : "";
    std::lock_guard<std::mutex> lock(s.login_mutex);
    if (req.method != "GET" || s.token_spent || !SameSecret(given, s.token)) {
      Refuse(res, 403, "This sign-in link is not valid (it works once). Restart `bkreg serve` for a new one.");
      return true;
    }
    s.token_spent = true;
    res.set_header("Set-Cookie", std::string(kCookie) + "=" + s.session + "; Path=/; HttpOnly; SameSite=Strict");
    res.status = 303;
    res.set_header("Location", "/");
    return true;
  }
  if (!SameSecret(CookieValue(req, kCookie), s.session)) {
    Refuse(res, 403, "Not signed in: open the address `bkreg serve` printed.");
    return true;
  }
  if (req.method == "POST") {
    const std::string origin = req.get_header_value("Origin");
    if (!origin.empty() && origin != "http://" + host) {
      Refuse(res, 403, "This form comes from another site.");
      return true;
    }
    // The form token is checked with the body, once it is read (FormToken).
    // Only a statement upload may be larger than kMaxBody; the others are
    // refused before their body is read.
    const unsigned long long length = std::strtoull(req.get_header_value("Content-Length").c_str(), nullptr, 10);
    if (req.path != kUploadPath && (req.has_header("Transfer-Encoding") || length > kMaxBody)) {
      Refuse(res, 413, "This request is too large.");
      return true;
    }
  } else if (req.method != "GET" && req.method != "HEAD") {
    Refuse(res, 405, "Not allowed.");
    return true;
  }
  return false;
}

// A POST's form token (its body read by now); false after refusing it.
bool FormToken(const Server& s, const httplib::Request& req, httplib::Response& res) {
  // (A multipart form, the statement upload, carries it as a part.)
  const std::string csrf = req.has_param("csrf")  ? req.get_param_value("csrf")
                           : req.has_file("csrf") ? req.get_file_value("csrf").content
                                                  : "";
  if (SameSecret(csrf, s.env.csrf)) return true;
  Refuse(res, 403, "This form has no valid form token; open the page again and resubmit.");
  return false;
}

using PageHandler = void (*)(const Env&, const httplib::Request&, httplib::Response&);

// A route's handler: the page, with any exception turned into a 500 (none
// crosses into the server's threads).
httplib::Server::Handler Route(Server& s, PageHandler page) {
  return [&s, page](const httplib::Request& req, httplib::Response& res) {
    try {
      if (req.method == "POST" && !FormToken(s, req, res)) return;
      page(s.env, req, res);
    } catch (const std::exception& e) {
      SendProblem(s.env, res, 500, "Failure", std::string("The request failed: ") + e.what());
    }
  };
}

int Serve(bkreg::Context& ctx, const std::string& listen) {
  ListenAddress addr;
  if (const std::string problem = ParseListen(listen, &addr); !problem.empty()) return ctx.Refuse(problem);
  // The company must open before anything is served.
  {
    int status = bkreg::kDone;
    if (ctx.Open(&status) == nullptr) return status;
    ctx.Close();
  }
  ServerResponder responder;
  TSGetApp()->SetResponder(&responder);
  // One request at a time works in the library, on whichever worker thread
  // took it: one malloc arena for all of them keeps what a request freed
  // for the next instead of an arena's worth per thread.
  (void)mallopt(M_ARENA_MAX, 1);

  auto s = std::make_unique<Server>();
  const std::string key = RandomHex(32);
  s->token = RandomHex(32);
  s->session = RandomHex(32);
  s->env.csrf = RandomHex(32);
  if (key.empty() || s->token.empty() || s->session.empty() || s->env.csrf.empty()) {
    return ctx.Fail("no random numbers could be had from the system");
  }
  s->signer = std::make_unique<Signer>(key);
  s->env.signer = s->signer.get();
  s->env.config.company = ctx.company;
  s->env.config.wait_seconds = ctx.wait_seconds;

  httplib::Server& http = s->http;
  http.new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
  http.set_payload_max_length(kMaxUpload);  // others: kMaxBody (Guard)
  http.set_read_timeout(kTimeoutSeconds, 0);
  http.set_write_timeout(kTimeoutSeconds, 0);
  http.set_keep_alive_timeout(5);
  http.set_default_headers({
      {"Content-Security-Policy",
       "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self'; "
       "form-action 'self'; "
       "frame-ancestors 'none'; base-uri 'none'"},
      {"X-Content-Type-Options", "nosniff"},
      {"X-Frame-Options", "DENY"},
      {"Referrer-Policy", "same-origin"},
      {"Cache-Control", "no-store"},
  });
  Server& state = *s;
  http.set_pre_routing_handler([&state](const httplib::Request& req, httplib::Response& res) {
    return Guard(state, req, res) ? httplib::Server::HandlerResponse::Handled
                                  : httplib::Server::HandlerResponse::Unhandled;
  });
  http.Get("/static/.*", [](const httplib::Request& req, httplib::Response& res) {
    const StaticFile* f = FindStatic(req.path);
    if (f == nullptr) return Refuse(res, 404, "No such file.");
    res.set_content(std::string(f->body), std::string(f->content_type).c_str());
  });
  http.Get("/", Route(state, AccountsPage));
  http.Post("/accounts", Route(state, AddAccount));
  http.Get("/register", Route(state, RegisterPage));
  http.Get("/enter", Route(state, EnterForm));
  http.Post("/enter", Route(state, EnterPost));
  http.Get("/edit", Route(state, EditForm));
  http.Post("/edit", Route(state, EditPost));
  http.Post("/remove", Route(state, RemovePost));
  http.Get("/batches", Route(state, BatchesPage));
  http.Post("/batches/open", Route(state, BatchOpenPost));
  http.Post("/batches/post", Route(state, BatchPostPost));
  http.Post("/batches/close", Route(state, BatchClosePost));
  http.Get("/balances", Route(state, BalancesPage));
  http.Get("/reconcile", Route(state, ReconcilePage));
  http.Post(kUploadPath, Route(state, ReconcileUploadPost));
  http.Post("/reconcile/start", Route(state, ReconcileStartPost));
  http.Post("/reconcile/tick", Route(state, ReconcileTickPost));
  http.Post("/reconcile/accept", Route(state, ReconcileAcceptPost));
  http.Post("/reconcile/enter", Route(state, ReconcileEnterPost));
  http.Post("/reconcile/enter-as", Route(state, ReconcileEnterAsPost));
  http.Post("/reconcile/adjust", Route(state, ReconcileAdjustPost));
  http.Post("/reconcile/post", Route(state, ReconcilePostBatch));
  http.Post("/reconcile/again", Route(state, ReconcileAgainPost));
  http.Post("/reconcile/finish", Route(state, ReconcileFinishPost));
  http.Post("/reconcile/undo", Route(state, ReconcileUndoPost));
  http.Post("/reconcile/cancel", Route(state, ReconcileCancelPost));
  http.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (res.body.empty()) {
      res.set_content(std::to_string(res.status) + "\n",
                      "text/plain; charset=utf-8");
    }
  });

  // Signals are taken by one thread (sigwait), which stops the server; the
  // others never see them.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  sigset_t before;
  pthread_sigmask(SIG_BLOCK, &stop_signals, &before);

  int port = addr.port;
  bool bound = false;
  if (port == 0) {
    port = http.bind_to_any_port(addr.host);
    bound = port > 0;
  } else {
    bound = http.bind_to_port(addr.host, port);
  }
  if (!bound) {
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return ctx.Fail("cannot listen on " + listen + " (in use, or not an address of this machine)");
  }
  s->hosts.push_back(HostPort(addr.host, port));
  if (addr.host == "127.0.0.1" || addr.host == "::1") s->hosts.push_back("localhost:" + std::to_string(port));
  if (!IsLoopback(addr.host)) {
    ctx.err << "bkreg: warning: listening on " << addr.host
            << ", not only on this machine: anyone who can reach it and has the address may sign in\n";
  }
  ctx.out << "The web register of " << ctx.CompanyShown() << " is at\n  http://" << s->hosts.front() << "/login?token="
          << s->token << "\nOpen it in a browser (the link works once). Ctrl-C stops the server.\n";
  ctx.out.flush();

  std::thread stopper([&http, &stop_signals] {
    int sig = 0;
    sigwait(&stop_signals, &sig);
    http.stop();
  });
  const bool ok = http.listen_after_bind();
  // listen_after_bind returns once stopped; wake the stopper if it did not stop us.
  pthread_kill(stopper.native_handle(), SIGTERM);
  stopper.join();
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  TSGetApp()->SetResponder(nullptr);
  ctx.out << "Stopped.\n";
  return ok ? bkreg::kDone : ctx.Fail("the server stopped on a failure");
}

}  // namespace

void AddServeCommand(CLI::App& app, bkreg::Context& ctx) {
  auto listen = std::make_shared<std::string>("127.0.0.1:8080");
  CLI::App* serve = app.add_subcommand(
      "serve",
      "serves the web register of the company on this machine (prints the address to open, with a one-time "
      "sign-in token); Ctrl-C stops it");
  serve->add_option("--listen", *listen, "HOST:PORT to listen on (default 127.0.0.1:8080; port 0 takes a free one)");
  serve->callback([&ctx, listen] { ctx.status = Serve(ctx, *listen); });
}

}  // namespace bkweb
