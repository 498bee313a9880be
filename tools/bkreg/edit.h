// Changing an unposted transaction in place: the same bank account, run and
// sequence (its identity from entry to reconciliation), new values.
//
// Rules:
//   - Only an unposted transaction (in the register, not the history) that
//     is not one side of a transfer is changed; its type and bank account
//     stay (a change of either is a removal and a new entry).
//   - The change is one unit of work, with the bank account held (waited for
//     up to the context's wait) and the account's edit-register lock free:
//     the old version's details are removed, it is removed through the
//     library (uncounted from its batch) and taken out of the account's
//     register balance and totals; the new version, under the same run and
//     sequence and in the same batch, gets its details, is validated by the
//     module's rules, inserted, counted in the batch and into the account's
//     balance and totals. So the totals, the batch's counts and the details
//     end exactly as if the new version had been entered instead of the old
//     one. A refusal or failure at any step rolls the whole unit back.
//   - A check number or deposit (date and id) another transaction of the
//     account uses is refused as `bkreg enter` refuses it, unless
//     `allow_duplicate` (never for a deposit id a pending deposit holds).
//   - `was` is the transaction as the person saw it (Snapshot when the form
//     was made). When the stored transaction differs from it (another
//     program changed it meanwhile), nothing is changed: the status is
//     kRefused and `*changed` lists each field that differs, with both
//     values.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tools/bkreg/context.h"
#include "tools/bkreg/entry.h"
#include "tools/bkreg/module_commands.h"

class Transaction;
class TransactionData;

namespace bkreg {

class ModuleWork;

// A transaction's editable values as text, by field name: date, amount,
// check, payee, deposit_id, description, account, cash_account, state and
// lines (its distribution lines, "ACCOUNT=AMOUNT@ITEM" joined by "; ").
using TranSnapshot = std::map<std::string, std::string>;

// Reads the unposted transaction `t` names (its record into `*data`, its
// values into `*snapshot` and its distribution lines into `*lines`); the exit
// status, with a message on `err` (a posted transaction is refused: it cannot
// be changed).
int ReadForEdit(Context& ctx, const TranRef& t, TransactionData* data, TranSnapshot* snapshot,
                std::vector<DetailLine>* lines);

// Changes the transaction `t` names to the values of `e` (its type and bank
// must be the stored ones); the exit status. See the rules above.
int EditTransaction(Context& ctx, const TranRef& t, const Entry& e, const TranSnapshot& was,
                    std::vector<std::string>* changed);

}  // namespace bkreg
