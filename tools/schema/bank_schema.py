"""The data files of the bank-register module, declared once.

BKM (dictionary id 210): the master file (bank accounts and per-account state,
module settings in header 2). BKT (221, and 222 for the history instance with
identical record types): register transactions, their details, batches and
run locks; run counters in header 1. BKZ (230): transaction issues. BKS (240): bank
statement lines already applied to the register, and finished
reconciliations (what undoing one puts back).

Every record type lists its columns in layout order with type, accessor,
width and stored decimals; its key (index 0) and further indexes (numbers
unique within the file); its description; and, where the library has them,
its record class, key classes, enumerations and cursor. Money is 15 digits
with 2 decimals; runs and sequences are whole numbers of 9 digits, check
numbers and ids of 12; bank account ids are 15 characters, GL accounts 30.

gen_records.py reads SCHEMA and GLOBAL_ENUMS.
"""
from schema_model import (Enum, File, Header, KeyClass, Record, alpha, boolean, choice, date, long_num, money,
                          number, phone, short_num, text, time, whole)

BANK = 15       # bank account id
ACCOUNT = 30    # general-ledger account
DESC = 40       # descriptions and names
LONGDESC = 60   # payees, e-mail, transaction descriptions
APPL = 4        # application of origin
BATCH = 10      # batch id
DPLOC = 4       # data-processing location
ROWID = 36      # row id (a GUID text)
ROWVER = 20     # row version
TAXGRP = 10     # tax group / tax id
DEPID = 20      # deposit id
LISTTYPE = 30   # deposit, withdrawal and adjustment types
TAXAMT = dict(width=15, decimals=2)
TAXRATE = dict(width=12, decimals=5)

# Enumerations used by several record types.
GLOBAL_ENUMS = [
    Enum("BatchSourceEnum", (("kOtherApplication", 1), ("kManualEntry", 2), ("kAutomaticEntry", 3))),
    Enum("UpgradeSourceEnum", (("kNotUpgraded", 1), ("kUpgraded", 2))),
    Enum("TransferDirectionEnum", (("kTransferFrom", 1), ("kTransferTo", 2))),
    Enum("BatchTypeEnum", (("kRegularBatch", 1), ("kRecurringBatch", 2))),
]

# ---------------------------------------------------------------- BKM

