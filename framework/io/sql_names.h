// The names SQL text is built from. Statements name tables, indexes and
// columns from the data dictionary (file codes and column names) and
// numbers (instances, record types, index numbers, savepoint ids) only;
// values always travel as bound parameters. A name that is not a plain
// identifier never reaches SQL text: a definition holding one creates and
// opens nothing (status 1 and a log line).
#pragma once

#include <string_view>

#include "framework/base/export.h"
#include "framework/io/dictionary.h"

// A letter or "_", then letters, digits and "_", at most 64 characters.
TS_EXPORT bool tsioIsPlainIdentifier(std::string_view name);
// True when the file code and every column name of `def` are plain.
TS_EXPORT bool tsioNamesArePlain(const tsioFileDef& def);
