// The fixed-layout blocks that programs and the general-ledger module
// exchange when general-ledger transactions are processed and posted:
//   gl_tran_def       one general-ledger transaction definition (545 bytes);
//   gl_update_def     the update block of the posting functions (717 bytes);
//   gl_batch_appl_def the general ledger's application block of a batch
//                     (117 bytes; the batch definition that points at it is
//                     zzBatch's, framework/batch/batch.h).
// Integers are in the machine's byte order (little-endian); texts are
// zero-terminated and cut to their width less one; "double" is an IEEE
// binary64. The structs are packed: every offset below is checked by a
// static_assert, so a block means the same to both sides whatever the
// compiler.
//
// 64-bit layout. The update block carries two pointers. They are 8 bytes
// wide: the batch definition at 688 and the old batch list at 696 (where a
// 4-byte layout had 688 and 692); the 13 reserved bytes that followed them
// start at 704 instead of 696, so the block is 717 bytes (709 + 8).
// Everything before offset 688 is where the 4-byte layout had it. The batch
// definition keeps the application block's address in its last 8 bytes
// (offset 160 of 168).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "framework/types/ts_currency.h"

// ---- general-ledger transaction definition --------------------------------
//
// Offset  Width  Content
//   0     16     ledger: 1 accrual, 2 cash (set for each processing call)
//   2,4,6 16     accounting date: year, month, day (0 0 0: no date)
//   8     16     journal
//  10     64     exact amount: mantissa            } the amount as an exact
//  18     16     exact amount: scale (0-18)        } decimal; see below
//  20     16     exact amount: 0 absent, 1 present, 2 overflowed
//  26     double amount (the nearest binary value of the exact amount)
//  34     26     intercompany receivable account (due-from)
//  60     26     intercompany payable account (due-to)
//  86     26     debit account
// 112     16     summarize debit (1/0)
// 114     16     debit reference 1
// 130     16     debit reference 2
// 146     31     debit description
// 203     26     credit account
// 229     16     summarize credit (1/0)
// 231     16     credit reference 1
// 247     16     credit reference 2
// 263     31     credit description
// 320      5     application of origin
// 325     11     batch
// 336     16     batch source
// 338     double run number (the line's key: the run the creator took)
// 346     11     the key's text field (left empty by the bank register)
// 395     11     vendor ID
// 406     16     invoice ID
// 422     16     distribution sequence
// 424     11     job ID
// 445     11     bank ID
// 456     double check number
// 464     11     employee ID
// 512     11     AR customer ID
// 523     16     AR invoice ID
// 539     32     service work-order invoice ID
// 543     16     omitted general-ledger transaction types: bits 1 debit,
//                2 credit, 4 intercompany due-from (a debit), 8
//                intercompany due-to (a credit); the line is none of those
//                listed, so a line omitting 1 and 4 takes no debit account
//                and one omitting 2 and 8 no credit account
// Every other byte is zero.
//
// Amounts: "double" cannot hold every amount of cents exactly, and sums of
// doubles drift. The definition therefore carries the amount twice: exactly
// (mantissa and scale, state 1) and as the nearest double. Readers take the
// exact amount when its state is 1, the double (rounded to cents) when the
// state is 0, and refuse state 2 (a sum that overflowed). Writers set both
// through glSetTranDefAmount.
#pragma pack(push, 1)
struct gl_tran_def {
  int16_t ledger;
  int16_t date_year;
  int16_t date_month;
  int16_t date_day;
  int16_t journal;
  int64_t exact_mantissa;
  int16_t exact_scale;
  int16_t exact_state;
  unsigned char reserved_22[4];
  double amount;
  char ic_receivable[26];
  char ic_payable[26];
  char debit_account[26];
  int16_t summarize_debit;
  char debit_reference1[16];
  char debit_reference2[16];
  char debit_description[31];
  unsigned char reserved_177[26];
  char credit_account[26];
  int16_t summarize_credit;
  char credit_reference1[16];
  char credit_reference2[16];
  char credit_description[31];
  unsigned char reserved_294[26];
  char appl_of_origin[5];
  char batch[11];
  int16_t batch_source;
  double run_number;
  char key_text[11];
  unsigned char reserved_357[38];
  char vendor_id[11];
  char invoice_id[16];
  int16_t dist_sequence;
  char job_id[11];
  unsigned char reserved_435[10];
  char bank_id[11];
  double check_number;
  char employee_id[11];
  unsigned char reserved_475[37];
  char ar_customer_id[11];
  char ar_invoice_id[16];
  int32_t sm_work_order_invoice_id;
  int16_t omitted_tran_types;
};
#pragma pack(pop)

