// CSV statements with a column mapping.
#include <fstream>
#include <sstream>

#include "statements/statement_reader.h"

namespace {

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  const size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Splits the file into rows of fields (RFC 4180: quoted fields may hold the
// separator, new lines and doubled quotes). Each row remembers the file line
// it started on. False for a quote left open at the end of the file.
bool SplitRows(const std::string& text, char sep, std::vector<std::vector<std::string>>* rows,
               std::vector<int>* lines) {
  std::vector<std::string> row;
  std::string field;
  bool quoted = false, any = false;
  int line = 1, row_line = 1;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        if (c == '\n') ++line;
        field += c;
      }
      continue;
    }
    if (c == '"') {
      quoted = true;
      any = true;
    } else if (c == sep) {
      row.push_back(field);
      field.clear();
      any = true;
    } else if (c == '\n') {
      row.push_back(field);
      rows->push_back(std::move(row));
      lines->push_back(row_line);
      row.clear();
      field.clear();
      any = false;
      row_line = ++line;
    } else if (c != '\r') {
      field += c;
      any = true;
    }
  }
  if (quoted) return false;
  if (any || !field.empty()) {
    row.push_back(field);
    rows->push_back(std::move(row));
    lines->push_back(row_line);
  }
  return true;
}

bool ParseDate(const std::string& text, const std::string& format, tsDate* out) {
  const std::string t = Trim(text);
  int y = 0, m = 0, d = 0;
  char a = 0, b = 0;
  int n = 0;
  if (format == "yyyy-mm-dd") {
    n = std::sscanf(t.c_str(), "%4d%c%2d%c%2d", &y, &a, &m, &b, &d);
    if (n != 5 || a != '-' || b != '-') return false;
  } else if (format == "yyyymmdd") {
    if (t.size() != 8 || t.find_first_not_of("0123456789") != std::string::npos) return false;
    y = std::stoi(t.substr(0, 4));
    m = std::stoi(t.substr(4, 2));
    d = std::stoi(t.substr(6, 2));
  } else if (format == "mm/dd/yyyy" || format == "dd/mm/yyyy" || format == "dd.mm.yyyy") {
    const char want = format[2];
    int p = 0, q = 0;
    n = std::sscanf(t.c_str(), "%2d%c%2d%c%4d", &p, &a, &q, &b, &y);
    if (n != 5 || a != want || b != want) return false;
    if (format[0] == 'm') {
      m = p;
      d = q;
    } else {
      d = p;
      m = q;
    }
  } else {
    return false;
  }
  if (y < 1000 || m < 1 || m > 12 || d < 1 || d > tsDate::DaysInMonth(y, m)) return false;
  *out = tsDate(y, m, d);
  return true;
}

// "-1,234.56", "1234.5", "(12.00)" (negative), "+3"; at most 2 decimals
// after rounding would change nothing: an amount with more decimals than
// cents is refused rather than rounded.
bool ParseAmount(const std::string& text, tsCurrency* out) {
  std::string t = Trim(text);
  bool negative = false;
  if (t.size() >= 2 && t.front() == '(' && t.back() == ')') {
    negative = true;
    t = Trim(t.substr(1, t.size() - 2));
  }
  std::string digits;
  for (char c : t) {
    if (c == ',') continue;
    digits += c;
  }
  if (digits.empty() || digits.find_first_not_of("+-0123456789.") != std::string::npos) return false;
  tsDouble v = tsDouble::FromText(digits, 2);
  if (!v.IsValid()) return false;
  tsDouble r = v.Rounded(2);
  if (!(r == v)) return false;
  tsCurrency c(r);
  *out = negative ? tsCurrency(-c) : c;
  return true;
}

}  // namespace

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
  if (column != nullptr) {
    *column = value;
    return true;
  }
  if (name == "date_format") {
    const std::string f = Lower(value);
    if (f != "yyyy-mm-dd" && f != "yyyymmdd" && f != "mm/dd/yyyy" && f != "dd/mm/yyyy" && f != "dd.mm.yyyy") {
      *error = "unknown date format '" + value + "' (yyyy-mm-dd, yyyymmdd, mm/dd/yyyy, dd/mm/yyyy, dd.mm.yyyy)";
      return false;
    }
    date_format = f;
    return true;
  }
  if (name == "separator") {
    const std::string v = value == "tab" ? "\t" : value;
    if (v.size() != 1 || v[0] == '"') {
      *error = "a separator is one character (or 'tab')";
      return false;
    }
    separator = v[0];
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
  *error = "unknown mapping entry '" + raw_name + "'";
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
        *error = "mapping entry '" + Trim(entry) + "' is not name=value";
        return false;
      }
      if (!Set(entry.substr(0, eq), entry.substr(eq + 1), error)) return false;
    }
  }
  return true;
}

bool bkCsvMapping::ReadFile(const std::string& path, std::string* error) {
  std::ifstream in(path);
  if (!in) {
    *error = "cannot read the mapping file " + path;
    return false;
  }
  std::string line;
  int n = 0;
  while (std::getline(in, line)) {
    ++n;
    const std::string t = Trim(line);
    if (t.empty() || t[0] == '#') continue;
    const size_t eq = t.find('=');
    std::string why;
    if (eq == std::string::npos) {
      why = "not name = value";
    } else if (!Set(t.substr(0, eq), t.substr(eq + 1), &why)) {
      // why set by Set
    } else {
      continue;
    }
    *error = path + ":" + std::to_string(n) + ": " + why;
    return false;
  }
  return true;
}

