// CSV statements with a column mapping, read row by row in one pass over
// pieces of the file: only the lines read are kept.
//
// Rows: RFC 4180 (a quoted field may hold the separator, line breaks and
// doubled quotes); a carriage return outside quotes is dropped; rows whose
// fields are all blank are skipped. The first row that is not blank is the
// header when the mapping names a column by its text. A field longer than
// 64 KiB, or a row of more than kCsvColumnLimit fields, refuses the file.
#include <fstream>
#include <sstream>
#include <vector>

#include "statements/statement_reader.h"

namespace {

constexpr size_t kFieldLimit = 0xFFFF;

std::string Trim(std::string_view s) {
  const size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string_view::npos) return "";
  const size_t e = s.find_last_not_of(" \t\r\n");
  return std::string(s.substr(b, e - b + 1));
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Shown in a message: at most 40 bytes, controls as "?".
std::string Shown(std::string_view t) {
  std::string s = "'";
  for (unsigned char c : t.substr(0, 40)) s += c < 0x20 || c == 0x7f ? '?' : static_cast<char>(c);
  return s + (t.size() > 40 ? "...'" : "'");
}

// An amount of the mapping's style, or in parentheses for a negative one:
// "" or what is wrong with it.
std::string ReadAmount(const std::string& text, const tsNumberStyle& style, tsCurrency* out) {
  std::string t = Trim(text);
  bool negative = false;
  if (t.size() >= 2 && t.front() == '(' && t.back() == ')') {
    negative = true;
    t = Trim(std::string_view(t).substr(1, t.size() - 2));
    if (!t.empty() && (t[0] == '-' || t[0] == '+')) return Shown(text) + " is not an amount";
  }
  tsCurrency c;
  switch (tsReadAmount(t, &c, style)) {
    case tsAmountProblem::kNone:
      *out = negative ? tsCurrency(-c) : c;
      return "";
    case tsAmountProblem::kEmpty: return "is empty";
    case tsAmountProblem::kSeparator:
      return Shown(text) + " holds a decimal mark or thousands separator the mapping does not declare (say "
                           "how amounts are written, e.g. decimal=, thousands=.)";
    case tsAmountProblem::kNotAnAmount: return Shown(text) + " is not an amount";
    case tsAmountProblem::kMoreThanCents: return Shown(text) + " has more than two decimals (amounts are not rounded)";
    case tsAmountProblem::kTooLarge: return Shown(text) + " is too large (at most 13 digits before the point)";
  }
  return Shown(text) + " is not an amount";
}

bool IsColumnNumber(const std::string& c) { return !c.empty() && c.find_first_not_of("0123456789") == std::string::npos; }

class CsvParser : public bkStatementParser {
 public:
  explicit CsvParser(const bkCsvMapping& mapping) : m_(mapping) {}
  bool Feed(std::string_view piece) override;
  bool Finish(bkStatement* out, std::string* error) override;

 private:
  enum class Field { kStart, kPlain, kQuoted, kQuoteInQuoted };
  enum Column { kDate, kAmount, kDebit, kCredit, kId, kCheck, kRef, kMemo, kAccount, kColumns };

  bool Fail(int line, const std::string& why) {
    if (!failed_) error_ = (line > 0 ? "line " + std::to_string(line) + ": " : "") + why;
    failed_ = true;
    return false;
  }
  bool Begin();
  bool Byte(char c);
  bool FlushBom();
  bool EndField();
  bool EndRow();
  bool Header();
  bool Row();