BANK_ACCOUNT = Record(
    1, "bank account", cls="BankAccountData", cursor="BankAccount", stem="bank_account_data",
    summary="BankAccountData: a bank account (BKM record type 1), with its key classes",
    notes=True, file_links=True, key=["BANKACC"],
    enums=[
        Enum("BankAccountTypeEnum", (("kChecking", 1), ("kSavings", 2), ("kMoneyMarket", 3), ("kInvestment", 4),
                                     ("kMutualFunds", 5), ("kOperatingExpenses", 6), ("kLeaseDeposit", 7),
                                     ("kCreditCard", 8), ("kCreditLine", 9), ("kDraw", 10))),
        Enum("CashAccountFormatEnum", (("kBaseAccount", 1), ("kFullAccount", 2))),
        Enum("SetupAssistantStatusEnum", (("kNotStarted", 1), ("kInProgress", 2), ("kCompleted", 3))),
        Enum("TransferTypeEnum", (("kWithdrawalAndDeposit", 1), ("kAdjustments", 2))),
        Enum("InterestYearEnum", (("kNoYear", 0), ("kLastYear", 1), ("kThisYear", 2), ("kNextYear", 3))),
    ],
    key_classes=[KeyClass("BankAccountKeyData")],
    columns=[
        alpha("BANKACC", "BankAccount", BANK),
        alpha("BDESC", "Description", DESC),
        money("BRGBLNC", "RegisterBalance"),
        money("BRGVBLN", "RegisterViewBalance"),
        money("BNKBLNC", "BankBalance"),
        money("BNKVBLN", "BankViewBalance"),
        money("BPSBLNC", "PostedBalance"),
        date("BRECDT", "LastReconciledDate"),
        money("BRECBAL", "LastReconciledBalance"),
        choice("BATYPE", "AccountType", "BankAccountData::BankAccountTypeEnum"),
        alpha("BNAME", "BankName", DESC),
        alpha("BADDR1", "Address1", DESC),
        alpha("BADDR2", "Address2", DESC),
        alpha("BCITY", "City", 30),
        alpha("BSTATE", "State", 20),
        alpha("BZIP", "Zip", 10),
        alpha("BBRANCH", "Branch", 30),
        alpha("BCONTCT", "ContactName", DESC),
        phone("BPHONE", "PhoneNumber"),
        phone("BFAX", "FaxNumber"),
        alpha("BEMAIL", "EmailAddress", LONGDESC),
        alpha("BABN", "Babn", 20),
        alpha("BMISC1", "Misc1", DESC),
        phone("BMSCPH1", "MiscPhoneNumber1"),
        phone("BMSCPH2", "MiscPhoneNumber2"),
        alpha("BACCT", "AccountNumber", 30),
        boolean("BPRVALD", "IsValidForPR"),
        boolean("BRECVLD", "IsValidForReceivables"),
        boolean("BAPVALD", "IsValidForPayables"),
        boolean("BPMVALD", "IsValidForPM"),
        boolean("BRMVALD", "IsValidForRM"),
        alpha("BAPCSHB", "PayablesBaseCashAccount", ACCOUNT),
        alpha("BAPCSHF", "PayablesFullCashAccount", ACCOUNT),
        alpha("BPMCSHB", "PMBaseCashAccount", ACCOUNT),
        alpha("BPMCSHF", "PMFullCashAccount", ACCOUNT),
        alpha("BRMCSHB", "RMBaseCashAccount", ACCOUNT),
        alpha("BRCCASH", "ReceivablesCashAccount", ACCOUNT),
        alpha("BPRCASH", "PayrollCashAccount", ACCOUNT),
        alpha("BGENCSH", "MiscCashAccount", ACCOUNT),
        boolean("BMLTCSH", "MultipleCashAccounts"),
        choice("BAPCABF", "APCashAccountBaseOrFull", "BankAccountData::CashAccountFormatEnum"),
        choice("BPMCABF", "PMCashAccountBaseOrFull", "BankAccountData::CashAccountFormatEnum"),
        boolean("BRMCAB", "RMUseBaseCashAccount"),
        money("BOPNCHK", "OpenChecks"),
        money("BOPNDEP", "OpenDeposits"),
        money("BOPNWDL", "OpenWithdrawals"),
        money("BOPNAJM", "OpenAdjustmentsMinus"),
        money("BOPNAJP", "OpenAdjustmentsPlus"),
        money("BOPNALL", "OpenTransactions"),
        money("BURCHK", "UnreconciledChecks"),
        money("BURDEP", "UnreconciledDeposits"),
        money("BURWDL", "UnreconciledWithdrawals"),
        money("BURADJM", "UnreconciledAdjustsMinus"),
        money("BURADJP", "UnreconciledAdjustsPlus"),
        money("BURALL", "UnreconciledTransactions"),
        money("BYTDINT", "YearToDateInterest"),
        money("BNYINT", "NextYearsInterest"),
        money("BLYINT", "LastYearsInterest"),
        alpha("BAPFORM", "APCheckFormat", 20),
        money("BAPMAX", "APMaxCheckAmount"),
        alpha("BPRFORM", "PRCheckFormat", 20),
        money("BPRMAX", "PRMaxCheckAmount"),
        choice("BSASTAT", "SetupAssistantStatus", "BankAccountData::SetupAssistantStatusEnum"),
        choice("BTRFRTY", "TransferType", "BankAccountData::TransferTypeEnum"),
    ])

# The user-defined-field record of a bank account: the library knows its key only.
BANK_ACCOUNT_UDF = Record(
    2, "bank account user fields", stem="bank_account_data", key=["BUBANK"],
    key_classes=[KeyClass("BankAccountUDFKeyData", default_ctor=False, record_class="BankAccountData")],
    columns=[alpha("BUBANK", "BankAccount", BANK)])

GL_CASH_ACCOUNT_BALANCE = Record(
    3, "GL cash account balance", cls="GLCashAccountBalanceData", cursor="GLCashAccountBalance",
    stem="gl_cash_account_balance_data",
    summary="GLCashAccountBalanceData: the balance a bank account carries on one GL cash account (BKM record type 3)",
    key=["CABNKAC", "CACSHAC"],
    key_classes=[KeyClass("GLCashAccountBalanceKeyData")],
    columns=[
        alpha("CABNKAC", "BankAccount", BANK),
        alpha("CACSHAC", "GLCashAccount", ACCOUNT),
        money("CAAMT", "Amount"),
    ])

