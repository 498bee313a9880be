// Lists of batches handed to another module (see batch_list.h).
#include "framework/batch/batch_list.h"

#include <algorithm>
#include <cstring>

void zzBatchList::AppendNode(zzBatchListNode* node) {
  if (node) nodes_.emplace_back(node);
}

void zzBatchList::Clear() {
  nodes_.clear();
  old_entries_.clear();
  old_ = zb_batch_list_def{};
}

const zb_batch_list_def* zzBatchList::BuildOldBatchList() {
  old_entries_.assign(nodes_.size(), zb_batch_entry{});
  for (std::size_t i = 0; i < nodes_.size(); ++i) {
    zb_batch_entry& e = old_entries_[i];
    std::memset(&e, 0, sizeof e);
    const std::string& appl = nodes_[i]->HostAppl();
    std::memcpy(e.host_appl, appl.data(), std::min<std::size_t>(appl.size(), sizeof e.host_appl - 1));
    const std::string& id = nodes_[i]->BatchID().str();
    std::memcpy(e.batch_id, id.data(), std::min<std::size_t>(id.size(), sizeof e.batch_id - 1));
    e.source = nodes_[i]->Source();
    e.choice = static_cast<short>(nodes_[i]->Choice().Value());
  }
  old_.count = old_entries_.size();
  old_.entries = old_entries_.empty() ? nullptr : old_entries_.data();
  return &old_;
}
