// Identity of the framework library.
#include "framework/base/export.h"

extern "C" TS_EXPORT const char* ts_framework_version() { return "1.0"; }
