// tsCurrency: the parts that are not inline.
#include "framework/types/ts_currency.h"

std::unique_ptr<tsData> tsCurrency::Clone() const { return std::make_unique<tsCurrency>(*this); }
