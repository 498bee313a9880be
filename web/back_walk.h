// BackWalk: one bank account's register, unposted and posted transactions
// together, read backwards in register order (newest first), for pages that
// show the latest lines first and step back page by page.
//
// Register order is index 5 of the transaction files (bank account, date,
// check number, subtraction, run, sequence), as for bkreg::RegisterWalk,
// which reads forwards. Each file is read with the cursor's own backward
// fetches (FetchGE at the position, then FetchPrev: one indexed query per
// step, read ahead in growing batches, each entering the index at the
// position), and the two files are merged. A page of n lines costs
// about n steps whatever the size of the register: nothing is counted or
// loaded from the start.
//
// Contract:
//   - Start positions the walk at the newest line, or just before a given
//     position (a position whose line was removed meanwhile still works: the
//     walk starts at the line before where it was).
//   - Prev serves the lines from there towards the oldest; a line stays
//     valid until the next call of Prev or Start.
//   - No locks; each step reads what is committed when it runs. The walk
//     owns its cursors; the files must outlive it.
#pragma once

#include <memory>
#include <string>

#include "framework/io/data_file.h"
#include "tools/bkreg/register_walk.h"
#include "transactions/transaction.h"

namespace bkweb {

class BackWalk {
 public:
  // Binds `columns` (the columns of register order come along).
  BackWalk(const tsioDataFile& current, const tsioDataFile& history, const std::string& columns);
  BackWalk(const BackWalk&) = delete;
  BackWalk& operator=(const BackWalk&) = delete;
  ~BackWalk();

  // From the newest line of `bank` (`before` null), or from the line just
  // before `*before`.
  void Start(const std::string& bank, const bkreg::RegisterPosition* before);
  // The previous line into `*line`, `*posted` telling whether it is posted;
  // kEndOfFile before the oldest, or the failure that stopped the walk.
  [[nodiscard]] tsioStatus::Status Prev(const TransactionData** line, bool* posted);

 private:
  struct Side;
  std::unique_ptr<Side> sides_[2];  // 0 current, 1 history
  Side* served_ = nullptr;
  std::string bank_;
  tsioStatus::Status failed_ = tsioStatus::kSuccess;
};

}  // namespace bkweb