bool bkReadCsvStatement(const std::string& path, const bkCsvMapping& mapping, bkStatement* out,
                        std::string* error) {
  *out = bkStatement();
  auto fail = [&](const std::string& why) {
    *error = path + ": " + why;
    *out = bkStatement();
    return false;
  };
  if (mapping.date.empty()) return fail("the mapping names no date column");
  if (mapping.amount.empty() && (mapping.debit.empty() || mapping.credit.empty())) {
    return fail("the mapping names no amount column (amount, or debit and credit)");
  }
  if (mapping.statement_date.empty() || !ParseDate(mapping.statement_date, "yyyy-mm-dd", &out->end)) {
    return fail("the statement date (statement_date, yyyy-mm-dd) is missing or not a date");
  }
  if (mapping.ending_balance.empty() || !ParseAmount(mapping.ending_balance, &out->ending_balance)) {
    return fail("the ending balance (ending_balance) is missing or not an amount");
  }
  out->has_ending_balance = true;

  std::ifstream in(path, std::ios::binary);
  if (!in) return fail("cannot be read");
  std::ostringstream text;
  text << in.rdbuf();
  std::vector<std::vector<std::string>> rows;
  std::vector<int> lines;
  if (!SplitRows(text.str(), mapping.separator, &rows, &lines)) return fail("a quoted field is not closed");

  // Columns named by number are used as they are; a name makes the first
  // row the header.
  bool by_name = false;
  for (const std::string* c : {&mapping.date, &mapping.amount, &mapping.debit, &mapping.credit, &mapping.id,
                               &mapping.check, &mapping.reference, &mapping.memo}) {
    if (!c->empty() && c->find_first_not_of("0123456789") != std::string::npos) by_name = true;
  }
  std::vector<std::string> header;
  size_t first = 0;
  if (by_name) {
    if (rows.empty()) return fail("has no header row");
    for (const auto& h : rows[0]) header.push_back(Lower(Trim(h)));
    first = 1;
  }
  auto index_of = [&](const std::string& column, int* index) -> bool {
    *index = -1;
    if (column.empty()) return true;
    if (column.find_first_not_of("0123456789") == std::string::npos) {
      *index = std::stoi(column) - 1;
      return *index >= 0;
    }
    for (size_t i = 0; i < header.size(); ++i) {
      if (header[i] == Lower(column)) *index = static_cast<int>(i);
    }
    return *index >= 0;
  };
  int c_date, c_amount, c_debit, c_credit, c_id, c_check, c_ref, c_memo;
  const std::pair<const std::string*, int*> columns[] = {
      {&mapping.date, &c_date},   {&mapping.amount, &c_amount}, {&mapping.debit, &c_debit},
      {&mapping.credit, &c_credit}, {&mapping.id, &c_id},       {&mapping.check, &c_check},
      {&mapping.reference, &c_ref}, {&mapping.memo, &c_memo}};
  for (const auto& [name, index] : columns) {
    if (!index_of(*name, index)) return fail("has no column '" + *name + "'");
  }

  for (size_t r = first; r < rows.size(); ++r) {
    const auto& row = rows[r];
    bool blank = true;
    for (const auto& f : row) blank = blank && Trim(f).empty();
    if (blank) continue;
    const std::string where = "row at line " + std::to_string(lines[r]);
    auto field = [&](int index) { return index >= 0 && index < static_cast<int>(row.size()) ? row[index] : ""; };
    bkStatementLine line;
    line.source_line = lines[r];
    if (!ParseDate(field(c_date), mapping.date_format, &line.date)) {
      return fail(where + ": '" + field(c_date) + "' is not a date (" + mapping.date_format + ")");
    }
    if (c_amount >= 0) {
      if (!ParseAmount(field(c_amount), &line.amount)) return fail(where + ": '" + field(c_amount) + "' is not an amount");
    } else {
      tsCurrency debit, credit;
      const std::string d = Trim(field(c_debit)), c = Trim(field(c_credit));
      if ((!d.empty() && !ParseAmount(d, &debit)) || (!c.empty() && !ParseAmount(c, &credit)) ||
          (d.empty() && c.empty())) {
        return fail(where + ": no debit or credit amount");
      }
      line.amount = credit - (debit < tsCurrency() ? tsCurrency(-debit) : debit);
    }
    line.id = Trim(field(c_id));
    const std::string check = Trim(field(c_check));
    if (!check.empty()) {
      if (check.find_first_not_of("0123456789") != std::string::npos || check.size() > 12) {
        return fail(where + ": '" + check + "' is not a check number");
      }
      line.check = std::stoll(check);
    }
    line.reference = Trim(field(c_ref));
    line.memo = Trim(field(c_memo));
    out->lines.push_back(std::move(line));
  }
  bkAssignLineIds(*out);
  return true;
}