static_assert(sizeof(gl_tran_def) == 545);
static_assert(offsetof(gl_tran_def, ledger) == 0);
static_assert(offsetof(gl_tran_def, date_year) == 2);
static_assert(offsetof(gl_tran_def, date_month) == 4);
static_assert(offsetof(gl_tran_def, date_day) == 6);
static_assert(offsetof(gl_tran_def, journal) == 8);
static_assert(offsetof(gl_tran_def, exact_mantissa) == 10);
static_assert(offsetof(gl_tran_def, exact_scale) == 18);
static_assert(offsetof(gl_tran_def, exact_state) == 20);
static_assert(offsetof(gl_tran_def, amount) == 26);
static_assert(offsetof(gl_tran_def, ic_receivable) == 34);
static_assert(offsetof(gl_tran_def, ic_payable) == 60);
static_assert(offsetof(gl_tran_def, debit_account) == 86);
static_assert(offsetof(gl_tran_def, summarize_debit) == 112);
static_assert(offsetof(gl_tran_def, debit_reference1) == 114);
static_assert(offsetof(gl_tran_def, debit_reference2) == 130);
static_assert(offsetof(gl_tran_def, debit_description) == 146);
static_assert(offsetof(gl_tran_def, credit_account) == 203);
static_assert(offsetof(gl_tran_def, summarize_credit) == 229);
static_assert(offsetof(gl_tran_def, credit_reference1) == 231);
static_assert(offsetof(gl_tran_def, credit_reference2) == 247);
static_assert(offsetof(gl_tran_def, credit_description) == 263);
static_assert(offsetof(gl_tran_def, appl_of_origin) == 320);
static_assert(offsetof(gl_tran_def, batch) == 325);
static_assert(offsetof(gl_tran_def, batch_source) == 336);
static_assert(offsetof(gl_tran_def, run_number) == 338);
static_assert(offsetof(gl_tran_def, key_text) == 346);
static_assert(offsetof(gl_tran_def, vendor_id) == 395);
static_assert(offsetof(gl_tran_def, invoice_id) == 406);
static_assert(offsetof(gl_tran_def, dist_sequence) == 422);
static_assert(offsetof(gl_tran_def, job_id) == 424);
static_assert(offsetof(gl_tran_def, bank_id) == 445);
static_assert(offsetof(gl_tran_def, check_number) == 456);
static_assert(offsetof(gl_tran_def, employee_id) == 464);
static_assert(offsetof(gl_tran_def, ar_customer_id) == 512);
static_assert(offsetof(gl_tran_def, ar_invoice_id) == 523);
static_assert(offsetof(gl_tran_def, sm_work_order_invoice_id) == 539);
static_assert(offsetof(gl_tran_def, omitted_tran_types) == 543);

// Ledgers of a definition.
inline constexpr int16_t kGLLedgerAccrual = 1;
inline constexpr int16_t kGLLedgerCash = 2;
// General-ledger transaction types (bits of omitted_tran_types).
inline constexpr int16_t kGLTranTypeDebit = 1;
inline constexpr int16_t kGLTranTypeCredit = 2;
inline constexpr int16_t kGLTranTypeDueFrom = 4;
inline constexpr int16_t kGLTranTypeDueTo = 8;
inline constexpr int16_t kGLTranTypeAll = 15;

// Exact-amount states.
inline constexpr int16_t kGLAmountDoubleOnly = 0;
inline constexpr int16_t kGLAmountExact = 1;
inline constexpr int16_t kGLAmountOverflowed = 2;

// Copies `text` into a character field of `N` bytes: cut to N - 1
// characters, zero-terminated, the rest zero.
template <std::size_t N>
inline void glPutText(char (&field)[N], std::string_view text) {
  std::memset(field, 0, N);
  const std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
  if (n > 0) std::memcpy(field, text.data(), n);
}
// The text of a character field (up to its first zero, at most N bytes).
template <std::size_t N>
inline std::string glGetText(const char (&field)[N]) {
  std::size_t n = 0;
  while (n < N && field[n] != '\0') ++n;
  return std::string(field, n);
}

// Sets both forms of the amount (see above).
inline void glSetTranDefAmount(gl_tran_def& def, const tsDouble& amount) {
  if (!amount.IsValid()) {
    def.exact_state = kGLAmountOverflowed;
    def.exact_mantissa = 0;
    def.exact_scale = 0;
    def.amount = 0;
    return;
  }
  def.exact_state = kGLAmountExact;
  def.exact_mantissa = amount.Mantissa();
  def.exact_scale = static_cast<int16_t>(amount.Scale());
  def.amount = amount.ToDouble();
}
// The amount: exact when the definition carries it, else the double rounded
// half away from zero to cents; invalid for an overflowed sum.
inline tsCurrency glTranDefAmount(const gl_tran_def& def) {
  switch (def.exact_state) {
    case kGLAmountExact: return tsCurrency(tsDouble::FromScaled(def.exact_mantissa, def.exact_scale, 2));
    case kGLAmountDoubleOnly: return tsCurrency::FromDouble(def.amount);
    default: return tsCurrency(tsDouble::Invalid(2));
  }
}
// Adds the amount of `from` to `to`, exactly.
inline void glAddTranDefAmount(gl_tran_def& to, const gl_tran_def& from) {
  glSetTranDefAmount(to, glTranDefAmount(to) + glTranDefAmount(from));
}

