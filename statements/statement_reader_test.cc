// Reading statements: CSV mappings, number styles, encodings and their
// refusals; OFX amounts, dates and text exact or refused naming the line,
// checked against libofx where it reads the same file; damaged, cut and
// endless files; pieces cut anywhere; line ids.
#include <gtest/gtest.h>
#include <libofx/libofx.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>

#include "statements/statement_reader.h"
#include "statements/statements_test_support.h"

namespace {

using sttest::TempDir;
using sttest::WriteFile;

// "date amount check reference|memo" of a line.
std::string Describe(const bkStatementLine& l) {
  return std::to_string(l.date.Ymd()) + " " + l.amount.Format() + " " + std::to_string(l.check) + " " + l.reference +
         "|" + l.memo;
}

std::vector<std::string> Described(const bkStatement& s) {
  std::vector<std::string> got;
  for (const auto& l : s.lines) got.push_back(Describe(l));
  return got;
}

struct CsvCase {
  const char* name;
  const char* mapping;
  std::string text;
  // Each line Described, or none when refused with `error` in the message.
  std::vector<std::string> lines;
  const char* error = "";
};

TEST(CsvStatement, MappingsStylesEncodingsAndRefusals) {
  const std::string kTail = ";statement_date=2025-03-31;ending_balance=1000";
  const CsvCase cases[] = {
      {"header names, quoted fields, thousands separated",
       "date=Date;amount=Amount;check=Check No;reference=Ref;memo=Description;thousands=,",
       "Date,Description,Amount,Check No,Ref\n"
       "2025-03-05,\"Check, paid\",-100.00,101,\n"
       "2025-03-07,\"Deposit \"\"D-7\"\"\",\"1,500.25\",,D-7\n",
       {"20250305 -100.00 101 |Check, paid", "20250307 1500.25 0 D-7|Deposit \"D-7\""}},
      {"numbered columns, debit and credit, parentheses",
       "date=1;debit=2;credit=3;separator=tab;date_format=dd/mm/yyyy",
       "31/03/2025\t12.50\t\n31/03/2025\t\t1.23\n01/03/2025\t(3.00)\t\n",
       {"20250331 -12.50 0 |", "20250331 1.23 0 |", "20250301 -3.00 0 |"}},
      {"blank rows skipped, CRLF", "date=1;amount=2;date_format=yyyymmdd", "20250310,5\r\n\r\n,\r\n20250311,-5\r\n",
       {"20250310 5.00 0 |", "20250311 -5.00 0 |"}},
      {"a byte-order mark before the header", "date=Date;amount=Amount", "\xEF\xBB\xBF" "Date,Amount\n2025-03-01,2\n",
       {"20250301 2.00 0 |"}},
      {"decimal comma and thousands point declared", "date=1;amount=2;decimal=,;thousands=.;separator=semicolon",
       "2025-03-01;-1.234,5\n2025-03-02;12,50\n", {"20250301 -1234.50 0 |", "20250302 12.50 0 |"}},
      {"a decimal comma not declared", "date=1;amount=2", "2025-03-01,\"-12,50\"\n", {},
       "line 1: the amount '-12,50' holds a decimal mark or thousands separator the mapping does not declare"},
      {"commas inside a number", "date=1;amount=2;thousands=,", "2025-03-01,\"1,2,3\"\n", {}, "line 1: the amount"},
      {"an exponent", "date=1;amount=2", "2025-03-01,1e3\n", {}, "'1e3' is not an amount"},
      {"an empty amount", "date=1;amount=2", "2025-03-01,\n", {}, "the amount is empty"},
      {"Latin-1 detected", "date=1;amount=2;memo=3", "2025-03-01,1,Caf\xe9 cr\xe8me\n",
       {"20250301 1.00 0 |Caf\xc3\xa9 cr\xc3\xa8me"}},
      {"UTF-8 declared, Latin-1 given", "date=1;amount=2;memo=3;encoding=utf-8", "2025-03-01,1,x\n2025-03-02,1,Caf\xe9\n",
       {}, "line 2: the memo is not valid text"},
      {"an escape sequence in a memo", "date=1;amount=2;memo=3", "2025-03-01,1,\"\x1b]0;owned\x07red\"\n", {},
       "line 1: the memo holds a control character"},
      {"line breaks and tabs in a memo become blanks", "date=1;amount=2;memo=3", "2025-03-01,1,\"two\r\nlines\tand\"\n",
       {"20250301 1.00 0 |two  lines and"}},
      {"a long memo cut by characters", "date=1;amount=2;memo=3", "2025-03-01,1," + std::string(300, 'x') + "\xc3\xa9\n",
       {"20250301 1.00 0 |" + std::string(255, 'x')}},
      {"one account throughout", "date=1;amount=2;account=3", "2025-03-01,1,99-1\n2025-03-02,2,99-1\n",
       {"20250301 1.00 0 |", "20250302 2.00 0 |"}},
      {"two accounts", "date=1;amount=2;account=3", "2025-03-01,1,99-1\n2025-03-02,2,99-2\n", {},
       "line 2: the account '99-2' is not '99-1' of line 1"},
      {"a bad date names its row", "date=1;amount=2", "2025-03-01,1\n2025-02-30,1\n", {}, "line 2"},
      {"trailing text after a date", "date=1;amount=2", "2025-03-01x,1\n", {}, "is not a date"},
      {"more decimals than cents", "date=1;amount=2", "2025-03-01,1.005\n", {}, "more than two decimals"},
      {"an unknown column", "date=Date;amount=Total", "Date,Amount\n2025-03-01,1\n", {}, "no column 'Total'"},
      {"a quote left open names where it opened", "date=1;amount=2", "2025-03-01,1\n2025-03-02,\"1\n\n", {},
       "line 2: a quoted field is not closed"},
      {"no amount column", "date=1", "2025-03-01,1\n", {}, "no amount column"},
      {"a bad check number", "date=1;amount=2;check=3", "2025-03-01,-1,12a\n", {}, "not a check number"},
      {"two lines of one id", "date=1;amount=2;id=3", "2025-03-01,1,A\n2025-03-02,1,B\n2025-03-03,1,A\n", {},
       "lines 1 and 3 have the same id 'A'"},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bkCsvMapping mapping;
    std::string error;
    ASSERT_TRUE(mapping.ParseText(std::string(c.mapping) + kTail, &error)) << error;
    const std::string path = dir.path() + "/s.csv";
    WriteFile(path, c.text);
    bkStatement s;
    const bool ok = bkReadCsvStatement(path, mapping, &s, &error);
    if (c.lines.empty()) {
      EXPECT_FALSE(ok);
      EXPECT_NE(error.find(c.error), std::string::npos) << error;
      EXPECT_TRUE(s.lines.empty());
      continue;
    }
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(s.end, tsDate(2025, 3, 31));
    EXPECT_EQ(s.ending_balance, tsCurrency::FromText("1000"));
    EXPECT_EQ(Described(s), c.lines);
  }
}

TEST(CsvStatement, MappingFileAndItsErrors) {
  TempDir dir;
  // Written by an editor that puts a byte-order mark first.
  WriteFile(dir.path() + "/m.txt", "\xEF\xBB\xBF" "date = 1\n# the bank's export\namount = 2\nstatement_date = 2025-03-31\n"
                                   "decimal = ,\nthousands = .\nending_balance = -1.002,50\n");
  bkCsvMapping mapping;
  std::string error;
  ASSERT_TRUE(mapping.ReadFile(dir.path() + "/m.txt", &error)) << error;
  WriteFile(dir.path() + "/s.csv", "2025-03-01,\"-2,50\"\n");
  bkStatement s;
  ASSERT_TRUE(bkReadCsvStatement(dir.path() + "/s.csv", mapping, &s, &error)) << error;
  EXPECT_EQ(s.ending_balance, tsCurrency::FromText("-1002.50"));

  WriteFile(dir.path() + "/bad.txt", "date = 1\ncolour = red\n");
  EXPECT_FALSE(mapping.ReadFile(dir.path() + "/bad.txt", &error));
  EXPECT_NE(error.find("bad.txt:2"), std::string::npos) << error;
  for (const char* bad : {"date=1;date_format=yy/mm", "date=99999999999", "amount=0", "memo=1001", "decimal=;",
                          "thousands=x", "encoding=ebcdic"}) {
    EXPECT_FALSE(bkCsvMapping().ParseText(bad, &error)) << bad;
  }
  // The ending balance follows the amount rules: "1,000.00" needs its style.
  bkCsvMapping comma;
  ASSERT_TRUE(comma.ParseText("date=1;amount=2;statement_date=2025-03-31;ending_balance=1,000.00", &error));
  EXPECT_FALSE(bkReadCsvStatement(dir.path() + "/s.csv", comma, &s, &error));
  EXPECT_NE(error.find("ending balance"), std::string::npos) << error;
  // Without the statement's date and ending balance nothing is read.
  bkCsvMapping bare;
  ASSERT_TRUE(bare.ParseText("date=1;amount=2", &error));
  EXPECT_FALSE(bkReadCsvStatement(dir.path() + "/s.csv", bare, &s, &error));
}

TEST(StatementLineIds, StableAndDistinctForIdenticalLines) {
  bkStatement s;
  bkStatementLine fee;
  fee.date = tsDate(2025, 3, 31);
  fee.amount = tsCurrency::FromText("-40.00");
  s.lines.push_back(fee);
  s.lines.push_back(fee);
  bkStatementLine given = fee;
  given.id = "BANK-1";
  s.lines.push_back(given);
  bkStatementLine long_id = fee;
  long_id.id = std::string(kStatementLineIdWidth + 1, 'x');
  s.lines.push_back(long_id);
  bkStatement again = s;
  bkAssignLineIds(s);
  bkAssignLineIds(again);
  EXPECT_NE(s.lines[0].id, s.lines[1].id);
  EXPECT_EQ(s.lines[2].id, "BANK-1");
  EXPECT_LE(s.lines[3].id.size(), kStatementLineIdWidth);
  for (size_t i = 0; i < s.lines.size(); ++i) EXPECT_EQ(s.lines[i].id, again.lines[i].id);
  // The ids of earlier imports stay what they were: "#" and the 64-bit
  // FNV-1a hash of the content and its count of identical lines before it.
  EXPECT_EQ(s.lines[0].id, "#69aac3214ae725ec");
  bkAssignLineIds(s);
  EXPECT_EQ(s.lines[0].id, "#69aac3214ae725ec") << "assigned once";
}

// The sample statement as libofx reads it: amounts and dates per line.
std::vector<std::pair<double, time_t>> ReadByLibofx(const std::string& path) {
  std::vector<std::pair<double, time_t>> lines;
  LibofxContextPtr ctx = libofx_get_new_context();
  ofx_set_transaction_cb(
      ctx,
      [](const OfxTransactionData d, void* p) {
        static_cast<std::vector<std::pair<double, time_t>>*>(p)->emplace_back(d.amount, d.date_posted);
        return 0;
      },
      &lines);
  ofx_PARSER_msg = ofx_STATUS_msg = ofx_INFO_msg = ofx_WARNING_msg = ofx_ERROR_msg = 0;
  (void)libofx_proc_file(ctx, path.c_str(), AUTODETECT);
  libofx_free_context(ctx);
  return lines;
}

TEST(OfxStatement, ReadsLinesBalanceDatesAndAccountAsLibofxDoes) {
  TempDir dir;
  const std::string path = dir.path() + "/s.ofx";
  WriteFile(path, sttest::OfxText(sttest::SampleLines(), tsDate(2025, 3, 1), tsDate(2025, 3, 31), "958.73"));
  bkStatement s;
  std::string error;
  ASSERT_TRUE(bkReadOfxStatement(path, &s, &error)) << error;
  EXPECT_EQ(std::to_string(s.start.Ymd()) + " " + std::to_string(s.end.Ymd()) + " " + s.ending_balance.Format() +
                " " + s.account + " " + s.bank_id,
            "20250301 20250331 958.73 456 123");
  bkStatement want;
  for (const auto& l : sttest::SampleLines()) want.lines.push_back(l);
  ASSERT_EQ(Described(s), Described(want));
  const auto libofx = ReadByLibofx(path);
  ASSERT_EQ(libofx.size(), want.lines.size());
  for (size_t i = 0; i < s.lines.size(); ++i) {
    SCOPED_TRACE(i);
    const bkStatementLine l = s.lines[i];
    EXPECT_EQ(l.id, want.lines[i].id);
    EXPECT_EQ(std::llround(libofx[i].first * 100), std::llround(std::stod(l.amount.Format()) * 100));
    struct tm tm {};
    localtime_r(&libofx[i].second, &tm);
    EXPECT_EQ((tm.tm_year + 1900) * 10000 + (tm.tm_mon + 1) * 100 + tm.tm_mday, l.date.Ymd());
  }
}

// A one-line statement whose transaction has `field` set to `value` (or the
// ledger balance when `field` is BALAMT); its STMTTRN starts on line 14 and
// each element has a line of its own.
std::string OneLine(const std::string& field, const std::string& value) {
  auto element = [&](const std::string& name, const std::string& v) {
    return "<" + name + ">" + (name == field ? value : v) + "\n";
  };
  return "OFXHEADER:100\nDATA:OFXSGML\nVERSION:102\nSECURITY:NONE\nENCODING:USASCII\nCHARSET:1252\n"
         "COMPRESSION:NONE\nOLDFILEUID:NONE\nNEWFILEUID:NONE\n\n<OFX>\n<BANKMSGSRSV1><STMTTRNRS><STMTRS>"
         "<BANKACCTFROM><BANKID>1<ACCTID>456</BANKACCTFROM>\n<BANKTRANLIST><DTSTART>20260401<DTEND>20260430\n"
         "<STMTTRN>\n" +  // line 14
         element("TRNTYPE", "DEBIT") + element("DTPOSTED", "20260405") + element("TRNAMT", "-12.50") +
         element("FITID", "F1") + element("NAME", "Shop") + "</STMTTRN>\n</BANKTRANLIST>\n<LEDGERBAL>" +
         element("BALAMT", "100.00") + "<DTASOF>20260430</LEDGERBAL>\n</STMTRS></STMTTRNRS></BANKMSGSRSV1>\n</OFX>\n";
}

TEST(OfxStatement, AmountsDatesAndTextExactOrRefusedNamingTheLine) {
  // Lines: TRNTYPE 15, DTPOSTED 16, TRNAMT 17, FITID 18, NAME 19, BALAMT 22.
  const struct {
    const char* field;
    std::string value;
    const char* want;  // "date amount|memo", or the refusal
    bool refused;
  } cases[] = {
      {"TRNAMT", "1,000.00", "line 17: TRNAMT '1,000.00' holds a thousands separator", true},
      {"TRNAMT", "1e3", "line 17: TRNAMT '1e3' is not an amount", true},
      {"TRNAMT", "", "line 17: TRNAMT is empty", true},
      {"TRNAMT", "-0.005", "line 17: TRNAMT '-0.005' has more than two decimals", true},
      {"TRNAMT", "NaN", "is not an amount", true},
      {"TRNAMT", "12,50", "20260405 12.50|Shop", false},
      {"TRNAMT", "+3", "20260405 3.00|Shop", false},
      {"BALAMT", "1307.505", "line 22: BALAMT '1307.505' has more than two decimals", true},
      {"DTPOSTED", "", "line 16: DTPOSTED '' is not a date", true},
      {"DTPOSTED", "20261345", "line 16: DTPOSTED '20261345' is not a date", true},
      {"DTPOSTED", "2026043", "is not a date", true},
      {"DTPOSTED", "20260430200000[-5:EST]", "20260430 -12.50|Shop", false},
      {"DTPOSTED", "20260430235959.999[+14:LINT]", "20260430 -12.50|Shop", false},
      {"DTPOSTED", "202604300000[+5.30:IST]", "20260430 -12.50|Shop", false},
      {"DTPOSTED", "20260430250000", "is not a date", true},
      {"DTPOSTED", "20260430[-5:EST", "is not a date", true},
      {"NAME", "Caf\xe9 &amp; Bar &#8364;", "20260405 -12.50|Caf\xc3\xa9 & Bar \xe2\x82\xac", false},
      {"NAME", "AT&T", "20260405 -12.50|AT&T", false},
      {"NAME", "\x1b[2Jwiped", "line 14: the memo holds a control character", true},
      {"NAME", "bell&#7;", "the memo holds a control character", true},
  };
  // The bank's calendar date, whatever the machine's zone.
  const char* old_tz = getenv("TZ");
  const std::string saved = old_tz ? old_tz : "";
  TempDir dir;
  for (const char* zone : {"Pacific/Kiritimati", "Pacific/Pago_Pago", "UTC"}) {
    setenv("TZ", zone, 1);
    tzset();
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(zone) + " " + c.field + "=" + c.value);
      const std::string path = dir.path() + "/s.ofx";
      WriteFile(path, OneLine(c.field, c.value));
      bkStatement s;
      std::string error;
      const bool ok = bkReadOfxStatement(path, &s, &error);
      EXPECT_EQ(ok, !c.refused) << error;
      if (c.refused) {
        EXPECT_NE(error.find(c.want), std::string::npos) << error;
      } else if (ok) {
        ASSERT_EQ(s.lines.size(), 1u);
        const bkStatementLine l = s.lines[0];
        EXPECT_EQ(std::to_string(l.date.Ymd()) + " " + l.amount.Format() + "|" + l.memo, c.want);
      }
    }
  }
  if (old_tz) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

