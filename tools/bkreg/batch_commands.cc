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
#include <CLI/CLI.hpp>


#include "batches/batch.h"
#include "batches/bk_batch_part.h"
#include "framework/batch/batch.h"
#include "framework/io/rollback_stack.h"
#include "tools/bkreg/input.h"
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
  ModuleWork w(*c.ctx);
  if (int rc = w.Open(); rc != kDone) return rc;
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
  ModuleWork w(*c.ctx);
  if (int rc = w.Open(); rc != kDone) return rc;
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
  ModuleWork w(*c.ctx);
  if (int rc = w.Open(); rc != kDone) return rc;
  Batch b(w.Register());
  if (int rc = ReadBatch(b, o.appl, o.id, false, err); rc != kDone) return rc;
  Table t{kHeadings, kNumeric, {Row(b.m_Record, InBalance(w, b.m_Record))}};
  t.Print(out, c.format);
  return kDone;
}

int BatchClose(const Common& c, const BatchOptions& o, std::ostream& out, std::ostream& err) {
  ModuleWork w(*c.ctx);
  if (int rc = w.Open(); rc != kDone) return rc;
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
  // Clearing the totals and removing the emptied record are one unit of
  // work: a reader (a backup, verify) sees the batch open or closed, never
  // a record with its totals cleared and its transactions still counted.
  tclRollbackStack unit;
  b.AttachRollbackStack(&unit);
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
  if (st == tsioStatus::kSuccess) st = unit.Commit();
  if (st != tsioStatus::kSuccess) {
    (void)unit.Rollback();
    deleted = false;
  }
  (void)b.Unlock();
  if (st != tsioStatus::kSuccess) {
    err << "bkreg: batch '" << o.id << "' could not be closed (" << ccIOStatusStr(st) << ")\n";
    return kFailed;
  }
  out << "Closed batch " << o.id << " of " << o.appl << (deleted ? "" : " (its totals cleared)") << "\n";
  return kDone;
}

namespace {

// The options' batch id and application after the input rules: "" or the message.
std::string CheckBatch(BatchOptions& o) {
  std::string problem = CheckText("the batch id", o.id, 10, &o.id);
  if (problem.empty() && o.id.empty()) problem = "the batch id is empty";
  if (problem.empty() && o.appl != "BK" && o.appl != "AP") problem = "--appl is BK or AP";
  return problem;
}

}  // namespace

void AddBatchCommands(CLI::App& app, Context& ctx) {
  auto o = std::make_shared<BatchOptions>();
  auto count = std::make_shared<long>(0);
  CLI::App* batch = app.add_subcommand("batch", "batches and their control totals: open, list, show, close");
  batch->require_subcommand(1);
  auto run = [&ctx, o](int (*body)(const Common&, const BatchOptions&, std::ostream&, std::ostream&)) {
    const std::string problem = CheckBatch(*o);
    ctx.status = problem.empty() ? body(Common{&ctx, ctx.format}, *o, ctx.out, ctx.err) : ctx.Refuse(problem);
  };
  CLI::App* open = batch->add_subcommand(
      "open", "opens a batch with the number and amount of transactions expected (its control totals)");
  open->add_option("ID", o->id, "batch id, at most 10 characters")->required();
  open->add_option("--desc", o->description, "description, at most 30 characters");
  open->add_option("--date", o->date, "batch date (default today)");
  CLI::Option* n = open->add_option("--count", *count, "number of transactions expected (0 to 32767)");
  open->add_option("--amount", o->control_amount, "their amount");
  open->add_option("--appl", o->appl, "application: BK (default) or AP (payables' checks)");
  open->callback([&ctx, o, count, n, run] {
    if (n->count() > 0) o->control_count = *count;
    std::string desc;
    if (std::string problem = CheckText("--desc", o->description, 30, &desc); !problem.empty()) {
      ctx.status = ctx.Refuse(problem);
      return;
    }
    run(BatchOpen);
  });
  CLI::App* list = batch->add_subcommand("list", "batches with their control and entered totals");
  list->callback([&ctx] { ctx.status = BatchList(Common{&ctx, ctx.format}, ctx.out, ctx.err); });
  CLI::App* show = batch->add_subcommand("show", "one batch: control and entered totals, in balance or not");
  show->add_option("ID", o->id, "batch id")->required();
  show->add_option("--appl", o->appl, "application: BK (default) or AP");
  show->callback([run] { run(BatchShow); });
  CLI::App* close = batch->add_subcommand(
      "close", "closes a batch whose transactions are all posted (its totals cleared, the record removed)");
  close->add_option("ID", o->id, "batch id")->required();
  close->add_option("--appl", o->appl, "application: BK (default) or AP");
  close->callback([run] { run(BatchClose); });
}

}  // namespace bkreg
