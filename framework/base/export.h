// Symbol visibility of the framework library. Everything is hidden unless a
// declaration carries TS_EXPORT.
#pragma once

#if defined(TS_BUILDING_FRAMEWORK)
#define TS_EXPORT __attribute__((visibility("default")))
#else
#define TS_EXPORT __attribute__((visibility("default")))
#endif
