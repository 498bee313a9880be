// tsPhone: a phone or fax number held as the text entered; Format returns it
// as stored. Same behaviour as tsAlpha (framework/types/ts_text_base.h); its
// type is kPhone.
#pragma once

#include "framework/base/export.h"
#include "framework/types/ts_text_base.h"

class TS_EXPORT tsPhone : public tsTextValue<tsPhone, tsDataType::kPhone> {
 public:
  using tsTextValue::tsTextValue;
};
