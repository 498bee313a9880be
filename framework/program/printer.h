// Printers. There is no print system: a printer is a spool folder of the
// company, and printing a text makes one print job, a text file
// "<company folder>/spool/<printer name>-<job number>.txt" holding the job's
// title on its first line, then its lines. Jobs are written whole under a
// temporary name and then linked to a job number no other job has taken, so
// programs of several processes may print at once.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "framework/base/errors.h"
#include "framework/base/export.h"

namespace xp {

enum PrinterEnum : short {
  NoPrinter = 0,       // printing does nothing (and succeeds)
  DefaultPrinter = 1,  // "default"
  ReportPrinter = 2,   // "report"
  CheckPrinter = 3,    // "check"
};

// "none", "default", "report", "check"; "printer<n>" for other values.
TS_EXPORT std::string PrinterName(PrinterEnum printer);

// Prints one job. Failure (level 3 message) when no company folder is set or
// the job cannot be written; `job_path` (when given) receives the job's file,
// "" when nothing was printed.
TS_EXPORT ccStatus<ccBoolStatus> Spool(PrinterEnum printer, std::string_view title,
                                       const std::vector<std::string>& lines, std::string* job_path = nullptr);

}  // namespace xp
