// TransferStatus: the value of ccStatus<TransferStatus>, the result of moving
// (transferring) a record from one data file to another.
#pragma once

enum TransferStatus : short {
  kTransferDone = 0,    // the record was transferred
  kTransferFailed = 1,  // it was not; the I/O status is not fatal
  kTransferFatal = 2,   // it was not; the I/O status is fatal (ccFatalError)
};