  const bkCsvMapping m_;
  bool begun_ = false, failed_ = false, by_name_ = false, header_done_ = false;
  std::string error_;
  bool bom_pending_ = true;
  std::string bom_;  // the first bytes, until it is known whether they are a byte-order mark
  Field state_ = Field::kStart;
  std::string field_;
  std::vector<std::string> row_;
  bool any_ = false;  // the row has a separator, a quote or a character
  int line_ = 1, row_line_ = 1, quote_line_ = 0;
  int columns_[kColumns];
  int account_line_ = 0;
  bkStatement st_;
};

bool CsvParser::Begin() {
  begun_ = true;
  auto fail = [&](const std::string& why) { return Fail(0, why); };
  if (m_.date.empty()) return fail("the mapping names no date column");
  if (m_.amount.empty() && (m_.debit.empty() || m_.credit.empty())) {
    return fail("the mapping names no amount column (amount, or debit and credit)");
  }
  if (!tsReadDate(m_.statement_date, tsDateLayout::kYmdDashes, &st_.end)) {
    return fail("the statement date (statement_date, yyyy-mm-dd) is missing or not a date");
  }
  if (m_.ending_balance.empty()) return fail("the ending balance (ending_balance) is missing");
  const std::string why = ReadAmount(m_.ending_balance, m_.number_style, &st_.ending_balance);
  if (!why.empty()) return fail("the ending balance (ending_balance) " + why);
  st_.has_ending_balance = true;
  const std::string* names[kColumns] = {&m_.date,  &m_.amount,    &m_.debit, &m_.credit, &m_.id,
                                        &m_.check, &m_.reference, &m_.memo,  &m_.account};
  for (int c = 0; c < kColumns; ++c) {
    columns_[c] = -1;
    if (names[c]->empty()) continue;
    if (IsColumnNumber(*names[c])) {
      columns_[c] = std::stoi(*names[c]) - 1;  // 1 to kCsvColumnLimit (bkCsvMapping::Set)
    } else {
      by_name_ = true;
    }
  }
  return true;
}

bool CsvParser::Feed(std::string_view piece) {
  if (!begun_ && !Begin()) return false;
  if (failed_) return false;
  for (char c : piece) {
    if (bom_pending_) {
      // A UTF-8 byte-order mark at the very start is skipped.
      static constexpr std::string_view kBom = "\xEF\xBB\xBF";
      bom_ += c;
      if (kBom.substr(0, bom_.size()) == bom_) {
        if (bom_.size() == kBom.size()) bom_pending_ = false;
        continue;
      }
      if (!FlushBom()) return false;
      continue;
    }
    if (!Byte(c)) return false;
  }
  return true;
}

// The first bytes held while they could be a byte-order mark, and are not.
bool CsvParser::FlushBom() {
  bom_pending_ = false;
  for (char h : bom_) {
    if (!Byte(h)) return false;
  }
  return true;
}

bool CsvParser::Byte(char c) {
  switch (state_) {
    case Field::kQuoteInQuoted:
      if (c == '"') {  // a doubled quote
        field_ += '"';
        state_ = Field::kQuoted;
        return true;
      }
      state_ = Field::kPlain;
      [[fallthrough]];
    case Field::kStart:
    case Field::kPlain:
      if (c == '"') {
        state_ = Field::kQuoted;
        quote_line_ = line_;
        any_ = true;
      } else if (c == m_.separator) {
        any_ = true;
        return EndField();
      } else if (c == '\n') {
        ++line_;
        if (!EndField()) return false;
        return EndRow();
      } else if (c != '\r') {
        if (field_.size() >= kFieldLimit) return Fail(row_line_, "a field is longer than 64 KiB");
        field_ += c;
        any_ = true;
        state_ = Field::kPlain;
      }
      return true;
    case Field::kQuoted:
      if (c == '"') {
        state_ = Field::kQuoteInQuoted;
        return true;
      }
      if (c == '\n') ++line_;
      if (field_.size() >= kFieldLimit) return Fail(quote_line_, "a field is longer than 64 KiB");
      field_ += c;
      return true;
  }
  return true;
}

bool CsvParser::EndField() {
  if (row_.size() >= static_cast<size_t>(kCsvColumnLimit)) {
    return Fail(row_line_, "a row of more than " + std::to_string(kCsvColumnLimit) + " fields");
  }
  row_.push_back(std::move(field_));
  field_.clear();
  state_ = Field::kStart;
  return true;
}

bool CsvParser::EndRow() {
  bool blank = true;
  for (const auto& f : row_) blank = blank && Trim(f).empty();
  bool ok = true;
  if (!blank) ok = by_name_ && !header_done_ ? Header() : Row();
  row_.clear();
  any_ = false;
  row_line_ = line_;
  return ok;
}

bool CsvParser::Header() {
  header_done_ = true;
  const std::string* names[kColumns] = {&m_.date,  &m_.amount,    &m_.debit, &m_.credit, &m_.id,
                                        &m_.check, &m_.reference, &m_.memo,  &m_.account};
  for (int c = 0; c < kColumns; ++c) {
    if (names[c]->empty() || IsColumnNumber(*names[c])) continue;
    for (size_t i = 0; i < row_.size(); ++i) {
      if (Lower(Trim(row_[i])) == Lower(*names[c])) columns_[c] = static_cast<int>(i);
    }
    if (columns_[c] < 0) return Fail(row_line_, "the header has no column " + Shown(*names[c]));
  }
  return true;
}

bool CsvParser::Row() {
  const int at = row_line_;
  auto field = [&](Column c) -> const std::string& {
    static const std::string kNone;
    const int i = columns_[c];
    return i >= 0 && i < static_cast<int>(row_.size()) ? row_[i] : kNone;
  };
  auto text = [&](Column c, const char* what, std::string* out) {
    const std::string raw = Trim(field(c));
    if (!bkDecodeText(raw, m_.encoding, out)) {
      return Fail(at, std::string("the ") + what + " is not valid text in the mapping's encoding");
    }
    return true;
  };
  if (st_.lines.size() >= kStatementLineLimit) {
    return Fail(at, "the statement holds more than " + std::to_string(kStatementLineLimit) + " lines");
  }
  bkStatementLine line;
  line.source_line = at;
  if (!tsReadDate(field(kDate), m_.date_layout, &line.date)) {
    return Fail(at, Shown(field(kDate)) + " is not a date (" + tsDateLayoutName(m_.date_layout) + ")");
  }
  if (columns_[kAmount] >= 0) {
    const std::string why = ReadAmount(field(kAmount), m_.number_style, &line.amount);
    if (!why.empty()) return Fail(at, "the amount " + why);
  } else {
    tsCurrency debit, credit;
    const std::string d = Trim(field(kDebit)), c = Trim(field(kCredit));
    if (d.empty() && c.empty()) return Fail(at, "no debit or credit amount");
    std::string why;
    if (!d.empty()) why = ReadAmount(d, m_.number_style, &debit);
    if (!why.empty()) return Fail(at, "the debit " + why);
    if (!c.empty()) why = ReadAmount(c, m_.number_style, &credit);
    if (!why.empty()) return Fail(at, "the credit " + why);
    line.amount = credit - (debit < tsCurrency() ? tsCurrency(-debit) : debit);
  }
  const std::string check = Trim(field(kCheck));
  if (!check.empty()) {
    if (check.find_first_not_of("0123456789") != std::string::npos || check.size() > 12) {
      return Fail(at, Shown(check) + " is not a check number (1 to 12 digits)");
    }
    line.check = std::stoll(check);
  }
  if (!text(kId, "id", &line.id) || !text(kRef, "reference", &line.reference) || !text(kMemo, "memo", &line.memo)) {
    return false;
  }
  if (columns_[kAccount] >= 0) {
    std::string account;
    if (!text(kAccount, "account", &account)) return false;
    if (!account.empty()) {
      if (st_.account.empty()) {
        st_.account = account;
        account_line_ = at;
      } else if (account != st_.account) {
        return Fail(at, "the account " + Shown(account) + " is not " + Shown(st_.account) + " of line " +
                            std::to_string(account_line_) + "; a statement is of one account");
      }
    }
  }
  std::string why;
  if (!bkCleanLineText(line, &why)) return Fail(0, why);
  st_.lines.push_back(line);
  return true;
}

bool CsvParser::Finish(bkStatement* out, std::string* error) {
  *out = bkStatement();
  if (!begun_) (void)Begin();
  if (!failed_ && bom_pending_) (void)FlushBom();  // a file shorter than a byte-order mark
  if (!failed_) {
    if (state_ == Field::kQuoted) {
      Fail(quote_line_, "a quoted field is not closed");
    } else if (any_ || !field_.empty() || !row_.empty()) {
      if (EndField()) (void)EndRow();
    }
  }
  if (!failed_ && by_name_ && !header_done_) Fail(0, "the file has no header row");
  std::string why = error_;
  if (why.empty()) (void)bkFinishStatement(st_, &why);
  if (!why.empty()) {
    *error = why;
    st_ = bkStatement();
    return false;
  }
  *out = std::move(st_);
  st_ = bkStatement();
  return true;
}

}  // namespace

