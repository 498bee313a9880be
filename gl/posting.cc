// The general-ledger module's posting functions: processing and removing
// transaction definitions, and posting batches (see posting.h for the lines
// they write, framework/module/gl_blocks.h for the blocks).
//
// Results: GL_PROCESS_TRANSACTION and GL_REMOVE_TRANSACTION answer 0 or a
// data-file status (tsioStatus); GL_INIT_UPDATE answers kGLInitReady,
// kGLInitNothingWaiting or 0; GL_UPDATE answers kGLUpdateDone or a status.
#include <cstring>
#include <string>
#include <vector>

#include "framework/base/log.h"
#include "framework/io/rollback_stack.h"
#include "framework/batch/batch_list.h"
#include "framework/module/gl_blocks.h"
#include "gl/posting.h"

#define GL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

gl_batch_appl_def* ApplBlock(const gl_update_def& b) {
  if (!b.batch_def) return nullptr;
  gl_batch_appl_def* appl = nullptr;
  std::memcpy(&appl, static_cast<const unsigned char*>(b.batch_def) + kGLBatchDefApplBlock, sizeof appl);
  return appl;
}

// Counts what processing wrote (sign 1) or removed (sign -1) into the
// batch's application block.
void CountLines(const gl_update_def& b, const std::vector<gl::Line>& lines, int sign) {
  gl_batch_appl_def* appl = ApplBlock(b);
  if (!appl) return;
  for (const gl::Line& l : lines) {
    appl->lines_written += sign;
    // Amounts of a GLT line have 2 decimals, so the cents are exact.
    const int64_t cents = (l.amount * 100).ToLongLong();
    (l.debit ? appl->debit_cents : appl->credit_cents) += sign * cents;
  }
}

short Process(gl_update_def& b, bool remove) {
  std::vector<gl::Line> lines;
  tsioStatus::Status st = gl::LinesOf(b.tran, &lines);
  if (st != tsioStatus::kSuccess) return st;
  if (b.write_transactions) {
    gl::GltFile glt(b.glt_file, 1);
    if (!glt) return glt.OpenStatus();
    st = remove ? gl::RemoveLines(*glt.get(), lines) : gl::WriteLines(*glt.get(), lines);
    if (st != tsioStatus::kSuccess) return st;
    CountLines(b, lines, remove ? -1 : 1);
  }
  gl::RecapAdd(&b, b.tran, remove ? -1 : 1);
  return tsioStatus::kSuccess;
}

}  // namespace

// Processes the definition of the update block for its ledger: writes its
// lines into GLT table 331 (when the block's write flag is set) and adds
// them to the block's account recap. All or nothing.
GL_EXPORT short GL_PROCESS_TRANSACTION(void* block) {
  short failed = 0;
  if (gl::FailCall("GL_PROCESS_TRANSACTION", &failed)) return failed;
  if (!block) return tsioStatus::kInvalidOperation;
  return Process(*static_cast<gl_update_def*>(block), false);
}

// Takes back what GL_PROCESS_TRANSACTION did for the same definition and
// ledger: removes the most recent lines of that content (13 when they are
// not there) and takes them out of the recap.
GL_EXPORT short GL_REMOVE_TRANSACTION(void* block) {
  short failed = 0;
  if (gl::FailCall("GL_REMOVE_TRANSACTION", &failed)) return failed;
  if (!block) return tsioStatus::kInvalidOperation;
  return Process(*static_cast<gl_update_def*>(block), true);
}

// Opens a posting: both GLT tables must be there. kGLInitReady when lines
// wait to be posted, kGLInitNothingWaiting when none do, 0 when the files
// cannot be opened.
GL_EXPORT short GL_INIT_UPDATE(void* block) {
  short failed = 0;
  if (gl::FailCall("GL_INIT_UPDATE", &failed)) return failed;
  if (!block) return 0;
  auto& b = *static_cast<gl_update_def*>(block);
  gl::GltFile waiting(b.glt_file, 1);
  gl::GltFile posted(b.glt_posted_file, 2);
  if (!waiting || !posted) {
    x_log(3, static_cast<unsigned short>(b.command_id), "GL: the General Ledger transaction files cannot be opened");
    return 0;
  }
  return gl::AnyLine(*waiting.get()) ? kGLInitReady : kGLInitNothingWaiting;
}

// Posts the batches of the block's old batch list: moves their waiting
// lines (table 331) to the posted lines (table 332), for the ledgers the
// posting option names, all batches in one unit. A node whose choice is 1
// names a batch made by another application: only lines of that
// application of origin move; with choice 0 lines of any origin move. The
// number of lines moved goes to the application block.
GL_EXPORT short GL_UPDATE(void* block) {
  short failed = 0;
  if (gl::FailCall("GL_UPDATE", &failed)) return failed;
  if (!block) return tsioStatus::kInvalidOperation;
  auto& b = *static_cast<gl_update_def*>(block);
  const auto* list = static_cast<const zb_batch_list_def*>(b.old_batch_list);
  gl::GltFile waiting(b.glt_file, 1);
  gl::GltFile posted(b.glt_posted_file, 2);
  if (!waiting) return waiting.OpenStatus();
  if (!posted) return posted.OpenStatus();
  const short ledger = b.post_option == kGLPostAccrualOnly ? kGLLedgerAccrual
                       : b.post_option == kGLPostCashOnly  ? kGLLedgerCash
                                                           : 0;
  long moved = 0;
  tclRollbackStack unit;
  tsioStatus::Status st = unit.EnsureBegun(waiting.get()->Company());
  for (std::size_t i = 0; st == tsioStatus::kSuccess && list && i < list->count; ++i) {
    const zb_batch_entry& e = list->entries[i];
    const std::string appl = e.choice == 1 ? std::string(e.host_appl, strnlen(e.host_appl, sizeof e.host_appl)) : "";
    const std::string batch(e.batch_id, strnlen(e.batch_id, sizeof e.batch_id));
    st = gl::MoveBatch(*waiting.get(), *posted.get(), appl, batch, e.source, ledger, &moved);
  }
  if (st == tsioStatus::kSuccess) st = unit.Commit();
  if (st != tsioStatus::kSuccess) {
    (void)unit.Rollback();
    return st;
  }
  if (gl_batch_appl_def* appl = ApplBlock(b)) appl->lines_posted += static_cast<int32_t>(moved);
  x_log(1, static_cast<unsigned short>(b.command_id), "GL: posted " + std::to_string(moved) + " lines");
  return kGLUpdateDone;
}

// Ends a posting. The module holds nothing for it.
GL_EXPORT void GL_TERM_UPDATE(void*) {}
