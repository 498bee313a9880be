#!/bin/sh
# A small month of a bank register's work on a fresh company, as `make demo`
# runs it: accounts, checks and deposits, the register, balances as of dates,
# an export read back as a journal, and a verify. $BKREG is the program.
set -e
company=${1:-demo-company}
bk() { echo "\$ bkreg $*"; "$BKREG" --company "$company" "$@"; echo; }

rm -rf "$company"
bk init
bk bank add OPERATING --desc "Operating account" --balance 25000.00
bk bank add PAYROLL --desc "Payroll account" --balance 8000.00
bk enter deposit --bank OPERATING --amount 12500.00 --date 2026-11-02 --deposit-id D-1102 --desc "Customer receipts"
bk enter check --bank OPERATING --amount 1830.45 --check 1001 --date 2026-11-03 --payee "Harbor Properties" --desc "Office rent"
bk enter check --bank OPERATING --amount 212.10 --check 1002 --date 2026-11-06 --payee "Paper & Co" --desc "Supplies"
bk enter withdrawal --bank OPERATING --amount 95.00 --date 2026-11-10 --desc "Bank fee"
bk enter adjustment --bank OPERATING --amount 14.27 --date 2026-11-30 --desc "Monthly interest"
bk enter deposit --bank OPERATING --amount 3300.00 --date 2026-11-20 --deposit-id D-1120 --desc "Customer receipts"
bk enter withdrawal --bank PAYROLL --amount 4120.33 --date 2026-11-15 --desc "Payroll run"
bk enter deposit --bank PAYROLL --amount 4200.00 --date 2026-11-14 --deposit-id T-1114 --desc "Transfer in"
bk bank list
bk register OPERATING
bk register OPERATING --from 2026-11-05 --to 2026-11-15
bk balance OPERATING --as-of 2026-11-05
bk balance OPERATING --as-of 2026-11-30
bk --format json balance PAYROLL --as-of 2026-11-14
bk export OPERATING --format journal
bk verify
