// The web register spoken to over HTTP: a real `bkreg serve` on a real
// company folder, on loopback, with the real general-ledger module; what a
// browser does, done by a plain HTTP client, so every guard can be tried
// without it.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "accounts/bank_account.h"
#include "tests/support/test_support.h"
#include "tools/bkreg/context.h"

namespace {

std::string Bkreg() {
  const char* b = getenv("BKREG");
  return b && *b ? b : bktest::BinaryDir() + "/tools/bkreg/bkreg";
}

struct Result {
  int status;
  std::string out;
};

Result Bk(const std::string& company, const std::string& args) {
  const std::string cmd = Bkreg() + " --company '" + company + "' " + args + " 2>&1 </dev/null";
  Result r{-1, ""};
  FILE* p = popen(cmd.c_str(), "r");
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

// A `bkreg serve` child on a free loopback port: its address, token and a
// signed-in client.
class ServerProcess {
 public:
  ServerProcess(const std::string& company, double wait, const std::string& env_hook = "") {
    int out[2];
    EXPECT_EQ(pipe(out), 0);
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], 1);
      close(out[0]);
      if (!env_hook.empty()) setenv("BK_TEST_HOOK_KILL_AT_WRITE", env_hook.c_str(), 1);
      const std::string w = std::to_string(wait);
      execl(Bkreg().c_str(), "bkreg", "--company", company.c_str(), "--wait", w.c_str(), "serve", "--listen",
            "127.0.0.1:0", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    // The address line: "  http://127.0.0.1:PORT/login?token=T".
    std::string text;
    char c;
    const std::regex url(R"(http://127\.0\.0\.1:(\d+)/login\?token=([0-9a-f]+)\n)");
    std::smatch m;
    while (read(out[0], &c, 1) == 1) {
      text += c;
      if (c == '\n' && std::regex_search(text, m, url)) break;
    }
    out_ = out[0];
    EXPECT_TRUE(std::regex_search(text, m, url)) << text;
    if (m.size() == 3) {
      port = std::stoi(m[1]);
      token = m[2];
    }
  }
  ~ServerProcess() {
    if (pid_ > 0) Stop();
    if (out_ >= 0) close(out_);
  }
  // SIGTERM; the exit status.
  int Stop() {
    kill(pid_, SIGTERM);
    return Wait();
  }
  int Wait() {
    int st = 0;
    waitpid(pid_, &st, 0);
    pid_ = -1;
    return WIFEXITED(st) ? WEXITSTATUS(st) : -WTERMSIG(st);
  }
  std::string Host() const { return "127.0.0.1:" + std::to_string(port); }
  httplib::Client Client() const {
    httplib::Client c("127.0.0.1", port);
    c.set_read_timeout(60, 0);
    return c;
  }
  // Signs in with the token; the session cookie ("bk_session=...").
  std::string SignIn() {
    auto c = Client();
    auto r = c.Get(("/login?token=" + token).c_str());
    EXPECT_TRUE(r);
    if (!r) return "";
    EXPECT_EQ(r->status, 303);
    const std::string set = r->get_header_value("Set-Cookie");
    EXPECT_NE(set.find("HttpOnly"), std::string::npos);
    EXPECT_NE(set.find("SameSite=Strict"), std::string::npos);
    return set.substr(0, set.find(';'));
  }

  int port = 0;
  std::string token;

 private:
  pid_t pid_ = -1;
  int out_ = -1;
};

std::string Csrf(const std::string& page) {
  std::smatch m;
  const std::regex re(R"re(name="bk-csrf" content="([0-9a-f]+)")re");
  return std::regex_search(page, m, re) ? std::string(m[1]) : "";
}

// A signed-in session: GET and POST with the cookie and form token.
struct Session {
  ServerProcess& server;
  std::string cookie, csrf;

