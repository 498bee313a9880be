// What a data-file handle answers when its lock file could not be opened
// (a read-only folder, a lock file that is not a file): record and header
// locks can be neither taken nor tested, so every locked read and every
// change is refused with kLockUnavailable and one log line saying why;
// reads without a lock still work. No change is ever made while other
// programs' locks cannot be seen.
#pragma once

#include <string_view>

#include "framework/io/data_file.h"

// Logs that `what` on `file` is refused for want of its lock file; answers
// kLockUnavailable.
TS_EXPORT tsioStatus::Status tsioLocksUnavailable(const tsioDataFile& file, std::string_view what);
