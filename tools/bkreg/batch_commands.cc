// bkreg batch open|list|show|edit|close: the register's batches and their
// control totals.
//
// A batch is an id (batch_ids.h): its records (BKT record type 6, the
// register's and payables' for checks) hold the control count and amount a
// person expects (BCNT, BAMT) and the count and amount entered against them
// (BCNTP, BAMTP, counted by every transaction created in the batch); the
// batch's totals are their sums. The batch is in balance when the entered
// totals equal the control totals (the module's rule: an empty control
// count checks the amount only); `post` refuses a batch that has control
// totals and is not in balance. `edit` corrects the control totals of a
// batch not yet posted. `close` ends a batch once every transaction of it
// was posted: its totals are cleared and, when nothing of it is left in the
// register, its records are deleted; a batch with transactions still
// unposted is refused. Its id may then start a new batch.
#include <iostream>
#include <map>
#include <memory>
#include <CLI/CLI.hpp>


#include "batches/batch.h"
#include "batches/bk_batch_part.h"
#include "framework/batch/batch.h"
#include "framework/io/rollback_stack.h"
#include "tools/bkreg/batch_ids.h"
#include "tools/bkreg/input.h"
#include "tools/bkreg/module_commands.h"
#include "tools/bkreg/module_work.h"

namespace bkreg {

namespace {

const std::vector<std::string> kHeadings = {"Batch",         "Description",    "Date",          "Control count",
                                            "Control amount", "Entered count", "Entered amount", "In balance",
                                            "State"};
const std::vector<bool> kNumeric = {false, false, false, true, true, true, true, false, false};

// One batch: the records of one id and generation (batch_ids.h).
struct WholeBatch {
  std::string id, location;
  std::vector<BatchData> records;  // the register's ("BK") first
  BatchTotals totals;
  bool posted = false;  // a record counts entries and none is left unposted