  explicit Session(ServerProcess& s) : server(s) {
    cookie = s.SignIn();
    auto r = Get("/");
    csrf = r ? Csrf(r->body) : "";
  }
  httplib::Result Get(const std::string& path) {
    auto c = server.Client();
    return c.Get(path.c_str(), {{"Cookie", cookie}});
  }
  httplib::Result Post(const std::string& path, httplib::Params params, bool with_csrf = true) {
    if (with_csrf) params.emplace("csrf", csrf);
    auto c = server.Client();
    c.set_follow_location(false);
    return c.Post(path.c_str(), {{"Cookie", cookie}}, params);
  }
};

std::string MakeCompany(bktest::TestCompany& dir) {
  const std::string co = dir.path();
  EXPECT_EQ(Bk(co, "init").status, 0);
  EXPECT_EQ(Bk(co, "bank add B1 --desc Main --balance 1000.00 --cash-account 1000").status, 0);
  return co;
}

TEST(WebGuards, EveryRequestWithoutTheSessionOrFromAnotherHostOrWithoutTheFormTokenIsRefused) {
  bktest::TestCompany dir;
  const std::string co = MakeCompany(dir);
  ServerProcess server(co, 1);
  {
    auto c = server.Client();
    // Without the cookie: every page and every static file.
    for (const char* path : {"/", "/register?bank=B1", "/static/app.css", "/static/app.js", "/batches", "/balances",
                             "/enter", "/nowhere"}) {
      auto r = c.Get(path);
      ASSERT_TRUE(r);
      EXPECT_EQ(r->status, 403) << path;
      EXPECT_NE(r->get_header_value("Content-Security-Policy").find("script-src 'self'"), std::string::npos);
    }
    // A wrong token, and a request from another Host (DNS rebinding).
    EXPECT_EQ(c.Get(("/login?token=" + std::string(server.token.size(), '0')).c_str())->status, 403);
    EXPECT_EQ(c.Get(("/login?token=" + server.token).c_str(), {{"Host", "evil.example:" + std::to_string(server.port)}})
                  ->status,
              421);
  }
  Session s(server);
  ASSERT_FALSE(s.cookie.empty());
  ASSERT_EQ(s.csrf.size(), 64u);
  // The token works once.
  EXPECT_EQ(server.Client().Get(("/login?token=" + server.token).c_str())->status, 403);
  EXPECT_EQ(s.Get("/")->status, 200);
  EXPECT_EQ(s.Get("/static/app.css")->status, 200);
  // A forged cookie, a wrong Host with the right cookie.
  EXPECT_EQ(server.Client().Get("/", {{"Cookie", "bk_session=" + std::string(64, 'a')}})->status, 403);
  EXPECT_EQ(server.Client().Get("/", {{"Cookie", s.cookie}, {"Host", "localhost.evil:" + std::to_string(server.port)}})
                ->status,
            421);
  // Changes: without the form token, with a wrong one, from another origin,
  // or by GET: nothing is made.
  const httplib::Params account{{"id", "B9"}, {"desc", "Nine"}};
  EXPECT_EQ(s.Post("/accounts", account, false)->status, 403);
  httplib::Params wrong = account;
  wrong.emplace("csrf", std::string(64, '0'));
  EXPECT_EQ(s.Post("/accounts", wrong, false)->status, 403);
  {
    auto c = server.Client();
    httplib::Params p = account;
    p.emplace("csrf", s.csrf);
    EXPECT_EQ(c.Post("/accounts", {{"Cookie", s.cookie}, {"Origin", "http://evil.example"}}, p)->status, 403);
  }
  EXPECT_EQ(s.Get("/accounts?id=B9&csrf=" + s.csrf)->status, 404);
  EXPECT_EQ(Bk(co, "bank show B9").status, 1);
  // The same with the token: made.
  EXPECT_EQ(s.Post("/accounts", account)->status, 303);
  EXPECT_EQ(Bk(co, "bank show B9").status, 0);
  // A body over the limit is refused before any page runs.
  EXPECT_EQ(s.Post("/accounts", {{"id", "B8"}, {"desc", std::string(100 * 1024, 'x')}})->status, 413);
  EXPECT_EQ(server.Stop(), 0);
}

TEST(WebPages, StoredHostileTextIsShownAsTextOnEveryPage) {
  bktest::TestCompany dir;
  const std::string co = MakeCompany(dir);
  const std::vector<std::string> hostile = {"<script>alert(1)</script>", "\"onmouseover=alert(1) x=\"",
                                            "javascript:alert(1)", "'><img src=x onerror=alert(1)>"};
  ASSERT_EQ(Bk(co, "bank add EVIL --desc '<b>\"x\"</b>' --balance 5").status, 0);
  for (size_t i = 0; i < hostile.size(); ++i) {
    std::string quoted;
    for (char c : hostile[i]) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    ASSERT_EQ(Bk(co, "enter check --bank B1 --amount 1.00 --check " + std::to_string(100 + i) + " --desc '" + quoted +
                         "' --payee '" + quoted + "' --batch 'B<i>'")
                  .status,
              0);
  }
  ASSERT_EQ(Bk(co, "batch open 'X\"<y>' --desc '<script>x</script>' --count 1").status, 0);
  ServerProcess server(co, 1);
  Session s(server);
  const std::vector<std::string> pages = {"/", "/register?bank=B1", "/register?bank=B1&q=script", "/batches",
                                          "/balances", "/enter", "/edit?bank=B1&run=1&seq=1", "/register?bank=EVIL"};
  for (const std::string& page : pages) {
    auto r = s.Get(page);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200) << page;
    for (const char* bad : {"<script>alert", "<script>x", "\"onmouseover", "<img src=x", "<b>\"x\"", "B<i>",
                                   "X\"<y>"}) {
      EXPECT_EQ(r->body.find(bad), std::string::npos) << page << " shows " << bad << " unescaped";
    }
    // The only scripts are the server's own file.
    EXPECT_EQ(r->body.find("<script>"), std::string::npos) << page;
  }
  const std::string reg = s.Get("/register?bank=B1")->body;
  EXPECT_NE(reg.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
  EXPECT_NE(reg.find("&quot;onmouseover=alert(1) x=&quot;"), std::string::npos);
  EXPECT_NE(reg.find("javascript:alert(1)"), std::string::npos);  // as text, in no link
  EXPECT_EQ(reg.find("href=\"javascript"), std::string::npos);
}

// The register's pages, Earlier after Earlier from the newest, then Later
// after Later back: every line once, in register order, with the running
// balances `bkreg register` gives; a changed link is refused.
TEST(WebRegister, PagesWalkTheWholeRegisterBothWaysWithTheBalancesOfTheCommand) {
  bktest::TestCompany dir;
  const std::string co = MakeCompany(dir);
  ASSERT_EQ(Bk(co, "generate --bank B1 --count 1234 --from 2026-01-01").status, 0);
  // Some of them posted: the register shows both files.
  ASSERT_EQ(Bk(co, "enter deposit --bank B1 --amount 7.00 --date 2026-01-15 --batch LATE").status, 0);
  const Result listed = Bk(co, "--format json register B1");
  ASSERT_EQ(listed.status, 0) << listed.out;
  std::vector<std::pair<std::string, std::string>> expected;  // run-seq, balance
  for (const auto& row : nlohmann::json::parse(listed.out)) {
    if (row["Run"].is_null() || row["Run"].dump() == "\"\"") continue;  // the opening balance
    std::ostringstream bal;
    bal.precision(2);
    bal << std::fixed << row["Balance"].get<double>();
    expected.emplace_back(row["Run"].dump() + "-" + row["Seq"].dump(), bal.str());
  }
  ASSERT_EQ(expected.size(), 1235u);
  ServerProcess server(co, 1);
  Session s(server);
  const std::regex row_re(R"(<tr><td>[^<]*</td>(?:<td>[^<]*</td>){3}<td class="num">[^<]*</td><td class="num">([^<]*)</td>.*?<td>(\d+-\d+)</td>)");
  const std::regex earlier_re(R"re(id="earlier" href="([^"]+)")re"), later_re(R"re(id="later" href="([^"]+)")re");
  auto rows_of = [&](const std::string& body) {
    std::vector<std::pair<std::string, std::string>> rows;
    for (std::sregex_iterator it(body.begin(), body.end(), row_re), end; it != end; ++it) {
      std::string balance = (*it)[1];
      balance.erase(std::remove(balance.begin(), balance.end(), ','), balance.end());
      rows.emplace_back((*it)[2], balance);
    }
    return rows;
  };
  auto unescape = [](std::string url) {
    for (size_t at; (at = url.find("&amp;")) != std::string::npos;) url.replace(at, 5, "&");
    return url;
  };
  std::vector<std::pair<std::string, std::string>> seen;
  std::string url = "/register?bank=B1&rows=100";
  std::string last_body;
  for (int page = 0; page < 50 && !url.empty(); ++page) {
    auto r = s.Get(url);
    ASSERT_TRUE(r);
    ASSERT_EQ(r->status, 200) << url;
    auto rows = rows_of(r->body);
    seen.insert(seen.begin(), rows.begin(), rows.end());
    std::smatch m;
    url = std::regex_search(r->body, m, earlier_re) ? unescape(m[1]) : "";
    last_body = r->body;
  }
  EXPECT_EQ(seen, expected);
  // Back to the newest through Later links from the oldest page.
  std::vector<std::pair<std::string, std::string>> forward = rows_of(last_body);
  std::smatch m;
  url = std::regex_search(last_body, m, later_re) ? unescape(m[1]) : "";
  for (int page = 0; page < 50 && !url.empty(); ++page) {
    auto r = s.Get(url);
    ASSERT_TRUE(r);
    auto rows = rows_of(r->body);
    forward.insert(forward.end(), rows.begin(), rows.end());
    url = std::regex_search(r->body, m, later_re) ? unescape(m[1]) : "";
  }
  EXPECT_EQ(forward, expected);
  // A link whose balance was changed by hand is refused.
  std::string body = s.Get("/register?bank=B1")->body;
  ASSERT_TRUE(std::regex_search(body, m, earlier_re));
  std::string tampered = unescape(m[1]);
  const size_t dot = tampered.rfind('.');
  tampered[dot - 1] = tampered[dot - 1] == '1' ? '2' : '1';
  EXPECT_EQ(s.Get(tampered)->status, 400);
}

// A change that meets the bank account held by another program waits for
// it, up to --wait, then says so; nothing is entered.
TEST(WebChanges, AnEntryWaitsForAnAccountAnotherProgramHoldsThenReports) {
  bktest::TestCompany dir;
  const std::string co = MakeCompany(dir);
  auto holder = bktest::ChildProcess::Start([co] {
    std::ostringstream out, err;
    bkreg::Context ctx(out, err);
    ctx.company = co;
    int status = 0;
    bkreg::Session* session = ctx.Open(&status);
    if (session == nullptr) return 2;
    BankAccount bank(session->Master(), "", 0);
    bank.m_Record.SetBankAccount(tsAlpha("B1"));
    if (bank.FetchEQ(true) != tsioStatus::kSuccess) return 3;
    bktest::ChildProcess::WriteLine("held");
    (void)bktest::ChildProcess::ReadLine();
    return 0;
  });
  ASSERT_EQ(holder.Receive(), "held");
  ServerProcess server(co, 1.5);
  Session s(server);
  const auto start = std::chrono::steady_clock::now();
  auto r = s.Post("/enter", {{"type", "deposit"}, {"bank", "B1"}, {"amount", "12.00"}, {"date", "2026-03-02"},
                             {"batch", "WAIT"}});
  const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 409);
  EXPECT_NE(r->body.find("ank account &#39;B1&#39; is in use"), std::string::npos) << r->body;
  EXPECT_GE(waited, 1.4);
  holder.Send("release");
  EXPECT_EQ(holder.Wait(), 0);
  // Free again: the same entry goes in.
  r = s.Post("/enter", {{"type", "deposit"}, {"bank", "B1"}, {"amount", "12.00"}, {"date", "2026-03-02"},
                        {"batch", "WAIT"}});
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 303);
  EXPECT_EQ(Bk(co, "verify").status, 0);
}

