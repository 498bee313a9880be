// The record layouts restated independently of the schema: column order and
// types of every record type, the key-value constructors' parameter order
// and the relations.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "framework/io/dictionary.h"
#include "framework/types/values.h"
#include "records/batch_data.h"
#include "records/cash_detail_data.h"
#include "records/deposit_item_data.h"
#include "records/deposit_item_detail_data.h"
#include "records/gl_cash_account_balance_data.h"
#include "records/pending_deposit_data.h"
#include "records/relations.h"
#include "records/tax_detail_data.h"
#include "records/tax_gl_detail_data.h"
#include "records/transaction_data.h"
#include "records/transaction_issue_data.h"
#include "records/transaction_run_lock_data.h"
#include "records/withdrawal_detail_data.h"

namespace {

// Column types by letter: A alpha, X text, P phone, N number (tsDouble),
// $ money, D date, T time, B yes/no, C choice, S/L whole number (tsNum, shown
// here as S).
char Letter(tsDataType type) {
  static const std::map<tsDataType, char> letters = {
      {tsDataType::kAlpha, 'A'}, {tsDataType::kText, 'X'}, {tsDataType::kPhone, 'P'}, {tsDataType::kDouble, 'N'},
      {tsDataType::kCurrency, '$'}, {tsDataType::kDate, 'D'}, {tsDataType::kTime, 'T'}, {tsDataType::kBool, 'B'},
      {tsDataType::kChoice, 'C'}, {tsDataType::kNum, 'S'}};
  return letters.at(type);
}

struct Layout {
  short dictionary_id;
  short record_type;
  const char* columns;  // "NAME:type ..." in layout order
};

const Layout kLayouts[] = {
    {210, 1,
     "BANKACC:A BDESC:A BRGBLNC:$ BRGVBLN:$ BNKBLNC:$ BNKVBLN:$ BPSBLNC:$ BRECDT:D BRECBAL:$ BATYPE:C BNAME:A "
     "BADDR1:A BADDR2:A BCITY:A BSTATE:A BZIP:A BBRANCH:A BCONTCT:A BPHONE:P BFAX:P BEMAIL:A BABN:A BMISC1:A "
     "BMSCPH1:P BMSCPH2:P BACCT:A BPRVALD:B BRECVLD:B BAPVALD:B BPMVALD:B BRMVALD:B BAPCSHB:A BAPCSHF:A BPMCSHB:A "
     "BPMCSHF:A BRMCSHB:A BRCCASH:A BPRCASH:A BGENCSH:A BMLTCSH:B BAPCABF:C BPMCABF:C BRMCAB:B BOPNCHK:$ BOPNDEP:$ "
     "BOPNWDL:$ BOPNAJM:$ BOPNAJP:$ BOPNALL:$ BURCHK:$ BURDEP:$ BURWDL:$ BURADJM:$ BURADJP:$ BURALL:$ BYTDINT:$ "
     "BNYINT:$ BLYINT:$ BAPFORM:A BAPMAX:$ BPRFORM:A BPRMAX:$ BSASTAT:C BTRFRTY:C"},
    {210, 2, "BUBANK:A"}, {210, 3, "CABNKAC:A CACSHAC:A CAAMT:$"},
    {210, 4,
     "RIPBNKA:A RIPOPEN:$ RIPENDB:$ RIPSTDT:D RIPCHK:$ RIPDEP:$ RIPWDL:$ RIPADJS:$ RIPADJA:$ RIPALL:$"},
    {210, 5,
     "LTBNKAC:A LTAPC:N LTAPCDT:D LTAPCA:$ LTPRC:N LTPRCDT:D LTPRCA:$ LTDEPDT:D LTDEPA:$ LTWTHDT:D LTWTHA:$ "
     "LTPRWDD:N LTLEFT:N LTADJDT:D LTADJA:$"},
    {210, 6, "LBNKACC:A"}, {210, 7, "PDBNKAC:A PDDEPDT:D PDDEPID:A PDAPPL:A"},
    {221, 1,
     "TBNKACC:A TRUN:N TSEQ:N TRANTYP:C TDESC:A TACTGDT:D TTRANDT:D TSUBTR:$ TADD:$ TPOSTED:B TGLDBT:A TGLCRDT:A "
     "TGLICRC:A TGLICPY:A TGLJRN:S TRECOND:C TRECAMT:$ TRECDT:D TCURREC:C TLSTREC:C TSTMTDT:D TPMTID:N TPTYPE:C "
     "TCHECK:N TCPAYEE:A TCJPYEE:A TCTYPE:C TCVOID:B TCVOIDT:D TCVDAMT:$ TSTOP:B TSTOPDT:D TCREPLA:N TCASSOC:N "
     "TDEPDTE:D TDEPID:A TDTYPE:A TWDTYPE:A TWDDRUN:N TWEPRUN:N TATYPE:A TADPDTE:D TADEPID:A TADJID:N TAPPL:A "
     "TBATCH:A TSOURCE:C TDPLOC:A TUPGSRC:C TRTRSEQ:N TRTRDIR:C TDSTAMP:D TTSTAMP:T TTAXAMT:N TTXGRP:A TCRTDT:D "
     "TRWID:A TRWVR:A"},
    {221, 2,
     "DIBNKAC:A DIRUN:N DISEQ:N DITEMNO:N DICHKNO:N DICHKDT:D DIDESC:A DIPAYER:A DIAMT:$ DITXAM:$ DRWID:A DRWVR:A"},
    {221, 3,
     "DIGBNKA:A DIGRUN:N DIGSEQ:N DIGLINO:N DIGLACC:A DIGAMT:$ DIGICRC:A DIGICPY:A DIGTXGP:A DIGTXAM:N DIGRWID:A "
     "DIGRWVR:A"},
    {221, 4,
     "WDBNKAC:A WDRUN:N WDSEQ:N WDGLACC:A WDAMT:$ WDICPY:A WDICRC:A WDTXGRP:A WDTXAMT:N WDRWID:A WDRWVR:A"},
    {221, 5,
     "CDBNKAC:A CDTRUN:N CDTSEQ:N CDRUN:N CDSEQ:N CDACCDT:D CDCSHAC:A CDAMT:$ CDAPP:A CDBATCH:A CDSORCE:C "
     "CDDPLOC:A CDTASK:C CDTYPE:C CDPYID:L CDUPSRC:C CDRWID:A CDRWVR:A"},
    {221, 6,
     "BAPPL:A BATCH:A BSOURCE:C BDPLOC:A BSDESC:A BTYPE:C BDESC:A BDATE:D BCNT:S BAMT:$ BCNTP:S BAMTP:$ BRWID:A "
     "BRWVR:A"},
    {221, 7, "TRBNKAC:A TRRUN:N"},
    {221, 8,
     "TXBNKAC:A TXRUN:N TXSEQ:N TXTXRUN:N TXTXSEQ:N TXGRP:A TXTXAMT:N TXGRAMT:N TXACTDT:D TXTRNDT:D TXDEPIT:N "
     "TXDEPGL:A TXWDLGL:A TXNCACT:A TXRWID:A TXRWVR:A"},
    {221, 9,
     "TGBNKAC:A TGRUN:N TGSEQ:N TGTXRUN:N TGTXSEQ:N TGTAX:A TGTXRT:N TGTXAMT:N TGTXGL:A TGAPPL:A TGBATCH:A "
     "TGSRC:C TGDPLOC:A TGRWID:A TGRWVR:A"},
    {230, 2, "TBNKACC:A TRUN:N TSEQ:N ISSUE2:N R2ODBC:N"},
};

TEST(Layouts, EveryRecordTypeHasItsColumnsInLayoutOrder) {
  for (const auto& layout : kLayouts) {
    SCOPED_TRACE(std::to_string(layout.dictionary_id) + "/" + std::to_string(layout.record_type));
    const tsioRecordDef* def = tsioDictionary::Find(layout.dictionary_id)->Record(layout.record_type);
    ASSERT_NE(def, nullptr);
    std::string got, want = layout.columns;
    for (const auto& f : def->fields) got += (got.empty() ? "" : " ") + f.name + ":" + Letter(f.type);
    for (size_t at; (at = want.find(":L")) != std::string::npos;) want[at + 1] = 'S';
    EXPECT_EQ(got, want);
  }
  for (short id : {210, 221, 230}) {
    size_t declared = 0;
    for (const auto& layout : kLayouts) declared += layout.dictionary_id == id;
    EXPECT_EQ(tsioDictionary::Find(id)->records.size(), declared) << id;
  }
}

// The bound key columns of a key, formatted, in binding order.
std::vector<std::string> KeyValues(const ccRecData& key) {
  std::vector<std::string> out;
  for (const auto& c : key.Columns()) out.push_back(c.field->Format());
  return out;
}

TEST(Layouts, KeyValueConstructorsTakeTheValuesInKeyOrder) {
  using V = std::vector<std::string>;
  const tsAlpha a("A1"), b("B2");
  const tsDouble n1(11), n2(12), n3(13), n4(14);
  const tsDate d(2024, 2, 29);
  struct Case { const char* name; V got; V want; };
  const Case cases[] = {
      {"GLCashAccountBalance", KeyValues(GLCashAccountBalanceKeyData(a, b)), V{"A1", "B2"}},
      {"PendingDeposit", KeyValues(PendingDepositKeyData(a, d, b)), V{"A1", "2024-02-29", "B2"}},
      {"Transaction", KeyValues(TransactionKeyData(a, n1, n2)), V{"A1", "11", "12"}},
      {"DepositItem", KeyValues(DepositItemKeyData(a, n1, n2, n3)), V{"A1", "11", "12", "13"}},
      {"DepositItemDetail", KeyValues(DepositItemDetailKeyData(a, n1, n2, n3, b)), V{"A1", "11", "12", "13", "B2"}},
      {"WithdrawalDetail", KeyValues(WithdrawalDetailKeyData(a, n1, n2, b)), V{"A1", "11", "12", "B2"}},
      {"CashDetail", KeyValues(CashDetailKeyData(a, n1, n2, n3, n4)), V{"A1", "11", "12", "13", "14"}},
      {"Batch", KeyValues(BatchKeyData(a, b, tsChoice(3), tsAlpha("L"))), V{"A1", "B2", "3", "L"}},
      {"TransactionRunLock", KeyValues(TransactionRunLockKeyData(a, n1)), V{"A1", "11"}},
      {"TaxDetail", KeyValues(TaxDetailKeyData(a, n1, n2, n3, n4)), V{"A1", "11", "12", "13", "14"}},
      {"TaxGLDetail", KeyValues(TaxGLDetailKeyData(a, n1, n2, n3, n4)), V{"A1", "11", "12", "13", "14"}},
      {"TransactionIssue", KeyValues(TransactionIssueKeyData(a, n1, n2, n3)), V{"A1", "11", "12", "13"}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.name;
}

const tsioRecordDef* RecordDef(const std::string& code, short type) {
  const short id = code == "BKM" ? 210 : code == "BKT" ? 221 : 230;
  return tsioDictionary::Find(id)->Record(type);
}

TEST(Relations, ColumnsMatchInTypeAndTargetAnIndex) {
  const ccRelSpec* relations[] = {
      &BankAccountTransactionsRel,      &BankAccountCashDetailsRel,       &TransactionBankAccountRel,
      &TransactionDepositItemsRel,      &TransactionDepositItemDetailsRel, &TransactionWithdrawalDetailsRel,
      &TransactionCashDetailsRel,       &TransactionTaxDetailsRel,        &TransactionTaxGLDetailsRel,
      &TransactionIssuesRel,            &TransactionBatchRel,             &DepositItemTransactionRel,
      &DepositItemDetailsRel,           &DepositItemDetailDepositItemRel, &CashDetailBatchRel,
      &CashDetailTransactionRel,        &BatchTransactionsRel,            &BatchCashDetailsRel,
      &BatchTaxGLDetailsRel,            &TaxDetailTransactionRel,         &TaxDetailTaxGLDetailsRel,
      &TaxGLDetailBatchRel,             &TaxGLDetailTransactionRel,
  };
  for (const ccRelSpec* rel : relations) {
    const std::string what = rel->SourceFile() + std::to_string(rel->SourceType()) + " -> " + rel->TargetFile() +
                             std::to_string(rel->TargetType());
    SCOPED_TRACE(what);
    const tsioRecordDef* source = RecordDef(rel->SourceFile(), rel->SourceType());
    const tsioRecordDef* target = RecordDef(rel->TargetFile(), rel->TargetType());
    ASSERT_TRUE(source && target);
    ASSERT_EQ(rel->SourceColumns().size(), rel->TargetColumns().size());
    for (size_t i = 0; i < rel->SourceColumns().size(); ++i) {
      const int s = source->FieldIndex(rel->SourceColumns()[i]);
      const int t = target->FieldIndex(rel->TargetColumns()[i]);
      ASSERT_TRUE(s >= 0 && t >= 0) << rel->SourceColumns()[i] << "," << rel->TargetColumns()[i];
      EXPECT_EQ(source->fields[static_cast<size_t>(s)].type, target->fields[static_cast<size_t>(t)].type);
    }
    // The target columns lead some index of the target, so the walk is indexed.
    bool indexed = false;
    for (const auto& k : target->keys) {
      const auto& cols = rel->TargetColumns();
      indexed |= k.columns.size() >= cols.size() && std::equal(cols.begin(), cols.end(), k.columns.begin());
    }
    EXPECT_TRUE(indexed);
  }
}

}  // namespace