std::unique_ptr<bkStatementParser> bkStatementParser::Csv(const bkCsvMapping& mapping) {
  return std::make_unique<CsvParser>(mapping);
}

bool bkCsvMapping::Set(const std::string& raw_name, const std::string& raw_value, std::string* error) {
  const std::string name = Lower(Trim(raw_name));
  const std::string value = Trim(raw_value);
  std::string* column = nullptr;
  if (name == "date") column = &date;
  if (name == "amount") column = &amount;
  if (name == "debit") column = &debit;
  if (name == "credit") column = &credit;
  if (name == "id") column = &id;
  if (name == "check") column = &check;
  if (name == "reference") column = &reference;
  if (name == "memo") column = &memo;
  if (name == "account") column = &account;
  if (column != nullptr) {
    if (IsColumnNumber(value) &&
        (value.size() > 4 || std::stoi(value) < 1 || std::stoi(value) > kCsvColumnLimit)) {
      *error = "column number " + Shown(value) + " of " + name + " is not from 1 to " + std::to_string(kCsvColumnLimit);
      return false;
    }
    *column = value;
    return true;
  }
  if (name == "date_format") {
    if (!tsDateLayoutFromName(value, &date_layout)) {
      *error = "unknown date format " + Shown(value) + " (yyyy-mm-dd, yyyymmdd, mm/dd/yyyy, dd/mm/yyyy, dd.mm.yyyy)";
      return false;
    }
    return true;
  }
  if (name == "separator") {
    const std::string v = value == "tab" ? "\t" : value == "semicolon" ? ";" : value;
    if (v.size() != 1 || v[0] == '"' || v[0] == '\n' || v[0] == '\r') {
      *error = "a separator is one character (or 'tab', 'semicolon')";
      return false;
    }
    separator = v[0];
    return true;
  }
  if (name == "decimal") {
    if (value != "." && value != ",") {
      *error = "the decimal mark is '.' or ','";
      return false;
    }
    number_style.decimal = value[0];
    return true;
  }
  if (name == "thousands") {
    const std::string v = value == "space" ? " " : value == "none" ? "" : value;
    if (v.size() > 1 || (v.size() == 1 && v != "." && v != "," && v != " " && v != "'")) {
      *error = "the thousands separator is '.', ',', 'space', \"'\" or 'none'";
      return false;
    }
    number_style.thousands = v.empty() ? 0 : v[0];
    return true;
  }
  if (name == "encoding") {
    const std::string v = Lower(value);
    if (v == "utf-8" || v == "utf8") {
      encoding = bkTextEncoding::kUtf8;
    } else if (v == "windows-1252" || v == "cp1252" || v == "latin-1" || v == "latin1" || v == "iso-8859-1") {
      encoding = bkTextEncoding::kWindows1252;
    } else if (v == "detect") {
      encoding = bkTextEncoding::kDetect;
    } else {
      *error = "unknown encoding " + Shown(value) + " (utf-8, windows-1252, latin-1, detect)";
      return false;
    }
    return true;
  }
  if (name == "statement_date") {
    statement_date = value;
    return true;
  }
  if (name == "ending_balance") {
    ending_balance = value;
    return true;
  }
  *error = "unknown mapping entry " + Shown(raw_name);
  return false;
}

