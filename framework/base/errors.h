// Messages and status results of the framework and of every module.
//
// Every failure is reported as a numbered message (ccError) in an ordered list
// (ccErrors), usually carried by a status result (ccStatus<V>) next to the
// operation's own value. Nothing is thrown across the library boundary.
//
// Message levels: 0 none, 1 information, 2 warning, 3 error, 4 fatal error.
// An error is present when the highest level is 3 or more.
//
// Messages come from the message catalogue (framework/base/catalogue.h) by
// module code and number, with tag values substituted (ErrorMessage), or are
// built directly with the ccError constructor.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "framework/base/export.h"
#include "framework/base/tag_values.h"

class tsTask;  // A running task of a program; defined with the programs.

// One message: number, level, a text, an optional second (follow-up) text and
// a flags word (0 unless a caller says otherwise).
class TS_EXPORT ccError {
 public:
  enum Level : short { kNone = 0, kInfo = 1, kWarning = 2, kError = 3, kFatal = 4 };

  ccError() = default;
  ccError(unsigned short number, Level level, std::string text, std::string text2 = "",
          unsigned flags = 0)
      : number_(number), level_(level), flags_(flags), text_(std::move(text)), text2_(std::move(text2)) {}

  unsigned short Number() const { return number_; }
  Level GetLevel() const { return level_; }
  void SetLevel(Level level) { level_ = level; }
  const std::string& Text() const { return text_; }
  const std::string& Text2() const { return text2_; }
  unsigned Flags() const { return flags_; }

  // The text shown to people: the text, then the second text on a line of
  // its own when there is one (either may be empty).
  std::string DisplayText() const;

  bool operator==(const ccError& other) const = default;

 private:
  unsigned short number_ = 0;
  Level level_ = kNone;
  unsigned flags_ = 0;
  std::string text_;
  std::string text2_;
};

// The higher of two levels.
constexpr ccError::Level ccMaxLevel(ccError::Level a, ccError::Level b) { return a < b ? b : a; }

// An ordered list of messages. Order is the order of Add calls.
class TS_EXPORT ccErrors {
 public:
  using const_iterator = std::vector<ccError>::const_iterator;
  using iterator = std::vector<ccError>::iterator;

  ccErrors() = default;
  ccErrors(std::initializer_list<ccError> errors) : errors_(errors) {}

  void Add(const ccError& error) { errors_.push_back(error); }
  // Appends every message of `other`, in order (appending a list to itself
  // doubles it).
  void Add(const ccErrors& other);

  // The highest level held; kNone for an empty list.
  ccError::Level MaxLevel() const;
  size_t Size() const { return errors_.size(); }
  bool Empty() const { return errors_.empty(); }
  void Clear() { errors_.clear(); }

  const ccError& operator[](size_t i) const { return errors_[i]; }
  ccError& operator[](size_t i) { return errors_[i]; }
  const_iterator begin() const { return errors_.begin(); }
  const_iterator end() const { return errors_.end(); }
  iterator begin() { return errors_.begin(); }
  iterator end() { return errors_.end(); }

  // Shows every message, in order, through the application's responder
  // (TSGetApp(), framework/base/application.h): one ShowMessage call per
  // message with its DisplayText() and level. `task` names the task whose
  // user sees the list; it may be null.
  void Display(const tsTask* task = nullptr) const;

  bool operator==(const ccErrors& other) const = default;

 private:
  std::vector<ccError> errors_;
};

// Value of a status whose only content is success or failure.
enum ccBoolStatus : short { kBoolSuccess = 0, kBoolFailure = 1 };

// A result: a value of type V plus the messages the operation produced (an
// empty list on success).
//
// For V = ccError::Level the value is the level of what the status carries:
// Add and Merge raise it to the highest level they bring in, and MaxLevel is
// the higher of the value and the list's level (a status may carry level 3
// without any message). For every other V the level is the list's alone.
template <typename V>
class [[nodiscard]] ccStatus {
 public:
  static constexpr bool kIsLevel = std::is_same_v<V, ccError::Level>;

  ccStatus() = default;
  ccStatus(V value) : value_(std::move(value)) {}  // NOLINT: implicit on purpose
  ccStatus(V value, ccErrors errors) : value_(std::move(value)), errors_(std::move(errors)) {}
  ccStatus(V value, const ccError& error) : value_(std::move(value)) { errors_.Add(error); }

  const V& Value() const { return value_; }
  void SetValue(V value) { value_ = std::move(value); }
  const ccErrors& Errors() const { return errors_; }
  ccErrors& Errors() { return errors_; }

  ccError::Level MaxLevel() const {
    if constexpr (kIsLevel) {
      return ccMaxLevel(value_, errors_.MaxLevel());
    } else {
      return errors_.MaxLevel();
    }
  }
  bool HasError() const { return MaxLevel() >= ccError::kError; }

  ccStatus& Add(const ccError& error) {
    errors_.Add(error);
    if constexpr (kIsLevel) value_ = ccMaxLevel(value_, error.GetLevel());
    return *this;
  }
  ccStatus& Add(const ccErrors& errors) {
    errors_.Add(errors);
    if constexpr (kIsLevel) value_ = ccMaxLevel(value_, errors.MaxLevel());
    return *this;
  }

  // Appends `other`'s messages after this status's own. For a level status
  // the value becomes the higher of the two levels (other's MaxLevel); for
  // other value types the value is unchanged.
  template <typename W>
  ccStatus& Merge(const ccStatus<W>& other) {
    errors_.Add(other.Errors());
    if constexpr (kIsLevel) value_ = ccMaxLevel(value_, other.MaxLevel());
    return *this;
  }
  template <typename W>
  ccStatus& operator+=(const ccStatus<W>& other) {
    return Merge(other);
  }

 private:
  V value_{};
  ccErrors errors_;
};

// The message `number` of `module` from the catalogue, its tags replaced by
// the values of `tags` (a tag without a value becomes empty), at the level the
// catalogue gives for it (callers may SetLevel). An unknown module or number
// never fails: it gives that number at level 3 with the text
// "Message <module> <number> is not in the catalogue." followed by the tags.
TS_EXPORT ccError ErrorMessage(std::string_view module, unsigned short number, const tclTagValues& tags);

// A short text for a data-file status (tsioStatus::Status, see
// framework/io/io_status.h) that ends with the number in parentheses, such
// as "record not found (13)"; an unknown value gives "I/O status <n>".
TS_EXPORT std::string ccIOStatusStr(short status);

// Whether a data-file status is fatal: the data file itself cannot be trusted
// or used, so the program should stop rather than go on with other records.
//   Fatal: 2 I/O error, 3 file not open, 11 read-only, 16 damaged, 17 disk full,
//          18 out of memory, 19 lock file unavailable, and any value unknown
//          to tsioStatus (read as an I/O error, as ConvertToTsio does).
//   Not fatal: 0 success, 1 invalid operation, 5 duplicate key, 6 merged,
//          8 value does not fit, 9 locked, 10 busy, 12 end of file,
//          13 not found, 14 no current record, 15 file does not exist.
TS_EXPORT bool ccFatalError(short status);
