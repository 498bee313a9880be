// xw_wr_message: shows one text to the user through the application's
// responder (TSGetApp(), framework/base/application.h).
//
// The kind chooses the level the text is shown at:
//   101 information, 102 warning, 103 error, 104 fatal error;
//   any other kind shows the text as information.
#pragma once

#include <string_view>

#include "framework/base/export.h"

inline constexpr short kXwInformation = 101;
inline constexpr short kXwWarning = 102;
inline constexpr short kXwError = 103;
inline constexpr short kXwFatal = 104;

// `window` names the window the message belongs to (0: the application's)
// and `flags` is reserved (0). Returns 1 once the text was handed on.
TS_EXPORT short xw_wr_message(short window, short kind, std::string_view text, short flags);