TEST(OfxStatement, DamagedCutOrDoubledFilesAreRefused) {
  TempDir dir;
  const std::string good = sttest::OfxText(sttest::SampleLines(), tsDate(2025, 3, 1), tsDate(2025, 3, 31), "958.73");
  const size_t list = good.find("<BANKTRANLIST>");
  const size_t body = good.find("<OFX>");
  // `good` with each (from, to) replaced in turn.
  auto replaced = [&](std::initializer_list<std::pair<std::string, std::string>> edits) {
    std::string t = good;
    for (const auto& [from, to] : edits) t.replace(t.find(from), from.size(), to);
    return t;
  };
  const struct {
    const char* name;
    std::string text;
    const char* error;
  } cases[] = {
      {"cut in the middle", good.substr(0, good.size() / 2), "cut short or damaged"},
      {"cut before the closing tag", good.substr(0, good.rfind("</OFX>")), "cut short or damaged"},
      {"cut inside a line", good.substr(0, list + 60), "cut short or damaged"},
      {"no ledger balance", replaced({{"<LEDGERBAL>", "<X>"}, {"</LEDGERBAL>", "</X>"}}), "no ledger balance"},
      {"not OFX at all", "Date,Amount\n2025-03-01,1\n", "not an OFX statement"},
      {"empty", "", "not an OFX statement"},
      {"garbage inside", replaced({{"<BANKTRANLIST>", "<BANKTRANLIST><<<>>>\x01\x02"}}), "damaged"},
      {"two statements after each other", good + good.substr(body), "text follows </OFX>"},
      {"two statements in one", replaced({{"</STMTTRNRS>", "</STMTTRNRS><STMTTRNRS><STMTRS></STMTRS></STMTTRNRS>"}}),
       "more than one statement"},
      {"an end tag closing another", replaced({{"</BANKTRANLIST>", "</STMTRS>"}}), "damaged"},
      {"text after the end", good + "junk", "text follows </OFX>"},
      {"no account", replaced({{"<ACCTID>456", ""}}), "does not name its account"},
      {"duplicated ids", replaced({{"<FITID>F102", "<FITID>F101"}}), "have the same id 'F101'"},
      {"a transaction without its amount", replaced({{"<TRNAMT>-250.00", ""}}), "without its amount"},
      {"an encoding not read", replaced({{"CHARSET:1252", "CHARSET:932"}}), "encoding this program does not read"},
      {"UTF-8 declared, Latin-1 given",
       replaced({{"ENCODING:USASCII", "ENCODING:UTF-8"}, {"Service fee", "Service f\xe9\x65"}}),
       "not valid text in the file's encoding"},
      {"a header of something else", "HELLO WORLD\n<OFX></OFX>", "not an OFX statement"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.path() + "/bad.ofx";
    WriteFile(path, c.text);
    bkStatement s;
    std::string error;
    EXPECT_FALSE(bkReadOfxStatement(path, &s, &error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_TRUE(s.lines.empty());
  }
  bkStatement s;
  std::string error;
  EXPECT_FALSE(bkReadOfxStatement(dir.path() + "/missing.ofx", &s, &error));
  // OFX 2 (XML) with its declaration, a comment and end tags everywhere.
  std::string xml = good.substr(body);
  xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<?OFX OFXHEADER=\"200\" VERSION=\"211\"?>\n<!-- x -->\n" + xml;
  for (const char* e : {"DTPOSTED", "TRNAMT", "FITID", "NAME", "CHECKNUM", "REFNUM"}) {
    const std::string open = std::string("<") + e + ">";
    for (size_t at = xml.find(open); at != std::string::npos; at = xml.find(open, at + 1)) {
      const size_t end = xml.find('<', at + open.size());
      xml.insert(end, std::string("</") + e + ">");
    }
  }
  WriteFile(dir.path() + "/s.ofx", xml);
  ASSERT_TRUE(bkReadOfxStatement(dir.path() + "/s.ofx", &s, &error)) << error;
  EXPECT_EQ(s.lines.size(), sttest::SampleLines().size());
}

// The same statement whatever pieces the file is read in.
TEST(StatementReading, PiecesCutAnywhereGiveTheSameStatement) {
  const std::string ofx =
      sttest::OfxText(sttest::SampleLines(), tsDate(2025, 3, 1), tsDate(2025, 3, 31), "958.73") + "\n";
  const std::string csv = "\xEF\xBB\xBF" "Date,Amount,Memo,Id\r\n2025-03-01,\"1,50\",\"Caf\xc3\xa9, \"\"x\"\"\r\nnext\",A\r\n"
                          "2025-03-02,-2,\xe2\x82\xac uro,B";
  bkCsvMapping mapping;
  std::string error;
  ASSERT_TRUE(mapping.ParseText(
      "date=Date;amount=Amount;memo=Memo;id=Id;decimal=,;statement_date=2025-03-31;ending_balance=0", &error));
  auto read = [&](bool is_ofx, size_t piece, bkStatement* out) {
    auto p = is_ofx ? bkStatementParser::Ofx() : bkStatementParser::Csv(mapping);
    const std::string& text = is_ofx ? ofx : csv;
    for (size_t at = 0; at < text.size(); at += piece) (void)p->Feed(std::string_view(text).substr(at, piece));
    return p->Finish(out, &error);
  };
  for (bool is_ofx : {true, false}) {
    bkStatement whole;
    ASSERT_TRUE(read(is_ofx, std::string::npos, &whole)) << error;
    ASSERT_FALSE(whole.lines.empty());
    for (size_t piece = 1; piece <= 13; ++piece) {
      SCOPED_TRACE(std::to_string(piece) + (is_ofx ? " ofx" : " csv"));
      bkStatement s;
      ASSERT_TRUE(read(is_ofx, piece, &s)) << error;
      EXPECT_EQ(Described(s), Described(whole));
      for (size_t i = 0; i < s.lines.size(); ++i) EXPECT_EQ(s.lines[i].id, whole.lines[i].id);
    }
    if (!is_ofx) {
      EXPECT_EQ(Described(whole), (std::vector<std::string>{"20250301 1.50 0 |Caf\xc3\xa9, \"x\"  next",
                                                            "20250302 -2.00 0 |\xe2\x82\xac uro"}));
    }
  }
}

// Files that are not statements to read whole: devices, pipes, folders,
// files beyond the size or line limits; and a statement of 200,000 lines.
TEST(StatementReading, BoundedWhateverTheFileIs) {
  TempDir dir;
  bkCsvMapping mapping;
  std::string error;
  ASSERT_TRUE(mapping.ParseText("date=1;amount=2;statement_date=2025-03-31;ending_balance=0", &error));
  const std::string fifo = dir.path() + "/pipe.csv";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string big = dir.path() + "/big.csv";
  {
    std::ofstream out(big);
  }
  ASSERT_EQ(truncate(big.c_str(), static_cast<off_t>(kStatementFileLimit) + 1), 0);
  const struct {
    std::string path;
    const char* error;
  } cases[] = {
      {"/dev/zero", "not a regular file"},
      {fifo, "not a regular file"},
      {dir.path(), "is a folder"},
      {big, "larger than a statement may be"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    bkStatement s;
    EXPECT_FALSE(bkReadCsvStatement(c.path, mapping, &s, &error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_FALSE(bkReadOfxStatement(c.path, &s, &error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
  // One line more than a statement may hold.
  {
    std::ofstream out(dir.path() + "/many.csv");
    for (size_t i = 0; i <= kStatementLineLimit; ++i) out << "2025-03-01,1\n";
  }
  bkStatement s;
  EXPECT_FALSE(bkReadCsvStatement(dir.path() + "/many.csv", mapping, &s, &error));
  EXPECT_NE(error.find("more than " + std::to_string(kStatementLineLimit) + " lines"), std::string::npos) << error;
  // 200,000 lines, read whole and right.
  std::vector<bkStatementLine> lines;
  for (int i = 0; i < 200000; ++i) {
    lines.push_back(sttest::Line(("F" + std::to_string(i)).c_str(), 1 + i % 28,
                                 (std::to_string(-(i % 5000)) + "." + std::to_string(10 + i % 90)).c_str()));
  }
  WriteFile(dir.path() + "/long.ofx", sttest::OfxText(lines, tsDate(2025, 3, 1), tsDate(2025, 3, 31), "1.00"));
  ASSERT_TRUE(bkReadOfxStatement(dir.path() + "/long.ofx", &s, &error)) << error;
  ASSERT_EQ(s.lines.size(), 200000u);
  EXPECT_EQ(s.lines[199999].amount, tsCurrency::FromText("-4999.29"));
  EXPECT_EQ(s.lines[199999].id, "F199999");
}

}  // namespace
