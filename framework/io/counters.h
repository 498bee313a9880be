// tsioCounters: process-wide counts of the queries cursors send to the
// database for fetches, so that tests and benchmarks can state what an
// operation costs in indexed fetches rather than in time.
//
// FetchQueries counts every fetch that ran a query (one indexed query each,
// a locked fetch's re-read included); a sequential fetch served from rows
// read ahead runs none and is not counted. RowsRead counts the rows those
// queries returned. Counting is one relaxed atomic add per query.
#pragma once

#include <atomic>
#include <cstdint>

#include "framework/base/export.h"

class TS_EXPORT tsioCounters {
 public:
  static uint64_t FetchQueries() { return fetch_queries_.load(std::memory_order_relaxed); }
  static uint64_t RowsRead() { return rows_read_.load(std::memory_order_relaxed); }
  static void Reset() {
    fetch_queries_.store(0, std::memory_order_relaxed);
    rows_read_.store(0, std::memory_order_relaxed);
  }
  // Called by the cursors once per query run.
  static void CountFetchQuery(uint64_t rows) {
    fetch_queries_.fetch_add(1, std::memory_order_relaxed);
    rows_read_.fetch_add(rows, std::memory_order_relaxed);
  }

 private:
  static std::atomic<uint64_t> fetch_queries_;
  static std::atomic<uint64_t> rows_read_;
};