RECONCILE_IN_PROGRESS = Record(
    4, "reconciliation in progress", cls="ReconcileInProgressData", cursor="ReconcileInProgress",
    stem="reconcile_in_progress_data",
    summary="ReconcileInProgressData: the unfinished reconciliation of a bank account (BKM record type 4)",
    key=["RIPBNKA"],
    key_classes=[KeyClass("ReconcileInProgressKeyData")],
    columns=[
        alpha("RIPBNKA", "BankAccount", BANK),
        money("RIPOPEN", "OpeningBalance"),
        money("RIPENDB", "EndingBalance"),
        date("RIPSTDT", "StatementDate"),
        money("RIPCHK", "ReconciledChecks"),
        money("RIPDEP", "ReconciledDeposits"),
        money("RIPWDL", "ReconciledWithdrawals"),
        money("RIPADJS", "ReconciledAdjustsMinus"),
        money("RIPADJA", "ReconciledAdjustsPlus"),
        money("RIPALL", "ReconciledTotal"),
    ])

LAST_TRAN = Record(
    5, "last transaction", cls="LastTranData", cursor="LastTran", stem="last_tran_data",
    summary="LastTranData: the last check, deposit, withdrawal and adjustment of a bank account (BKM record type 5)",
    key=["LTBNKAC"],
    key_classes=[KeyClass("LastTranKeyData", default_ctor=False)],
    columns=[
        alpha("LTBNKAC", "BankAccount", BANK),
        whole("LTAPC", "LastAPCheckPrinted", 12),
        date("LTAPCDT", "LastAPCheckDate"),
        money("LTAPCA", "LastAPCheckAmount"),
        whole("LTPRC", "LastPRCheckPrinted", 12),
        date("LTPRCDT", "LastPRCheckDate"),
        money("LTPRCA", "LastPRCheckAmount"),
        date("LTDEPDT", "LastDepositDate"),
        money("LTDEPA", "LastDepositAmount"),
        date("LTWTHDT", "LastWithdrawalDate"),
        money("LTWTHA", "LastWithdrawalAmount"),
        whole("LTPRWDD", "LastPayrollDirectDepositRun"),
        whole("LTLEFT", "LastAPElectronicPaymentRun"),
        date("LTADJDT", "LastAdjustmentDate"),
        money("LTADJA", "LastAdjustmentAmount"),
    ])

# Bank (edit-register) lock records; internal to the library. The record base
# is given the real key column, LBNKACC, so that its key class binds it.
REGISTER_BANK_LOCK = Record(
    6, "bank lock", cls="RegisterBankLockData", cursor="RegisterBankLock", stem="register_bank_lock_data",
    summary="RegisterBankLockData: the bank (edit-register) lock record of a bank account (BKM record type 6)",
    exported=False, key=["LBNKACC"],
    key_classes=[KeyClass("RegisterBankLockKeyData")],
    columns=[alpha("LBNKACC", "BankAccount", BANK)])

PENDING_DEPOSIT = Record(
    7, "pending deposit", cls="PendingDepositData", cursor="PendingDeposit", stem="pending_deposit_data",
    summary="PendingDepositData: a deposit identity announced by another application (BKM record type 7)",
    key=["PDBNKAC", "PDDEPDT", "PDDEPID"],
    key_classes=[KeyClass("PendingDepositKeyData", default_ctor=False)],
    columns=[
        alpha("PDBNKAC", "BankAccount", BANK),
        date("PDDEPDT", "DepositDate"),
        alpha("PDDEPID", "DepositID", DEPID),
        alpha("PDAPPL", "Application", APPL),
    ])

