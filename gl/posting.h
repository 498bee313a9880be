// Inside the general-ledger module: what its posting functions (posting.cc),
// its account recap (recap.cc) and its test switches (module.cc) share.
//
// The module writes general-ledger transactions into the GL transaction
// file GLT of the company: instance 1 (table 331) holds lines waiting to be
// posted, instance 2 (table 332) posted lines. One transaction definition
// (gl_tran_def) processed for one ledger gives one line per side that has
// an account: a debit line (GTDC 1) for the debit account and a credit line
// (GTDC 2) for the credit account, numbered with the next sequences of the
// definition's run. A side whose general-ledger transaction type the
// definition omits cannot carry an account (the definition is refused).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "framework/dictionary/gl_files.h"
#include "framework/io/data_file.h"
#include "framework/module/gl_blocks.h"

namespace gl {

// ---- test switch: the module fails its n-th call ----
// Counts the call of `function` and answers true, with `*status` set, when
// the switch armed for it (or for any posting function) says this call
// fails.
bool FailCall(const char* function, short* status);
void ArmCallFailure(const char* function, int nth, int status, int times);
int CallCount(const char* function);

// ---- account recap ----
// The recap is kept per update block (by its address): debit and credit
// totals per ledger and account of the definitions processed with it.
void RecapAdd(const void* block, const gl_tran_def& def, int sign);

// ---- GLT lines ----
// A line of a definition for one side: the values of a GLT line but its
// sequence.
struct Line {
  bool debit = true;
  long long run = 0;
  short ledger = 0;
  std::string account;
  tsCurrency amount;
  tsDate date;
  short journal = 0;
  std::string description, reference1, reference2, appl_of_origin, batch;
  short batch_source = 1;
  bool summarized = false;
  std::string ic_receivable, ic_payable, vendor, invoice, bank;
  long long check_number = 0;
  std::string employee, job;
};

// The lines a definition gives for its ledger; kSuccess, or the status that
// refuses it (1: no ledger, an omitted side with an account; 8: an amount
// that overflowed).
tsioStatus::Status LinesOf(const gl_tran_def& def, std::vector<Line>* lines);

// The GLT data file a block names (by file number), or the company's own
// instance when the number is 0. Owns the handle it opened itself.
class GltFile {
 public:
  GltFile(short file_number, short instance);
  tsioDataFile* get() const { return file_; }
  explicit operator bool() const { return file_ != nullptr; }
  tsioStatus::Status OpenStatus() const { return status_; }

 private:
  std::unique_ptr<tsioDataFile> own_;
  tsioDataFile* file_ = nullptr;
  tsioStatus::Status status_ = tsioStatus::kSuccess;
};

// Writes the lines with the next sequences of their run: all or none.
tsioStatus::Status WriteLines(tsioDataFile& glt, std::vector<Line>& lines);
// Removes, for each line, the most recent line of its run, ledger and side
// with the same content. kNotFound when one of them is not there (the
// others are removed).
tsioStatus::Status RemoveLines(tsioDataFile& glt, const std::vector<Line>& lines);
// Moves the lines of a batch from `waiting` to `posted`: lines with that
// batch id and batch source, of application `appl` unless it is empty, of
// ledger `ledger` unless it is 0. Runs in a unit of its own (nested in the
// caller's). Adds the number moved to `*moved`.
tsioStatus::Status MoveBatch(tsioDataFile& waiting, tsioDataFile& posted, const std::string& appl,
                             const std::string& batch, short source, short ledger, long* moved);
// Whether any line waits to be posted.
bool AnyLine(tsioDataFile& glt);

}  // namespace gl
