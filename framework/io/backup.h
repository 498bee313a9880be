// A copy of a company's database while others work on it.
#pragma once

#include <string>

#include "framework/base/export.h"
#include "framework/io/io_status.h"

// Copies the database of the company in `folder` into the new file
// `destination`: one consistent state (a single commit's), taken through
// the engine's online backup, so programs writing meanwhile are neither
// stopped nor half-copied. The copy is created owner-only (0600) and never
// through a symbolic link; an existing `destination` is refused
// (kDuplicateKey) and left alone. On failure no partial copy is left.
// Statuses: kSuccess; kFileDoesNotExist (no company); kDuplicateKey;
// kDamaged; kDiskFull; kIOError.
TS_EXPORT tsioStatus::Status tsioBackupCompany(const std::string& folder, const std::string& destination);