_SETTINGS = [
    date("CYREND", "YearEndingDate"),
    money("BKXTDSC", "MaxTranDiscrepancy"),
    money("BKXRDSC", "MaxReconcileDiscrepancy"),
    boolean("BKULTCA", "MultipleCashAccounts"),
    boolean("CTRKTAX", "TrackingTaxes"),
    boolean("COPBLOV", "OverrideOpeningBalance"),
    boolean("CVYCKHT", "VerifyDupCheckInHistory"),
    boolean("CVYDPHT", "VerifyDupDepositInHistory"),
    short_num("CGLJRND", "GLJournalDep"),
    short_num("CGLJRNW", "GLJournalWdl"),
    short_num("CGLJRNA", "GLJournalAdj"),
    alpha("CGLPYBL", "GLDueToBaseAccount", ACCOUNT),
    alpha("CGLRCVB", "GLDueFromBaseAccount", ACCOUNT),
    choice("CGLREF1", "GLReference1"),
    choice("CGLREF2", "GLReference2"),
    text("CRECDES", "ReconcileReportDesign", LONGDESC),
    text("CREGDES", "RegisterReportDesign", LONGDESC),
    boolean("CREGOOB", "AllowReconcileInRegister"),
    date("CLSTRCH", "AllowReconcileInRegisterLastSetDate"),
    time("CLSTRCT", "AllowReconcileInRegisterLastSetTime"),
    text("CBTDSCF", "TransferFromDescription", LONGDESC),
    text("CBTDSCT", "TransferToDescription", LONGDESC),
    alpha("BTTRACT", "BankTransfersAccount", ACCOUNT),
    boolean("BANKRLS", "BankRLSUsage"),
    boolean("CDETGLT", "DetailedGLTsFromBK"),
    choice("CDETDCA", "DetailedDepositCash"),
    choice("CDETDNC", "DetailedDepositNonCash"),
]

BKM = File("BKM", (210,), "bank register master",
           records=[BANK_ACCOUNT, BANK_ACCOUNT_UDF, GL_CASH_ACCOUNT_BALANCE, RECONCILE_IN_PROGRESS, LAST_TRAN,
                    REGISTER_BANK_LOCK, PENDING_DEPOSIT],
           headers=[Header(2, _SETTINGS)])

# ---------------------------------------------------------------- BKT

TRANSACTION = Record(
    1, "transaction", cls="TransactionData", cursor="Transaction", stem="transaction_data",
    summary="TransactionData: a register transaction (BKT record type 1), with its key class",
    notes=True, file_links=True, key=["TBNKACC", "TRUN", "TSEQ"],
    indexes={
        1: ["TAPPL", "TBATCH", "TSOURCE", "TDPLOC"],                  # batch
        2: ["TBNKACC", "TSTMTDT"],                                    # bank + statement date
        3: ["TBNKACC", "TDEPDTE", "TDEPID"],                          # bank + deposit date + deposit id
        5: ["TBNKACC", "TTRANDT", "TCHECK", "TSUBTR", "TRUN", "TSEQ"],  # register order
        6: ["TBNKACC", "TCHECK"],                                     # bank + check number
        12: ["TBNKACC", "TRECDT"],                                    # cleared date
        13: ["TBNKACC", "TACTGDT"],                                   # accounting date
        14: ["TBNKACC", "TSUBTR", "TADD", "TTRANDT"],                 # bank + amount + date (statement matching)
    },
    # What the as-of balance walks read besides order and key: those walks
    # read their index alone (and so does a running balance's step).
    index_carries={
        2: ["TSUBTR", "TADD", "TRECOND"],
        5: ["TADD"],
        12: ["TRECAMT"],
        14: ["TRECOND", "TPOSTED"],
    },
    enums=[
        Enum("TranTypeEnum", (("kCheck", 1), ("kDeposit", 2), ("kWithdrawal", 3), ("kAdjustment", 4))),
        Enum("APPaymentTypeEnum", (("kCheckPayment", 1), ("kElectronicPayment", 2), ("kManualPayment", 3))),
        Enum("CheckTypeEnum", (("kPrintedCheck", 1), ("kManualCheck", 2))),
    ],
    key_classes=[KeyClass("TransactionKeyData")],
    columns=[
        alpha("TBNKACC", "BankAccount", BANK),
        whole("TRUN", "Run"),
        whole("TSEQ", "Sequence"),
        choice("TRANTYP", "Type", "TransactionData::TranTypeEnum"),
        alpha("TDESC", "Description", LONGDESC),
        date("TACTGDT", "AccountingDate"),
        date("TTRANDT", "TransactionDate"),
        money("TSUBTR", "Subtraction"),
        money("TADD", "Addition"),
        boolean("TPOSTED", "Posted"),
        alpha("TGLDBT", "DebitAccount", ACCOUNT),
        alpha("TGLCRDT", "CreditAccount", ACCOUNT),
        alpha("TGLICRC", "DueFromAccount", ACCOUNT),
        alpha("TGLICPY", "DueToAccount", ACCOUNT),
        short_num("TGLJRN", "GLJournal", setter=False),
        choice("TRECOND", "Reconciled"),
        money("TRECAMT", "ClearedAmount"),
        date("TRECDT", "ClearedDate"),
        choice("TCURREC", "ReconcileInProgress"),
        choice("TLSTREC", "LastUnreconciledState"),
        date("TSTMTDT", "StatementDate"),
        whole("TPMTID", "APPaymentID", 12),
        choice("TPTYPE", "APPaymentType", "TransactionData::APPaymentTypeEnum"),
        whole("TCHECK", "Check", 12),
        alpha("TCPAYEE", "Payee", LONGDESC),
        alpha("TCJPYEE", "JointPayee", LONGDESC),
        choice("TCTYPE", "CheckType", "TransactionData::CheckTypeEnum"),
        boolean("TCVOID", "Voided"),
        date("TCVOIDT", "VoidDate"),
        money("TCVDAMT", "VoidedAmount"),
        boolean("TSTOP", "StopPayment"),
        date("TSTOPDT", "StopPaymentDate"),
        whole("TCREPLA", "ReplacementCheck", 12),
        whole("TCASSOC", "AssociatedCheck", 12),
        date("TDEPDTE", "DepositDate"),
        alpha("TDEPID", "DepositID", DEPID),
        alpha("TDTYPE", "DepositType", LISTTYPE),
        alpha("TWDTYPE", "WithdrawalType", LISTTYPE),
        whole("TWDDRUN", "DirectDepositRun"),
        whole("TWEPRUN", "ElectronicPaymentRun"),
        alpha("TATYPE", "AdjustmentType", LISTTYPE),
        date("TADPDTE", "AssociatedDepositDate"),
        alpha("TADEPID", "AssociatedDepositID", DEPID),
        whole("TADJID", "AdjustmentID", 12),
        alpha("TAPPL", "ApplOfOrigin", APPL),
        alpha("TBATCH", "Batch", BATCH),
        choice("TSOURCE", "BatchSource", "BatchSourceEnum"),
        alpha("TDPLOC", "BatchDPLoc", DPLOC),
        choice("TUPGSRC", "UpgradeSource", "UpgradeSourceEnum"),
        whole("TRTRSEQ", "TransferSequence"),
        choice("TRTRDIR", "TransferDirection", "TransferDirectionEnum"),
        date("TDSTAMP", "DateStamp"),
        time("TTSTAMP", "TimeStamp"),
        number("TTAXAMT", "TaxAmount", **TAXAMT),
        alpha("TTXGRP", "TaxGroup", TAXGRP),
        date("TCRTDT", "TransDate"),
        alpha("TRWID", "RowID", ROWID),
        alpha("TRWVR", "RowVersion", ROWVER),
    ])

