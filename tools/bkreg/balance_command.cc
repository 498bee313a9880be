// bkreg balance: a bank account's balance as of a date.
//
//   bkreg balance BANK --as-of DATE [--kind register|bank|reconciled|cash]
//                 [--cash-account ACCOUNT]
//
// register (the default): the register balance at the end of the date;
// bank: the cleared balance; reconciled: the last reconciled balance;
// cash: the balance of one GL cash account of the bank account (needs
// --cash-account). Without --as-of, today.
#include <iostream>

#include "balances/balance_accumulators.h"
#include "balances/balance_as_of.h"
#include "framework/base/application.h"
#include "framework/io/file_manager.h"
#include "records/files.h"
#include "tools/bkreg/commands.h"

namespace bkreg {

int CmdBalance(const Args& a, std::ostream& out, std::ostream& err) {
  std::string bank = a.Option("bank");
  if (bank.empty() && !a.positional.empty()) bank = a.positional[0];
  const std::string kind = a.Option("kind", "register");
  const std::string cash = a.Option("cash-account");
  if (bank.empty() || (kind != "register" && kind != "bank" && kind != "reconciled" && kind != "cash") ||
      (kind == "cash") == cash.empty()) {
    err << "bkreg: balance BANK --as-of DATE [--kind register|bank|reconciled|cash] [--cash-account ACCOUNT]\n"
           "       (--cash-account with --kind cash only)\n";
    return 1;
  }
  tsDate as_of = tsDate::Today();
  const std::string date = a.Option("as-of");
  if (!date.empty() && (!as_of.Parse(date) || as_of.IsEmpty())) {
    err << "bkreg: not a date: " << date << "\n";
    return 1;
  }
  TSGetApp()->SetCompanyFolder(a.company);
  tsioFileManager fm(a.company);
  tsioDataFile *bkm = nullptr, *bkt = nullptr;
  if (fm.Open(BKMFileSpec, &bkm) != tsioStatus::kSuccess || fm.Open(BKTFileSpec, &bkt) != tsioStatus::kSuccess) {
    err << "bkreg: cannot open the company's files in " << a.company << " (run 'bkreg init' first)\n";
    return 2;
  }
  const tsAlpha id(bank);
  tsCurrency balance;
  if (kind == "register") {
    balance = bkRegisterBalanceAsOfDateAccumulator(id, as_of, *bkm, *bkt).accumulate();
  } else if (kind == "bank") {
    balance = bkBankBalanceAsOfDateAccumulator(id, as_of, *bkm, *bkt).accumulate();
  } else if (kind == "reconciled") {
    balance = bkLastReconciledBalanceAsOfDateAccumulator(id, as_of, *bkm, *bkt).accumulate();
  } else {
    balance = bkCashAccountBalanceAsOfDateAccumulator(id, tsAlpha(cash), as_of, *bkm, *bkt).accumulate();
  }
  if (bkIsBalanceFailure(balance)) {
    err << "bkreg: the " << kind << " balance of '" << bank << "' could not be computed (details in "
        << a.company << "/bkreg.log)\n";
    return 2;
  }
  Table table{{"Bank", "As of", "Kind", "Balance"}, {false, false, false, true}, {}};
  table.rows.push_back({bank, as_of.Format(), kind == "cash" ? "cash " + cash : kind, balance.Format()});
  table.Print(out, a.format);
  return 0;
}

}  // namespace bkreg
