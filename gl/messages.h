// The general-ledger module's texts, kept in the message catalogue under the
// module code "GL" (registered when the module is loaded).
//   101..107  the account builder's codes (glBuilderCode 1..7)
//   201..204  the intercompany base-account validator's codes 1..4
#pragma once

#include <string>

namespace gl {

inline constexpr unsigned short kBuilderMessages = 100;
inline constexpr unsigned short kValidatorMessages = 200;

// The catalogue text of "GL" message `number` ("" for 0 or an unknown number).
std::string MessageText(int number);
// Adds the module's texts to the catalogue (idempotent).
void RegisterMessages();

}  // namespace gl