DEPOSIT_ITEM = Record(
    2, "deposit item", cls="DepositItemData", cursor="DepositItem", stem="deposit_item_data",
    summary="DepositItemData: one item (cheque or receipt) of a deposit (BKT record type 2)",
    key=["DIBNKAC", "DIRUN", "DISEQ", "DITEMNO"],
    key_classes=[KeyClass("DepositItemKeyData")],
    columns=[
        alpha("DIBNKAC", "BankAccount", BANK),
        whole("DIRUN", "Run"),
        whole("DISEQ", "Sequence"),
        whole("DITEMNO", "DepositItemNumber"),
        whole("DICHKNO", "CheckNumber", 12),
        date("DICHKDT", "CheckDate"),
        alpha("DIDESC", "Description", DESC),
        alpha("DIPAYER", "PayersName", LONGDESC),
        money("DIAMT", "Amount"),
        money("DITXAM", "Tax"),
        alpha("DRWID", "RowID", ROWID),
        alpha("DRWVR", "RowVersion", ROWVER),
    ])

DEPOSIT_ITEM_DETAIL = Record(
    3, "deposit item detail", cls="DepositItemDetailData", cursor="DepositItemDetail",
    stem="deposit_item_detail_data",
    summary="DepositItemDetailData: one GL line of a deposit item (BKT record type 3)",
    key=["DIGBNKA", "DIGRUN", "DIGSEQ", "DIGLINO", "DIGLACC"],
    key_classes=[KeyClass("DepositItemDetailKeyData")],
    columns=[
        alpha("DIGBNKA", "BankAccount", BANK),
        whole("DIGRUN", "Run"),
        whole("DIGSEQ", "Sequence"),
        whole("DIGLINO", "DepositItemNumber"),
        alpha("DIGLACC", "CreditAccount", ACCOUNT),
        money("DIGAMT", "Amount"),
        alpha("DIGICRC", "DueFromAccount", ACCOUNT),
        alpha("DIGICPY", "DueToAccount", ACCOUNT),
        alpha("DIGTXGP", "TaxGroup", TAXGRP),
        number("DIGTXAM", "TaxAmount", **TAXAMT),
        alpha("DIGRWID", "RowID", ROWID),
        alpha("DIGRWVR", "RowVersion", ROWVER),
    ])