// Editing keeps the transaction's identity and the totals exact; a form
// made before another change is refused with what changed.
TEST(WebChanges, AnEditKeepsIdentityAndTotalsAndAStaleFormIsRefusedWithWhatChanged) {
  bktest::TestCompany dir;
  const std::string co = MakeCompany(dir);
  ASSERT_EQ(Bk(co, "enter withdrawal --bank B1 --amount 30.00 --date 2026-02-01 --desc Fees --line 6000=30.00").status, 0);
  ServerProcess server(co, 1);
  Session s(server);
  auto form = s.Get("/edit?bank=B1&run=1&seq=1");
  ASSERT_TRUE(form);
  ASSERT_EQ(form->status, 200) << form->body;
  // The hidden "was_" fields of the form as it was made.
  httplib::Params was;
  const std::regex hidden(R"re(<input type="hidden" name="(was_[a-z_]+)" value="([^"]*)">)re");
  for (std::sregex_iterator it(form->body.begin(), form->body.end(), hidden), end; it != end; ++it) {
    was.emplace((*it)[1], (*it)[2]);
  }
  ASSERT_EQ(was.count("was_amount"), 1u);
  auto edit = [&](const std::string& amount, const std::string& desc) {
    httplib::Params p = was;
    p.insert({{"type", "withdrawal"}, {"bank", "B1"}, {"run", "1"}, {"seq", "1"}, {"date", "2026-02-03"},
              {"amount", amount}, {"desc", desc}, {"line_account_1", "6000"}, {"line_amount_1", amount}});
    return s.Post("/edit", p);
  };
  // A new amount, date and description, the lines with it.
  auto r = edit("45.00", "Bank fees");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 303) << r->body;
  EXPECT_EQ(Bk(co, "verify").status, 0);
  const Result reg = Bk(co, "--format json register B1");
  EXPECT_NE(reg.out.find("\"Run\": 1, \"Seq\": 1"), std::string::npos) << reg.out;
  EXPECT_NE(reg.out.find("-45"), std::string::npos);
  EXPECT_NE(Bk(co, "bank show B1").out.find("955.00"), std::string::npos);
  // The same (now stale) form again: refused, with what changed.
  r = edit("50.00", "Again");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 409);
  EXPECT_NE(r->body.find("amount: &#39;-30.00&#39; when the form was made, now &#39;-45.00&#39;"), std::string::npos)
      << r->body;
  EXPECT_NE(Bk(co, "bank show B1").out.find("955.00"), std::string::npos);
}

