// What the statement readers' fuzz targets check of a statement read: the
// same result whatever pieces the text comes in, and, when it is accepted,
// every line within the statement rules (exact cents, real dates, one line
// of printable UTF-8 text within its limits, distinct ids that fit).
#pragma once

#include <algorithm>
#include <set>
#include <string>
#include <string_view>

#include "framework/types/input_rules.h"
#include "fuzz/fuzz_support.h"
#include "statements/statement_reader.h"

namespace bkfuzz {

// Reads `text` with a parser `make()` gives: whole, and in pieces of `piece`
// bytes; aborts unless both agree. The whole result.
template <typename Make>
bool ReadBothWays(Make make, std::string_view text, size_t piece, bkStatement* out, std::string* error) {
  auto whole = make();
  (void)whole->Feed(text);
  const bool ok = whole->Finish(out, error);
  auto pieces = make();
  for (size_t at = 0; at < text.size(); at += piece) (void)pieces->Feed(text.substr(at, piece));
  bkStatement again;
  std::string why;
  const bool ok_again = pieces->Finish(&again, &why);
  if (ok != ok_again || why != *error) Fail("pieces give another answer", why + " / " + *error);
  if (ok) {
    if (again.lines.size() != out->lines.size()) Fail("pieces give other lines");
    for (size_t i = 0; i < out->lines.size(); ++i) {
      const bkStatementLine a = out->lines[i], b = again.lines[i];
      if (a.id != b.id || a.memo != b.memo || !(a.amount == b.amount) || !(a.date == b.date) ||
          a.reference != b.reference || a.check != b.check) {
        Fail("pieces give another line", a.id);
      }
    }
  }
  return ok;
}

// The rules every accepted statement keeps.
inline void CheckStatement(const bkStatement& s) {
  if (s.end.IsEmpty() || !s.has_ending_balance) Fail("accepted without date or ending balance");
  if (tsCheckLineText(s.account) != tsTextProblem::kNone) Fail("account text", s.account);
  std::set<std::string> ids;
  for (const bkStatementLine l : s.lines) {
    if (l.date.IsEmpty() || l.date.Year() < 1900) Fail("a line without a real date", l.id);
    tsCurrency cents = l.amount;
    cents.Round(2);
    if (!(cents == l.amount) || !l.amount.IsValid()) Fail("an amount beyond cents", l.amount.Format());
    if (l.id.empty() || l.id.size() > kStatementLineIdWidth || !ids.insert(l.id).second) Fail("an id", l.id);
    for (const std::string* t : {&l.id, &l.reference, &l.memo}) {
      if (tsCheckLineText(*t) != tsTextProblem::kNone) Fail("text not one printable line", *t);
    }
    if (tsUtf8Length(l.memo) > kStatementTextLimit || tsUtf8Length(l.reference) > kStatementTextLimit) {
      Fail("text beyond its limit", l.memo);
    }
    if (l.check < 0 || l.check > 999999999999LL) Fail("a check number", std::to_string(l.check));
  }
}

}  // namespace bkfuzz
