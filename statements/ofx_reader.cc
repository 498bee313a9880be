// OFX and QFX statements, read by a tokenizer of the file's tags in one pass
// over pieces of the file (time and memory linear in the file, the lines
// kept and nothing else).
//
// The file: an OFX 1.x header ("OFXHEADER:100", KEY:VALUE lines) or an XML
// declaration and OFX processing instruction (2.x), or nothing, before the
// <OFX> element; after </OFX> only blanks. Elements ("<TRNAMT>-12.50") may
// leave out their end tag (SGML); aggregates (elements holding elements)
// must be closed, in order. Refused as damaged: a tag not closed, an end tag
// that closes something else, text where elements belong, text after
// </OFX>, a file cut before </OFX>.
//
// What is read: the one bank statement (STMTRS) or credit-card statement
// (CCSTMTRS) (two refuse the file); its account (BANKACCTFROM or CCACCTFROM:
// ACCTID, required, and BANKID); its transaction list's DTSTART and DTEND;
// each STMTTRN of the list (DTPOSTED and TRNAMT required; FITID, CHECKNUM,
// REFNUM, NAME or PAYEE's NAME, MEMO); the ledger balance (LEDGERBAL: BALAMT,
// DTASOF). Anything else is skipped.
//
// Amounts: the rules of framework/types/input_rules.h with the decimal mark
// of OFX, a point or (where the amount holds no point) a comma, and no
// thousands separators: "1,000.00", "1e3", an empty amount, "-0.005" are
// refused, naming the line. Dates: YYYYMMDD, optionally followed by HHMM or
// HHMMSS, milliseconds (".XXX") and a time zone ("[-5:EST]"); the day is the
// calendar date the bank wrote (20260430200000[-5:EST] is 2026-04-30), never
// moved to another zone. Check numbers are kept when they are 1 to 12
// digits (OFX allows other text there, which is not a check number).
//
// Text: in the encoding the header declares (ENCODING:UTF-8; CHARSET 1252 or
// ISO-8859-1, read as Windows-1252; the XML declaration's encoding), else
// detected field by field; the entities &lt; &gt; &amp; &quot; &apos;
// &nbsp; and &#N; are decoded, any other "&" is kept as it is.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "statements/statement_reader.h"

