// The built-in catalogue texts of the bank-register module ("BK"). Internal
// to the framework: the catalogue loads them when first used.
#pragma once

#include <span>

#include "framework/base/catalogue.h"

std::span<const ccMessageDef> BankRegisterMessages();