// A server killed (SIGKILL) in the middle of posting leaves the company
// whole: the unit of work is all or nothing.
TEST(WebChanges, AServerKilledWhilePostingLeavesTheCompanyWhole) {
  bktest::TestCompany dir;
  const std::string co = MakeCompany(dir);
  ASSERT_EQ(Bk(co, "gl interface on").status, 0);
  ASSERT_EQ(Bk(co, "gl account add 1000").status, 0);
  ASSERT_EQ(Bk(co, "gl account add 4000").status, 0);
  ASSERT_EQ(Bk(co, "gl period add '' --year 2026").status, 0);
  for (int i = 0; i < 6; ++i) {
    ASSERT_EQ(Bk(co, "enter deposit --bank B1 --amount 10.00 --date 2026-04-0" + std::to_string(i + 1) +
                         " --account 4000 --line 4000=10.00 --batch P")
                  .status,
              0);
  }
  for (const char* write : {"3", "12", "30"}) {
    ServerProcess server(co, 1, write);
    Session s(server);
    auto r = s.Post("/batches/post", {{"id", "P"}});
    EXPECT_EQ(server.Wait(), -SIGKILL) << "killed at write " << write;
    const Result v = Bk(co, "verify");
    EXPECT_EQ(v.status, 0) << "killed at write " << write << ": " << v.out;
  }
}