namespace {

constexpr size_t kPrefixLimit = 64 * 1024;  // header text before <OFX>
constexpr size_t kTagLimit = 256;           // one tag's text
constexpr size_t kValueLimit = 0xFFFF;      // one element's value
constexpr size_t kDepthLimit = 64;          // aggregates within each other

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The elements the reader takes: one without a value ("<TRNAMT>" straight
// before the next tag) is an empty value, refused by its own rule, rather
// than an aggregate left open.
bool IsReadElement(const std::string& name) {
  static const char* const kNames[] = {"DTPOSTED", "TRNAMT", "FITID",  "CHECKNUM", "REFNUM", "NAME",
                                       "MEMO",     "DTSTART", "DTEND", "BALAMT",   "DTASOF", "ACCTID",
                                       "BANKID",   "TRNTYPE"};
  for (const char* n : kNames) {
    if (name == n) return true;
  }
  return false;
}

// An open element that ends where the next tag begins (SGML leaves end tags
// of elements out).
template <typename Frame>
bool EndsAtNextTag(const Frame& f) {
  return f.text || (!f.children && IsReadElement(f.name));
}

std::string_view Trim(std::string_view t) {
  while (!t.empty() && IsBlank(t.front())) t.remove_prefix(1);
  while (!t.empty() && IsBlank(t.back())) t.remove_suffix(1);
  return t;
}

std::string Upper(std::string_view t) {
  std::string s(t);
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Shown in a message: at most 40 bytes, controls as "?".
std::string Shown(std::string_view t) {
  std::string s = "'";
  for (unsigned char c : t.substr(0, 40)) s += c < 0x20 || c == 0x7f ? '?' : static_cast<char>(c);
  return s + (t.size() > 40 ? "...'" : "'");
}

void AppendUtf8(uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    *out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out += static_cast<char>(0xC0 | (cp >> 6));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out += static_cast<char>(0xE0 | (cp >> 12));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (cp >> 18));
    *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The SGML/XML entities of a value; an "&" that starts none stays.
std::string DecodeEntities(std::string_view t) {
  if (t.find('&') == std::string_view::npos) return std::string(t);
  std::string out;
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i] != '&') {
      out += t[i];
      continue;
    }
    const size_t semi = t.find(';', i);
    const std::string_view name = semi == std::string_view::npos || semi - i > 10 ? "" : t.substr(i + 1, semi - i - 1);
    static const struct {
      const char* name;
      uint32_t cp;
    } kNamed[] = {{"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", 0xA0}};
    uint32_t cp = 0;
    for (const auto& n : kNamed) {
      if (name == n.name) cp = n.cp;
    }
    if (cp == 0 && name.size() >= 2 && name[0] == '#') {
      const bool hex = name[1] == 'x' || name[1] == 'X';
      uint32_t v = 0;
      bool ok = name.size() > (hex ? 2u : 1u);
      for (size_t k = hex ? 2 : 1; ok && k < name.size(); ++k) {
        const char c = name[k];
        const int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                      : hex && std::isxdigit(static_cast<unsigned char>(c)) ? std::tolower(c) - 'a' + 10
                                                                             : -1;
        ok = d >= 0 && v <= 0x10FFFF;
        v = v * (hex ? 16 : 10) + static_cast<uint32_t>(d < 0 ? 0 : d);
      }
      if (ok && v > 0 && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) cp = v;
    }
    if (cp == 0) {
      out += '&';
      continue;
    }
    AppendUtf8(cp, &out);
    i = semi;
  }
  return out;
}

// An OFX amount (see the file's comment); "" or what is wrong.
std::string ReadAmount(std::string_view text, tsCurrency* out) {
  tsNumberStyle style;
  if (text.find(',') != std::string_view::npos && text.find('.') == std::string_view::npos) style.decimal = ',';
  switch (tsReadAmount(text, out, style)) {
    case tsAmountProblem::kNone: return "";
    case tsAmountProblem::kEmpty: return "is empty";
    case tsAmountProblem::kSeparator:
      return Shown(text) + " holds a thousands separator or a second decimal mark (OFX amounts have neither)";
    case tsAmountProblem::kNotAnAmount: return Shown(text) + " is not an amount";
    case tsAmountProblem::kMoreThanCents: return Shown(text) + " has more than two decimals (amounts are not rounded)";
    case tsAmountProblem::kTooLarge: return Shown(text) + " is too large (at most 13 digits before the point)";
  }
  return "is not an amount";
}

// An OFX date and time (see the file's comment): its calendar date.
bool ReadDate(std::string_view t, tsDate* out) {
  size_t n = 0;
  while (n < t.size() && std::isdigit(static_cast<unsigned char>(t[n]))) ++n;
  if (n != 8 && n != 12 && n != 14) return false;
  auto two = [&](size_t at) { return (t[at] - '0') * 10 + (t[at + 1] - '0'); };
  if (n >= 12 && (two(8) > 23 || two(10) > 59)) return false;
  if (n == 14 && two(12) > 60) return false;
  size_t i = n;
  if (n == 14 && i < t.size() && t[i] == '.') {
    size_t d = 0;
    for (++i; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])); ++i) ++d;
    if (d == 0 || d > 6) return false;
  }
  if (i < t.size() && t[i] == '[') {
    // [+-]hours[.fraction][:zone name]
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    size_t d = 0;
    for (; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])); ++i) ++d;
    if (d == 0 || d > 2) return false;
    if (i < t.size() && t[i] == '.') {
      for (++i, d = 0; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])); ++i) ++d;
      if (d == 0 || d > 2) return false;
    }
    if (i < t.size() && t[i] == ':') {
      for (++i, d = 0; i < t.size() && t[i] != ']'; ++i, ++d) {
        const unsigned char c = static_cast<unsigned char>(t[i]);
        if (!std::isalnum(c) && c != '_' && c != '/' && c != '+' && c != '-') return false;
      }
      if (d > 32) return false;
    }
    if (i >= t.size() || t[i] != ']') return false;
    ++i;
  }
  if (i != t.size()) return false;
  return tsReadDate(t.substr(0, 8), tsDateLayout::kYmdCompact, out);
}

