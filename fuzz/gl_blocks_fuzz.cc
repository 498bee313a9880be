// Fuzz target: the general-ledger transaction definition and update block as
// the general-ledger module reads them (framework/module/gl_blocks.h), in
// the real module loaded at run time, against a real company.
//
// Input: a flags byte, the 545 bytes of a definition, then the first 86
// bytes of the update block and its posting option (missing bytes are
// zero). The block's pointers are never taken from the input: flag 2 gives
// it a batch definition with an application block, flag 4 posts the
// definition's batch instead of taking the definition back.
//
// Checks, besides "no crash, no sanitizer report":
// - a definition the module processes it also takes back (GL_REMOVE answers
//   0), after which the application block's counts and totals are zero
//   again: nothing is half written or half removed;
// - posted instead, the lines posted are the lines written (every ledger).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "framework/base/application.h"
#include "framework/batch/batch_list.h"
#include "framework/dictionary/gl_files.h"
#include "framework/io/file_manager.h"
#include "framework/module/gl_blocks.h"
#include "framework/module/module_registry.h"

namespace {

using BlockFn = short (*)(void*);
using VoidFn = void (*)(void*);

struct Ledger {
  BlockFn process = nullptr, remove = nullptr, init_update = nullptr, update = nullptr;
  VoidFn free_recap = nullptr;
  tsioFileManager* files = nullptr;
};

// One company for the whole run, in a fresh temporary folder.
Ledger& Setup() {
  static Ledger ledger = [] {
    Ledger l;
    const std::string dir = bkfuzz::TempFolder("gl");
    tsRegisterLedgerFiles();
    l.files = new tsioFileManager(dir);
    if (l.files->CreateCompany() != tsioStatus::kSuccess) bkfuzz::Fail("company");
    for (const tsioFileSpec& spec : {tsGLMFileSpec(), tsGLTFileSpec(), tsGLTFileSpec2()}) {
      if (l.files->Create(spec) != tsioStatus::kSuccess || l.files->Open(spec) != tsioStatus::kSuccess) bkfuzz::Fail("files");
    }
    TSGetApp()->SetCompanyFolder(dir);
    const unsigned short module = xdll_load("LEDGERCORE");
    if (!module) bkfuzz::Fail("the general-ledger module is not found (BK_MODULE_PATH)");
    l.process = reinterpret_cast<BlockFn>(xdll_get_function(module, "GL_PROCESS_TRANSACTION"));
    l.remove = reinterpret_cast<BlockFn>(xdll_get_function(module, "GL_REMOVE_TRANSACTION"));
    l.init_update = reinterpret_cast<BlockFn>(xdll_get_function(module, "GL_INIT_UPDATE"));
    l.update = reinterpret_cast<BlockFn>(xdll_get_function(module, "GL_UPDATE"));
    l.free_recap = reinterpret_cast<VoidFn>(xdll_get_function(module, "GL_FREE_RECAP_INFO"));
    if (!l.process || !l.remove || !l.init_update || !l.update || !l.free_recap) bkfuzz::Fail("entry points");
    return l;
  }();
  return ledger;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Ledger& l = Setup();
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  ++data;
  --size;

  gl_update_def block;
  std::memset(&block, 0, sizeof block);
  const size_t def_bytes = size < sizeof(gl_tran_def) ? size : sizeof(gl_tran_def);
  std::memcpy(&block.tran, data, def_bytes);
  data += def_bytes;
  size -= def_bytes;
  const size_t head_bytes = size < offsetof(gl_update_def, tran) ? size : offsetof(gl_update_def, tran);
  std::memcpy(&block, data, head_bytes);
  data += head_bytes;
  size -= head_bytes;
  if (size >= sizeof block.post_option) std::memcpy(&block.post_option, data, sizeof block.post_option);
  block.write_transactions = (flags & 1) ? 1 : 0;
  // Posting compares what it moves with what was written: both in the
  // company's own files.
  if (flags & 4) block.glt_file = block.glt_posted_file = 0;

  unsigned char batch_def[kGLBatchDefSize] = {};
  gl_batch_appl_def appl;
  std::memset(&appl, 0, sizeof appl);
  if (flags & 2) {
    gl_batch_appl_def* p = &appl;
    std::memcpy(batch_def + kGLBatchDefApplBlock, &p, sizeof p);
    block.batch_def = batch_def;
  }

  const short processed = l.process(&block);
  if (processed == 0 && block.write_transactions && (flags & 4)) {
    // Post the definition's batch: every ledger, lines of its application.
    zb_batch_entry entry;
    std::memset(&entry, 0, sizeof entry);
    std::memcpy(entry.host_appl, block.tran.appl_of_origin, sizeof entry.host_appl - 1);
    std::memcpy(entry.batch_id, block.tran.batch, sizeof entry.batch_id - 1);
    entry.source = block.tran.batch_source;
    entry.choice = 1;
    zb_batch_list_def list;
    list.count = 1;
    list.entries = &entry;
    block.old_batch_list = &list;
    block.post_option = kGLPostAllLedgers;
    const short ready = l.init_update(&block);
    if (ready != kGLInitReady && !(ready == kGLInitNothingWaiting && appl.lines_written == 0)) bkfuzz::Fail("init", std::to_string(ready));
    const short posted = l.update(&block);
    if (posted != kGLUpdateDone) bkfuzz::Fail("posting refused", std::to_string(posted));
    if ((flags & 2) && appl.lines_posted != appl.lines_written) bkfuzz::Fail("posted other lines than were written");
    block.old_batch_list = nullptr;
  } else if (processed == 0) {
    const short removed = l.remove(&block);
    if (removed != 0) bkfuzz::Fail("a processed definition cannot be taken back", std::to_string(removed));
    if (appl.lines_written != 0 || appl.debit_cents != 0 || appl.credit_cents != 0) bkfuzz::Fail("counts not back to zero");
  }
  l.free_recap(&block);
  return 0;
}
