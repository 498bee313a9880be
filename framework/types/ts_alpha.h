// tsAlpha: a text field (ids, names, account numbers, short descriptions).
// Behaviour, comparisons and storage: tsTextBase (framework/types/ts_text_base.h).
#pragma once

#include "framework/base/export.h"
#include "framework/types/ts_text_base.h"

class TS_EXPORT tsAlpha : public tsTextValue<tsAlpha, tsDataType::kAlpha> {
 public:
  using tsTextValue::tsTextValue;
};
