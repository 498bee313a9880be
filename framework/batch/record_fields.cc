// Field access to a handle's current record by numbers (see record_fields.h).
#include "framework/batch/record_fields.h"

#include "framework/io/cursor.h"
#include "framework/io/data_file.h"
#include "framework/io/io_status.h"
#include "framework/ui/raw_record.h"

namespace {

bool IsTextType(tsDataType t) { return t == tsDataType::kAlpha || t == tsDataType::kText || t == tsDataType::kPhone; }

struct Field {
  tsioDataFile* file = nullptr;
  tsioRecordState* state = nullptr;
  size_t col = 0;
  const tsioFieldDef* def = nullptr;
};

// Finds the field and makes sure the buffer holds its value.
short Locate(short file_number, short record_type, short field_number, Field* f) {
  f->file = tsioDataFile::ByNumber(file_number);
  if (!f->file || !f->file->IsOpen()) return tsioStatus::kFileNotOpen;
  f->state = f->file->State(record_type);
  if (!f->state) return tsioStatus::kNotFound;
  if (field_number < 1 || static_cast<size_t>(field_number) > f->state->def->fields.size()) {
    return tsioStatus::kNotFound;
  }
  f->col = static_cast<size_t>(field_number - 1);
  f->def = &f->state->def->fields[f->col];
  if (f->state->valid[f->col]) return tsioStatus::kSuccess;
  if (!f->state->positioned) return tsioStatus::kNoCurrentRecord;
  // The buffer's record was read without this column: read it whole.
  tsRawRecord rec(*f->file, record_type);
  tsioCursor cur(rec, *f->file, record_type, 0);
  return cur.FetchCurrent();
}

}  // namespace

short zc_get_io_number(short file_number, short record_type, short field_number, tsDouble* value) {
  Field f;
  const short st = Locate(file_number, record_type, field_number, &f);
  if (st != tsioStatus::kSuccess) return st;
  if (IsTextType(f.def->type)) return tsioStatus::kInvalidOperation;
  if (value) *value = tsDouble(f.state->buffer[f.col].i);
  return tsioStatus::kSuccess;
}

short zc_put_io_number(short file_number, short record_type, short field_number, const tsDouble& value) {
  Field f;
  const short st = Locate(file_number, record_type, field_number, &f);
  if (st != tsioStatus::kSuccess) return st;
  if (IsTextType(f.def->type)) return tsioStatus::kInvalidOperation;
  if (!value.IsValid() || value.Rounded(0) != value) return tsioStatus::kValueDoesNotFit;
  const long long whole = value.ToLongLong();
  const bool sized = f.def->type == tsDataType::kDouble || f.def->type == tsDataType::kCurrency ||
                     f.def->type == tsDataType::kNum;
  if (sized && f.def->width > 0 && f.def->width < 19) {
    long long limit = 1;
    for (int i = 0; i < f.def->width; ++i) limit *= 10;
    if (whole >= limit || whole <= -limit) return tsioStatus::kValueDoesNotFit;
  }
  f.state->buffer[f.col] = tsCell::Int(whole);
  f.state->valid[f.col] = 1;
  return tsioStatus::kSuccess;
}

short xio_get_field(short file_number, short record_type, short field_number, tsData& out) {
  Field f;
  const short st = Locate(file_number, record_type, field_number, &f);
  if (st != tsioStatus::kSuccess) return st;
  return out.FromCell(f.state->buffer[f.col], f.def->decimals) ? tsioStatus::kSuccess : tsioStatus::kInvalidOperation;
}
