// The file specs of the module and of the files it reaches in other modules:
// file code, instance, dictionary file id and row-level-security policy (0 in
// every spec). Built when the library is loaded, destroyed when it unloads.
//
// BKT instance 1 holds the current (unposted) transactions, instance 2 the
// history; both have the same record types, and one record class serves both.
#pragma once

#include "framework/io/file_identity.h"
#include "records/bk_export.h"

BK_EXPORT extern const tsioFileSpec BKMFileSpec;         // "BKM" 1 210: master
BK_EXPORT extern const tsioFileSpec BKTFileSpec;         // "BKT" 1 221: current transactions
BK_EXPORT extern const tsioFileSpec BKTHistoryFileSpec;  // "BKT" 2 222: transaction history
BK_EXPORT extern const tsioFileSpec BKZFileSpec;         // "BKZ" 1 230: transaction issues
BK_EXPORT extern const tsioFileSpec GLMFileSpec;         // "GLM" 1 310: general-ledger master
BK_EXPORT extern const tsioFileSpec GLTFileSpec;         // "GLT" 1 331: general-ledger transactions
BK_EXPORT extern const tsioFileSpec GLTFileSpec2;        // "GLT" 2 332: their second instance
BK_EXPORT extern const tsioFileSpec APMFileSpec;         // "APM" 1 110
BK_EXPORT extern const tsioFileSpec PRSFileSpec;         // "PRS" 0 610 (instance 0)
BK_EXPORT extern const tsioFileSpec TXMFileSpec;         // "TXM" 1 710
