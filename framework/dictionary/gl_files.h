// The general ledger's data files: the GL master file (GLM, dictionary id
// 310) and the GL transaction file (GLT, instance 1 with dictionary id 331 for
// transactions waiting to be posted, instance 2 with id 332 for posted ones),
// their record layouts and record classes.
//
// GLM record types (accounts are held unformatted, see account_format.h):
//   1 account         GAACCT (key: the whole account), GAPFX (its full
//                     prefix), GABASE (its base account), GADESC, GAACTIV
//                     (active), GAICRC / GAICPY (usable as intercompany
//                     receivable / payable).
//   2 base account    GBBASE (key), GBDESC, GBACTIV, GBICRC, GBICPY.
//   3 prefix          GPPFX (key: a full prefix), GPDESC.
//   4 prefix match    GMPFX1;GMPFX2 (key): two prefixes whose intercompany
//                     parts match (one row per pair, either order counts).
//   5 fiscal period   GFENT;GFYEAR;GFPER (key), GFSTART, GFEND, GFSTAT.
//                     GFENT is the fiscal entity: a full prefix, or "" for
//                     the calendar every account without one of its own uses.
//                     GFSTAT: 1 open, 3 closed (posting warns), 4 closed
//                     (posting refused); 0 no status.
//   Header 1          GHNAME, GHCURYR (current fiscal year: periods of later
//                     years are future periods), GHACTONL (account lists show
//                     active accounts only).
//
// GLT record type 1, one GL transaction line:
//   GTRUN;GTSEQ;GTLEDG (key: run, sequence within the run, ledger 1 accrual
//   or 2 cash), GTACCT, GTDC (1 debit, 2 credit), GTAMT, GTDATE, GTJRN,
//   GTDESC, GTREF1, GTREF2, GTAPPL (application of origin), GTBATCH, GTBSRC,
//   GTSUM (summarized), GTICRC, GTICPY, GTVEND, GTINV, GTBANK, GTCHECK,
//   GTEMP, GTJOB. Index 1: GTACCT;GTDATE.
#pragma once

#include "framework/base/export.h"
#include "framework/io/file_identity.h"
#include "framework/io/record.h"
#include "framework/types/values.h"

// Registers the GLM and GLT definitions with the data dictionary
// (idempotent, safe from any thread).
TS_EXPORT void tsRegisterLedgerFiles();

inline constexpr short kGLMDictionaryId = 310;
inline constexpr short kGLTDictionaryId = 331;
inline constexpr short kGLTDictionaryId2 = 332;

// The files: "GLM" 1 310, "GLT" 1 331, "GLT" 2 332.
TS_EXPORT tsioFileSpec tsGLMFileSpec();
TS_EXPORT tsioFileSpec tsGLTFileSpec();
TS_EXPORT tsioFileSpec tsGLTFileSpec2();

// Record types of GLM.
enum tsGLMRecordType : short {
  kGLMAccount = 1,
  kGLMBaseAccount = 2,
  kGLMPrefix = 3,
  kGLMPrefixMatch = 4,
  kGLMFiscalPeriod = 5,
};
inline constexpr short kGLMHeader = 1;
inline constexpr short kGLTLine = 1;

// Fiscal period status values (GFSTAT).
enum tsGLPeriodStatus : short {
  kGLPeriodNoStatus = 0,
  kGLPeriodOpen = 1,
  kGLPeriodClosedWarning = 3,
  kGLPeriodClosedError = 4,
};

// Record classes. Each binds every column of its record type.
struct TS_EXPORT tsGLAccountRec : ccRecData {
  tsAlpha account, prefix, base, description;
  tsBool active{true}, ic_receivable, ic_payable;
  tsGLAccountRec();
};

struct TS_EXPORT tsGLBaseAccountRec : ccRecData {
  tsAlpha base, description;
  tsBool active{true}, ic_receivable, ic_payable;
  tsGLBaseAccountRec();
};

struct TS_EXPORT tsGLPrefixRec : ccRecData {
  tsAlpha prefix, description;
  tsGLPrefixRec();
};

struct TS_EXPORT tsGLPrefixMatchRec : ccRecData {
  tsAlpha prefix1, prefix2;
  tsGLPrefixMatchRec();
};

struct TS_EXPORT tsGLFiscalPeriodRec : ccRecData {
  tsAlpha entity;
  tsNum<short> year, period;
  tsDate start, end;
  tsNum<short> status;
  tsGLFiscalPeriodRec();
};

struct TS_EXPORT tsGLTransactionRec : ccRecData {
  tsDouble run{0, 0}, sequence{0, 0};
  tsNum<short> ledger;
  tsAlpha account;
  tsChoice debit_credit;
  tsCurrency amount;
  tsDate date;
  tsNum<short> journal;
  tsAlpha description, reference1, reference2, appl_of_origin, batch;
  tsChoice batch_source;
  tsBool summarized;
  tsAlpha ic_receivable, ic_payable, vendor, invoice, bank;
  tsDouble check_number{0, 0};
  tsAlpha employee, job;
  tsGLTransactionRec();
};
