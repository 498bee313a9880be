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
#include <regex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "accounts/bank_account.h"
#include "tests/support/test_support.h"
#include "tools/bkreg/bkreg_test_support.h"
#include "tools/bkreg/context.h"

namespace {

using bkregtest::Bk;
using bkregtest::Prepare;
using bkregtest::Result;

// A `bkreg serve` child on a free loopback port (its address read from the
// line "  http://127.0.0.1:PORT/login?token=T" it prints), stopped with
// SIGTERM at the end; `kill_at_write` is the kill-at-write test hook's value.
class ServerProcess {
 public:
  ServerProcess(const std::string& company, double wait, const std::string& kill_at_write = "") {
    int out[2];
    EXPECT_EQ(pipe(out), 0);
    if ((pid_ = fork()) == 0) {
      dup2(out[1], 1);
      close(out[0]);
      if (!kill_at_write.empty()) setenv("BK_TEST_HOOK_KILL_AT_WRITE", kill_at_write.c_str(), 1);
      execl(bkregtest::Program().c_str(), "bkreg", "--company", company.c_str(), "--wait", std::to_string(wait).c_str(),
            "serve", "--listen", "127.0.0.1:0", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    out_ = out[0];
    const std::regex url(R"(http://127\.0\.0\.1:(\d+)/login\?token=([0-9a-f]+)\n)");
    std::string text;
    std::smatch m;
    for (char c; !std::regex_search(text, m, url) && read(out_, &c, 1) == 1;) text += c;
    EXPECT_EQ(m.size(), 3u) << text;
    if (m.size() == 3) port = std::stoi(m[1]), token = m[2];
  }
  ~ServerProcess() {
    if (pid_ > 0) Stop();
    close(out_);
  }
  // The exit status (negative: the signal that ended it).
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
  httplib::Client Client() const {
    httplib::Client c("127.0.0.1", port);
    c.set_read_timeout(60, 0);
    c.set_follow_location(false);
    return c;
  }

  int port = 0;
  std::string token;

 private:
  pid_t pid_ = -1;
  int out_ = -1;
};

// A session signed in with the server's token (its cookie HttpOnly and
// SameSite=Strict): GET and POST with the cookie and the page's form token.
struct Session {
  ServerProcess& server;
  std::string cookie, csrf;

  explicit Session(ServerProcess& s) : server(s) {
    auto r = s.Client().Get("/login?token=" + s.token);
    EXPECT_TRUE(r && r->status == 303);
    const std::string set = r ? r->get_header_value("Set-Cookie") : "";
    EXPECT_TRUE(set.find("HttpOnly") != std::string::npos && set.find("SameSite=Strict") != std::string::npos) << set;
    cookie = set.substr(0, set.find(';'));
    std::smatch m;
    const std::string page = (r = Get("/")) ? r->body : "";
    if (std::regex_search(page, m, std::regex(R"re(name="bk-csrf" content="([0-9a-f]+)")re"))) csrf = m[1];
  }
  httplib::Result Get(const std::string& path) { return server.Client().Get(path, {{"Cookie", cookie}}); }
  httplib::Result Post(const std::string& path, httplib::Params params, bool with_csrf = true) {
    if (with_csrf) params.emplace("csrf", csrf);
    return server.Client().Post(path, {{"Cookie", cookie}}, params);
  }
};

// An answer's status; -1 when there was none.
int Status(const httplib::Result& r) { return r ? r->status : -1; }

// A company with bank account B1 and, when asked, more set-up commands.
std::string MakeCompany(bktest::TestCompany& dir, std::initializer_list<std::string> more = {}) {
  EXPECT_TRUE(Prepare(dir.path(), {"init", "bank add B1 --desc Main --balance 1000.00 --cash-account 1000"}));
  EXPECT_TRUE(Prepare(dir.path(), more));
  return dir.path();
}

// A request to a server killed meanwhile must not kill the test.
const bool kNoSigpipe = [] {
  signal(SIGPIPE, SIG_IGN);
  return true;
}();

// A multipart upload of `content` as B1's statement file.
httplib::Result Upload(Session& s, const std::string& name, const std::string& content, bool with_csrf = true) {
  httplib::MultipartFormDataItems items = {{"bank", "B1", "", ""}, {"file", content, name, "text/plain"}};
  if (with_csrf) items.push_back({"csrf", s.csrf, "", ""});
  return s.server.Client().Post("/reconcile/upload", {{"Cookie", s.cookie}}, items);
}

// An OFX statement of account 4711: `lines` fees of 0.01 in April 2026.
std::string Ofx(int lines) {
  std::string text = "OFXHEADER:100\nDATA:OFXSGML\nVERSION:102\nENCODING:USASCII\nCHARSET:1252\n\n<OFX><BANKMSGSRSV1>"
                     "<STMTTRNRS><STMTRS><BANKACCTFROM><ACCTID>4711</BANKACCTFROM><BANKTRANLIST>"
                     "<DTSTART>20260401<DTEND>20260430\n";
  for (int i = 0; i < lines; ++i) {
    text += "<STMTTRN><TRNTYPE>FEE<DTPOSTED>20260415<TRNAMT>-0.01<FITID>F" + std::to_string(i) + "<NAME>Fee " +
            std::to_string(i) + " of a long statement, padded to make the file large</STMTTRN>\n";
  }
  char ending[32];
  std::snprintf(ending, sizeof ending, "%.2f", 1000 - lines / 100.0);
  return text + "</BANKTRANLIST><LEDGERBAL><BALAMT>" + ending +
         "<DTASOF>20260430</LEDGERBAL></STMTRS></STMTTRNRS></BANKMSGSRSV1></OFX>\n";
}

// Only the statement upload takes a large body, and it carries the form
// token too.
TEST(WebGuards, EveryRequestWithoutTheSessionOrFromAnotherHostOrWithoutTheFormTokenIsRefused) {
  bktest::TestCompany dir;
  const std::string co = MakeCompany(dir, {"bank edit B1 --account-number 4711"});
  const std::string statement = Ofx(1000);
  ASSERT_GT(statement.size(), 100u * 1024);
  ServerProcess server(co, 1);
  auto c = server.Client();
  const std::string port = std::to_string(server.port);
  // Without the cookie: every page and every static file.
  for (const char* path : {"/", "/register?bank=B1", "/static/app.css", "/static/app.js", "/batches", "/balances",
                           "/enter", "/nowhere"}) {
    auto r = c.Get(path);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 403) << path;
    EXPECT_NE(r->get_header_value("Content-Security-Policy").find("script-src 'self'"), std::string::npos);
  }
  // A wrong token, and a request from another Host (DNS rebinding).
  EXPECT_EQ(c.Get("/login?token=" + std::string(server.token.size(), '0'))->status, 403);
  EXPECT_EQ(c.Get("/login?token=" + server.token, {{"Host", "evil.example:" + port}})->status, 421);
  Session s(server);
  ASSERT_EQ(s.csrf.size(), 64u);
  const httplib::Params account{{"id", "B9"}, {"desc", "Nine"}};
  httplib::Params wrong = account, right = account;
  wrong.emplace("csrf", std::string(64, '0'));
  right.emplace("csrf", s.csrf);
  // In order (each answer taken before the next request).
  const struct {
    const char* what;
    int status, want;
  } cases[] = {
      {"the token a second time", c.Get("/login?token=" + server.token)->status, 403},
      {"a page", s.Get("/")->status, 200},
      {"a static file", s.Get("/static/app.css")->status, 200},
      {"a forged cookie", c.Get("/", {{"Cookie", "bk_session=" + std::string(64, 'a')}})->status, 403},
      {"another Host", c.Get("/", {{"Cookie", s.cookie}, {"Host", "localhost.evil:" + port}})->status, 421},
      // Changes without the form token, with a wrong one, from another
      // origin, or by GET: nothing is made; with the token: made.
      {"no form token", s.Post("/accounts", account, false)->status, 403},
      {"a wrong form token", s.Post("/accounts", wrong, false)->status, 403},
      {"another origin", c.Post("/accounts", {{"Cookie", s.cookie}, {"Origin", "http://evil.example"}}, right)->status,
       403},
      {"a change by GET", s.Get("/accounts?id=B9&csrf=" + s.csrf)->status, 404},
      {"nothing made", Bk(co, "bank show B9").status, 1},
      {"the form token", s.Post("/accounts", account)->status, 303},
      {"made", Bk(co, "bank show B9").status, 0},
      // A body over the limit is refused before any page runs; a statement
      // of 1,000 lines is taken whole, up to the upload's own limit.
      {"a large body", s.Post("/accounts", {{"id", "B8"}, {"desc", std::string(100 * 1024, 'x')}})->status, 413},
      {"an upload without the form token", Status(Upload(s, "a.ofx", Ofx(1), false)), 403},
      {"a large statement", Status(Upload(s, "big.ofx", statement)), 303},
      {"a statement past the upload's limit", Status(Upload(s, "huge.ofx", std::string(33u << 20, ' '))), 413},
  };
  for (const auto& k : cases) EXPECT_EQ(k.status, k.want) << k.what;
  EXPECT_NE(s.Get("/reconcile?bank=B1")->body.find("1000 unknown"), std::string::npos);
  EXPECT_EQ(server.Stop(), 0);
}

TEST(WebPages, StoredHostileTextIsShownAsTextOnEveryPage) {
  bktest::TestCompany dir;
  const std::string co = MakeCompany(dir, {"bank add EVIL --desc '<b>\"x\"</b>' --balance 5",
                                          "batch open 'X\"<y>' --desc '<script>x</script>' --count 1"});
  const std::vector<std::string> hostile = {"<script>alert(1)</script>", "\"onmouseover=alert(1) x=\"",
                                            "javascript:alert(1)", "'><img src=x onerror=alert(1)>"};
  for (size_t i = 0; i < hostile.size(); ++i) {
    std::string quoted;
    for (char c : hostile[i]) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    ASSERT_EQ(Bk(co, "enter check --bank B1 --amount 1.00 --check " + std::to_string(100 + i) + " --desc '" + quoted +
                         "' --payee '" + quoted + "' --batch 'B<i>'")
                  .status,
              0);
  }
  ServerProcess server(co, 1);
  Session s(server);
  for (const std::string page : {"/", "/register?bank=B1", "/register?bank=B1&q=script", "/batches", "/balances",
                                 "/enter", "/edit?bank=B1&run=1&seq=1", "/register?bank=EVIL"}) {
    auto r = s.Get(page);
    ASSERT_EQ(Status(r), 200) << page;
    for (const char* bad : {"<script>alert", "<script>x", "\"onmouseover", "<img src=x", "<b>\"x\"", "B<i>",
                                   "X\"<y>"}) {
      EXPECT_EQ(r->body.find(bad), std::string::npos) << page << " shows " << bad << " unescaped";
    }
    // The only scripts are the server's own file.
    EXPECT_EQ(r->body.find("<script>"), std::string::npos) << page;
  }
  // Shown as text (the link text in no link).
  const std::string reg = s.Get("/register?bank=B1")->body;
  for (const char* text : {"&lt;script&gt;alert(1)&lt;/script&gt;", "&quot;onmouseover=alert(1) x=&quot;",
                           "javascript:alert(1)"}) {
    EXPECT_NE(reg.find(text), std::string::npos) << text;
  }
  EXPECT_EQ(reg.find("href=\"javascript"), std::string::npos);
}

// The register's pages, Earlier after Earlier from the newest, then Later
// after Later back: every line once, in register order, with the running
// balances `bkreg register` gives; a changed link is refused.
TEST(WebRegister, PagesWalkTheWholeRegisterBothWaysWithTheBalancesOfTheCommand) {
  bktest::TestCompany dir;
  // Some of them posted: the register shows both files.
  const std::string co = MakeCompany(dir, {"generate --bank B1 --count 1234 --from 2026-01-01",
                                          "enter deposit --bank B1 --amount 7.00 --date 2026-01-15 --batch LATE"});
  const Result listed = Bk(co, "--format json register B1");
  ASSERT_EQ(listed.status, 0) << listed.out;
  std::vector<std::string> expected;  // "run-seq balance" a row
  for (const auto& row : nlohmann::json::parse(listed.out)) {
    if (row["Run"].is_null() || row["Run"].dump() == "\"\"") continue;  // the opening balance
    char line[64];
    std::snprintf(line, sizeof line, "%s-%s %.2f", row["Run"].dump().c_str(), row["Seq"].dump().c_str(),
                  row["Balance"].get<double>());
    expected.push_back(line);
  }
  ASSERT_EQ(expected.size(), 1235u);
  ServerProcess server(co, 1);
  Session s(server);
  const std::regex row_re(R"(<tr><td>[^<]*</td>(?:<td>[^<]*</td>){3}<td class="num">[^<]*</td><td class="num">([^<]*)</td>.*?<td>(\d+-\d+)</td>)");
  // A page's rows ("run-seq balance") and its Earlier and Later links.
  struct Page {
    std::vector<std::string> rows;
    std::string earlier, later;
  };
  auto get = [&](const std::string& url) {
    const auto r = s.Get(url);
    EXPECT_EQ(Status(r), 200) << url;
    const std::string body = r ? r->body : "";
    Page page;
    for (std::sregex_iterator it(body.begin(), body.end(), row_re), end; it != end; ++it) {
      std::string balance = (*it)[1];
      std::erase(balance, ',');
      page.rows.push_back(std::string((*it)[2]) + " " + balance);
    }
    std::smatch m;
    for (auto [id, link] : {std::pair("earlier", &page.earlier), std::pair("later", &page.later)}) {
      if (std::regex_search(body, m, std::regex(std::string("id=\"") + id + "\" href=\"([^\"]+)\""))) {
        *link = std::regex_replace(std::string(m[1]), std::regex("&amp;"), "&");
      }
    }
    return page;
  };
  // Earlier after Earlier from the newest, each page's rows at the front.
  Page page{{}, "/register?bank=B1&rows=100", ""};
  std::vector<std::string> seen;
  for (int n = 0; n < 50 && !page.earlier.empty(); ++n) {
    page = get(page.earlier);
    seen.insert(seen.begin(), page.rows.begin(), page.rows.end());
  }
  EXPECT_EQ(seen, expected);
  // Back to the newest through Later links from the oldest page.
  seen = page.rows;
  for (int n = 0; n < 50 && !page.later.empty(); ++n) {
    page = get(page.later);
    seen.insert(seen.end(), page.rows.begin(), page.rows.end());
  }
  EXPECT_EQ(seen, expected);
  // A link whose balance was changed by hand is refused.
  std::string tampered = get("/register?bank=B1").earlier;
  ASSERT_FALSE(tampered.empty());
  const size_t dot = tampered.rfind('.');
  tampered[dot - 1] = tampered[dot - 1] == '1' ? '2' : '1';
  EXPECT_EQ(Status(s.Get(tampered)), 400);
}

// Editing keeps the transaction's identity and the totals exact; a form
// made before another change is refused with what changed. A change that
// meets the bank account held by another program waits for it, up to
// --wait, then says so; nothing is entered.
TEST(WebChanges, EditsKeepIdentityAndTotalsAndAnEntryWaitsForAnAccountAnotherProgramHolds) {
  bktest::TestCompany dir;
  const std::string co =
      MakeCompany(dir, {"enter withdrawal --bank B1 --amount 30.00 --date 2026-02-01 --desc Fees --line 6000=30.00"});
  ServerProcess server(co, 1.5);
  Session s(server);
  auto form = s.Get("/edit?bank=B1&run=1&seq=1");
  ASSERT_EQ(Status(form), 200);
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
  EXPECT_EQ(Status(edit("45.00", "Bank fees")), 303);
  const Result reg = Bk(co, "--format json register B1");
  EXPECT_TRUE(reg.Has("\"Run\": 1, \"Seq\": 1") && reg.Has("-45")) << reg.out;
  // The same (now stale) form again: refused, with what changed.
  auto r = edit("50.00", "Again");
  ASSERT_EQ(Status(r), 409);
  EXPECT_NE(r->body.find("amount: &#39;-30.00&#39; when the form was made, now &#39;-45.00&#39;"), std::string::npos)
      << r->body;
  EXPECT_TRUE(Bk(co, "bank show B1").Has("955.00"));

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
  const httplib::Params entry{
      {"type", "deposit"}, {"bank", "B1"}, {"amount", "12.00"}, {"date", "2026-03-02"}, {"batch", "WAIT"}};
  const auto start = std::chrono::steady_clock::now();
  r = s.Post("/enter", entry);
  EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1.4);
  ASSERT_EQ(Status(r), 409);
  EXPECT_NE(r->body.find("ank account &#39;B1&#39; is in use"), std::string::npos) << r->body;
  holder.Send("release");
  EXPECT_EQ(holder.Wait(), 0);
  // Free again: the same entry goes in.
  EXPECT_EQ(Status(s.Post("/enter", entry)), 303);
  EXPECT_TRUE(Bk(co, "bank show B1").Has("967.00"));
  EXPECT_EQ(Bk(co, "verify").status, 0);
}

// A server killed (SIGKILL) in the middle of posting leaves the company
// whole: the unit of work is all or nothing.
TEST(WebChanges, AServerKilledWhilePostingLeavesTheCompanyWhole) {
  bktest::TestCompany dir;
  const std::string co =
      MakeCompany(dir, {"gl interface on", "gl account add 1000", "gl account add 4000", "gl period add '' --year 2026"});
  for (int day = 1; day <= 6; ++day) {
    ASSERT_TRUE(Prepare(co, {"enter deposit --bank B1 --amount 10.00 --date 2026-04-0" + std::to_string(day) +
                             " --account 4000 --line 4000=10.00 --batch P"}));
  }
  for (const char* write : {"3", "12", "30"}) {
    ServerProcess server(co, 1, write);
    Session s(server);
    SCOPED_TRACE(std::string("killed at write ") + write);
    (void)s.Post("/batches/post", {{"id", "P"}});
    EXPECT_EQ(server.Wait(), -SIGKILL);
    const Result v = Bk(co, "verify");
    EXPECT_EQ(v.status, 0) << v.out;
  }
}

TEST(WebReconcile, EveryTickAnswerCarriesTheFiguresOfReconcileStatus) {
  bktest::TestCompany dir;
  // Runs 1/1, 2/1 and 3/1 posted, 4/1 not.
  const std::string co = MakeCompany(
      dir, {"bank add B2 --balance 0", "enter deposit --bank B1 --amount 100.00 --date 2026-04-02",
            "enter check --bank B1 --amount 50.00 --check 7 --date 2026-04-03",
            "enter deposit --bank B2 --amount 5.00 --date 2026-04-03", "post BKREG",
            "enter deposit --bank B1 --amount 7.00 --date 2026-04-04 --batch LATER",
            "reconcile start B1 --date 2026-04-30 --ending-balance 1050.00"});
  ServerProcess server(co, 1);
  Session s(server);
  const struct {
    const char *bank, *run, *seq, *on;
    int status;
    const char* says;        // in the message
    const char* difference;  // afterwards ("" when there is no reconciliation)
  } cases[] = {
      {"B1", "4", "1", "1", 422, "not posted", "50.00"},    {"B1", "1", "1", "0", 422, "is not cleared", "50.00"},
      {"B1", "1", "1", "1", 200, "", "-50.00"},             {"B1", "1", "1", "1", 422, "cleared already", "-50.00"},
      {"B1", "2", "1", "1", 200, "", "0.00"},               {"B1", "9", "9", "1", 422, "no transaction", "0.00"},
      {"B1", "1", "1", "0", 200, "", "100.00"},             {"B2", "3", "1", "1", 422, "no reconciliation of B2", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.bank) + " " + c.run + "/" + c.seq + " on=" + c.on);
    auto r = server.Client().Post(
        "/reconcile/tick", {{"Cookie", s.cookie}, {"Accept", "application/json"}},
        httplib::Params{{"csrf", s.csrf}, {"bank", c.bank}, {"run", c.run}, {"seq", c.seq}, {"on", c.on}});
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, c.status) << r->body;
    EXPECT_NE(r->get_header_value("Server-Timing").find("tick;dur="), std::string::npos);
    const auto answer = nlohmann::json::parse(r->body);
    const auto& figures = answer["figures"];
    EXPECT_NE(answer["message"].get<std::string>().find(c.says), std::string::npos) << r->body;
    if (*c.difference == '\0') {
      EXPECT_FALSE(figures["in_progress"].get<bool>());
      continue;
    }
    // The figures reconcile status gives.
    const auto row = nlohmann::json::parse(Bk(co, "--format json reconcile status B1").out).at(0);
    char said[64];
    std::snprintf(said, sizeof said, "%.2f ", row["Difference"].get<double>());
    EXPECT_EQ(figures["difference"].get<std::string>() + " " + figures["count"].dump(),
              said + row["Cleared count"].dump());
    EXPECT_EQ(figures["difference"], c.difference);
  }
  EXPECT_EQ(Bk(co, "verify").status, 0);
}

}  // namespace
