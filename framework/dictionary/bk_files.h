// Definitions of the bank-register module's data files in the framework's data
// dictionary: BKM (dictionary id 210), BKT (221 and its history instance 222)
// and BKZ (230).
//
// They are registered when the framework library is loaded, so a file of these
// ids can be created or opened at any time; tsRegisterBankFiles registers them
// again only if that has not happened (it is idempotent and thread-safe).
#pragma once

#include "framework/base/export.h"

TS_EXPORT void tsRegisterBankFiles();
