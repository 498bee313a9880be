// Functions of other applications by name: an application code ("GL") names
// the module that holds its functions ("LEDGERCORE"), and
// zd_function_address finds a function there when that module is loaded.
//
// The general ledger "GL" is registered to the module "LEDGERCORE" from the
// start; programs may register other applications or move one to another
// module.
#pragma once

#include <string>
#include <string_view>

#include "framework/base/export.h"

// Registers (or moves) `application` to the module `module_name`.
TS_EXPORT void zd_register_application(std::string_view application, std::string_view module_name);
// The module registered for `application`, "" when there is none.
TS_EXPORT std::string zd_application_module(std::string_view application);

// The address of the function `name` of `application`, nullptr when the
// application is unknown, its module is not loaded (nothing is loaded here),
// or the module has no such function.
TS_EXPORT void* zd_function_address(std::string_view application, std::string_view name);
