// One bank account's register over the current file and the history, merged
// in register order (register_walk.h).
#include "tools/bkreg/register_walk.h"

namespace bkreg {

namespace {

constexpr short kRegisterIndex = 5;
constexpr const char* kOrderColumns[] = {"TBNKACC", "TTRANDT", "TCHECK", "TSUBTR", "TRUN", "TSEQ"};
// Each side's slices stay under about this many rows. A slice's records are
// read by key, so a register whose dates do not follow its runs reads each
// table page once per slice: larger slices read the file fewer times (a
// million transactions: 2^15 rows about 550,000 page reads, 2^16 330,000)
// while the two sides' slices together stay near 16 MiB, the program
// about 50 MiB.
constexpr size_t kSliceRows = size_t{1} << 16;

template <typename T>
int Order(const T& a, const T& b) {
  if (a < b) return -1;
  if (b < a) return 1;
  return 0;
}

// `columns` with the columns of register order added where missing ("" binds
// every column already).
std::string WithOrderColumns(const std::string& columns) {
  if (columns.empty()) return columns;
  std::string out = columns;
  for (const char* c : kOrderColumns) {
    const std::string name(c);
    bool found = false;
    for (size_t at = 0; at <= out.size();) {
      const size_t end = std::min(out.find(';', at), out.size());
      if (out.compare(at, end - at, name) == 0) found = true;
      at = end + 1;
    }
    if (!found) out += ";" + name;
  }
  return out;
}

}  // namespace

RegisterPosition RegisterPosition::Of(const TransactionData& t) {
  return {t.GetTransactionDate(), t.GetCheck(), t.GetSubtraction(), t.GetRun(), t.GetSequence()};
}

int RegisterPosition::Compare(const RegisterPosition& a, const RegisterPosition& b) {
  if (int c = Order(a.date, b.date)) return c;
  if (int c = Order(a.check, b.check)) return c;
  if (int c = Order(a.subtraction, b.subtraction)) return c;
  if (int c = Order(a.run, b.run)) return c;
  return Order(a.sequence, b.sequence);
}

struct RegisterWalk::Side {
  Side(const tsioDataFile& file, const std::string& columns) : cursor(file, columns, kRegisterIndex) {}
  Transaction cursor;
  std::unique_ptr<tsioOrderedScan> scan;
  tsioStatus::Status head = tsioStatus::kEndOfFile;  // kSuccess: the cursor holds the next line
  bool skip_after = false;                           // the first lines up to `after` are left out
  RegisterPosition after;
};

RegisterWalk::RegisterWalk(const tsioDataFile& current, const tsioDataFile& history, const std::string& columns) {
  const std::string bound = WithOrderColumns(columns);
  sides_[0] = std::make_unique<Side>(current, bound);
  sides_[1] = std::make_unique<Side>(history, bound);
}

RegisterWalk::~RegisterWalk() = default;

void RegisterWalk::Start(const std::string& bank, const tsDate& from) {
  RegisterPosition at;
  at.date = from;
  Begin(bank, from.IsEmpty() ? nullptr : &at, false);
}

void RegisterWalk::StartAfter(const std::string& bank, const RegisterPosition& after) { Begin(bank, &after, true); }

void RegisterWalk::Prefetch(const std::string& bank, const tsDate& from) {
  RegisterPosition at;
  at.date = from;
  Position(bank, from.IsEmpty() ? nullptr : &at, false);
  for (auto& s : sides_) s->cursor.CursorPtr()->PrefetchGE();
}

void RegisterWalk::Begin(const std::string& bank, const RegisterPosition* at, bool after) {
  failed_ = tsioStatus::kSuccess;
  served_ = nullptr;
  Position(bank, at, after);
  for (auto& s : sides_) {
    s->scan = std::make_unique<tsioOrderedScan>(s->cursor, kSliceRows);
    s->head = Advance(*s);
    if (s->head != tsioStatus::kSuccess && s->head != tsioStatus::kEndOfFile) failed_ = s->head;
  }
}

void RegisterWalk::Position(const std::string& bank, const RegisterPosition* at, bool after) {
  for (auto& s : sides_) {
    Transaction& t = s->cursor;
    s->scan.reset();
    t.DetachRange();
    t.Initialize();
    t.m_Record.SetBankAccount(tsAlpha(bank));
    if (at != nullptr) {
      t.m_Record.SetTransactionDate(at->date);
      if (after) {
        t.m_Record.SetCheck(at->check);
        t.m_Record.SetSubtraction(at->subtraction);
        t.m_Record.SetRun(at->run);
        t.m_Record.SetSequence(at->sequence);
      } else {
        // The first line of the date: below every check number and amount.
        t.m_Record.SetSubtraction(tsCurrency(-(int64_t{1} << 52)));
      }
    }
    t.AttachRange(1);  // the bank account
    s->skip_after = after;
    if (after) s->after = *at;
  }
}

tsioStatus::Status RegisterWalk::Advance(Side& side) {
  for (;;) {
    const tsioStatus::Status st = side.scan->Next();
    if (st != tsioStatus::kSuccess || !side.skip_after) return st;
    if (RegisterPosition::Compare(RegisterPosition::Of(side.cursor.m_Record), side.after) > 0) {
      side.skip_after = false;
      return st;
    }
  }
}

tsioStatus::Status RegisterWalk::Next(const TransactionData** line, bool* posted) {
  if (failed_ != tsioStatus::kSuccess) return failed_;
  if (served_ != nullptr) {
    served_->head = Advance(*served_);
    served_ = nullptr;
    if (sides_[0]->head != tsioStatus::kSuccess && sides_[0]->head != tsioStatus::kEndOfFile) {
      return failed_ = sides_[0]->head;
    }
    if (sides_[1]->head != tsioStatus::kSuccess && sides_[1]->head != tsioStatus::kEndOfFile) {
      return failed_ = sides_[1]->head;
    }
  }
  Side& current = *sides_[0];
  Side& history = *sides_[1];
  Side* pick = nullptr;
  if (current.head == tsioStatus::kSuccess && history.head == tsioStatus::kSuccess) {
    const int c = RegisterPosition::Compare(RegisterPosition::Of(current.cursor.m_Record),
                                            RegisterPosition::Of(history.cursor.m_Record));
    pick = c <= 0 ? &current : &history;
  } else if (current.head == tsioStatus::kSuccess) {
    pick = &current;
  } else if (history.head == tsioStatus::kSuccess) {
    pick = &history;
  } else {
    return tsioStatus::kEndOfFile;
  }
  served_ = pick;
  *line = &pick->cursor.m_Record;
  *posted = pick == &history;
  return tsioStatus::kSuccess;
}

}  // namespace bkreg