// A request to a server killed meanwhile must not kill the test.
const bool kNoSigpipe = [] {
  signal(SIGPIPE, SIG_IGN);
  return true;
}();

}  // namespace

namespace {

// A multipart upload of `content` as the statement file of `bank`.
httplib::Result Upload(Session& s, const std::string& bank, const std::string& name, const std::string& content,
                       bool with_csrf = true) {
  httplib::MultipartFormDataItems items = {{"bank", bank, "", ""}, {"file", content, name, "text/plain"}};
  if (with_csrf) items.push_back({"csrf", s.csrf, "", ""});
  auto c = s.server.Client();
  c.set_follow_location(false);
  return c.Post("/reconcile/upload", {{"Cookie", s.cookie}}, items);
}

std::string Ofx(const std::string& account, int lines) {
  std::string text = "OFXHEADER:100\nDATA:OFXSGML\nVERSION:102\nENCODING:USASCII\nCHARSET:1252\n\n<OFX><BANKMSGSRSV1>"
                     "<STMTTRNRS><STMTRS><BANKACCTFROM><ACCTID>" + account +
                     "</BANKACCTFROM><BANKTRANLIST><DTSTART>20260401<DTEND>20260430\n";
  for (int i = 0; i < lines; ++i) {
    text += "<STMTTRN><TRNTYPE>FEE<DTPOSTED>20260415<TRNAMT>-0.01<FITID>F" + std::to_string(i) +
            "<NAME>Fee " + std::to_string(i) + " of a long statement, padded to make the file large</STMTTRN>\n";
  }
  const std::string ending = lines == 0 ? "1000.00" : std::to_string(1000 * 100 - lines);
  return text + "</BANKTRANLIST><LEDGERBAL><BALAMT>" + (lines == 0 ? ending : ending.substr(0, ending.size() - 2) +
                                                        "." + ending.substr(ending.size() - 2)) +
         "<DTASOF>20260430</LEDGERBAL></STMTRS></STMTTRNRS></BANKMSGSRSV1></OFX>\n";
}

}  // namespace

