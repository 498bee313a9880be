// Verifying a company's integrity and stored totals (see bk_verify.h).
#include "verify/bk_verify.h"

#include <map>
#include <tuple>

#include "accounts/bank_account.h"
#include "batches/batch.h"
#include "framework/io/backend.h"
#include "framework/io/company.h"
#include "transactions/transaction.h"

namespace {

// The sums of one family of totals (open or unreconciled).
struct Family {
  tsCurrency checks, deposits, withdrawals, plus, minus;
  tsCurrency Net() const { return (deposits + plus) - (checks + withdrawals + minus); }
  void Add(int type, const tsCurrency& net) {
    const tsCurrency zero;
    switch (type) {
      case 1: checks -= net; break;
      case 2: deposits += net; break;
      case 3: withdrawals -= net; break;
      case 4:
        if (net < zero) {
          minus -= net;
        } else {
          plus += net;
        }
        break;
      default: break;
    }
  }
};

struct BankSums {
  Family open, unreconciled;
  tsCurrency net, cleared;
};

struct BatchSums {
  long count = 0;
  tsCurrency amount;
};

using BatchKey = std::tuple<std::string, std::string, int, std::string>;  // appl, batch, source, location

constexpr const char kColumns[] = "TBNKACC;TRANTYP;TSUBTR;TADD;TRECOND;TRECAMT;TAPPL;TBATCH;TSOURCE;TDPLOC";

tsioStatus::Status Sum(const tsioDataFile& file, std::map<std::string, BankSums>* banks,
                       std::map<BatchKey, BatchSums>* batches, long* read,
                       const std::function<void(long)>& progress) {
  Transaction t(file, kColumns, 0);
  tsioStatus::Status st = t.FetchFirst(false);
  for (; st == tsioStatus::kSuccess; st = t.FetchNext(false)) {
    const TransactionData& r = t.m_Record;
    const tsCurrency net = r.GetAmount();
    const int type = r.GetType().Value();
    const int state = r.GetReconciled().Value();
    BankSums& b = (*banks)[r.GetBankAccount().str()];
    b.net += net;
    if (state == 2 || state == 3) b.cleared += r.GetClearedAmount();
    if (state == 1) b.open.Add(type, net);
    if (state != 3) b.unreconciled.Add(type, net);
    BatchSums& batch = (*batches)[{r.GetApplOfOrigin().str(), r.GetBatch().str(), r.GetBatchSource().Value(),
                                   r.GetBatchDPLoc().str()}];
    ++batch.count;
    batch.amount += net;
    if (++*read % 10000 == 0 && progress) progress(*read);
  }
  return st == tsioStatus::kEndOfFile ? tsioStatus::kSuccess : st;
}

void Compare(bkVerifyResult* out, const std::string& subject, const std::string& field, const tsCurrency& stored,
             const tsCurrency& computed) {
  if (stored == computed) return;
  out->drift.push_back({subject, field, stored.Format(), computed.Format()});
}

}  // namespace

tsioStatus::Status bkCheckIntegrity(const tsioDataFile& file, std::vector<std::string>* problems, int limit,
                                    bool quick) {
  return file.Company().Db().CheckIntegrity(limit, quick, problems);
}

