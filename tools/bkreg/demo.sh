#!/bin/sh
# A small month of a bank register's work on a fresh company, as `make demo`
# runs it: accounts, checks and deposits, the register, balances as of dates,
# a batch of checks and deposits with their distribution lines against the
# general ledger, posted, a bank statement reconciled, an export read back
# as a journal, and a verify. $BKREG is the program.
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

# The general ledger: its accounts and the year's periods; entries go to it.
bk gl account add 1000
bk gl account add 4000
bk gl account add 4100
bk gl account add 6000
bk gl account add 6100
bk gl account add 1010
bk gl account add 1020
bk gl period add "" --year 2026
# The banks' sides in the general ledger: their cash accounts.
bk bank edit OPERATING --cash-account 1010
bk bank edit PAYROLL --cash-account 1020
bk gl interface on
bk bank add SALES --desc "Sales account" --balance 5000.00 --cash-account 1000
# A batch of deposits with their items' lines and checks with their expense
# accounts, against its control totals: four entries, deposits of 2,150.00
# less checks of 984.60.
bk batch open WEEK47 --desc "Week 47" --date 2026-11-16 --count 4 --amount 1165.40
bk enter deposit --bank SALES --amount 1500.00 --date 2026-11-16 --deposit-id S-1116 --batch WEEK47 \
   --line 4000=1200.00 --line 4100=300.00 --desc "Counter takings"
bk enter deposit --bank SALES --amount 650.00 --date 2026-11-18 --deposit-id S-1118 --batch WEEK47 \
   --line 4000=650.00@1 --desc "Invoice 88 paid"
bk enter check --bank SALES --amount 900.00 --check 2001 --date 2026-11-18 --batch WEEK47 --account 6000 \
   --payee "Harbor Properties" --desc "Shop rent"
bk enter check --bank SALES --amount 84.60 --check 2002 --date 2026-11-19 --batch WEEK47 --account 6100 --desc "Bags"
bk batch list
bk post WEEK47
bk batch close WEEK47
# The bank's statement of November: the takings and the rent came through.
bk reconcile start SALES --date 2026-11-30 --ending-balance 5600.00
bk reconcile status SALES
bk clear SALES --deposit-id S-1116 --date 2026-11-17
bk clear SALES --check 2001 --date 2026-11-24
bk reconcile status SALES
bk reconcile finish SALES
bk register SALES
bk gl trial
bk balance SALES --as-of 2026-11-17 --kind bank
bk balance SALES --as-of 2026-11-30 --kind bank
bk transfer OPERATING PAYROLL --amount 500.00 --date 2026-11-28 --desc "Payroll top-up"
bk locks
bk bank list
bk register OPERATING
bk register OPERATING --from 2026-11-05 --to 2026-11-15
bk balance OPERATING --as-of 2026-11-05
bk balance OPERATING --as-of 2026-11-30
bk --format json balance PAYROLL --as-of 2026-11-14
bk export OPERATING --format journal
bk verify