TEST(WebReconcile, OnlyTheUploadTakesALargeBodyAndItCarriesTheFormToken) {
  bktest::TestCompany dir;
  const std::string co = MakeCompany(dir);
  ASSERT_EQ(Bk(co, "bank edit B1 --account-number 4711").status, 0);
  ServerProcess server(co, 1);
  Session s(server);
  // Without the form token: refused, nothing read.
  auto r = Upload(s, "B1", "a.ofx", Ofx("4711", 1), false);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 403);
  // Any other POST over 64 KiB is refused before its body is read.
  r = s.Post("/enter", {{"bank", "B1"}, {"desc", std::string(70 * 1024, 'x')}});
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 413);
  // A statement of 1,000 lines (over 100 KiB) is taken whole.
  const std::string big = Ofx("4711", 1000);
  ASSERT_GT(big.size(), 100u * 1024);
  r = Upload(s, "B1", "big.ofx", big);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 303) << r->body;
  // (The client gives the Location header decoded.)
  EXPECT_NE(r->get_header_value("Location").find("matched: 1000 lines"), std::string::npos)
      << r->get_header_value("Location");
  auto page = s.Get("/reconcile?bank=B1");
  ASSERT_TRUE(page);
  EXPECT_NE(page->body.find("1000 unknown"), std::string::npos);
  // Past the upload's own limit: refused.
  r = Upload(s, "B1", "huge.ofx", std::string(33u << 20, ' '));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 413);
}

