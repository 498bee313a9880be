// Files and folders the framework makes in a company folder: they belong to
// their owner only, and no path the framework opens there follows a
// symbolic link (a link planted in a company folder must not redirect the
// database, the log, the lock file or a printed journal elsewhere).
//
// New files are created with mode 0600 and new folders with 0700 (the umask
// may only narrow them further). Files that already exist keep their mode.
#pragma once

#include <string>

#include "framework/base/export.h"

// open(2) of `path` with `flags` plus O_NOFOLLOW and O_CLOEXEC, creating with
// mode 0600 when `flags` has O_CREAT. The descriptor, or -1 with errno set
// (ELOOP when the last component is a symbolic link).
TS_EXPORT int tsOpenPrivateFile(const std::string& path, int flags);

// Makes the folder `path` (mode 0700) unless it exists. True when `path` is a
// folder afterwards; false with errno set otherwise.
TS_EXPORT bool tsMakePrivateFolder(const std::string& path);

// True when `path` exists and is a symbolic link.
TS_EXPORT bool tsIsSymbolicLink(const std::string& path);
