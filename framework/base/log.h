// The framework log: one text file, "bkreg.log", in the application's company
// folder (TSGetApp()->CompanyFolder()), created owner-only and never written
// through a symbolic link; standard error while no company folder is set or
// when the file cannot be written (unless turned off, below).
//
// Line format (local time):
//   YYYY-MM-DD hh:mm:ss pid=<pid> level=<n> [task=<id> ]<text>
// Line breaks inside the text become spaces, so one call is one line. Each
// line is written by a single append to a file opened with O_APPEND, so the
// lines of several processes logging at once never mix.
//
// Logging never fails visibly: it does not throw, and a failure to write is
// ignored.
#pragma once

#include <string>
#include <string_view>

#include "framework/base/export.h"

TS_EXPORT void x_log(int level, std::string_view text) noexcept;
// The same, naming the task (its command id) the line belongs to.
TS_EXPORT void x_log(int level, unsigned short task_command_id, std::string_view text) noexcept;

// Whether a line that cannot reach the log file goes to standard error (the
// default). A program that reports every failure to its user in its own
// words turns this off, so no raw log line reaches its user.
TS_EXPORT void x_log_set_stderr_fallback(bool on) noexcept;

// The file x_log appends to now: "<company folder>/bkreg.log", or "" while no
// company folder is set.
TS_EXPORT std::string x_log_path();
