// For tests of really damaged files: overwriting the pages of some tables of
// a company's SQLite database on disk.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <string>
#include <vector>

namespace bktest {

// Moves the write-ahead log of the SQLite database `db_path` (which no
// program has open) into it, then overwrites the root pages of the tables
// `tables` and of their indexes with junk: every read of them then fails as
// a damaged file. The number of pages overwritten.
inline size_t DamageTables(const std::string& db_path, const std::vector<std::string>& tables) {
  std::string names;
  for (const std::string& t : tables) names += (names.empty() ? "'" : ",'") + t + "'";
  std::vector<long> pages, page_size;
  auto keep = [](void* out, int, char** values, char**) {
    static_cast<std::vector<long>*>(out)->push_back(std::stol(values[0]));
    return 0;
  };
  sqlite3* db = nullptr;
  const bool read = sqlite3_open(db_path.c_str(), &db) == SQLITE_OK &&
                    sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr) == SQLITE_OK &&
                    sqlite3_exec(db, ("SELECT rootpage FROM sqlite_master WHERE rootpage > 0 AND tbl_name IN (" +
                                      names + ")").c_str(), keep, &pages, nullptr) == SQLITE_OK &&
                    sqlite3_exec(db, "PRAGMA page_size", keep, &page_size, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  EXPECT_TRUE(read && page_size.size() == 1) << db_path;
  if (!read || page_size.size() != 1) return 0;
  std::fstream file(db_path, std::ios::in | std::ios::out | std::ios::binary);
  for (long page : pages) {
    file.seekp((page - 1) * page_size[0]);
    file << std::string(static_cast<size_t>(page_size[0]), '\xff');
  }
  EXPECT_TRUE(file.good()) << db_path;
  return pages.size();
}

}  // namespace bktest