WITHDRAWAL_DETAIL = Record(
    4, "withdrawal detail", cls="WithdrawalDetailData", cursor="WithdrawalDetail", stem="withdrawal_detail_data",
    summary="WithdrawalDetailData: one GL share of a withdrawal (BKT record type 4)",
    key=["WDBNKAC", "WDRUN", "WDSEQ", "WDGLACC"],
    key_classes=[KeyClass("WithdrawalDetailKeyData")],
    columns=[
        alpha("WDBNKAC", "BankAccount", BANK),
        whole("WDRUN", "Run"),
        whole("WDSEQ", "Sequence"),
        alpha("WDGLACC", "DebitAccount", ACCOUNT),
        money("WDAMT", "Amount"),
        alpha("WDICPY", "DueToAccount", ACCOUNT),
        alpha("WDICRC", "DueFromAccount", ACCOUNT),
        alpha("WDTXGRP", "TaxGroup", TAXGRP),
        number("WDTXAMT", "TaxAmount", **TAXAMT),
        alpha("WDRWID", "RowID", ROWID),
        alpha("WDRWVR", "RowVersion", ROWVER),
    ])

CASH_DETAIL = Record(
    5, "cash detail", cls="CashDetailData", cursor="CashDetail", stem="cash_detail_data",
    summary="CashDetailData: a cash-account line of a transaction (BKT record type 5)",
    key=["CDBNKAC", "CDTRUN", "CDTSEQ", "CDRUN", "CDSEQ"],
    indexes={
        7: ["CDAPP", "CDBATCH", "CDSORCE", "CDDPLOC"],   # batch
        15: ["CDBNKAC", "CDCSHAC", "CDACCDT"],           # bank + cash account + accounting date
    },
    index_carries={15: ["CDAMT"]},
    enums=[
        Enum("CashSourceEnum", (("kRegisterTask", 1), ("kPayablesTask", 2), ("kReceivablesTask", 3),
                                ("kPayrollTask", 4))),
        Enum("CashTypeEnum", (("kCashLine", 1), ("kTaxLine", 2))),
    ],
    key_classes=[KeyClass("CashDetailKeyData")],
    columns=[
        alpha("CDBNKAC", "BankAccount", BANK),
        whole("CDTRUN", "TranRun"),
        whole("CDTSEQ", "TranSequence"),
        whole("CDRUN", "CashDetailRun"),
        whole("CDSEQ", "CashDetailSequence"),
        date("CDACCDT", "AccountingDate"),
        alpha("CDCSHAC", "CashAccount", ACCOUNT),
        money("CDAMT", "Amount"),
        alpha("CDAPP", "ApplOfOrigin", APPL),
        alpha("CDBATCH", "Batch", BATCH),
        choice("CDSORCE", "BatchSource", "BatchSourceEnum"),
        alpha("CDDPLOC", "BatchDPLoc", DPLOC),
        choice("CDTASK", "Task", "CashDetailData::CashSourceEnum"),
        choice("CDTYPE", "Type", "CashDetailData::CashTypeEnum"),
        long_num("CDPYID", "PaymentID", setter=False),
        choice("CDUPSRC", "UpgradeSource", "UpgradeSourceEnum"),
        alpha("CDRWID", "RowID", ROWID),
        alpha("CDRWVR", "RowVersion", ROWVER),
    ])

