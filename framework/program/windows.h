// xw_refresh: asks the application to redraw its windows. There are no
// windows; the request is counted so that callers (and their tests) can see
// that a refresh was asked for after work that changes what windows show.
#pragma once

#include "framework/base/export.h"

TS_EXPORT void xw_refresh();
// How many refreshes were asked for in this process.
TS_EXPORT unsigned long xw_refresh_count();
