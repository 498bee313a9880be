// Framework-internal: the settings of a company's control file as cached per
// company folder (see control_file.h for when the cache is refreshed).
#pragma once

#include <string>
#include <string_view>

#include "framework/control/account_format.h"

namespace ts_control_detail {

// The account format `number` of the company in `company_folder` (the
// default format without a folder or control file).
tsAccountFormat CachedAccountFormat(const std::string& company_folder, short number);
// Whether the company's control file records the interface as active.
bool CachedInterfaceActive(const std::string& company_folder, std::string_view from, std::string_view to);
// Queues, on a server, the reads CachedInterfaceActive(from, to) and
// CachedAccountFormat would ask, those whose answers are not cached yet
// (see zc_prefetch_control_reads).
void PrefetchCached(const std::string& company_folder, std::string_view from, std::string_view to);

}  // namespace ts_control_detail
