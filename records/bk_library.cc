// Identity of the bank-register library.
#include "records/bk_export.h"

extern "C" BK_EXPORT const char* bk_library_version() { return "1.0"; }