class OfxParser : public bkStatementParser {
 public:
  bool Feed(std::string_view piece) override;
  bool Finish(bkStatement* out, std::string* error) override;

 private:
  enum class Phase { kPrefix, kText, kTag, kComment, kAfter, kFailed };
  // What an aggregate is to the reader.
  enum class Role : uint8_t { kNone, kStatement, kAccount, kTranList, kTran, kPayee, kLedger };
  struct Frame {
    std::string name;
    Role role = Role::kNone;
    bool children = false, text = false;
    int line = 0;
    std::string value;
  };
  // The transaction being read: its elements as they came.
  struct Tran {
    int line = 0;
    bool date = false, amount = false, id = false, check = false, ref = false, name = false, memo = false;
    bkStatementLine out;  // its memo holds the NAME (or the payee's) until the end
    std::string memo_text;
  };

  bool Fail(int line, const std::string& why) {
    if (phase_ != Phase::kFailed) error_ = (line > 0 ? "line " + std::to_string(line) + ": " : "") + why;
    phase_ = Phase::kFailed;
    return false;
  }
  bool Prefix(std::string_view piece);
  bool Header(std::string_view header);
  bool Byte(char c);
  bool Text();
  bool Tag();
  bool Start(const std::string& name);
  bool End(const std::string& name);
  bool Close();
  bool Leaf(const Frame& leaf, const Frame& parent);
  bool EndTran();
  bool Decode(std::string_view raw, const char* what, int line, std::string* out);

  Phase phase_ = Phase::kPrefix;
  std::string error_;
  std::string prefix_, text_, tag_;
  int line_ = 1, tag_line_ = 1, dashes_ = 0;
  bkTextEncoding encoding_ = bkTextEncoding::kDetect;
  std::vector<Frame> stack_;
  // The statement.
  bkStatement st_;
  int statements_ = 0;
  bool ledger_ = false, has_end_ = false;
  tsDate ledger_date_;
  Tran tran_;
};

bool OfxParser::Feed(std::string_view piece) {
  // The header is looked through a few KiB at a time, so what is kept of it
  // stays small however large the piece.
  while (phase_ == Phase::kPrefix && !piece.empty()) {
    const size_t n = std::min<size_t>(piece.size(), 4096);
    if (!Prefix(piece.substr(0, n))) return false;
    piece.remove_prefix(n);
  }
  if (phase_ == Phase::kFailed) return false;
  for (char c : piece) {
    if (!Byte(c)) return false;
  }
  return true;
}

// Before <OFX>: the header, kept whole (it is short) until the element.
bool OfxParser::Prefix(std::string_view piece) {
  const size_t from = prefix_.size() < 4 ? 0 : prefix_.size() - 4;
  prefix_.append(piece);
  size_t at = std::string::npos;
  for (size_t i = from; i + 5 <= prefix_.size(); ++i) {
    if (prefix_[i] == '<' && Upper(std::string_view(prefix_).substr(i, 5)) == "<OFX>") {
      at = i;
      break;
    }
  }
  if (at == std::string::npos) {
    if (prefix_.size() > kPrefixLimit) return Fail(0, "it is not an OFX statement (no <OFX> element)");
    return true;
  }
  std::string header = prefix_.substr(0, at);
  std::string rest = prefix_.substr(at + 5);
  prefix_.clear();
  prefix_.shrink_to_fit();
  for (char c : header) line_ += c == '\n';
  if (!Header(header)) return false;
  phase_ = Phase::kText;
  tag_line_ = line_;
  if (!Start("OFX")) return false;
  for (char c : rest) {
    if (!Byte(c)) return false;
  }
  return true;
}

