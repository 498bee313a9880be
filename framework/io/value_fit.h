// Which value the last insert or update refused for not fitting its column
// (kValueDoesNotFit), so a program's message can name the field.
#pragma once

#include <string>

#include "framework/base/export.h"

// The record and column of the last value this thread's inserts and updates
// refused for not fitting its column, as "<record description>, column
// <NAME>"; "" when none was.
TS_EXPORT std::string tsioLastValueNotFitting();
// Notes the record and column of a value that does not fit (the cursor's
// inserts and updates call it).
TS_EXPORT void tsioNoteValueNotFitting(const std::string& record, const std::string& column);
