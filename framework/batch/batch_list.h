// zzBatchList: a list of batches handed to another module (the general
// ledger posts every batch of the list). Each node (zzBatchListNode) names a
// batch by host application, batch id and source, and carries a choice
// field (0 unless set) whose meaning belongs to the module that reads the
// list; the general ledger's post launcher sets it to 1 for batches that
// another application hands over.
//
// AppendNode takes ownership of a node (nullptr is ignored); nodes keep the
// order they were appended in. BuildOldBatchList gives the list in the
// fixed-layout form older modules read (zb_batch_list_def: a count and an
// array of zb_batch_entry, texts NUL-terminated and cut to 4 and 10
// characters). The list owns that form: the pointer and the entries stay
// valid until the next BuildOldBatchList, AppendNode or Clear, or the end of
// the list.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "framework/base/export.h"
#include "framework/types/ts_alpha.h"
#include "framework/types/ts_choice.h"

class TS_EXPORT zzBatchListNode {
 public:
  zzBatchListNode() = default;
  zzBatchListNode(std::string host_appl, const tsAlpha& batch_id, short source)
      : host_appl_(std::move(host_appl)), batch_id_(batch_id), source_(source) {}

  const std::string& HostAppl() const { return host_appl_; }
  const tsAlpha& BatchID() const { return batch_id_; }
  short Source() const { return source_; }
  const tsChoice& Choice() const { return choice_; }
  void SetChoice(const tsChoice& c) { choice_ = c; }

 private:
  std::string host_appl_;
  tsAlpha batch_id_;
  short source_ = 0;
  tsChoice choice_{0};
};

// One entry of the fixed-layout list.
struct TS_EXPORT zb_batch_entry {
  char host_appl[5];
  char batch_id[11];
  short source;
  short choice;
};
struct TS_EXPORT zb_batch_list_def {
  std::size_t count = 0;
  const zb_batch_entry* entries = nullptr;
};

class TS_EXPORT zzBatchList {
 public:
  zzBatchList() = default;
  zzBatchList(const zzBatchList&) = delete;
  zzBatchList& operator=(const zzBatchList&) = delete;

  // Appends a node; the list owns it from then on (nullptr is ignored).
  void AppendNode(zzBatchListNode* node);
  std::size_t Count() const { return nodes_.size(); }
  const zzBatchListNode& Node(std::size_t i) const { return *nodes_[i]; }
  void Clear();

  const zb_batch_list_def* BuildOldBatchList();

 private:
  std::vector<std::unique_ptr<zzBatchListNode>> nodes_;
  std::vector<zb_batch_entry> old_entries_;
  zb_batch_list_def old_;
};
