// `bkreg import` that can be retried: the real program killed (SIGKILL, at
// random storage writes through BK_TEST_HOOK_KILL_AT_WRITE) while it
// imports, run again until it completes, and the register read back and
// compared with the test's own reading of the file: every line exactly once.
// Then the rules of a retried import: a file imported again enters
// nothing, lines appended enter alone, an identical line of another file is
// skipped, and check numbers and deposits are refused as `enter` refuses
// them.
//
// BK_IMPORT_KILLS sets the number of kills (default 10; `make crash` runs
// many more on a larger file), BK_IMPORT_SEED the seed (default: the time,
// printed).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tools/bkreg/bkreg_test_support.h"

namespace {

using bkregtest::Bk;
using bkregtest::Result;
using bkregtest::Says;

long EnvLong(const char* name, long fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::atol(v) : fallback;
}

// Lines in the import form, as `export` writes them back: checks numbered
// from 5000, deposits with ids, withdrawals and adjustments, and every tenth
// line a bank fee identical to the others of its day, so identical lines
// come several times in one file.
std::vector<std::string> MakeLines(long n, std::mt19937& rng, long first_check) {
  std::vector<std::string> lines;
  for (long i = 0; i < n; ++i) {
    const int day = 1 + static_cast<int>(i % 28);
    char date[16];
    std::snprintf(date, sizeof date, "2026-10-%02d", day);
    const long cents = 100 + static_cast<long>(rng() % 500000);
    char amount[32];
    std::snprintf(amount, sizeof amount, "%ld.%02ld", cents / 100, cents % 100);
    std::string line = date;
    if (i % 10 == 9) {
      line += ",withdrawal,,12.50,Bank fee";
    } else if (i % 4 == 0) {
      line += ",check," + std::to_string(first_check + i) + "," + amount + ",Check " + std::to_string(i);
    } else if (i % 4 == 1) {
      line += ",deposit,D" + std::to_string(first_check + i) + "," + amount + ",Receipts " + std::to_string(i);
    } else if (i % 4 == 2) {
      line += ",withdrawal,," + std::string(amount) + ",Withdrawal " + std::to_string(i);
    } else {
      line += ",adjustment,,-" + std::string(amount) + ",Adjustment " + std::to_string(i);
    }
    lines.push_back(line);
  }
  return lines;
}

void Write(const std::string& path, const std::vector<std::string>& lines) {
  std::ofstream f(path, std::ios::binary);
  f << "date,type,number,amount,description\n";
  for (const std::string& l : lines) f << l << "\n";
}

// The register's lines of `bank` in the import form, counted.
std::map<std::string, int> Register(const std::string& co, const std::string& bank) {
  const Result r = Bk(co, "export " + bank);
  EXPECT_EQ(r.status, 0) << r.out;
  std::map<std::string, int> counted;
  size_t at = 0;
  for (size_t nl; (nl = r.out.find('\n', at)) != std::string::npos; at = nl + 1) {
    std::string line = r.out.substr(at, nl - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line.rfind("date,", 0) == 0) continue;
    ++counted[line];
  }
  return counted;
}

std::map<std::string, int> Counted(const std::vector<std::string>& lines) {
  std::map<std::string, int> counted;
  for (const std::string& l : lines) ++counted[l];
  return counted;
}

std::string Company(bktest::TempDir& dir) {
  const std::string co = dir.Sub("co");
  EXPECT_EQ(Bk(co, "init").status, 0);
  EXPECT_EQ(Bk(co, "bank add A --balance 100000.00").status, 0);
  return co;
}

// Killed at random writes, run again each time: never a line twice, and
// the run that completes leaves every line of the file exactly once.
TEST(BkregImport, EveryLineOnceAfterKillsAtRandomPoints) {
#ifndef BK_TEST_HOOKS
  GTEST_SKIP() << "the kill hook is compiled out of this build";
#endif
  const long kills = EnvLong("BK_IMPORT_KILLS", 10);
  const long n = kills > 10 ? 3000 : 400;
  const unsigned seed = static_cast<unsigned>(
      EnvLong("BK_IMPORT_SEED", std::chrono::system_clock::now().time_since_epoch().count() % 1000000));
  std::printf("seed %u (BK_IMPORT_SEED), %ld kills, %ld lines\n", seed, kills, n);
  std::mt19937 rng(seed);
  bktest::TempDir dir;
  const std::string co = Company(dir);
  const std::vector<std::string> lines = MakeLines(n, rng, 5000);
  const std::string file = dir.Sub("lines.csv");
  Write(file, lines);
  const std::map<std::string, int> model = Counted(lines);
  // Writes of a whole import: about two a line (the transaction, the line
  // remembered) and a few a unit; kill points fall anywhere in them.
  const long writes = 2 * n + 40;
  long killed = 0;
  for (long k = 0; k < kills; ++k) {
    const long at = 1 + static_cast<long>(rng() % writes);
    const long unit = 1 + static_cast<long>(rng() % 60);
    setenv("BK_TEST_HOOK_KILL_AT_WRITE", std::to_string(at).c_str(), 1);
    const Result r = Bk(co, "import A " + file + " --unit " + std::to_string(unit));
    unsetenv("BK_TEST_HOOK_KILL_AT_WRITE");
    // Killed: the shell that ran it answers 128 + SIGKILL.
    const bool was_killed = r.status == 128 + 9 || r.status == -1;
    if (was_killed) ++killed;
    ASSERT_TRUE(was_killed || r.status == 0) << "kill at write " << at << ": " << r.out;
    // Never more of a line than the file holds, nothing that is not in it.
    for (const auto& [line, count] : Register(co, "A")) {
      const auto m = model.find(line);
      ASSERT_TRUE(m != model.end()) << "not a line of the file: " << line << " (kill at write " << at << ")";
      ASSERT_LE(count, m->second) << line << " (kill at write " << at << ", unit " << unit << ")";
    }
  }
  EXPECT_GT(killed, 0);
  ASSERT_TRUE(Says(co, "import A " + file + " --unit 50", 0));
  EXPECT_EQ(Register(co, "A"), model);
  EXPECT_TRUE(Says(co, "verify", 0));
  ASSERT_TRUE(Says(co, "--format csv import A " + file, 0, {"A,0," + std::to_string(n) + ",IMPORT"}));
  EXPECT_EQ(Register(co, "A"), model);
}

// What a retried import does with files that change or repeat, and the
// duplicate rules of `enter`.
TEST(BkregImport, AppendedLinesAloneDuplicatesRefusedLikeEnter) {
  bktest::TempDir dir;
  const std::string co = Company(dir);
  std::mt19937 rng(7);
  std::vector<std::string> lines = MakeLines(30, rng, 100);
  const std::string file = dir.Sub("a.csv");
  Write(file, lines);
  ASSERT_EQ(Bk(co, "import A " + file).status, 0);

  // Lines appended (one of them a fee identical to earlier ones): only they
  // are entered.
  lines.push_back("2026-10-10,withdrawal,,12.50,Bank fee");
  lines.push_back("2026-10-29,deposit,D-NEW,75.00,Late receipts");
  Write(file, lines);
  ASSERT_TRUE(Says(co, "import A " + file, 0, {"Imported 2 transactions", "30 lines imported before were skipped"}));
  EXPECT_EQ(Register(co, "A"), Counted(lines));

  // Another file holding a line identical to one imported: that line is
  // skipped, the new one entered.
  const std::string other = dir.Sub("b.csv");
  Write(other, {lines[2], "2026-10-30,withdrawal,,3.00,Postage"});
  ASSERT_TRUE(Says(co, "import A " + other, 0, {"Imported 1 transactions", "1 lines imported before were skipped"}));

  // A check number or a deposit entered before (by `enter`, or by a line
  // above in the file) is refused as `enter` refuses it, naming the line;
  // --allow-duplicate takes it.
  ASSERT_EQ(Bk(co, "enter check A --amount 5.00 --check 9001 --date 2026-10-05").status, 0);
  struct Case {
    std::vector<std::string> lines;
    int refused_line;
    std::string says;
  } cases[] = {
      {{"2026-10-06,check,9001,5.00,Again"}, 2, "check 9001 was entered before"},
      {{"2026-10-06,check,9002,5.00,One", "2026-10-07,check,9002,6.00,Two"}, 3, "check 9002 was entered before"},
      {{"2026-10-01,deposit,D-NEW,1.00,Same id other day", "2026-10-29,deposit,D-NEW,1.00,Same day"},
       3,
       "deposit 'D-NEW' of 2026-10-29 was entered before"},
  };
  int k = 0;
  for (const Case& c : cases) {
    const std::string path = dir.Sub("dup" + std::to_string(k++) + ".csv");
    Write(path, c.lines);
    const auto before = Register(co, "A");
    EXPECT_TRUE(Says(co, "import A " + path, 1,
                     {"line " + std::to_string(c.refused_line) + ": " + c.says, "--allow-duplicate"}));
    EXPECT_EQ(Register(co, "A"), before) << path;  // one unit: nothing of it stays
    EXPECT_TRUE(Says(co, "import A " + path + " --allow-duplicate", 0, {"imported anyway (--allow-duplicate)"}));
  }
  EXPECT_EQ(Bk(co, "verify").status, 0);
}

}  // namespace