// ---- update block ----------------------------------------------------------
//
// Offset  Width  Content
//   0     16     task command ID of the program
//   2     16     write flag: 1 the general ledger writes GL transactions; 0
//                it only keeps them in the account recap
//   4     16     file number of GLM (table 310) (post launcher)
//   6     16     file number of GLT table 331 (transactions waiting to be
//                posted)
//   8     16     file number of GLT table 332 (posted transactions) (post
//                launcher)
//  14     16     1 (creator)
//  16     16     0 (creator)
//  18     double run number
//  86     545    the general-ledger transaction definition being processed
// 631     16     the posting option given to Post: 0 every ledger, 1 the
//                accrual ledger only, 2 the cash ledger only
// 688     ptr    the batch definition (zzBatch::kBatchDefSize bytes)
// 696     ptr    the old batch list to post (zb_batch_list_def*)
// 704     13     reserved
// A file number 0 means: the general ledger opens that file of the
// application's company itself.
#pragma pack(push, 1)
struct gl_update_def {
  int16_t command_id;
  int16_t write_transactions;
  int16_t glm_file;
  int16_t glt_file;
  int16_t glt_posted_file;
  unsigned char reserved_10[4];
  int16_t one;
  int16_t zero;
  double run_number;
  unsigned char reserved_26[60];
  gl_tran_def tran;
  int16_t post_option;
  unsigned char reserved_633[55];
  void* batch_def;
  const void* old_batch_list;
  unsigned char reserved_704[13];
};
#pragma pack(pop)

static_assert(sizeof(void*) == 8, "the blocks are laid out for 64-bit pointers");
static_assert(sizeof(gl_update_def) == 717);
static_assert(offsetof(gl_update_def, command_id) == 0);
static_assert(offsetof(gl_update_def, write_transactions) == 2);
static_assert(offsetof(gl_update_def, glm_file) == 4);
static_assert(offsetof(gl_update_def, glt_file) == 6);
static_assert(offsetof(gl_update_def, glt_posted_file) == 8);
static_assert(offsetof(gl_update_def, one) == 14);
static_assert(offsetof(gl_update_def, zero) == 16);
static_assert(offsetof(gl_update_def, run_number) == 18);
static_assert(offsetof(gl_update_def, tran) == 86);
static_assert(offsetof(gl_update_def, post_option) == 631);
static_assert(offsetof(gl_update_def, batch_def) == 688);
static_assert(offsetof(gl_update_def, old_batch_list) == 696);
static_assert(offsetof(gl_update_def, reserved_704) == 704);

// Posting options (offset 631).
inline constexpr int16_t kGLPostAllLedgers = 0;
inline constexpr int16_t kGLPostAccrualOnly = 1;
inline constexpr int16_t kGLPostCashOnly = 2;

// Answers of GL_INIT_UPDATE: ready with transactions waiting to be posted,
// ready with none waiting; 0 the general ledger cannot post (its files
// cannot be opened). GL_UPDATE answers 1 when it posted, else 0 or a
// failure status.
inline constexpr short kGLInitReady = 1;
inline constexpr short kGLInitNothingWaiting = 2;
inline constexpr short kGLUpdateDone = 1;

// ---- the general ledger's application block of a batch -------------------
//
// Offset  Width  Content
//   0     16     file number of GLT table 331 (post launcher)
//   2     16     file number of GLT table 332 (post launcher)
//   4     32     lines written by processing since the block was zeroed
//   8     64     their debits, in cents
//  16     64     their credits, in cents
//  24     32     lines posted by GL_UPDATE
// 117 bytes in all; every other byte zero.
#pragma pack(push, 1)
struct gl_batch_appl_def {
  int16_t glt_file;
  int16_t glt_posted_file;
  int32_t lines_written;
  int64_t debit_cents;
  int64_t credit_cents;
  int32_t lines_posted;
  unsigned char reserved_28[89];
};
#pragma pack(pop)

static_assert(sizeof(gl_batch_appl_def) == 117);
static_assert(offsetof(gl_batch_appl_def, glt_file) == 0);
static_assert(offsetof(gl_batch_appl_def, glt_posted_file) == 2);
static_assert(offsetof(gl_batch_appl_def, lines_written) == 4);
static_assert(offsetof(gl_batch_appl_def, debit_cents) == 8);
static_assert(offsetof(gl_batch_appl_def, credit_cents) == 16);
static_assert(offsetof(gl_batch_appl_def, lines_posted) == 24);

// The batch definition's size and where it keeps the application block's
// address (checked against zzBatch where both are seen).
inline constexpr std::size_t kGLBatchDefSize = 168;
inline constexpr std::size_t kGLBatchDefApplBlock = 160;

// The print block GL_PRINT_ACCT_RECAP prints through: 46 bytes, word 0 is 1,
// word 1 the journal section id, bytes 8-15 the section's address
// (zp_print_def, framework/program/journal.h).
inline constexpr std::size_t kGLPrintBlockSize = 46;
