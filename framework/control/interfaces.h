// Accounting-interface services kept in the company's control file: whether
// one application passes its work to another (the bank register "BK" to the
// general ledger "GL"), and the last-run counters of data files.
#pragma once

#include <string_view>

#include "framework/base/export.h"

// 1 when the control file of the application's company records the
// interface from `from` to `to` as active, else 0 (also without a company or
// control file). Case matters: "BK", "GL".
TS_EXPORT short zc_interface_active(std::string_view from, std::string_view to);
// Queues, on a database server, the control file's reads that
// zc_interface_active(from, to) and the first account format asked for
// would make (nothing for what is known already), to be asked with the
// command's other queued reads: the caller holds a tsioCommandReads on the
// application's company and sends them (command_reads.h). Does nothing on
// an embedded database.
TS_EXPORT void zc_prefetch_control_reads(std::string_view from, std::string_view to);
// Records the interface as active or not in the control file of the
// application's company: 1 on success, 0 on failure.
TS_EXPORT short zc_set_interface_active(std::string_view from, std::string_view to, bool active);

// Adds n to the last run of the open data file `file_number` (kept in the
// control file of that file's company, by the file's code and instance) and
// returns the new last run; 0 when the file is not open, the counter is
// held by another program or cannot be written. The task's command id is
// recorded with the counter.
TS_EXPORT long zc_increment_lastrun(unsigned short task_command_id, short file_number, short n);
