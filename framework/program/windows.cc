// Window refresh requests (see windows.h).
#include "framework/program/windows.h"

#include <atomic>

namespace {
std::atomic<unsigned long> g_refreshes{0};
}

void xw_refresh() { g_refreshes.fetch_add(1, std::memory_order_relaxed); }
unsigned long xw_refresh_count() { return g_refreshes.load(std::memory_order_relaxed); }
