// tsText: a long text field (report designs, free descriptions). Same
// behaviour as tsAlpha (framework/types/ts_text_base.h); its type is kText.
#pragma once

#include "framework/base/export.h"
#include "framework/types/ts_text_base.h"

class TS_EXPORT tsText : public tsTextValue<tsText, tsDataType::kText> {
 public:
  using tsTextValue::tsTextValue;
};
