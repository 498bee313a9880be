// glwPostLauncher: posts batches through the general ledger. A launcher
// lives for one posting:
//   OpenFiles -> AddToBatchList per batch -> Post -> CloseFiles.
//
// OpenFiles puts the file numbers of GLT table 331, GLT table 332 and GLM
// (each the program has open) into the update block and opens the general
// ledger's update ("GL_INIT_UPDATE": 1 and 2 are success). Post hands the
// general ledger the list of batches ("GL_UPDATE"), which moves their
// waiting lines to the posted ones. CloseFiles ends the update
// ("GL_TERM_UPDATE").
//
// While the company's "BK" to "GL" interface is active the general ledger
// must be there: when its functions cannot be found or it does not hand out
// its master-file header, OpenFiles and Post fail (never report success
// without posting). Without the interface a missing general ledger is not
// an error (its functions' fixed answers stand).
//
// Blocks: the update block (gl_update_def) is zero-filled at construction;
// the batch definition and the general ledger's application block are
// allocated with x_alloc, and freed with the launcher (see
// framework/module/gl_blocks.h).
#pragma once

#include "framework/base/errors.h"
#include "framework/batch/batch_list.h"
#include "framework/module/gl_blocks.h"
#include "records/bk_export.h"

class ccProgram;

class BK_EXPORT glwPostLauncher {
 public:
  explicit glwPostLauncher(const ccProgram& program);
  virtual ~glwPostLauncher();
  glwPostLauncher(const glwPostLauncher&) = delete;
  glwPostLauncher& operator=(const glwPostLauncher&) = delete;

  // kBoolSuccess when the general ledger's update is open.
  ccBoolStatus OpenFiles(const ccProgram& program);
  void CloseFiles();
  // Posts the batches of the list with posting option `n` (0 every ledger,
  // 1 accrual only, 2 cash only). Failure, with a message, when the general
  // ledger did not post.
  ccStatus<ccBoolStatus> Post(short n);
  // Adds a batch (the list owns the node). A node added while the running
  // application is not "GL" gets the choice 1: a batch of another
  // application.
  void AddToBatchList(zzBatchListNode* node);

  const gl_update_def& UpdateBlock() const { return m_UpdateBlock; }
  const gl_batch_appl_def* ApplBlock() const;
  const zzBatchList& BatchList() const { return m_BatchList; }

 private:
  bool GeneralLedgerMissing() const;

  gl_update_def m_UpdateBlock;
  zzBatchList m_BatchList;
};