bkVerifyResult bkVerifyCompany(const tsioDataFile& master, const tsioDataFile& register_file,
                               const tsioDataFile* history, const std::function<void(long)>& progress) {
  bkVerifyResult out;
  out.status = bkCheckIntegrity(master, &out.integrity);
  if (out.status != tsioStatus::kSuccess || !out.integrity.empty()) return out;

  std::map<std::string, BankSums> banks;
  std::map<BatchKey, BatchSums> batches;
  out.status = Sum(register_file, &banks, &batches, &out.transactions, progress);
  if (out.status == tsioStatus::kSuccess && history != nullptr) {
    out.status = Sum(*history, &banks, &batches, &out.transactions, progress);
  }
  if (out.status != tsioStatus::kSuccess) return out;

  BankAccount bank(master, "", 0);
  tsioStatus::Status st = bank.FetchFirst(false);
  for (; st == tsioStatus::kSuccess; st = bank.FetchNext(false)) {
    ++out.bank_accounts;
    const BankAccountData& r = bank.m_Record;
    const std::string id = r.GetBankAccount().str();
    const std::string subject = "bank account " + id;
    auto it = banks.find(id);
    const BankSums sums = it == banks.end() ? BankSums() : it->second;
    if (it != banks.end()) banks.erase(it);
    Compare(&out, subject, "open checks", r.GetOpenChecks(), sums.open.checks);
    Compare(&out, subject, "open deposits", r.GetOpenDeposits(), sums.open.deposits);
    Compare(&out, subject, "open withdrawals", r.GetOpenWithdrawals(), sums.open.withdrawals);
    Compare(&out, subject, "open adjustments +", r.GetOpenAdjustmentsPlus(), sums.open.plus);
    Compare(&out, subject, "open adjustments -", r.GetOpenAdjustmentsMinus(), sums.open.minus);
    Compare(&out, subject, "open net", r.GetOpenTransactions(), sums.open.Net());
    Compare(&out, subject, "unreconciled checks", r.GetUnreconciledChecks(), sums.unreconciled.checks);
    Compare(&out, subject, "unreconciled deposits", r.GetUnreconciledDeposits(), sums.unreconciled.deposits);
    Compare(&out, subject, "unreconciled withdrawals", r.GetUnreconciledWithdrawals(), sums.unreconciled.withdrawals);
    Compare(&out, subject, "unreconciled adjustments +", r.GetUnreconciledAdjustsPlus(), sums.unreconciled.plus);
    Compare(&out, subject, "unreconciled adjustments -", r.GetUnreconciledAdjustsMinus(), sums.unreconciled.minus);
    Compare(&out, subject, "unreconciled net", r.GetUnreconciledTransactions(), sums.unreconciled.Net());
    Compare(&out, subject, "register - bank balance", r.GetRegisterBalance() - r.GetBankBalance(),
            sums.net - sums.cleared);
  }
  if (st != tsioStatus::kEndOfFile) {
    out.status = st;
    return out;
  }
  for (const auto& [id, sums] : banks) {
    out.drift.push_back({"bank account " + id, "transactions of an account that does not exist", "0",
                         sums.net.Format()});
  }

  // Batch records, their keys mapped to what their transactions carry.
  std::map<BatchKey, BatchSums> stored;
  Batch b(register_file, "", 0);
  for (st = b.FetchFirst(false); st == tsioStatus::kSuccess; st = b.FetchNext(false)) {
    ++out.batches;
    const BatchData& r = b.m_Record;
    const std::string appl = r.GetApplOfOrigin().str();
    BatchSums& s = stored[{appl, r.GetBatch().str(), appl == "BK" ? r.GetSource().Value() : 1, r.GetDPLoc().str()}];
    s.count += static_cast<long>(r.GetCountPosted().Value());
    s.amount += r.GetAmountPosted();
  }
  if (st != tsioStatus::kEndOfFile) {
    out.status = st;
    return out;
  }
  for (const auto& [key, s] : stored) {
    const std::string subject = "batch " + std::get<0>(key) + "/" + std::get<1>(key) + "/" +
                                std::to_string(std::get<2>(key)) +
                                (std::get<3>(key).empty() ? "" : "/" + std::get<3>(key));
    auto it = batches.find(key);
    const BatchSums computed = it == batches.end() ? BatchSums() : it->second;
    if (s.count != computed.count) {
      out.drift.push_back({subject, "entered count", std::to_string(s.count), std::to_string(computed.count)});
    }
    Compare(&out, subject, "entered amount", s.amount, computed.amount);
  }
  return out;
}
