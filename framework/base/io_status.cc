// Data-file statuses: conversion from other components' result words, their
// texts and which of them are fatal.
#include <string>

#include "framework/base/errors.h"
#include "framework/io/io_status.h"

namespace {

// The text of a known status, nullptr for an unknown value.
const char* KnownStatusText(long status) {
  switch (status) {
    case tsioStatus::kSuccess: return "success";
    case tsioStatus::kInvalidOperation: return "invalid operation";
    case tsioStatus::kIOError: return "the data file could not be read or written";
    case tsioStatus::kFileNotOpen: return "file not open";
    case tsioStatus::kDuplicateKey: return "a record with that key already exists";
    case tsioStatus::kMerged: return "merged into an existing entry";
    case tsioStatus::kValueDoesNotFit: return "a value does not fit its field";
    case tsioStatus::kLocked: return "record locked by another program";
    case tsioStatus::kBusy: return "the data is busy in another program";
    case tsioStatus::kReadOnly: return "the data cannot be written (read-only)";
    case tsioStatus::kEndOfFile: return "no further record";
    case tsioStatus::kNotFound: return "record not found";
    case tsioStatus::kNoCurrentRecord: return "no current record";
    case tsioStatus::kFileDoesNotExist: return "file does not exist";
    case tsioStatus::kDamaged: return "the data file is damaged";
    case tsioStatus::kDiskFull: return "the disk is full";
    case tsioStatus::kOutOfMemory: return "out of memory";
    case tsioStatus::kLockUnavailable: return "record locking is unavailable";
  }
  return nullptr;
}

}  // namespace

tsioStatus::Status tsioStatus::ConvertToTsio(long value) {
  return KnownStatusText(value) ? static_cast<Status>(value) : kIOError;
}

std::string ccIOStatusStr(short status) {
  const char* text = KnownStatusText(status);
  if (!text) return "I/O status " + std::to_string(status);
  return std::string(text) + " (" + std::to_string(status) + ")";
}

bool ccFatalError(short status) {
  switch (status) {
    case tsioStatus::kSuccess:
    case tsioStatus::kInvalidOperation:
    case tsioStatus::kDuplicateKey:
    case tsioStatus::kMerged:
    case tsioStatus::kValueDoesNotFit:
    case tsioStatus::kLocked:
    case tsioStatus::kBusy:
    case tsioStatus::kEndOfFile:
    case tsioStatus::kNotFound:
    case tsioStatus::kNoCurrentRecord:
    case tsioStatus::kFileDoesNotExist:
      return false;
    default:
      // kIOError, kFileNotOpen, kReadOnly, kDamaged, kDiskFull,
      // kOutOfMemory, kLockUnavailable and unknown values.
      return true;
  }
}
