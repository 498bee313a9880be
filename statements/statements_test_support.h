// For the statement tests: files written in a temporary folder, and the
// sample statement written as OFX or as CSV by the tests themselves.
#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "statements/statement.h"
#include "tests/support/test_support.h"

namespace sttest {

using bktest::TempDir;

// The bank's number of the sample account (OFX ACCTID).
inline constexpr char kAccountNumber[] = "456";

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

inline bkStatementLine Line(const char* id, int day, const char* amount, long long check = 0, const char* ref = "",
                            const char* memo = "") {
  bkStatementLine l;
  l.id = id;
  l.date = tsDate(2025, 3, day);
  l.amount = tsCurrency::FromText(amount);
  l.check = check;
  l.reference = ref;
  l.memo = memo;
  return l;
}

// March 2025 of bank account B1: two checks, a deposit by its id, a fee and
// interest the register does not know, a deposit reversed by the bank (the
// returned item), and two withdrawals of the same amount on one day.
// Opening 900.00, ending 958.73.
inline std::vector<bkStatementLine> SampleLines() {
  return {
      Line("F101", 5, "-100.00", 101, "", "Check 101"),
      Line("F102", 6, "-250.00", 102, "", "Check 102"),
      Line("FD7", 7, "500.00", 0, "D-7", "Deposit"),
      Line("FDEP9", 10, "75.00", 0, "", "Deposit"),
      Line("FRET9", 12, "-75.00", 0, "", "Returned item"),
      Line("FW1", 15, "-40.00", 0, "", "ATM"),
      Line("FW2", 15, "-40.00", 0, "", "ATM"),
      Line("FFEE", 31, "-12.50", 0, "", "Service fee"),
      Line("FINT", 31, "1.23", 0, "", "Interest"),
  };
}

inline std::string Ymd(const tsDate& d) { return std::to_string(d.Ymd()); }

// An OFX 1.02 (SGML) bank statement of `lines`.
inline std::string OfxText(const std::vector<bkStatementLine>& lines, const tsDate& start, const tsDate& end,
                           const char* ending) {
  std::string s =
      "OFXHEADER:100\nDATA:OFXSGML\nVERSION:102\nSECURITY:NONE\nENCODING:USASCII\nCHARSET:1252\n"
      "COMPRESSION:NONE\nOLDFILEUID:NONE\nNEWFILEUID:NONE\n\n<OFX>\n"
      "<SIGNONMSGSRSV1><SONRS><STATUS><CODE>0<SEVERITY>INFO</STATUS><DTSERVER>" + Ymd(end) +
      "<LANGUAGE>ENG</SONRS></SIGNONMSGSRSV1>\n<BANKMSGSRSV1><STMTTRNRS><TRNUID>1<STATUS><CODE>0<SEVERITY>INFO"
      "</STATUS>\n<STMTRS><CURDEF>USD<BANKACCTFROM><BANKID>123<ACCTID>" + std::string(kAccountNumber) +
      "<ACCTTYPE>CHECKING</BANKACCTFROM>\n"
      "<BANKTRANLIST><DTSTART>" + Ymd(start) + "<DTEND>" + Ymd(end) + "\n";
  for (const auto& l : lines) {
    const bool in = !(l.amount < tsCurrency());
    s += std::string("<STMTTRN><TRNTYPE>") + (l.check ? "CHECK" : in ? "CREDIT" : "DEBIT") + "<DTPOSTED>" +
         Ymd(l.date) + "<TRNAMT>" + tsCurrency(l.amount).Round(2).Format() + "<FITID>" + l.id;
    if (l.check) s += "<CHECKNUM>" + std::to_string(l.check);
    if (!l.reference.empty()) s += "<REFNUM>" + l.reference;
    if (!l.memo.empty()) s += "<NAME>" + l.memo;
    s += "</STMTTRN>\n";
  }
  s += std::string("</BANKTRANLIST>\n<LEDGERBAL><BALAMT>") + ending + "<DTASOF>" + Ymd(end) +
       "</LEDGERBAL>\n</STMTRS></STMTTRNRS></BANKMSGSRSV1>\n</OFX>\n";
  return s;
}

// The same lines as CSV with a header (no ids: the reader makes them), and
// the mapping that reads it.
inline std::string CsvText(const std::vector<bkStatementLine>& lines) {
  std::string s = "Posted,Description,Debit,Credit,Check,Reference\n";
  for (const auto& l : lines) {
    const bool in = !(l.amount < tsCurrency());
    const std::string a = (in ? l.amount : tsCurrency(-l.amount)).Format();
    s += std::to_string(l.date.Month()) + "/" + std::to_string(l.date.Day()) + "/" + std::to_string(l.date.Year()) +
         ",\"" + l.memo + "\"," + (in ? "" : "\"" + a + "\"") + "," + (in ? "\"" + a + "\"" : "") + "," +
         (l.check ? std::to_string(l.check) : "") + "," + l.reference + "\n";
  }
  return s;
}
inline std::string CsvMapping(const char* ending) {
  return std::string("date=Posted;debit=Debit;credit=Credit;check=Check;reference=Reference;memo=Description;"
                     "date_format=mm/dd/yyyy;statement_date=2025-03-31;ending_balance=") + ending;
}

}  // namespace sttest
