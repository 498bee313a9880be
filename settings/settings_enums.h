// Choices held by the module settings (bkSettings).
//
// GLReferenceContents: what a general-ledger reference field of a register
// transaction carries; any value other than those below leaves it blank.
// DepositDetailCashSideEnum / DepositDetailNonCashSideEnum: how finely the
// cash side and the non-cash side of a deposit's general-ledger lines are
// kept apart when detailed general-ledger transactions are sent.
#pragma once

enum class GLReferenceContents : short {
  kBlank = 1,        // the reference is left blank
  kBankAccount = 2,  // the reference carries the bank account
  kDepositID = 3,    // the reference carries the deposit id
};

enum class DepositDetailCashSideEnum : short {
  kCashByDeposit = 1,  // one cash line per deposit
  kCashByItem = 2,     // one cash line per deposit item
};

enum class DepositDetailNonCashSideEnum : short {
  kNonCashByDeposit = 1,  // one offset line per deposit and account
  kNonCashByItem = 2,     // one offset line per deposit item detail
};
