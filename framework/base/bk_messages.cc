// Catalogue texts of the bank-register module ("BK").
//
// Each text uses only the tags its callers give for that number. Values of
// "io status" / "ioStatus" are ccIOStatusStr texts such as
// "record not found (13)"; "prefix" is "" or " for prefix X"; custom-
// description tags ("Check", "Checks", "batch") already hold the user's own
// term. Default levels are those the callers report; callers may change them.
#include "framework/base/bk_messages.h"

namespace {

constexpr ccError::Level W = ccError::kWarning;
constexpr ccError::Level E = ccError::kError;
constexpr ccError::Level F = ccError::kFatal;

constexpr ccMessageDef kMessages[] = {
    // Shared message functions.
    {1600, E, "{field name} is required."},
    {1601, E, "The design name for {task description} cannot be blank."},
    {1602, E, "Could not move the {rec desc} record: {io status}."},
    {1603, E, "Could not update the General Ledger transaction header; no run number is available."},
    {1604, E, "Could not write the General Ledger transaction: {io status}."},
    {1605, W, "The accounting date {date} is in a closed period{prefix}."},
    {1606, W, "The accounting date {date} is in a period closed to posting{prefix}."},
    {1607, E, "Invalid transaction type."},
    {1608, E, "{field desc} cannot be {blank or zero}."},
    {1609, W, "{field desc} is {blank or zero}."},
    {1610, E, "{field desc} must be {blank or zero} for this type of transaction."},
    {1611, E, "The {rec desc 1} has no {rec desc 2}; at least one is required."},
    {1612, E, "The {rec desc 1} amounts do not add up to the {rec desc 2} amount."},
    {1613, E, "Could not delete the {rec desc} record: {io status}."},
    {1614, E, "Could not read the {rec desc} record: {io status}."},
    {1615, E, "Could not write the {rec desc} record: {io status}."},
    {1616, E, "Could not read the transaction file header: {io status}."},
    {1617, E, "Could not update the transaction file header: {io status}."},
    {1618, E, "Could not update the batch totals for {tran text}."},
    {1619, E, "Could not delete {tran text}: {io status}."},
    {1620, E, "Could not save {tran text}: {io status}."},
    {1621, E, "Could not read the {attachments desc} of the {rec desc} record: {io status}."},
    {1622, E, "Could not save the notes and attachments of the transaction: {io status}."},
    {1623, W, "The fiscal period of the accounting date {date} cannot be determined{prefix}."},
    {1624, E, "The accounting date {date} is not in any known fiscal period{prefix}."},
    {1625, W, "The accounting date {actg date} is before last year (before {date2})."},
    {1626, E, "The accounting date {actg date} is after next year (after {date2})."},
    {1627, E, "General Ledger could not build the intercompany account: {GL error}"},
    {1628, E, "This {batch} is fully posted and cannot be selected."},
    {1629, W, "The accounting date {date} is in a future period{prefix}."},
    {1630, E, "Could not open the control file."},
    {1631, E, "Could not save the control file."},
    {1632, E, "Could not update the last-transaction record of bank account {bank account}: {io status}."},
    {1633, E, "Could not lock the last-transaction record of bank account {bank account}: {io status}."},
    {2000, E, "There is no bank account record for bank account {BankAccount}."},
    {2001, E, "{action} of the {RecordType} record failed: {ioStatus}."},
    {2002, W, "Could not return to the record shown before: {ioStatus}."},
    {2004, E, "This transaction has not been posted yet, so it cannot be cleared."},
    // Duplicate verification.
    {2200, E, "Could not open or read the {file name} file: {ioStatus}."},
    {2201, F, "Could not look for a duplicate {looking for} in the {file name} file: {ioStatus}."},
    {2202, E, "{Check} number {checkNumber} has already been used for bank account {bankID}."},
    {2203, E, "Deposit {depositID} dated {depositDate} has already been entered for bank account {bankID}."},
    {2206, W, "The history file could not be opened ({ioStatus}); {Checks} will not be compared with history."},
    {2207, W, "There is no history file; {Checks} will not be compared with history."},
    // Bank locks.
    {2300, E, "Could not create the lock record of bank account {BankID}: {ioStatus}."},
    {2301, E, "Bank account {BankID} is being edited by another program."},
    {2302, E, "Could not lock bank account {BankID}: {ioStatus}."},
    {2303, E, "Could not read the lock record of bank account {BankID}: {ioStatus}."},
    {2304, E, "Bank account {BankID} is not locked by this program."},
    {2305, E, "Bank account {BankID} is in use by another program."},
    // Run locks.
    {2400, E, "Could not remove the lock of run {tranRun} of bank account {BankID}: {ioStatus}."},
    {2401, E, "Could not lock run {tranRun} of bank account {BankID}: {ioStatus}."},
    {2402, E, "Could not read the run locks of bank account {BankID}: {ioStatus}."},
    {2403, E, "Could not create the lock of run {tranRun} of bank account {BankID}: {ioStatus}."},
    {2404, E, "Could not read the transactions of run {tranRun} of bank account {BankID}: {ioStatus}."},
    // Record fetches (InvalidRecordFetch builds this text itself; the entry
    // gives the same wording to anyone who looks it up).
    {5000, E, "Could not read {rec desc} - {io status}."},
};

}  // namespace

std::span<const ccMessageDef> BankRegisterMessages() { return kMessages; }