bool bkCsvMapping::ParseText(const std::string& text, std::string* error) {
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part)) {
    std::istringstream parts(part);
    std::string entry;
    while (std::getline(parts, entry, ';')) {
      if (Trim(entry).empty()) continue;
      const size_t eq = entry.find('=');
      if (eq == std::string::npos) {
        *error = "mapping entry " + Shown(Trim(entry)) + " is not name=value";
        return false;
      }
      if (!Set(entry.substr(0, eq), entry.substr(eq + 1), error)) return false;
    }
  }
  return true;
}

bool bkCsvMapping::ReadFile(const std::string& path, std::string* error) {
  // A mapping is a few lines: read through the statement file's bounds.
  std::string text;
  std::string why;
  if (!bkReadStatementFile(
          path,
          [&](std::string_view piece) {
            text.append(piece);
            return text.size() <= 64 * 1024;
          },
          &why) ||
      text.size() > 64 * 1024) {
    *error = "the mapping file " + path + " " + (why.empty() ? "is longer than 64 KiB" : why);
    return false;
  }
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);  // a UTF-8 byte-order mark
  std::istringstream in(text);
  std::string line;
  int n = 0;
  while (std::getline(in, line)) {
    ++n;
    const std::string t = Trim(line);
    if (t.empty() || t[0] == '#') continue;
    const size_t eq = t.find('=');
    if (eq == std::string::npos) {
      why = "not name = value";
    } else if (Set(t.substr(0, eq), t.substr(eq + 1), &why)) {
      continue;
    }
    *error = path + ":" + std::to_string(n) + ": " + why;
    return false;
  }
  return true;
}

bool bkReadCsvStatement(const std::string& path, const bkCsvMapping& mapping, bkStatement* out,
                        std::string* error) {
  auto parser = bkStatementParser::Csv(mapping);
  std::string why;
  if (!bkReadStatementFile(path, [&](std::string_view piece) { return parser->Feed(piece); }, &why) ||
      !parser->Finish(out, &why)) {
    *error = path + ": " + why;
    *out = bkStatement();
    return false;
  }
  return true;
}
