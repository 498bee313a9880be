// tsCurrency: a money amount, a tsDouble whose declared decimals are 2.
//
// It holds any exact decimal like tsDouble (an amount can carry more than two
// places until it is rounded on purpose, e.g. Round(2)); its text shows two
// decimals. Arithmetic between two amounts (or an amount and a whole number)
// gives an amount; arithmetic with a plain tsDouble gives a tsDouble. A
// tsDouble becomes an amount only explicitly (tsCurrency(d), or assignment),
// which keeps the declared decimals at 2 and takes the value exactly.
#pragma once

#include <concepts>
#include <memory>
#include <string_view>

#include "framework/base/export.h"
#include "framework/types/ts_double.h"

class TS_EXPORT tsCurrency : public tsDouble {
 public:
  static constexpr int kDecimals = 2;

  // 0.00
  tsCurrency() : tsDouble(0, kDecimals) {}
  // A whole amount.
  template <std::integral I>
    requires(!std::same_as<I, bool>)
  tsCurrency(I value) : tsDouble(value, kDecimals) {}
  tsCurrency(double) = delete;
  // The value of `d`, exactly, declared with 2 decimals.
  explicit tsCurrency(const tsDouble& d) : tsDouble(d) { SetDecimals(kDecimals); }

  tsCurrency& operator=(const tsDouble& d) {
    tsDouble::operator=(d);
    SetDecimals(kDecimals);
    return *this;
  }
  template <std::integral I>
    requires(!std::same_as<I, bool>)
  tsCurrency& operator=(I value) {
    return *this = tsCurrency(value);
  }

  // The value of decimal text (grammar of tsDouble::Parse); invalid when the
  // text is not a number.
  static tsCurrency FromText(std::string_view text) { return tsCurrency(tsDouble::FromText(text, kDecimals)); }
  // A binary double rounded half away from zero to cents.
  static tsCurrency FromDouble(double value) { return tsCurrency(tsDouble::FromDouble(value, kDecimals)); }

  tsCurrency& Round(int n) {
    tsDouble::Round(n);
    return *this;
  }

  friend tsCurrency operator+(const tsCurrency& a, const tsCurrency& b) { return tsCurrency(Add(a, b)); }
  friend tsCurrency operator-(const tsCurrency& a, const tsCurrency& b) { return tsCurrency(Subtract(a, b)); }
  friend tsCurrency operator*(const tsCurrency& a, const tsCurrency& b) { return tsCurrency(Multiply(a, b)); }
  friend tsCurrency operator/(const tsCurrency& a, const tsCurrency& b) { return tsCurrency(Divide(a, b)); }
  friend tsCurrency operator-(const tsCurrency& a) { return tsCurrency(a.Negated()); }

  tsCurrency& operator+=(const tsDouble& o) {
    tsDouble::operator+=(o);
    return *this;
  }
  tsCurrency& operator-=(const tsDouble& o) {
    tsDouble::operator-=(o);
    return *this;
  }
  tsCurrency& operator*=(const tsDouble& o) {
    tsDouble::operator*=(o);
    return *this;
  }
  tsCurrency& operator/=(const tsDouble& o) {
    tsDouble::operator/=(o);
    return *this;
  }
  tsCurrency& operator++() {
    tsDouble::operator++();
    return *this;
  }
  tsCurrency& operator--() {
    tsDouble::operator--();
    return *this;
  }
  tsCurrency operator++(int) {
    tsCurrency old = *this;
    ++*this;
    return old;
  }
  tsCurrency operator--(int) {
    tsCurrency old = *this;
    --*this;
    return old;
  }

  tsDataType Type() const override { return tsDataType::kCurrency; }
  std::unique_ptr<tsData> Clone() const override;
};