bool OfxParser::Header(std::string_view header) {
  if (header.substr(0, 3) == "\xEF\xBB\xBF") header.remove_prefix(3);
  const std::string_view h = Trim(header);
  auto charset = [&](const std::string& label, bool xml) {
    const std::string l = Upper(label);
    if (l == "UTF-8" || l == "UTF8" || l == "UNICODE") return encoding_ = bkTextEncoding::kUtf8, true;
    if (l == "1252" || l == "WINDOWS-1252" || l == "CP1252" || l == "ISO-8859-1" || l == "8859-1" ||
        l == "ISO8859-1" || l == "LATIN1" || l == "LATIN-1") {
      return encoding_ = bkTextEncoding::kWindows1252, true;
    }
    if (l.empty() || l == "NONE" || l == "USASCII" || l == "US-ASCII" || l == "ASCII") {
      return encoding_ = xml && l.empty() ? bkTextEncoding::kUtf8 : bkTextEncoding::kDetect, true;
    }
    return Fail(0, "its text is in " + Shown(label) +
                       ", an encoding this program does not read (UTF-8, Windows-1252, ISO-8859-1)");
  };
  if (h.empty()) return true;
  if (h.substr(0, 5) == "<?xml") {
    // Processing instructions and comments only; the declaration's encoding.
    const size_t end = h.find("?>");
    if (end == std::string_view::npos) return Fail(0, "its XML declaration is not closed");
    const std::string_view decl = h.substr(0, end);
    std::string label;
    const size_t e = decl.find("encoding=");
    if (e != std::string_view::npos && e + 10 < decl.size()) {
      const char q = decl[e + 9];
      const size_t close = decl.find(q, e + 10);
      if ((q != '"' && q != '\'') || close == std::string_view::npos) return Fail(0, "its XML declaration is damaged");
      label = std::string(decl.substr(e + 10, close - e - 10));
    }
    for (size_t i = 0; i < h.size();) {
      if (IsBlank(h[i])) {
        ++i;
      } else if (h.substr(i, 2) == "<?") {
        const size_t c = h.find("?>", i);
        if (c == std::string_view::npos) return Fail(0, "a processing instruction before <OFX> is not closed");
        i = c + 2;
      } else if (h.substr(i, 4) == "<!--") {
        const size_t c = h.find("-->", i);
        if (c == std::string_view::npos) return Fail(0, "a comment before <OFX> is not closed");
        i = c + 3;
      } else {
        return Fail(0, "it is not an OFX statement (text before <OFX> is not an OFX header)");
      }
    }
    return charset(label, true);
  }
  // OFX 1.x: KEY:VALUE lines.
  std::string encoding, cs;
  bool ofx_header = false;
  size_t n = 0;
  for (size_t b = 0; b <= h.size();) {
    size_t e = h.find('\n', b);
    if (e == std::string_view::npos) e = h.size();
    const std::string_view line = Trim(h.substr(b, e - b));
    ++n;
    b = e + 1;
    if (line.empty()) continue;
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) {
      return Fail(0, "it is not an OFX statement (its header line " + std::to_string(n) + " is not KEY:VALUE)");
    }
    const std::string key = Upper(Trim(line.substr(0, colon)));
    const std::string value(Trim(line.substr(colon + 1)));
    if (key == "OFXHEADER") ofx_header = true;
    if (key == "ENCODING") encoding = value;
    if (key == "CHARSET") cs = value;
  }
  if (!ofx_header) return Fail(0, "it is not an OFX statement (no OFXHEADER before <OFX>)");
  const std::string enc = Upper(encoding);
  if (enc == "UTF-8" || enc == "UNICODE") return charset("UTF-8", false);
  if (!enc.empty() && enc != "USASCII") {
    return Fail(0, "its text is in " + Shown(encoding) + ", an encoding this program does not read");
  }
  return charset(cs, false);
}