BATCH_RECORD = Record(
    6, "batch", cls="BatchData", cursor="Batch", stem="batch_data",
    summary="BatchData: a batch of register entries (BKT record type 6)",
    key=["BAPPL", "BATCH", "BSOURCE", "BDPLOC"],
    key_classes=[KeyClass("BatchKeyData", default_ctor=False, field_types={"BSOURCE": "tsChoice"})],
    columns=[
        alpha("BAPPL", "ApplOfOrigin", APPL),
        alpha("BATCH", "Batch", BATCH),
        choice("BSOURCE", "Source", "BatchSourceEnum"),
        alpha("BDPLOC", "DPLoc", DPLOC),
        alpha("BSDESC", "SourceDescription", 30),
        choice("BTYPE", "Type", "BatchTypeEnum"),
        alpha("BDESC", "Description", DESC),
        date("BDATE", "Date"),
        short_num("BCNT", "Count"),
        money("BAMT", "Amount"),
        short_num("BCNTP", "CountPosted"),
        money("BAMTP", "AmountPosted"),
        alpha("BRWID", "RowID", ROWID),
        alpha("BRWVR", "RowVersion", ROWVER),
    ])

TRANSACTION_RUN_LOCK = Record(
    7, "transaction run lock", cls="TransactionRunLockData", cursor="TransactionRunLock",
    stem="transaction_run_lock_data",
    summary="TransactionRunLockData: a run-lock marker or active-run record (BKT record type 7)",
    key=["TRBNKAC", "TRRUN"],
    key_classes=[KeyClass("TransactionRunLockKeyData", default_ctor=False)],
    columns=[
        alpha("TRBNKAC", "BankAccount", BANK),
        whole("TRRUN", "TransactionRun"),
    ])

TAX_DETAIL = Record(
    8, "tax detail", cls="TaxDetailData", cursor="TaxDetail", stem="tax_detail_data",
    summary="TaxDetailData: a tax line of a transaction (BKT record type 8)",
    key=["TXBNKAC", "TXRUN", "TXSEQ", "TXTXRUN", "TXTXSEQ"],
    key_classes=[KeyClass("TaxDetailKeyData")],
    columns=[
        alpha("TXBNKAC", "BankAccount", BANK),
        whole("TXRUN", "TranRun"),
        whole("TXSEQ", "TranSequence"),
        whole("TXTXRUN", "TaxDetailRun"),
        whole("TXTXSEQ", "TaxDetailSequence"),
        alpha("TXGRP", "TaxGroup", TAXGRP),
        number("TXTXAMT", "TaxAmount", **TAXAMT),
        number("TXGRAMT", "GrossAmount", **TAXAMT),
        date("TXACTDT", "AccountingDate"),
        date("TXTRNDT", "TransactionDate"),
        whole("TXDEPIT", "DepAmtSeq"),
        alpha("TXDEPGL", "DepGLCrAcct", ACCOUNT),
        alpha("TXWDLGL", "WdGLCrAcct", ACCOUNT),
        alpha("TXNCACT", "NonCashAccount", ACCOUNT),
        alpha("TXRWID", "RowID", ROWID),
        alpha("TXRWVR", "RowVersion", ROWVER),
    ])

TAX_GL_DETAIL = Record(
    9, "tax gl detail", cls="TaxGLDetailData", cursor="TaxGLDetail", stem="tax_gl_detail_data",
    summary="TaxGLDetailData: one tax of a tax line, with its GL account and batch (BKT record type 9)",
    key=["TGBNKAC", "TGRUN", "TGSEQ", "TGTXRUN", "TGTXSEQ"],
    indexes={17: ["TGAPPL", "TGBATCH", "TGSRC", "TGDPLOC"]},  # batch
    key_classes=[KeyClass("TaxGLDetailKeyData")],
    columns=[
        alpha("TGBNKAC", "BankAccount", BANK),
        whole("TGRUN", "TranRun"),
        whole("TGSEQ", "TranSequence"),
        whole("TGTXRUN", "TaxGLDetailRun"),
        whole("TGTXSEQ", "TaxGLDetailSequence"),
        alpha("TGTAX", "TaxGLTax", TAXGRP),
        number("TGTXRT", "TaxGLRate", **TAXRATE),
        number("TGTXAMT", "TaxGLAmount", **TAXAMT),
        alpha("TGTXGL", "GLAccount", ACCOUNT),
        alpha("TGAPPL", "GLAppl", APPL),
        alpha("TGBATCH", "GLBatch", BATCH),
        choice("TGSRC", "GLSource", "BatchSourceEnum"),
        alpha("TGDPLOC", "GLDploc", DPLOC),
        alpha("TGRWID", "RowID", ROWID),
        alpha("TGRWVR", "RowVersion", ROWVER),
    ])

