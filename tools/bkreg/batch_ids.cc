// Batch ids, their records and generations (batch_ids.h).
#include "tools/bkreg/batch_ids.h"

#include <cstdlib>

#include "batches/batch.h"
#include "framework/io/command_reads.h"
#include "records/files.h"
#include "transactions/transaction.h"

namespace bkreg {

namespace {

constexpr short kBatchIndex = 1;  // application, batch, source, location

// The highest location transactions of `id` carry in `file` ("" when none
// carries one, `*any` false when there is none at all).
tsioStatus::Status HighestLocation(const tsioDataFile& file, const std::string& id, std::string* highest,
                                   bool* any) {
  static const struct {
    const char* appl;
    short source;
  } kRecords[] = {{"BK", 2}, {"AP", 1}};
  for (const auto& k : kRecords) {
    Transaction t(file, "TAPPL;TBATCH;TSOURCE;TDPLOC", kBatchIndex);
    t.Initialize();
    t.m_Record.SetApplOfOrigin(tsAlpha(k.appl));
    t.m_Record.SetBatch(tsAlpha(id));
    tclTSEnum<BatchSourceEnum> source;
    source.SetValue(k.source);
    t.m_Record.SetBatchSource(source);
    t.AttachRange(3);
    const tsioStatus::Status st = t.FetchLast(false);
    t.DetachRange();
    if (st == tsioStatus::kEndOfFile || st == tsioStatus::kNotFound) continue;
    if (st != tsioStatus::kSuccess) return st;
    const std::string loc = t.m_Record.GetBatchDPLoc().str();
    if (!*any || *highest < loc) *highest = loc;
    *any = true;
  }
  return tsioStatus::kSuccess;
}

// Makes `walk` read the records of batch `id` only, however many batches
// the company has.
void OnlyBatch(Batch& walk, const std::string& id) {
  walk.m_Record.SetBatch(tsAlpha(id));
  walk.AttachCondition(static_cast<short>(walk.CursorPtr()->State().def->FieldIndex("BATCH") + 1), true, false);
}

// A record of the generation at `location` that has counted posted work:
// whether any of its entries is left decides whether the batch was posted.
bool CountsPostedInGeneration(const BatchData& r, const std::string& location) {
  return r.GetDPLoc().str() == location && !(r.GetCountPosted().Value() == 0 && r.GetAmountPosted().IsNull());
}

// Positions `b` on `r` as read (no read again) and queues, on a server, the
// record's own read (the entry is filled from it next) and its first
// members' read, to go in one request.
tsioStatus::Status QueueBatchReads(Batch& b, const BatchData& r) {
  b.m_Record = r;
  b.CursorPtr()->PrefetchEQ();
  const tsioStatus::Status st = b.SetBuffer();
  if (st == tsioStatus::kSuccess) b.PrefetchMembers();
  return st;
}

}  // namespace

void PrefetchBatchRecords(tsioCommandReads& reads, const tsioDataFile& register_file, const std::string& id) {
  reads.Keep(register_file, BatchData::kRecordType);
  Batch walk(register_file);
  OnlyBatch(walk, id);
  walk.CursorPtr()->PrefetchFirst();
}

tsioStatus::Status BatchRecords(const tsioDataFile& register_file, const std::string& id,
                                std::vector<BatchData>* records) {
  records->clear();
  Batch walk(register_file);
  OnlyBatch(walk, id);
  tsioStatus::Status st = walk.FetchFirst(false);
  for (; st == tsioStatus::kSuccess; st = walk.FetchNext(false)) {
    if (walk.m_Record.GetBatch() == id) records->push_back(walk.m_Record);
  }
  return st == tsioStatus::kEndOfFile || st == tsioStatus::kNotFound ? tsioStatus::kSuccess : st;
}

void BatchTotals::Add(const BatchData& r) {
  control_count += static_cast<long>(r.GetCount().Value());
  control_amount += r.GetAmount();
  entered_count += static_cast<long>(r.GetCountPosted().Value());
  entered_amount += r.GetAmountPosted();
}

bool BatchTotals::InBalance() const {
  if (!Controlled()) return true;
  if (control_count != 0 && control_count != entered_count) return false;
  return control_amount == entered_amount;
}

void PrefetchEntryGeneration(const tsioDataFile& register_file, const std::string& id) {
  std::vector<BatchData> records;
  if (BatchRecords(register_file, id, &records) != tsioStatus::kSuccess || records.empty()) return;
  const std::string location = records.front().GetDPLoc().str();
  for (const BatchData& r : records) {
    Batch b(register_file);
    if (CountsPostedInGeneration(r, location) && QueueBatchReads(b, r) != tsioStatus::kSuccess) return;
  }
}

int EntryGeneration(Context& ctx, const tsioDataFile& register_file, const tsioDataFile& history,
                    const std::string& id, BatchGeneration* g) {
  *g = BatchGeneration();
  std::vector<BatchData> records;
  tsioStatus::Status st = BatchRecords(register_file, id, &records);
  if (st != tsioStatus::kSuccess) return ctx.IoFailure("cannot read the batches", st);
  if (!records.empty()) {
    g->exists = true;
    g->location = records.front().GetDPLoc().str();
    for (const BatchData& r : records) {
      if (!CountsPostedInGeneration(r, g->location)) continue;
      Batch b(register_file);
      if ((st = QueueBatchReads(b, r)) != tsioStatus::kSuccess) return ctx.IoFailure("cannot read batch '" + id + "'", st);
      tsioCommandReads::Send(register_file);
      const tsioStatus::Status members = b.MembersStatus();
      if (members == tsioStatus::kEndOfFile) g->posted = true;
      if (members != tsioStatus::kSuccess && members != tsioStatus::kEndOfFile) {
        return ctx.IoFailure("cannot read the transactions of batch '" + id + "'", members);
      }
    }
    if (g->posted) {
      return ctx.Refuse("batch '" + id + "' was posted; nothing more is entered into it (close it with 'bkreg batch "
                        "close " + id + "' to use its id again, or give another --batch)");
    }
    return kDone;
  }
  // A new generation: after every one whose transactions are left.
  std::string highest;
  bool any = false;
  for (const tsioDataFile* file : {&register_file, &history}) {
    if ((st = HighestLocation(*file, id, &highest, &any)) != tsioStatus::kSuccess) {
      return ctx.IoFailure("cannot read the transactions of batch '" + id + "'", st);
    }
  }
  if (any) {
    const long n = highest.empty() ? 1 : std::atol(highest.c_str());
    std::string text = std::to_string(n + 1);
    if (text.size() < 4) text.insert(0, 4 - text.size(), '0');
    g->location = text;
  }
  return kDone;
}

}  // namespace bkreg
