// For the detail-transfer tests (see detail_transfer_test_support.h).
#include "deposits/detail_transfer_test_support.h"

#include <iomanip>
#include <sstream>

#include "framework/base/errors.h"

namespace bkdetailtest {

namespace {

std::vector<std::pair<std::string, std::string>> Pairs(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& item : tsSplitNames(text, ';')) {
    const size_t eq = item.find('=');
    out.emplace_back(item.substr(0, eq), eq == std::string::npos ? "" : item.substr(eq + 1));
  }
  return out;
}

// Numbers exactly (up to 6 decimals), the rest as their text: two values
// are equal exactly when their texts are.
std::string Exact(const tsData& field) {
  const tsDataType type = field.Type();
  tsCell cell;
  const bool number = type == tsDataType::kDouble || type == tsDataType::kCurrency || type == tsDataType::kNum;
  if (!number || !field.ToCell(cell, 6)) return field.Format();
  std::ostringstream text;
  text << std::setprecision(15) << static_cast<double>(cell.i) / 1e6;
  return text.str();
}

}  // namespace

bool Set(ccRecData& record, const std::string& text) {
  for (const auto& [name, value] : Pairs(text)) {
    tsData* field = record.Find(name);
    if (field == nullptr || !field->Parse(value)) return false;
  }
  return true;
}

const Row* Find(const std::vector<Row>& rows, const std::string& text) {
  for (const Row& row : rows) {
    bool all = true;
    for (const auto& [name, value] : Pairs(text)) all = all && row.contains(name) && row.at(name) == value;
    if (all) return &row;
  }
  return nullptr;
}

DetailCompany::DetailCompany() {
  Put<DepositItem>(*bkt, "DIBNKAC=CHK1;DIRUN=5;DISEQ=1;DITEMNO=1;DICHKNO=101;DIPAYER=Smith;DIAMT=60.00;DIDESC=rent");
  Put<DepositItem>(*bkt, "DIBNKAC=CHK1;DIRUN=5;DISEQ=1;DITEMNO=2;DIAMT=5.00");
  Put<DepositItem>(*bkt, "DIBNKAC=CHK1;DIRUN=5;DISEQ=2;DITEMNO=1;DIAMT=8.00");
  for (const char* line : {"1;DIGLACC=4000;DIGAMT=10.00;DIGTXGP=GST;DIGTXAM=0.48",
                           "1;DIGLACC=4100;DIGAMT=20.00;DIGICRC=01-1200",
                           "1;DIGLACC=4200;DIGAMT=30.00;DIGICPY=02-2100", "2;DIGLACC=4000;DIGAMT=5.00"}) {
    Put<DepositItemDetail>(*bkt, std::string("DIGBNKA=CHK1;DIGRUN=5;DIGSEQ=1;DIGLINO=") + line);
  }
  Put<DepositItemDetail>(*bkt, "DIGBNKA=CHK1;DIGRUN=5;DIGSEQ=2;DIGLINO=1;DIGLACC=4000;DIGAMT=8.00");
  Put<WithdrawalDetail>(*bkt, "WDBNKAC=CHK1;WDRUN=5;WDSEQ=1;WDGLACC=6000;WDAMT=40.00;WDICPY=03-2100");
  Put<WithdrawalDetail>(*bkt, "WDBNKAC=CHK1;WDRUN=5;WDSEQ=1;WDGLACC=6100;WDAMT=2.50;WDTXGRP=GST;WDTXAMT=0.12");
  Put<CashDetail>(*bkt, "CDBNKAC=CHK1;CDTRUN=5;CDTSEQ=1;CDRUN=3;CDSEQ=1;CDCSHAC=1000;CDAMT=35.00;CDAPP=BK;CDBATCH=B1;"
                        "CDACCDT=2021-03-04");
  Put<CashDetail>(*bkt, std::string(kCash2) + ";CDCSHAC=1010;CDAMT=25.00;CDAPP=BK;CDBATCH=B1;CDTYPE=2");
  Put<TaxDetail>(*bkt, "TXBNKAC=CHK1;TXRUN=5;TXSEQ=1;TXTXRUN=4;TXTXSEQ=1;TXGRP=GST;TXTXAMT=3.25;TXGRAMT=65.00");
  Put<TaxGLDetail>(*bkt, "TGBNKAC=CHK1;TGRUN=5;TGSEQ=1;TGTXRUN=4;TGTXSEQ=1;TGTAX=GST;TGTXRT=5.125;TGTXAMT=3.25");
}

std::vector<Row> DetailCompany::Rows(tsioDataFile& file) const {
  std::vector<Row> rows;
  auto add = [&](auto cursor) {
    tsioStatus::Status status = cursor.FetchFirst(false);
    for (; status == tsioStatus::kSuccess; status = cursor.FetchNext(false)) {
      Row& row = rows.emplace_back();
      for (const auto& column : cursor.m_Record.Columns()) row[column.name] = Exact(*column.field);
    }
    EXPECT_EQ(status, tsioStatus::kEndOfFile);
  };
  add(DepositItem(file)), add(DepositItemDetail(file)), add(WithdrawalDetail(file));
  add(CashDetail(file)), add(TaxDetail(file)), add(TaxGLDetail(file));
  return rows;
}

void ArmedFault::Arm() {
  tsioFaults::Arm(kind_.op, kind_.status, nth_);
  armed_ = true;
}

bool ArmedFault::Disarm() {
  // An armed fault still waiting is hit within the next `nth_` calls.
  tsioStatus::Status ignored;
  bool waiting = false;
  for (int i = 0; armed_ && i < nth_ && !waiting; ++i) waiting = tsioFaults::Hit(kind_.op, &ignored);
  met_ = met_ || (armed_ && !waiting);
  armed_ = false;
  tsioFaults::Clear();
  return met_;
}

void ExpectOneTransferError(const ccStatus<TransferStatus>& result, tsioStatus::Status status,
                            const std::string& description, unsigned short number) {
  ASSERT_EQ(result.Errors().Size(), 1u);
  const ccError& error = result.Errors()[0];
  EXPECT_EQ(error.Number(), number) << error.Text();
  EXPECT_NE(error.Text().find(description), std::string::npos) << error.Text();
  // A failed return to a bookmark reports 13 (the record is not there),
  // whatever made the read fail.
  const bool named = error.Text().find(ccIOStatusStr(status)) != std::string::npos;
  const tsioStatus::Status reported = named ? status : tsioStatus::kNotFound;
  EXPECT_NE(error.Text().find(ccIOStatusStr(reported)), std::string::npos) << error.Text();
  EXPECT_EQ(result.Value(), ccFatalError(reported) ? kTransferFatal : kTransferFailed);
}

}  // namespace bkdetailtest
