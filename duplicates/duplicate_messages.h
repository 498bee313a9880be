// Messages of duplicate verification (2200 to 2203, 2206, 2207), built from
// the catalogue of module "BK". Internal to the library. "<8F>" and "<8FP>"
// in tag values are replaced by the user's own terms for a check and checks
// before they become tag values.
#pragma once

#include "framework/base/errors.h"
#include "framework/io/io_status.h"
#include "framework/types/values.h"

// 2200, level 3: opening a file or reading the settings failed. "file name"
// ("Master", "BK Master", "Register"), "ioStatus".
ccStatus<ccError::Level> bkDupOpenError(const CString& file_name, tsioStatus::Status status);
// 2201, level 4: a lookup could not read. "file name" ("Register", "History",
// "Master"), "looking for" ("<8F>", "Deposit", "Pending Deposit"),
// "ioStatus".
ccStatus<ccError::Level> bkDupLookupError(const CString& file_name, const CString& looking_for,
                                          tsioStatus::Status status);
// 2202, level 3: "Check" (the user's term), "checkNumber", "bankID".
ccStatus<ccError::Level> bkDupCheckError(const tsAlpha& bank, const tsDouble& check_number);
// 2203, level 3: "depositID", "depositDate", "bankID".
ccStatus<ccError::Level> bkDupDepositError(const tsAlpha& bank, const tsDate& deposit_date, const tsAlpha& deposit_id);
// 2207 (status 15: there is no history file) or 2206 (any other status,
// "ioStatus"), level 2; "Checks" (the user's term).
ccStatus<ccError::Level> bkDupHistoryWarning(tsioStatus::Status status);