  const BatchData& Main() const { return records.front(); }
};

// The batches of the register, each with its records, in id order; only
// `id` when it is not empty. kDone, or the exit status after a message.
int ReadBatches(ModuleWork& w, const std::string& id, std::vector<WholeBatch>* out, std::ostream& err) {
  std::map<std::pair<std::string, std::string>, WholeBatch> by_key;
  Batch b(w.Register());
  tsioStatus::Status st = b.FetchFirst(false);
  for (; st == tsioStatus::kSuccess; st = b.FetchNext(false)) {
    const BatchData& r = b.m_Record;
    if (!id.empty() && r.GetBatch() != id) continue;
    WholeBatch& whole = by_key[{r.GetBatch().str(), r.GetDPLoc().str()}];
    whole.id = r.GetBatch().str();
    whole.location = r.GetDPLoc().str();
    if (r.GetApplOfOrigin() == "BK") {
      whole.records.insert(whole.records.begin(), r);
    } else {
      whole.records.push_back(r);
    }
    whole.totals.Add(r);
    if (r.GetCountPosted().Value() != 0 || !r.GetAmountPosted().IsNull()) {
      const tsioStatus::Status members = b.MembersStatus();
      if (members == tsioStatus::kEndOfFile) whole.posted = true;
      if (members != tsioStatus::kSuccess && members != tsioStatus::kEndOfFile) {
        err << "bkreg: cannot read the transactions of batch '" << whole.id << "' (" << ccIOStatusStr(members)
            << ")\n";
        return members == tsioStatus::kLocked || members == tsioStatus::kBusy ? kBusy : kFailed;
      }
    }
  }
  if (st != tsioStatus::kEndOfFile && st != tsioStatus::kNotFound) {
    err << "bkreg: cannot read the batches (" << ccIOStatusStr(st) << ")\n";
    return kFailed;
  }
  for (auto& [key, whole] : by_key) out->push_back(std::move(whole));
  return kDone;
}

std::vector<std::string> Row(const WholeBatch& b) {
  const BatchData& r = b.Main();
  const BatchTotals& t = b.totals;
  return {b.id,
          r.GetDescription().str(),
          r.GetDate().IsEmpty() ? "" : r.GetDate().Format(),
          std::to_string(t.control_count),
          t.control_amount.Format(),
          std::to_string(t.entered_count),
          t.entered_amount.Format(),
          !t.Controlled() ? "no control totals" : t.InBalance() ? "yes" : "no",
          b.posted ? "posted" : "open"};
}

// The one batch `id` names: kDone, or kRefused / kFailed with a message.
int ReadOne(ModuleWork& w, const std::string& id, WholeBatch* out, std::ostream& err) {
  std::vector<WholeBatch> found;
  if (int rc = ReadBatches(w, id, &found, err); rc != kDone) return rc;
  if (found.empty()) {
    err << "bkreg: no batch '" << id << "'\n";
    return kRefused;
  }
  *out = std::move(found.back());
  return kDone;
}

// A record of `b` fetched with its lock into `cursor`.
tsioStatus::Status Hold(Batch& cursor, const BatchData& r) {
  cursor.m_Record = r;
  return cursor.FetchEQ(true);
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
  BatchGeneration g;
  if (int rc = EntryGeneration(*c.ctx, w.Register(), w.History(), o.id, &g); rc != kDone) return rc;
  if (g.exists) {
    err << "bkreg: batch '" << o.id << "' is open already (batch edit " << o.id << " corrects its control totals)\n";
    return kRefused;
  }
  zzBatch batch("BK", tsAlpha(o.id), 2);
  batch.SetDPLoc(tsAlpha(g.location));
  batch.AddPart(std::unique_ptr<zzBatchPart>(bk_new_batch_part()))->SetFileNumber(w.Register().FileNum());
  batch.SetDesc(o.description);
  batch.SetDate(date);
  batch.SyncParts();
  bkBatchPart& part = *dynamic_cast<bkBatchPart*>(batch.ApplPart("BK"));
  part.Init();
  part.SetNumberOfTrans(tsDouble(o.control_count.value_or(0)));
  part.SetAmountOfTrans(amount);
  const tsioStatus::Status st = batch.OpenInfo("BK");
  if (st != tsioStatus::kSuccess) {
    err << "bkreg: batch '" << o.id << "' could not be opened (" << ccIOStatusStr(st) << ")\n";
    return st == tsioStatus::kLocked || st == tsioStatus::kBusy ? kBusy : kFailed;
  }
  if (c.format == Format::kText) {
    out << "Opened batch " << o.id << ": " << part.GetNumberOfTrans().Format() << " transactions of "
        << tsCurrency(part.GetAmountOfTrans()).Format() << " expected\n";
  } else {
    WholeBatch opened;
    if (int rc = ReadOne(w, o.id, &opened, err); rc != kDone) return rc;
    Table{kHeadings, kNumeric, {Row(opened)}}.Print(out, c.format);
  }
  return kDone;
}

int BatchList(const Common& c, std::ostream& out, std::ostream& err) {
  ModuleWork w(*c.ctx);
  if (int rc = w.Open(); rc != kDone) return rc;
  std::vector<WholeBatch> batches;
  if (int rc = ReadBatches(w, "", &batches, err); rc != kDone) return rc;
  Table t{kHeadings, kNumeric, {}};
  for (const WholeBatch& b : batches) t.rows.push_back(Row(b));
  t.Print(out, c.format);
  return kDone;
}

int BatchShow(const Common& c, const BatchOptions& o, std::ostream& out, std::ostream& err) {
  ModuleWork w(*c.ctx);
  if (int rc = w.Open(); rc != kDone) return rc;
  WholeBatch b;
  if (int rc = ReadOne(w, o.id, &b, err); rc != kDone) return rc;
  Table{kHeadings, kNumeric, {Row(b)}}.Print(out, c.format);
  return kDone;
}

int BatchEdit(const Common& c, const BatchOptions& o, std::ostream& out, std::ostream& err) {
  tsCurrency amount;
  if (!o.control_amount.empty() && !ReadAmount(o.control_amount, &amount)) {
    err << "bkreg: --amount: not an amount: '" << o.control_amount << "' (digits, at most two decimals)\n";
    return kRefused;
  }
  if (o.control_count && (*o.control_count < 0 || *o.control_count > 32767)) {
    err << "bkreg: --count: from 0 to 32767 transactions\n";
    return kRefused;
  }
  tsDate date;
  if (!o.date.empty() && !ReadDate(o.date, &date)) {
    err << "bkreg: --date: not a date: '" << o.date << "' (YYYY-MM-DD)\n";
    return kRefused;
  }
  if (!o.control_count && o.control_amount.empty() && o.date.empty() && !o.description_given) {
    err << "bkreg: batch edit: nothing to change (--count, --amount, --desc, --date)\n";
    return kRefused;
  }
  ModuleWork w(*c.ctx);
  if (int rc = w.Open(); rc != kDone) return rc;
  WholeBatch b;
  if (int rc = ReadOne(w, o.id, &b, err); rc != kDone) return rc;
  if (b.posted) {
    err << "bkreg: batch '" << o.id << "' was posted; its control totals are what was posted\n";
    return kRefused;
  }
  // The control totals live on the batch's first record (the register's),
  // the others' are cleared, so their sum is what was given.
  tclRollbackStack unit;
  std::vector<std::unique_ptr<Batch>> held;
  tsioStatus::Status st = tsioStatus::kSuccess;
  for (size_t i = 0; i < b.records.size() && st == tsioStatus::kSuccess; ++i) {
    auto cursor = std::make_unique<Batch>(w.Register());
    cursor->AttachRollbackStack(&unit);
    st = c.ctx->Waiting([&] { return Hold(*cursor, b.records[i]); });
    if (st != tsioStatus::kSuccess) break;
    BatchData& r = cursor->m_Record;
    const bool main = i == 0;
    if (o.control_count) r.SetCount(tsNum<short>(main ? static_cast<short>(*o.control_count) : short{0}));
    if (!o.control_amount.empty()) r.SetAmount(main ? amount : tsCurrency());
    if (main && o.description_given) r.SetDescription(tsAlpha(o.description));
    if (main && !o.date.empty()) r.SetDate(date);
    st = cursor->Update();
    held.push_back(std::move(cursor));
  }
  if (st == tsioStatus::kSuccess) st = unit.Commit();
  if (st != tsioStatus::kSuccess) (void)unit.Rollback();
  for (auto& h : held) (void)h->Unlock();
  if (st != tsioStatus::kSuccess) {
    err << "bkreg: batch '" << o.id << "' could not be changed (" << ccIOStatusStr(st) << ")\n";
    return st == tsioStatus::kLocked || st == tsioStatus::kBusy ? kBusy : kFailed;
  }
  WholeBatch changed;
  if (int rc = ReadOne(w, o.id, &changed, err); rc != kDone) return rc;
  if (c.format == Format::kText) out << "Changed batch " << o.id << "\n";
  Table{kHeadings, kNumeric, {Row(changed)}}.Print(out, c.format);
  return kDone;
}

int BatchClose(const Common& c, const BatchOptions& o, std::ostream& out, std::ostream& err) {
  ModuleWork w(*c.ctx);
  if (int rc = w.Open(); rc != kDone) return rc;
  WholeBatch whole;
  if (int rc = ReadOne(w, o.id, &whole, err); rc != kDone) return rc;
  // Clearing the totals and removing the emptied records are one unit of
  // work: a reader (a backup, verify) sees the batch open or closed, never
  // a record with its totals cleared and its transactions still counted.
  tclRollbackStack unit;
  std::vector<std::unique_ptr<Batch>> held;
  tsioStatus::Status st = tsioStatus::kSuccess;
  int rc = kDone;
  bool deleted = true;
  for (const BatchData& r : whole.records) {
    auto b = std::make_unique<Batch>(w.Register());
    b->AttachRollbackStack(&unit);
    st = c.ctx->Waiting([&] { return Hold(*b, r); });
    if (st != tsioStatus::kSuccess) break;
    held.push_back(std::move(b));
    Batch& batch = *held.back();
    // Every transaction of the batch must have been posted (moved to
    // history by `post`): a batch whose members cannot be read is never
    // taken for posted.
    if (!batch.ClearAmountsIfPosted()) {
      err << "bkreg: batch '" << o.id << "' still has transactions that are not posted; post it first\n";
      rc = kRefused;
      break;
    }
    if ((st = batch.Update()) != tsioStatus::kSuccess) break;
    const tsioStatus::Status members = batch.MembersStatus();
    if (members == tsioStatus::kEndOfFile) {
      st = batch.deleteIfEmpty();
    } else if (members == tsioStatus::kSuccess) {
      deleted = false;
    } else {
      st = members;
    }
    if (st != tsioStatus::kSuccess) break;
  }
  if (rc == kDone && st == tsioStatus::kSuccess) st = unit.Commit();
  if (rc != kDone || st != tsioStatus::kSuccess) (void)unit.Rollback();
  for (auto& h : held) (void)h->Unlock();
  if (rc != kDone) return rc;
  if (st != tsioStatus::kSuccess) {
    err << "bkreg: batch '" << o.id << "' could not be closed (" << ccIOStatusStr(st) << ")\n";
    return st == tsioStatus::kLocked || st == tsioStatus::kBusy ? kBusy : kFailed;
  }
  if (c.format == Format::kText) {
    out << "Closed batch " << o.id << (deleted ? "" : " (its totals cleared)") << "\n";
  } else {
    Table{{"Batch", "Closed"}, {false, false}, {{o.id, deleted ? "yes" : "totals cleared"}}}.Print(out, c.format);
  }
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
  CLI::App* batch = app.add_subcommand("batch", "batches and their control totals: open, list, show, edit, close");
  batch->require_subcommand(1);
  auto run = [&ctx, o](int (*body)(const Common&, const BatchOptions&, std::ostream&, std::ostream&)) {
    const std::string problem = CheckBatch(*o);
    ctx.status = problem.empty() ? body(Common{&ctx, ctx.format}, *o, ctx.out, ctx.err) : ctx.Refuse(problem);
  };
  // --appl named the application's record when a batch's checks and other
  // entries were counted apart; a batch now holds every kind, and the
  // option is accepted as it was (BK or AP) and changes nothing.
  auto appl = [o](CLI::App* cmd) {
    cmd->add_option("--appl", o->appl, "accepted for scripts of earlier versions: a batch holds every kind")
        ->group("");
  };
  CLI::App* open = batch->add_subcommand(
      "open", "opens a batch with the number and amount of transactions expected (its control totals)");
  open->add_option("ID", o->id, "batch id, at most 10 characters")->required();
  open->add_option("--desc", o->description, "description, at most 30 characters");
  open->add_option("--date", o->date, "batch date (default today)");
  CLI::Option* n = open->add_option("--count", *count, "number of transactions expected (0 to 32767)");
  open->add_option("--amount", o->control_amount,
                   "their net amount (deposits and additions less checks, withdrawals and subtractions)");
  appl(open);
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
  appl(show);
  show->callback([run] { run(BatchShow); });
  CLI::App* edit = batch->add_subcommand("edit", "corrects an unposted batch's control totals, description or date");
  edit->add_option("ID", o->id, "batch id")->required();
  CLI::Option* en = edit->add_option("--count", *count, "number of transactions expected (0 to 32767)");
  edit->add_option("--amount", o->control_amount, "their net amount");
  CLI::Option* ed = edit->add_option("--desc", o->description, "description, at most 30 characters");
  edit->add_option("--date", o->date, "batch date");
  edit->callback([&ctx, o, count, en, ed, run] {
    if (en->count() > 0) o->control_count = *count;
    o->description_given = ed->count() > 0;
    std::string desc;
    if (std::string problem = CheckText("--desc", o->description, 30, &desc); !problem.empty()) {
      ctx.status = ctx.Refuse(problem);
      return;
    }
    run(BatchEdit);
  });
  CLI::App* close = batch->add_subcommand(
      "close", "closes a batch whose transactions are all posted (its totals cleared, its records removed); its "
               "id may then start a new batch");
  close->add_option("ID", o->id, "batch id")->required();
  appl(close);
  close->callback([run] { run(BatchClose); });
}

}  // namespace bkreg