bool OfxParser::Byte(char c) {
  if (c == '\n') ++line_;
  switch (phase_) {
    case Phase::kText:
      if (c == '<') {
        if (!Text()) return false;
        phase_ = Phase::kTag;
        tag_.clear();
        tag_line_ = line_;
        return true;
      }
      if (text_.empty() && IsBlank(c)) return true;  // blanks between tags
      if (text_.size() >= kValueLimit) return Fail(line_, "a value is longer than " + std::to_string(kValueLimit) + " bytes");
      text_ += c;
      return true;
    case Phase::kTag:
      if (c == '>') {
        phase_ = Phase::kText;
        return Tag();
      }
      if (c == '<' || c == '\n' || c == '\r') return Fail(tag_line_, "a tag is not closed (damaged)");
      if (tag_.size() >= kTagLimit) return Fail(tag_line_, "a tag is longer than " + std::to_string(kTagLimit) + " bytes");
      tag_ += c;
      if (tag_ == "!--") {
        phase_ = Phase::kComment;
        dashes_ = 0;
      }
      return true;
    case Phase::kComment:
      if (c == '>' && dashes_ >= 2) {
        phase_ = Phase::kText;
        return true;
      }
      dashes_ = c == '-' ? dashes_ + 1 : 0;
      return true;
    case Phase::kAfter:
      if (IsBlank(c) || c == '\x1a' || c == '\0') return true;
      return Fail(line_, "text follows </OFX> (two statements in one file, or damaged)");
    case Phase::kPrefix:
    case Phase::kFailed: break;
  }
  return false;
}

// The text before a tag: a value of the open element, or blanks.
bool OfxParser::Text() {
  const std::string_view t = Trim(text_);
  if (!t.empty()) {
    Frame& top = stack_.back();
    if (top.children || top.text) {
      return Fail(line_, "text " + Shown(t) + " inside <" + top.name + "> where elements belong (damaged)");
    }
    top.text = true;
    top.value.assign(t);
  }
  text_.clear();
  return true;
}

bool OfxParser::Tag() {
  if (tag_.empty()) return Fail(tag_line_, "an empty tag <> (damaged)");
  if (tag_[0] == '?' || tag_[0] == '!') return true;  // processing instruction, declaration
  auto valid = [](std::string_view name) {
    if (name.empty()) return false;
    for (char c : name) {
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-') return false;
    }
    return true;
  };
  if (tag_[0] == '/') {
    const std::string name = Upper(Trim(std::string_view(tag_).substr(1)));
    if (!valid(name)) return Fail(tag_line_, "a damaged tag <" + tag_ + ">");
    return End(name);
  }
  if (tag_.back() == '/') {
    const std::string name = Upper(Trim(std::string_view(tag_).substr(0, tag_.size() - 1)));
    if (!valid(name)) return Fail(tag_line_, "a damaged tag <" + tag_ + ">");
    return Start(name) && End(name);
  }
  const std::string name = Upper(tag_);
  if (!valid(name)) return Fail(tag_line_, "a damaged tag <" + tag_ + ">");
  return Start(name);
}

