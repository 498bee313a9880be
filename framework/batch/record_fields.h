// Field access to the current record of an open data file by file number
// and field number, as the batch framework and module batch parts use it:
// the file number is the handle's (tsioDataFile::FileNum), the field number
// is 1-based (xio_num, framework/io/dictionary.h), and "the current record"
// is the record the handle's file buffer holds for that record type (the
// last one fetched, inserted or updated through any cursor on the handle, or
// a new record's defaults after Initialize).
//
// Numbers are exchanged as they are held in the record: a number column
// declared with d decimals holds its value times 10^d (an amount of 12.34 in
// a column with 2 decimals is held as 1234); counts, choices, booleans and
// dates (yyyymmdd) hold their integer. The values travel as exact decimals
// (tsDouble), never as binary floating point.
//
// Results: 0 success; 3 no open handle has that file number; 13 the file
// has no such record type or field; 14 the buffer holds no record of that
// type (nothing fetched yet); 1 a text field asked for as a number;
// 8 a number that is not whole or does not fit the column (nothing changed).
// A field the buffer lacks (a cursor that read only some columns moved it)
// is read from the file first; that read's failure status is returned.
#pragma once

#include "framework/base/export.h"
#include "framework/types/ts_data.h"
#include "framework/types/ts_double.h"

// The number held in the field of the current record.
TS_EXPORT short zc_get_io_number(short file_number, short record_type, short field_number, tsDouble* value);
// Sets the field of the current record in the file buffer to `value` (as
// held, see above). The file is not written: the batch framework writes the
// record (zzBatch::UpdateInfo).
TS_EXPORT short zc_put_io_number(short file_number, short record_type, short field_number, const tsDouble& value);
// The field of the current record as a typed value: `out` takes the stored
// value at the column's declared decimals (an amount column gives 12.34;
// text gives its text). 1 when `out` cannot take the value.
TS_EXPORT short xio_get_field(short file_number, short record_type, short field_number, tsData& out);
