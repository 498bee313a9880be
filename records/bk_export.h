// Symbol visibility of the bank-register library: everything is hidden
// unless marked BK_EXPORT.
#pragma once

#define BK_EXPORT __attribute__((visibility("default")))
