// The one implementation of the text values (tsAlpha, tsText, tsPhone):
// tsTextBase holds the text and does everything but naming the type;
// tsTextValue<D, K> adds the type, construction and concatenation for the
// concrete class D.
//
// Rules shared by every text value:
// - The text is held and shown as given (no trimming, no padding); Format
//   returns it, Parse takes any text unchanged.
// - Blank means empty or only spaces (IsBlank, operator!, IsNull).
// - Comparisons are byte-wise, as SQLite's binary collation orders TEXT, with
//   text values of any kind and with plain text (const char*, std::string,
//   std::string_view).
// - Storage: a text cell holding the text unchanged, whatever the column's
//   decimals; the data-file layer checks widths.
// - From another value (SetVal): text values copy; anything else takes its
//   Format() (a number with its declared decimals, a date as yyyy-mm-dd).
#pragma once

#include <compare>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "framework/base/export.h"
#include "framework/types/ts_data.h"

class TS_EXPORT tsTextBase : public tsData {
 public:
  const std::string& str() const { return s_; }
  const char* c_str() const { return s_.c_str(); }
  std::string_view view() const { return s_; }
  int Length() const { return static_cast<int>(s_.size()); }
  // Empty or only spaces.
  bool IsBlank() const;
  bool operator!() const { return IsBlank(); }

  friend bool operator==(const tsTextBase& a, const tsTextBase& b) { return a.s_ == b.s_; }
  friend bool operator==(const tsTextBase& a, std::string_view b) { return a.view() == b; }
  friend std::strong_ordering operator<=>(const tsTextBase& a, const tsTextBase& b) {
    return Order(a.view(), b.view());
  }
  friend std::strong_ordering operator<=>(const tsTextBase& a, std::string_view b) { return Order(a.view(), b); }

  // tsData (Type and Clone come from tsTextValue)
  void SetVal(const tsData& other) override;
  std::string Format() const override { return s_; }
  bool Parse(std::string_view text) override {
    s_.assign(text);
    return true;
  }
  bool IsNull() const override { return IsBlank(); }
  void Clear() override { s_.clear(); }
  bool ToCell(tsCell& out, int decimals) const override;
  // Accepts text cells only.
  bool FromCell(const tsCell& in, int decimals) override;
  int Compare(const tsData& other) const override;

 protected:
  tsTextBase() = default;
  explicit tsTextBase(std::string s) : s_(std::move(s)) {}
  tsTextBase(const tsTextBase&) = default;
  tsTextBase(tsTextBase&&) noexcept = default;
  tsTextBase& operator=(const tsTextBase&) = default;
  tsTextBase& operator=(tsTextBase&&) noexcept = default;

  std::string s_;

 private:
  static std::strong_ordering Order(std::string_view a, std::string_view b) {
    const int c = a.compare(b);  // char_traits<char> compares bytes as unsigned
    return c < 0 ? std::strong_ordering::less : (c > 0 ? std::strong_ordering::greater : std::strong_ordering::equal);
  }
};

// The concrete text class D of kind K: construction from text and
// concatenation returning D.
template <typename D, tsDataType K>
class tsTextValue : public tsTextBase {
 public:
  tsTextValue() = default;
  tsTextValue(const char* s) : tsTextBase(s ? std::string(s) : std::string()) {}
  tsTextValue(std::string s) : tsTextBase(std::move(s)) {}
  tsTextValue(std::string_view s) : tsTextBase(std::string(s)) {}

  D& operator+=(const tsTextBase& o) {
    s_ += o.str();
    return Self();
  }
  D& operator+=(std::string_view o) {
    s_ += o;
    return Self();
  }
  D& operator+=(char c) {
    s_ += c;
    return Self();
  }
  friend D operator+(const D& a, const tsTextBase& b) { return D(a.str() + b.str()); }
  friend D operator+(const D& a, std::string_view b) { return D(a.str() + std::string(b)); }
  friend D operator+(std::string_view a, const D& b) { return D(std::string(a) + b.str()); }

  tsDataType Type() const override { return K; }
  std::unique_ptr<tsData> Clone() const override { return std::make_unique<D>(static_cast<const D&>(*this)); }

 private:
  D& Self() { return static_cast<D&>(*this); }
};
