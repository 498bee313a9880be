// The data dictionary: the definition of every data file the suite knows.
//
// A file definition names its file code, its dictionary file id, its record
// types (each with a description, columns, indexes and whether its records
// keep notes and file links) and its header records. Index 0 of a record type
// is its key; other index numbers are unique within the file. A non-unique
// index orders duplicates by appending the record's key columns, so every
// index is a total order.
//
// Definitions are declared once, in code, by the modules that own the files
// (tsioDictionary::Register), and they create the files' tables. The xio_*
// functions answer questions about the definition of an OPEN file, by the
// file number the file manager handed out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/base/export.h"
#include "framework/types/ts_data.h"

// One column. Width: characters for text, total digits (decimals included)
// for numbers. `default_value` is the column's value in a new record.
struct TS_EXPORT tsioFieldDef {
  std::string name;
  tsDataType type = tsDataType::kAlpha;
  int width = 0;
  int decimals = 0;
  int64_t default_value = 0;  // for integer-stored columns (choices start at 1)
};

// One index. `columns` are the declared segments; a unique index needs no
// key columns to tell records apart.
struct TS_EXPORT tsioKeyDef {
  short number = 0;
  std::vector<std::string> columns;
  bool unique = false;
};

struct TS_EXPORT tsioRecordDef {
  short record_type = 0;
  std::string description;
  std::vector<tsioFieldDef> fields;
  std::vector<tsioKeyDef> keys;  // keys[0] is index 0, the record's key
  bool notes = false;            // records may carry notes
  bool file_links = false;       // records may carry file links

  // Column number (0-based) of a column name, -1 when the record has none.
  int FieldIndex(std::string_view name) const;
  // The index with that number, nullptr when the record type has none.
  const tsioKeyDef* Key(short number) const;
};

struct TS_EXPORT tsioHeaderDef {
  short number = 0;
  std::vector<tsioFieldDef> fields;
  int FieldIndex(std::string_view name) const;
};

// Columns that a non-unique index of a record type stores besides its own
// and the key's: a cursor on that index that reads only those columns reads
// the index alone. They take no part in the index's order, in searches or in
// uniqueness.
struct TS_EXPORT tsioCarriedColumns {
  short record_type = 0;
  short index = 0;
  std::vector<std::string> columns;
};

struct TS_EXPORT tsioFileDef {
  std::string code;           // "BKT"
  short dictionary_id = 0;    // 221
  std::string description;
  bool work_file = false;     // opened with a file number from 401 to 600
  std::vector<tsioRecordDef> records;
  std::vector<tsioHeaderDef> headers;
  std::vector<tsioCarriedColumns> carried;

  const tsioRecordDef* Record(short record_type) const;
  const tsioHeaderDef* Header(short number) const;
};

// Process-wide registry of file definitions, by dictionary file id.
class TS_EXPORT tsioDictionary {
 public:
  // Adds or replaces the definition with that dictionary id. Definitions
  // must be registered before a file of that id is created or opened.
  static void Register(const tsioFileDef& def);
  // nullptr when no definition has that id.
  static const tsioFileDef* Find(short dictionary_id);
};

// Answers of the xio_* functions.
struct TS_EXPORT xio_rec_def {
  short record_type = 0;
  std::string text;       // the record description
  short field_count = 0;
  short key_count = 0;    // indexes of this record type, index 0 included
};
struct TS_EXPORT xio_fld_def {
  std::string name;
  tsDataType type = tsDataType::kAlpha;
  short length = 0;
  short decimals = 0;
};
struct TS_EXPORT xio_key_def {
  short number = 0;
  short segment_count = 0;
  std::vector<short> segments;  // field numbers (1-based, as xio_num gives)
  bool unique = false;
};
struct TS_EXPORT xio_file_def {
  std::string code;
  short dictionary_id = 0;
  short instance = 0;
  short record_count = 0;
  short key_count = 0;  // keys of the file's first record type beyond index 0
};

// Each returns 0 on success or a tsioStatus value (3 file not open, 13 no
// such record type, field or key).
TS_EXPORT short xio_get_def(short file_number, xio_file_def* out);
TS_EXPORT short xio_get_rec_def(short file_number, short record_type, xio_rec_def* out);
// field_number is 1-based.
TS_EXPORT short xio_get_fld_def(short file_number, short record_type, short field_number, xio_fld_def* out);
// The index `key_number` of the file's record type (for a work file with one
// record type, keys are numbered 1 to key_count).
TS_EXPORT short xio_get_key_def(short file_number, short record_type, short key_number, xio_key_def* out);
// 1-based field number of a column, 0 when the record type has no such column.
TS_EXPORT short xio_num(short file_number, short record_type, std::string_view column);
// Whether records of that type keep notes / file links.
TS_EXPORT bool xio_find_notes(short file_number, short record_type);
TS_EXPORT bool xio_find_file_links(short file_number, short record_type);
