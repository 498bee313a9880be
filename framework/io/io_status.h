// Status values of every data-file operation of the framework.
//
// The values the library tests are fixed: 0 success, 9 locked by another
// program, 12 no further record, 13 not found, 15 file does not exist. The
// others name the failures this framework can meet; which of them are fatal
// is decided by ccFatalError (framework/base/errors.h).
#pragma once

#include "framework/base/export.h"

struct TS_EXPORT tsioStatus {
  enum Status : short {
    kSuccess = 0,
    kInvalidOperation = 1,   // bad argument or an operation that makes no sense here
    kIOError = 2,            // the database could not be read or written (fatal)
    kFileNotOpen = 3,        // the handle is not open (fatal)
    kMerged = 6,             // accumulation merged into an existing entry (not a failure)
    kDuplicateKey = 5,       // a record with that key (or unique index value) exists
    kValueDoesNotFit = 8,    // a value does not fit its column; nothing was written
    kLocked = 9,             // the record is locked by another program or handle
    kBusy = 10,              // another program kept the database busy too long
    kReadOnly = 11,          // the company folder or database cannot be written (fatal)
    kEndOfFile = 12,         // no further record in that direction or range
    kNotFound = 13,          // no record with that key
    kNoCurrentRecord = 14,   // the operation needs a current record and there is none
    kFileDoesNotExist = 15,  // the data file (or company) does not exist
    kDamaged = 16,           // the database file is damaged or not a database (fatal)
    kDiskFull = 17,          // no space left (fatal)
    kOutOfMemory = 18,       // (fatal)
    kLockUnavailable = 19,   // the lock file could not be used (fatal)
  };

  // Maps a status returned by another component (a general-ledger function's
  // result word, for instance) onto this enumeration: values the enumeration
  // knows pass unchanged, anything else becomes kIOError.
  static Status ConvertToTsio(long value);
};