bool OfxParser::Start(const std::string& name) {
  if (!stack_.empty() && EndsAtNextTag(stack_.back())) {  // an element without its end tag
    if (!Close()) return false;
    if (stack_.empty()) return Fail(tag_line_, "text follows </OFX> (two statements in one file, or damaged)");
  }
  if (stack_.size() >= kDepthLimit) return Fail(tag_line_, "elements nested deeper than " + std::to_string(kDepthLimit));
  Role parent = Role::kNone;
  if (!stack_.empty()) {
    stack_.back().children = true;
    parent = stack_.back().role;
  }
  Frame f;
  f.name = name;
  f.line = tag_line_;
  if (name == "STMTRS" || name == "CCSTMTRS") {
    if (++statements_ > 1) return Fail(tag_line_, "the file holds more than one statement; import them one at a time");
    f.role = Role::kStatement;
  } else if (parent == Role::kStatement && (name == "BANKACCTFROM" || name == "CCACCTFROM")) {
    f.role = Role::kAccount;
  } else if (parent == Role::kStatement && name == "BANKTRANLIST") {
    f.role = Role::kTranList;
  } else if (parent == Role::kStatement && name == "LEDGERBAL") {
    f.role = Role::kLedger;
  } else if (parent == Role::kTranList && name == "STMTTRN") {
    f.role = Role::kTran;
    tran_ = Tran();
    tran_.line = tag_line_;
    tran_.out.source_line = tag_line_;
  } else if (parent == Role::kTran && name == "PAYEE") {
    f.role = Role::kPayee;
  }
  stack_.push_back(std::move(f));
  return true;
}

bool OfxParser::End(const std::string& name) {
  for (;;) {
    if (stack_.empty()) return Fail(tag_line_, "</" + name + "> closes nothing (damaged)");
    const Frame& top = stack_.back();
    if (top.name == name) return Close();
    if (!EndsAtNextTag(top)) return Fail(tag_line_, "</" + name + "> where </" + top.name + "> belongs (damaged)");
    if (!Close()) return false;
  }
}

// Closes the innermost open element or aggregate.
bool OfxParser::Close() {
  Frame f = std::move(stack_.back());
  stack_.pop_back();
  if (f.role != Role::kNone && f.text) return Fail(f.line, "<" + f.name + "> holds text where elements belong (damaged)");
  if (stack_.empty()) {
    phase_ = Phase::kAfter;
    return true;
  }
  if (f.role == Role::kTran) return EndTran();
  if (!f.children) return Leaf(f, stack_.back());
  return true;
}

bool OfxParser::Decode(std::string_view raw, const char* what, int line, std::string* out) {
  std::string text;
  if (!bkDecodeText(raw, encoding_, &text)) {
    return Fail(line, std::string("the ") + what + " is not valid text in the file's encoding (" +
                          (encoding_ == bkTextEncoding::kUtf8 ? "UTF-8" : "Windows-1252") + ")");
  }
  *out = DecodeEntities(text);
  return true;
}

bool OfxParser::Leaf(const Frame& leaf, const Frame& parent) {
  const std::string& n = leaf.name;
  const std::string& v = leaf.value;
  const int line = leaf.line;
  auto once = [&](bool* seen) {
    if (*seen) return Fail(line, "a second <" + n + "> in one transaction");
    *seen = true;
    return true;
  };
  switch (parent.role) {
    case Role::kTran: {
      if (n == "DTPOSTED") {
        if (!once(&tran_.date)) return false;
        if (!ReadDate(v, &tran_.out.date)) return Fail(line, "DTPOSTED " + Shown(v) + " is not a date (YYYYMMDD...)");
      } else if (n == "TRNAMT") {
        if (!once(&tran_.amount)) return false;
        const std::string why = ReadAmount(v, &tran_.out.amount);
        if (!why.empty()) return Fail(line, "TRNAMT " + why);
      } else if (n == "FITID") {
        if (!once(&tran_.id) || !Decode(v, "FITID", line, &tran_.out.id)) return false;
      } else if (n == "CHECKNUM") {
        if (!once(&tran_.check)) return false;
        if (!v.empty() && v.size() <= 12 && v.find_first_not_of("0123456789") == std::string::npos) {
          tran_.out.check = std::stoll(v);
        }
      } else if (n == "REFNUM") {
        if (!once(&tran_.ref) || !Decode(v, "REFNUM", line, &tran_.out.reference)) return false;
      } else if (n == "NAME") {
        if (!once(&tran_.name) || !Decode(v, "NAME", line, &tran_.out.memo)) return false;
      } else if (n == "MEMO") {
        if (!once(&tran_.memo) || !Decode(v, "MEMO", line, &tran_.memo_text)) return false;
      }
      return true;
    }
    case Role::kPayee:
      if (n == "NAME" && tran_.out.memo.empty() && !tran_.name) {
        tran_.name = true;
        return Decode(v, "payee's NAME", line, &tran_.out.memo);
      }
      return true;
    case Role::kTranList:
      if (n == "DTSTART" && !ReadDate(v, &st_.start)) return Fail(line, "DTSTART " + Shown(v) + " is not a date");
      if (n == "DTEND") {
        if (!ReadDate(v, &st_.end)) return Fail(line, "DTEND " + Shown(v) + " is not a date");
        has_end_ = true;
      }
      return true;
    case Role::kLedger:
      if (n == "BALAMT") {
        const std::string why = ReadAmount(v, &st_.ending_balance);
        if (!why.empty()) return Fail(line, "BALAMT " + why);
        ledger_ = true;
      } else if (n == "DTASOF" && !ReadDate(v, &ledger_date_)) {
        return Fail(line, "DTASOF " + Shown(v) + " is not a date");
      }
      return true;
    case Role::kAccount:
      if (n == "ACCTID") return Decode(v, "ACCTID", line, &st_.account);
      if (n == "BANKID") return Decode(v, "BANKID", line, &st_.bank_id);
      return true;
    case Role::kStatement:
    case Role::kNone: return true;
  }
  return true;
}

