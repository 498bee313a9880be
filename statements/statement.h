// A bank statement as the bank sends it: its period, its ending balance, the
// account it is of and its lines, read from an OFX/QFX file or a CSV file
// with a column mapping (statement_reader.h), before anything of it touches
// the register.
//
// Amounts are exact decimals in cents, signed as the bank's account sees
// them: money into the account is positive (deposits, interest, reversed
// charges), money out negative (checks, withdrawals, fees). Text is one line
// of UTF-8 each (framework/types/input_rules.h).
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "framework/types/values.h"
#include "records/bk_export.h"

struct BK_EXPORT bkStatementLine {
  // The line's identity within the bank account: the bank's own id (OFX
  // FITID, a CSV id column) or, when the bank gives none, one made from the
  // line's content (bkAssignLineIds). Importing the same statement again
  // gives the same ids, so a line is applied to the register at most once.
  std::string id;
  tsDate date;           // date posted by the bank
  tsCurrency amount;     // signed, cents
  long long check = 0;   // check number, 0 when none
  std::string reference; // deposit id or bank reference, "" when none
  std::string memo;      // the bank's name and memo of the line
  int source_line = 0;   // line of the file it starts on, for messages
};

// The lines of a statement, packed: a few dozen bytes a line besides its
// text, kept in blocks that never move (no copy while the lines grow), so a
// statement of hundreds of thousands of lines stays small. Lines are read
// back as bkStatementLine values.
class BK_EXPORT bkStatementLines {
 public:
  size_t size() const { return packed_.size(); }
  bool empty() const { return packed_.empty(); }
  bkStatementLine operator[](size_t i) const;
  void push_back(const bkStatementLine& line);
  void clear();

  class const_iterator {
   public:
    const_iterator(const bkStatementLines* lines, size_t i) : lines_(lines), i_(i) {}
    bkStatementLine operator*() const { return (*lines_)[i_]; }
    const_iterator& operator++() {
      ++i_;
      return *this;
    }
    bool operator!=(const const_iterator& o) const { return i_ != o.i_; }

   private:
    const bkStatementLines* lines_;
    size_t i_;
  };
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size()}; }

  // What bkAssignLineIds and bkFinishStatement read and change without
  // making whole lines: the id as the file gave it (empty, or longer than
  // an id may be), the content a made id is a hash of, and the made id of
  // line i (the count of identical lines before it).
  std::string_view GivenId(size_t i) const;
  std::string Content(size_t i) const;
  void SetMadeId(size_t i, uint32_t earlier);
  bool HasMadeId(size_t i) const { return packed_[i].made_id; }
  int SourceLine(size_t i) const { return packed_[i].source_line; }

 private:
  // 40 bytes a line.
  struct Packed {
    int64_t cents = 0;
    int64_t check = 0;
    uint32_t text = 0;  // where its text begins: block * kBlockSize + offset
    int32_t ymd = 0;
    int32_t source_line = 0;
    uint32_t earlier = 0;  // a made id's count of identical lines before it
    uint16_t id_len = 0, ref_len = 0, memo_len = 0;
    bool made_id = false;
  };
  static constexpr size_t kBlockSize = 1 << 20;
  std::string_view Text(const Packed& p, size_t from, size_t len) const;

  std::deque<Packed> packed_;
  std::vector<std::string> blocks_;  // text: each line's id, reference and memo, side by side
};

struct BK_EXPORT bkStatement {
  tsDate start;                 // first day the statement covers (empty when unknown)
  tsDate end;                   // statement date: last day it covers
  tsCurrency ending_balance;    // the bank's balance at the end of `end`
  bool has_ending_balance = false;
  // The bank's number of the account the statement is of (OFX ACCTID, a
  // CSV column when the mapping names one) and the bank's own id (OFX
  // BANKID, a routing number); "" when the file does not say.
  std::string account, bank_id;
  bkStatementLines lines;
};

// Longest line id the register keeps (SLID).
inline constexpr size_t kStatementLineIdWidth = 80;
// Longest memo and reference kept of a line, in characters (OFX allows 255
// for a memo); longer text is cut, by characters.
inline constexpr size_t kStatementTextLimit = 255;
// The largest statement file read (bytes) and the most lines a statement may
// hold: a file beyond either is refused, so reading one is bounded in time
// and memory whatever it holds.
inline constexpr uint64_t kStatementFileLimit = 128ull << 20;
inline constexpr size_t kStatementLineLimit = 500000;

// How the text of a file is encoded: declared by the file (OFX) or its
// mapping (CSV), or detected field by field (valid UTF-8 is UTF-8, anything
// else Windows-1252, the usual single-byte encoding of banks' files, whose
// printable characters include those of ISO-8859-1).
enum class bkTextEncoding : uint8_t { kDetect, kUtf8, kWindows1252 };

// `raw` in `encoding` as UTF-8 into `*out`; false for bytes that are not
// text in the declared encoding (invalid UTF-8, an unassigned byte).
BK_EXPORT bool bkDecodeText(std::string_view raw, bkTextEncoding encoding, std::string* out);

// Gives every line without an id one made from its content: "#" followed by
// 16 hex digits of a hash of date, amount, check number, reference and memo
// and of how many lines before it in the statement have that same content,
// so two identical lines (two fees of the same amount on one day) get two
// ids, and the same file read again gives the same ids. An id the bank gave
// that is longer than kStatementLineIdWidth is replaced the same way from
// the bank's id. Time and memory grow with the lines (n log n), whatever
// their content.
BK_EXPORT void bkAssignLineIds(bkStatement& statement);

// The text rules of a line, applied by every reader to each line before it
// keeps it, on UTF-8 text: in the line's id, reference and memo, line breaks
// and tabs become blanks and blanks around are dropped; any other control
// character, or text that is not UTF-8, refuses the line (and so the
// statement) naming its file line; memos and references are cut to
// kStatementTextLimit characters. False with `error`.
BK_EXPORT bool bkCleanLineText(bkStatementLine& line, std::string* error);

// The last step of every reader: the account's text by the same rules; two
// lines with the same id from the bank refuse the statement (an id is one
// line of the account); then ids are assigned (bkAssignLineIds). False with
// `error`.
BK_EXPORT bool bkFinishStatement(bkStatement& statement, std::string* error);
