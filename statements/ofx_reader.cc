// OFX and QFX statements through libofx.
#include <libofx/libofx.h>

#include <cmath>
#include <ctime>
#include <fstream>
#include <mutex>
#include <sstream>

#include "statements/statement_reader.h"

namespace {

// libofx keeps its message switches in process-wide variables; they are set
// once, before the first parse, to keep its console chatter quiet.
void QuietLibofx() {
  static std::once_flag once;
  std::call_once(once, [] {
    ofx_PARSER_msg = 0;
    ofx_DEBUG_msg = ofx_DEBUG1_msg = ofx_DEBUG2_msg = ofx_DEBUG3_msg = ofx_DEBUG4_msg = ofx_DEBUG5_msg = 0;
    ofx_STATUS_msg = ofx_INFO_msg = ofx_WARNING_msg = ofx_ERROR_msg = 0;
    ofx_show_position = 0;
  });
}

// libofx answers dates as local time (a date without a time at 11:59 or
// so), so the local calendar date is the one the file states.
tsDate LocalDate(time_t t) {
  struct tm tm {};
  if (localtime_r(&t, &tm) == nullptr) return tsDate();
  return tsDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

// libofx gives amounts as binary doubles; the file's text had at most a few
// decimals, so the shortest decimal that reads back as the double is that
// text, and rounding it to cents is exact for any amount of a statement.
tsCurrency Cents(double value) {
  tsCurrency c = tsCurrency::FromDouble(value);
  c.Round(2);
  return c;
}

struct Collect {
  bkStatement* out = nullptr;
  int statements = 0;
  bool ledger = false;
  tsDate ledger_date;
  std::string error;
};

int OnStatement(const OfxStatementData data, void* p) {
  auto* c = static_cast<Collect*>(p);
  ++c->statements;
  if (data.date_start_valid) c->out->start = LocalDate(data.date_start);
  if (data.date_end_valid) c->out->end = LocalDate(data.date_end);
  if (data.ledger_balance_valid && std::isfinite(data.ledger_balance)) {
    c->ledger = true;
    c->out->ending_balance = Cents(data.ledger_balance);
    c->out->has_ending_balance = true;
    if (data.ledger_balance_date_valid) c->ledger_date = LocalDate(data.ledger_balance_date);
  }
  return 0;
}

int OnTransaction(const OfxTransactionData data, void* p) {
  auto* c = static_cast<Collect*>(p);
  bkStatementLine line;
  if (!data.date_posted_valid || !data.amount_valid || !std::isfinite(data.amount)) {
    if (c->error.empty()) {
      c->error = std::string("a statement line has no date or amount") +
                 (data.fi_id_valid ? std::string(" (id ") + data.fi_id + ")" : "");
    }
    return 0;
  }
  line.date = LocalDate(data.date_posted);
  line.amount = Cents(data.amount);
  if (data.fi_id_valid) line.id = data.fi_id;
  if (data.check_number_valid) {
    char* end = nullptr;
    const long long n = std::strtoll(data.check_number, &end, 10);
    if (end != data.check_number && *end == '\0' && n > 0) line.check = n;
  }
  if (data.reference_number_valid) line.reference = data.reference_number;
  if (data.name_valid) line.memo = data.name;
  if (data.memo_valid) line.memo += (line.memo.empty() ? "" : " ") + std::string(data.memo);
  c->out->lines.push_back(std::move(line));
  return 0;
}

// What libofx cannot tell: a file cut short ends without its closing tag.
bool LooksComplete(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read " + path;
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  std::string s = text.str();
  std::string upper;
  upper.reserve(s.size());
  for (char ch : s) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  if (upper.find("<OFX>") == std::string::npos) {
    *error = path + " is not an OFX statement (no <OFX> element)";
    return false;
  }
  const size_t close = upper.rfind("</OFX>");
  if (close == std::string::npos || upper.find_first_not_of(" \t\r\n\x1a", close + 6) != std::string::npos) {
    *error = path + " is cut short or damaged (it does not end with </OFX>)";
    return false;
  }
  return true;
}

}  // namespace

bool bkReadOfxStatement(const std::string& path, bkStatement* out, std::string* error) {
  *out = bkStatement();
  if (!LooksComplete(path, error)) return false;
  QuietLibofx();
  Collect c;
  c.out = out;
  LibofxContextPtr ctx = libofx_get_new_context();
  ofx_set_statement_cb(ctx, OnStatement, &c);
  ofx_set_transaction_cb(ctx, OnTransaction, &c);
  const int rc = libofx_proc_file(ctx, path.c_str(), AUTODETECT);
  libofx_free_context(ctx);
  std::string why;
  if (rc != 0) {
    why = "it could not be parsed to the end (damaged or cut short)";
  } else if (c.statements == 0) {
    why = "it holds no bank statement";
  } else if (c.statements > 1) {
    why = "it holds more than one statement; import them one at a time";
  } else if (!c.error.empty()) {
    why = c.error;
  } else if (!c.ledger) {
    why = "its statement has no ledger balance (LEDGERBAL)";
  }
  if (why.empty() && out->end.IsEmpty()) out->end = c.ledger_date;
  if (why.empty() && out->end.IsEmpty()) why = "its statement has no date (DTEND)";
  if (!why.empty()) {
    *error = path + ": " + why;
    *out = bkStatement();
    return false;
  }
  bkAssignLineIds(*out);
  return true;
}