bool OfxParser::EndTran() {
  if (!tran_.date) return Fail(tran_.line, "a transaction (STMTTRN) without its date (DTPOSTED)");
  if (!tran_.amount) return Fail(tran_.line, "a transaction (STMTTRN) without its amount (TRNAMT)");
  if (st_.lines.size() >= kStatementLineLimit) {
    return Fail(tran_.line, "the statement holds more than " + std::to_string(kStatementLineLimit) + " lines");
  }
  bkStatementLine& l = tran_.out;
  if (!tran_.memo_text.empty()) l.memo += (l.memo.empty() ? "" : " ") + tran_.memo_text;
  std::string why;
  if (!bkCleanLineText(l, &why)) {
    error_ = why;
    phase_ = Phase::kFailed;
    return false;
  }
  st_.lines.push_back(l);
  tran_ = Tran();
  return true;
}

bool OfxParser::Finish(bkStatement* out, std::string* error) {
  *out = bkStatement();
  std::string why = error_;
  if (why.empty()) {
    if (phase_ == Phase::kPrefix) {
      why = "it is not an OFX statement (no <OFX> element)";
    } else if (phase_ != Phase::kAfter) {
      why = "it is cut short or damaged (it does not end with </OFX>)";
    } else if (statements_ == 0) {
      why = "it holds no bank statement";
    } else if (!ledger_) {
      why = "its statement has no ledger balance (LEDGERBAL)";
    } else if (st_.account.empty()) {
      why = "its statement does not name its account (ACCTID)";
    }
  }
  if (why.empty() && !has_end_) st_.end = ledger_date_;
  if (why.empty() && st_.end.IsEmpty()) why = "its statement has no date (DTEND)";
  if (why.empty()) {
    st_.has_ending_balance = true;
    (void)bkFinishStatement(st_, &why);  // `why` says what it refused
  }
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

std::unique_ptr<bkStatementParser> bkStatementParser::Ofx() { return std::make_unique<OfxParser>(); }

bool bkReadOfxStatement(const std::string& path, bkStatement* out, std::string* error) {
  auto parser = bkStatementParser::Ofx();
  std::string why;
  if (!bkReadStatementFile(path, [&](std::string_view piece) { return parser->Feed(piece); }, &why) ||
      !parser->Finish(out, &why)) {
    *error = path + ": " + why;
    *out = bkStatement();
    return false;
  }
  return true;
}