TEST(WebReconcile, EveryTickAnswerCarriesTheFiguresOfReconcileStatus) {
  bktest::TestCompany dir;
  const std::string co = MakeCompany(dir);
  ASSERT_EQ(Bk(co, "bank add B2 --balance 0").status, 0);
  ASSERT_EQ(Bk(co, "enter deposit --bank B1 --amount 100.00 --date 2026-04-02").status, 0);        // 1/1
  ASSERT_EQ(Bk(co, "enter check --bank B1 --amount 50.00 --check 7 --date 2026-04-03").status, 0);  // 2/1
  ASSERT_EQ(Bk(co, "enter deposit --bank B2 --amount 5.00 --date 2026-04-03").status, 0);           // 3/1
  ASSERT_EQ(Bk(co, "post BKREG").status, 0);
  ASSERT_EQ(Bk(co, "enter deposit --bank B1 --amount 7.00 --date 2026-04-04 --batch LATER").status, 0);  // 4/1
  ASSERT_EQ(Bk(co, "reconcile start B1 --date 2026-04-30 --ending-balance 1050.00").status, 0);
  ServerProcess server(co, 1);
  Session s(server);
  struct Case {
    const char* bank;
    const char* key;  // run/seq
    bool on;
    int status;
    const char* says;        // in the message
    const char* difference;  // afterwards ("" when there is no reconciliation)
  };
  const Case cases[] = {
      {"B1", "4/1", true, 422, "not posted", "50.00"},
      {"B1", "1/1", false, 422, "is not cleared", "50.00"},
      {"B1", "1/1", true, 200, "", "-50.00"},
      {"B1", "1/1", true, 422, "cleared already", "-50.00"},
      {"B1", "2/1", true, 200, "", "0.00"},
      {"B1", "9/9", true, 422, "no transaction", "0.00"},
      {"B1", "1/1", false, 200, "", "100.00"},
      {"B2", "3/1", true, 422, "no reconciliation of B2", ""},
  };
  for (const Case& c : cases) {
    const std::string key = c.key;
    const std::string run = key.substr(0, key.find('/')), seq = key.substr(key.find('/') + 1);
    auto cl = server.Client();
    auto r = cl.Post("/reconcile/tick", {{"Cookie", s.cookie}, {"Accept", "application/json"}},
                     httplib::Params{{"csrf", s.csrf}, {"bank", c.bank}, {"run", run}, {"seq", seq},
                                     {"on", c.on ? "1" : "0"}});
    ASSERT_TRUE(r) << key;
    EXPECT_EQ(r->status, c.status) << key << " " << r->body;
    EXPECT_NE(r->get_header_value("Server-Timing").find("tick;dur="), std::string::npos);
    const auto answer = nlohmann::json::parse(r->body);
    EXPECT_NE(answer["message"].get<std::string>().find(c.says), std::string::npos) << key << " " << r->body;
    if (*c.difference == '\0') {
      EXPECT_FALSE(answer["figures"]["in_progress"].get<bool>());
      continue;
    }
    EXPECT_EQ(answer["figures"]["difference"].get<std::string>(), c.difference) << key;
    const Result status = Bk(co, "--format json reconcile status B1");
    ASSERT_EQ(status.status, 0) << status.out;
    const auto row = nlohmann::json::parse(status.out)[0];
    char want[32];
    std::snprintf(want, sizeof want, "%.2f", row["Difference"].get<double>());
    EXPECT_EQ(answer["figures"]["difference"].get<std::string>(), want) << key;
    EXPECT_EQ(answer["figures"]["count"], row["Cleared count"]) << key;
  }
  EXPECT_EQ(Bk(co, "verify").status, 0);
}
