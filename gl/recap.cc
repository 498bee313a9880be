// The general ledger's account recap: per update block, the debit and
// credit totals of every ledger and account that processing touched, kept
// in transactions of its own and printed into a journal section.
//
// Recap transactions nest: GL_START_TRANSACTION_FOR_RECAP saves the recap,
// GL_COMMIT_TRANSACTION_FOR_RECAP drops the last save (keeping what changed
// since), GL_ROLLBACK_TRANSACTION_FOR_RECAP goes back to it.
// GL_FREE_RECAP_INFO forgets the block's recap and its saves.
//
// Printed form (GL_PRINT_ACCT_RECAP), one block per ledger that has lines:
//   General Ledger Account Recap
//
//   Accrual ledger
//     Account                            Debits         Credits
//     01-01-1000-100                     150.00            0.00
//                               --------------- ---------------
//                                        150.00          150.00
// Accounts are shown formatted (account format 9), in account order;
// amounts by the field editor with 2 decimals. Without any line:
// "No General Ledger transactions." under the title.
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "framework/control/account_format.h"
#include "framework/module/gl_blocks.h"
#include "framework/program/journal.h"
#include "framework/types/edit_field.h"
#include "gl/posting.h"

#define GL_EXPORT extern "C" __attribute__((visibility("default")))

namespace gl {

namespace {

struct Totals {
  tsCurrency debits;
  tsCurrency credits;
};
using Recap = std::map<std::pair<short, std::string>, Totals>;

struct BlockRecap {
  Recap current;
  std::vector<Recap> saved;
};

std::mutex mu;
std::map<const void*, BlockRecap> recaps;

std::string Pad(std::string text, std::size_t width, bool right) {
  if (text.size() < width) text = right ? std::string(width - text.size(), ' ') + text : text + std::string(width - text.size(), ' ');
  return text;
}

}  // namespace

void RecapAdd(const void* block, const gl_tran_def& def, int sign) {
  const tsCurrency amount = glTranDefAmount(def);
  const tsCurrency signed_amount = sign < 0 ? -amount : amount;
  const std::string debit = glGetText(def.debit_account);
  const std::string credit = glGetText(def.credit_account);
  std::lock_guard<std::mutex> lock(mu);
  Recap& r = recaps[block].current;
  if (!debit.empty()) r[{def.ledger, debit}].debits += signed_amount;
  if (!credit.empty()) r[{def.ledger, credit}].credits += signed_amount;
}

}  // namespace gl

GL_EXPORT bool GL_START_TRANSACTION_FOR_RECAP(void* block) {
  std::lock_guard<std::mutex> lock(gl::mu);
  gl::BlockRecap& r = gl::recaps[block];
  r.saved.push_back(r.current);
  return true;
}

GL_EXPORT void GL_COMMIT_TRANSACTION_FOR_RECAP(void* block) {
  std::lock_guard<std::mutex> lock(gl::mu);
  auto it = gl::recaps.find(block);
  if (it != gl::recaps.end() && !it->second.saved.empty()) it->second.saved.pop_back();
}

GL_EXPORT void GL_ROLLBACK_TRANSACTION_FOR_RECAP(void* block) {
  std::lock_guard<std::mutex> lock(gl::mu);
  auto it = gl::recaps.find(block);
  if (it == gl::recaps.end() || it->second.saved.empty()) return;
  it->second.current = std::move(it->second.saved.back());
  it->second.saved.pop_back();
}

GL_EXPORT void GL_FREE_RECAP_INFO(void* block) {
  std::lock_guard<std::mutex> lock(gl::mu);
  gl::recaps.erase(block);
}

GL_EXPORT void GL_PRINT_ACCT_RECAP(void* block, void* print_block) {
  if (!print_block) return;
  gl::Recap recap;
  {
    std::lock_guard<std::mutex> lock(gl::mu);
    auto it = gl::recaps.find(block);
    if (it != gl::recaps.end()) recap = it->second.current;
  }
  zp_print_line(print_block, "General Ledger Account Recap");
  zp_print_line(print_block, "");
  if (recap.empty()) {
    zp_print_line(print_block, "No General Ledger transactions.");
    return;
  }
  auto money = [](const tsCurrency& v) { return gl::Pad(xe_edit_field(v, 2), 15, true); };
  for (short ledger : {kGLLedgerAccrual, kGLLedgerCash}) {
    tsCurrency debits;
    tsCurrency credits;
    bool any = false;
    for (const auto& [key, totals] : recap) {
      if (key.first != ledger) continue;
      if (!any) {
        zp_print_line(print_block, ledger == kGLLedgerAccrual ? "Accrual ledger" : "Cash ledger");
        zp_print_line(print_block, "  " + gl::Pad("Account", 30, false) + gl::Pad("Debits", 15, true) + " " +
                                       gl::Pad("Credits", 15, true));
        any = true;
      }
      const std::string account = xk_format_alpha(9, 0, tsAlpha(key.second)).str();
      zp_print_line(print_block, "  " + gl::Pad(account, 30, false) + money(totals.debits) + " " +
                                     money(totals.credits));
      debits += totals.debits;
      credits += totals.credits;
    }
    if (!any) continue;
    zp_print_line(print_block, std::string(32, ' ') + std::string(15, '-') + " " + std::string(15, '-'));
    zp_print_line(print_block, std::string(32, ' ') + money(debits) + " " + money(credits));
    zp_print_line(print_block, "");
  }
}
