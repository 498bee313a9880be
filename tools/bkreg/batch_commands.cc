// bkreg batch open|list|show|close: the register's batches and their control
// totals.
//
// A batch record (BKT record type 6) holds the control count and amount a
// person expects (BCNT, BAMT) and the count and amount entered against it so
// far (BCNTP, BAMTP, counted by every transaction created in the batch).
// The batch is in balance when the entered totals equal the control totals
// (the batch part's rule: an empty control count checks the amount only).
// `post` refuses a batch that has control totals and is not in balance.
// `close` ends a batch once every transaction of it was posted: its totals
// are cleared and, when nothing of it is left in the register, the record
// is deleted; a batch with transactions still unposted is refused.
#include <iostream>

#include "batches/batch.h"
#include "batches/bk_batch_part.h"
#include "framework/batch/batch.h"
#include "tools/bkreg/module_commands.h"
#include "tools/bkreg/module_work.h"

namespace bkreg {

namespace {

// Batches entered in this module have source 2; those of another
// application (payables' checks) source 1, as their transactions.
short SourceOf(const std::string& appl) { return appl == "BK" ? 2 : 1; }

const std::vector<std::string> kHeadings = {"Appl",          "Batch",          "Description",   "Date",
                                            "Control count", "Control amount", "Entered count", "Entered amount",
                                            "In balance"};
const std::vector<bool> kNumeric = {false, false, false, false, true, true, true, true, false};

// The batch's framework object with the register's part, its record in the
// register file.
zzBatch MakeBatch(ModuleWork& w, const std::string& appl, const std::string& id) {
  zzBatch batch(appl, tsAlpha(id), SourceOf(appl));
  batch.AddPart(std::unique_ptr<zzBatchPart>(bk_new_batch_part()))->SetFileNumber(w.Register().FileNum());
  return batch;
}

bkBatchPart& PartOf(zzBatch& batch) { return *dynamic_cast<bkBatchPart*>(batch.ApplPart("BK")); }

std::vector<std::string> Row(const BatchData& r, bool in_balance) {
  return {r.GetApplOfOrigin().str(),  r.GetBatch().str(),        r.GetDescription().str(),
          r.GetDate().Format(),       r.GetCount().Format(),     r.GetAmount().Format(),
          r.GetCountPosted().Format(), r.GetAmountPosted().Format(), in_balance ? "yes" : "no"};
}

// The batch part's balance rule over a record read from the file.
bool InBalance(ModuleWork& w, const BatchData& r) {
  zzBatch batch = MakeBatch(w, r.GetApplOfOrigin().str(), r.GetBatch().str());
  bkBatchPart& part = PartOf(batch);
  part.SetNumberOfTrans(tsDouble(r.GetCount().Value()));
  part.SetAmountOfTrans(r.GetAmount());
  part.SetNumberOfTransPosted(tsDouble(r.GetCountPosted().Value()));
  part.SetAmountOfTransPosted(r.GetAmountPosted());
  return part.InBalance();
}

// Reads the batch (appl, id) into `b`: kDone, or kRefused / kFailed with a
// message.
int ReadBatch(Batch& b, const std::string& appl, const std::string& id, bool lock, std::ostream& err) {
  b.m_Record.SetApplOfOrigin(tsAlpha(appl));
  b.m_Record.SetBatch(tsAlpha(id));
  tclTSEnum<BatchSourceEnum> source;
  source.SetValue(SourceOf(appl));
  b.m_Record.SetSource(source);
  b.m_Record.SetDPLoc(tsAlpha(""));
  const tsioStatus::Status st = b.FetchEQ(lock);
  if (st == tsioStatus::kSuccess) return kDone;
  if (st == tsioStatus::kNotFound || st == tsioStatus::kEndOfFile) {
    err << "bkreg: no batch '" << id << "' of application " << appl << "\n";
    return kRefused;
  }
  if (st == tsioStatus::kLocked) {
    err << "bkreg: batch '" << id << "' is in use by another program\n";
    return kBusy;
  }
  err << "bkreg: cannot read batch '" << id << "' (" << ccIOStatusStr(st) << ")\n";
  return kFailed;
}

}  // namespace

int BatchOpen(const Common& c, const BatchOptions& o, std::ostream& out, std::ostream& err) {
  tsDate date = tsDate::Today();
  if (!o.date.empty() && !ReadDate(o.date, &date)) {
    err << "bkreg: --date: not a date: '" << o.date << "' (YYYY-MM-DD)\n";
    return kRefused;
  }
  tsCurrency amount;
  if (!o.control_amount.empty() && !ReadAmount(o.control_amount, &amount)) {
    err << "bkreg: --amount: not an amount: '" << o.control_amount << "' (digits, at most two decimals)\n";
    return kRefused;
  }
  if (o.control_count && (*o.control_count < 0 || *o.control_count > 32767)) {
    err << "bkreg: --count: from 0 to 32767 transactions\n";
    return kRefused;
  }
  ModuleWork w(c.company);
  if (!w.Open(err)) return kFailed;
  zzBatch batch = MakeBatch(w, o.appl, o.id);
  tsioStatus::Status st = batch.ReadInfo("BK");
  if (st == tsioStatus::kSuccess) {
    err << "bkreg: batch '" << o.id << "' of application " << o.appl << " is open already\n";
    return kRefused;
  }
  if (st != tsioStatus::kNotFound) {
    err << "bkreg: cannot read batch '" << o.id << "' (" << ccIOStatusStr(st) << ")\n";
    return kFailed;
  }
  batch.SetDesc(o.description);
  batch.SetDate(date);
  batch.SyncParts();
  bkBatchPart& part = PartOf(batch);
  part.Init();
  part.SetNumberOfTrans(tsDouble(o.control_count.value_or(0)));
  part.SetAmountOfTrans(amount);
  st = batch.OpenInfo("BK");
  if (st != tsioStatus::kSuccess) {
    err << "bkreg: batch '" << o.id << "' could not be opened (" << ccIOStatusStr(st) << ")\n";
    return kFailed;
  }
  out << "Opened batch " << o.id << " of " << o.appl << ": " << part.GetNumberOfTrans().Format()
      << " transactions of " << tsCurrency(part.GetAmountOfTrans()).Format() << " expected\n";
  return kDone;
}

int BatchList(const Common& c, std::ostream& out, std::ostream& err) {
  ModuleWork w(c.company);
  if (!w.Open(err)) return kFailed;
  Batch b(w.Register());
  Table t{kHeadings, kNumeric, {}};
  tsioStatus::Status st = b.FetchFirst(false);
  for (; st == tsioStatus::kSuccess; st = b.FetchNext(false)) t.rows.push_back(Row(b.m_Record, InBalance(w, b.m_Record)));
  if (st != tsioStatus::kEndOfFile && st != tsioStatus::kNotFound) {
    err << "bkreg: cannot read the batches (" << ccIOStatusStr(st) << ")\n";
    return kFailed;
  }
  t.Print(out, c.format);
  return kDone;
}

int BatchShow(const Common& c, const BatchOptions& o, std::ostream& out, std::ostream& err) {
  ModuleWork w(c.company);
  if (!w.Open(err)) return kFailed;
  Batch b(w.Register());
  if (int rc = ReadBatch(b, o.appl, o.id, false, err); rc != kDone) return rc;
  Table t{kHeadings, kNumeric, {Row(b.m_Record, InBalance(w, b.m_Record))}};
  t.Print(out, c.format);
  return kDone;
}

int BatchClose(const Common& c, const BatchOptions& o, std::ostream& out, std::ostream& err) {
  ModuleWork w(c.company);
  if (!w.Open(err)) return kFailed;
  Batch b(w.Register());
  if (int rc = ReadBatch(b, o.appl, o.id, true, err); rc != kDone) return rc;
  // Every transaction of the batch must have been posted (moved to history
  // by `post`): a batch whose members cannot be read is never taken for
  // posted.
  if (!b.ClearAmountsIfPosted()) {
    (void)b.Unlock();
    err << "bkreg: batch '" << o.id << "' still has transactions that are not posted; post it first\n";
    return kRefused;
  }
  tsioStatus::Status st = b.Update();
  bool deleted = false;
  if (st == tsioStatus::kSuccess) {
    const tsioStatus::Status members = b.MembersStatus();
    if (members == tsioStatus::kEndOfFile) {
      st = b.deleteIfEmpty();
      deleted = st == tsioStatus::kSuccess;
    } else if (members != tsioStatus::kSuccess) {
      st = members;
    }
  }
  (void)b.Unlock();
  if (st != tsioStatus::kSuccess) {
    err << "bkreg: batch '" << o.id << "' could not be closed (" << ccIOStatusStr(st) << ")\n";
    return kFailed;
  }
  out << "Closed batch " << o.id << " of " << o.appl << (deleted ? "" : " (its totals cleared)") << "\n";
  return kDone;
}

}  // namespace bkreg
