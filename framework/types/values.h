// All typed field values of the framework in one include.
#pragma once

#include "framework/types/ts_alpha.h"
#include "framework/types/ts_bool.h"
#include "framework/types/ts_choice.h"
#include "framework/types/ts_currency.h"
#include "framework/types/ts_data.h"
#include "framework/types/ts_date.h"
#include "framework/types/ts_double.h"
#include "framework/types/ts_num.h"
#include "framework/types/ts_phone.h"
#include "framework/types/ts_string.h"
#include "framework/types/ts_text.h"
#include "framework/types/ts_time.h"
