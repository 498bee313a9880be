// Messages of the bank and run locks (2300 to 2305, 2400 to 2404), built from
// the catalogue of module "BK" at level 3. Tags: "BankID" (the bank account
// id), "tranRun" (the run number as text), "ioStatus" (the failing status's
// text); a tag is added only when the message uses it.
#pragma once

#include "framework/base/errors.h"
#include "framework/io/io_status.h"
#include "framework/types/values.h"

ccStatus<ccError::Level> bkLockMessage(unsigned short number, const CString& bank);
ccStatus<ccError::Level> bkLockMessage(unsigned short number, const CString& bank, tsioStatus::Status status);
ccStatus<ccError::Level> bkRunLockMessage(unsigned short number, const CString& bank, const tsDouble& run,
                                          tsioStatus::Status status);
ccStatus<ccError::Level> bkRunLockMessage(unsigned short number, const CString& bank, tsioStatus::Status status);