BKT = File("BKT", (221, 222), "bank register transactions",
           descriptions={222: "bank register transaction history"},
           records=[TRANSACTION, DEPOSIT_ITEM, DEPOSIT_ITEM_DETAIL, WITHDRAWAL_DETAIL, CASH_DETAIL, BATCH_RECORD,
                    TRANSACTION_RUN_LOCK, TAX_DETAIL, TAX_GL_DETAIL],
           headers=[Header(1, [whole("LASTRUN", "LastRun"), whole("LSTCDRN", "LastCashDetailRun"),
                               whole("LSTTXRN", "LastTaxDetailRun")])])

# ---------------------------------------------------------------- BKZ

TRANSACTION_ISSUE = Record(
    2, "transaction issue", cls="TransactionIssueData", cursor="TransactionIssue", stem="transaction_issue_data",
    summary="TransactionIssueData: an issue number tied to a register transaction (BKZ record type 2)",
    key=["TBNKACC", "TRUN", "TSEQ", "ISSUE2"],
    key_classes=[KeyClass("TransactionIssueKeyData", default_ctor=False, from_record=False)],
    columns=[
        alpha("TBNKACC", "BankAccount", BANK),
        whole("TRUN", "Run"),
        whole("TSEQ", "Sequence"),
        whole("ISSUE2", "IssueNumber"),
        whole("R2ODBC", "TouchedByODBC", 1),
    ])

BKZ = File("BKZ", (230,), "bank register transaction issues", records=[TRANSACTION_ISSUE])

# ---------------------------------------------------------------- BKS

STATEMENT_ID = 80   # a statement line's id (the bank's, or one made from the line's content)

STATEMENT_LINE = Record(
    1, "statement line", cls="StatementLineData", cursor="StatementLine", stem="statement_line_data",
    summary="StatementLineData: a bank statement line already applied to the register (BKS record type 1)",
    key=["SLBNKAC", "SLID"],
    enums=[Enum("LineStateEnum", (("kLineCleared", 1), ("kLineEntered", 2)))],
    key_classes=[KeyClass("StatementLineKeyData")],
    columns=[
        alpha("SLBNKAC", "BankAccount", BANK),
        alpha("SLID", "LineID", STATEMENT_ID),
        date("SLSTMDT", "StatementDate"),
        date("SLDATE", "LineDate"),
        money("SLAMT", "Amount"),
        whole("SLCHECK", "Check", 12),
        alpha("SLREF", "Reference", DEPID),
        choice("SLSTATE", "State", "StatementLineData::LineStateEnum"),
        short_num("SLFILE", "TransactionInstance"),
        whole("SLRUN", "Run"),
        whole("SLSEQ", "Sequence"),
    ])

RECONCILIATION = Record(
    2, "reconciliation", cls="ReconciliationData", cursor="Reconciliation", stem="reconciliation_data",
    summary="ReconciliationData: a finished reconciliation of a bank account (BKS record type 2)",
    key=["RCBNKAC", "RCSTMDT"],
    key_classes=[KeyClass("ReconciliationKeyData")],
    columns=[
        alpha("RCBNKAC", "BankAccount", BANK),
        date("RCSTMDT", "StatementDate"),
        money("RCENDB", "EndingBalance"),
        money("RCPRVBL", "PreviousBalance"),
        date("RCPRVDT", "PreviousDate"),
        whole("RCCOUNT", "Count"),
        money("RCCHK", "ReconciledChecks"),
        money("RCDEP", "ReconciledDeposits"),
        money("RCWDL", "ReconciledWithdrawals"),
        money("RCADJS", "ReconciledAdjustsMinus"),
        money("RCADJA", "ReconciledAdjustsPlus"),
        money("RCALL", "ReconciledTotal"),
        boolean("RCRIP", "HadInProgress"),
        money("RCRIPOP", "InProgressOpening"),
        money("RCRIPEN", "InProgressEnding"),
        date("RCRIPDT", "InProgressDate"),
        money("RCRCHK", "InProgressChecks"),
        money("RCRDEP", "InProgressDeposits"),
        money("RCRWDL", "InProgressWithdrawals"),
        money("RCRADJS", "InProgressAdjustsMinus"),
        money("RCRADJA", "InProgressAdjustsPlus"),
        money("RCRALL", "InProgressTotal"),
    ])

BKS = File("BKS", (240,), "bank statements", records=[STATEMENT_LINE, RECONCILIATION])

SCHEMA = [BKM, BKT, BKZ, BKS]
