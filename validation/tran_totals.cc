// Entry and posting totals (see tran_totals.h).
#include "validation/tran_totals.h"

#include "framework/types/edit_field.h"
#include "ledger/gl_tran_creator.h"
#include "ledger/gl_transaction_values.h"
#include "programs/bk_program.h"
#include "records/transaction_data.h"
#include "transactions/detailed_transaction_data.h"

namespace {
constexpr int kAmountWidth = 15;
}  // namespace

std::string FormatForPrint(const tsCurrency& amount) { return xe_edit_field(amount, 2, 110); }

TranTotals::TranTotals(bkProgram& program, TotalsType type, bool general_ledger)
    : m_Type(type), m_GeneralLedger(general_ledger), m_Program(program) {}

TranTotals::~TranTotals() = default;

ccStatus<ccBoolStatus> TranTotals::InitJournalSection() {
  ccStatus<ccBoolStatus> st = m_Program.Journal().AddSection(m_BufferID);
  if (st.Value() != kBoolSuccess || st.HasError()) return st;
  return m_Program.Journal().AddSection(ccOldCrapSpec{}, m_OldCrapID);
}

void TranTotals::InitUnitOfWork() {
  m_Pending.clear();
  if (!m_GeneralLedger) return;
  if (!m_Creator) m_Creator = std::make_unique<glwTranCreator>(m_Program, false, nullptr);
  m_Creator->InitStack();
}

void TranTotals::Add(const TransactionData& record, bool negate, bool reversal) {
  _TotalsNode node;
  node.bank_account = record.GetBankAccount();
  node.description = tsAlpha(record.TranTypeFullDescription());
  node.addition = negate ? -record.GetAddition() : record.GetAddition();
  node.subtraction = negate ? -record.GetSubtraction() : record.GetSubtraction();
  m_Pending.push_back(node);
  if (!m_GeneralLedger) return;
  if (!m_Creator) m_Creator = std::make_unique<glwTranCreator>(m_Program, false, nullptr);
  TransactionData copy(record);
  DetailedTransactionData detailed(&copy, copy.GetDescription(), kNonCashWithoutTax, reversal, false);
  bkGLTransactionValues values(m_Program, false, &detailed);
  m_Creator->SetTranValuesObject(&values);
  (void)m_Creator->AccumulateTrans(kBKIncludeAll);  // the creator keeps its own results
  m_Creator->SetTranValuesObject(nullptr);
}

void TranTotals::AddTransaction(const TransactionData& record) { Add(record, false, false); }

void TranTotals::SubtractTransaction(const TransactionData& record) { Add(record, true, true); }

void TranTotals::Commit() {
  for (const _TotalsNode& n : m_Pending) {
    auto [it, inserted] = m_Totals.try_emplace(std::make_pair(n.bank_account, n.description), n.addition, n.subtraction);
    if (!inserted) {
      it->second.first += n.addition;
      it->second.second += n.subtraction;
    }
  }
  if (m_GeneralLedger && m_Creator) m_Creator->Commit();
  InitUnitOfWork();
}

void TranTotals::RollBack() {
  if (m_GeneralLedger && m_Creator) m_Creator->Rollback();
  InitUnitOfWork();
}

void TranTotals::PrintAccountTotals(ccJournalStream& out, int lines, const tsCurrency& subtraction,
                                    const tsCurrency& addition) const {
  if (lines <= 1) return;
  const std::string hyphens(kAmountWidth, '-');
  out.Column(34).Length(kAmountWidth).Right().PutField(hyphens);
  out.Column(51).Length(kAmountWidth).Right().PutField(hyphens);
  out.WriteLine();
  out.Column(35).Length(kAmountWidth).Right().PutField(FormatForPrint(subtraction));
  out.Column(52).Length(kAmountWidth).Right().PutField(FormatForPrint(addition));
  out.WriteLine();
}

void TranTotals::PrintToFile(bool) {
  ccBufferSection* section = m_Program.Journal().Section(m_BufferID);
  if (!section) return;
  ccJournalStream& out = section->Stream();
  out.Clear();
  static const char* const kTitles[] = {"TOTALS", "ENTRY TOTALS", "POST ENTRIES TOTALS"};
  static const char* const kNothing[] = {"No entries created.", "No entries made.", "No entries posted."};
  const bool known = m_Type >= kTotals && m_Type <= kPostTotals;
  if (known) out.Column(1).PutField(kTitles[m_Type]);
  out.WriteLine();
  if (m_Totals.empty()) {
    if (known) out.Column(3).PutField(kNothing[m_Type]);
    out.WriteLine();
    return;
  }
  tsAlpha current;
  int lines = 0;
  tsCurrency addition;
  tsCurrency subtraction;
  bool first = true;
  for (const auto& [key, amounts] : m_Totals) {
    const tsAlpha& bank = key.first;
    if (first || bank != current) {
      if (!first) PrintAccountTotals(out, lines, subtraction, addition);
      first = false;
      out.Column(3).PutField("Bank Account " + bank.str());
      out.WriteLine().WriteLine();
      out.Column(5).Length(kAmountWidth).Right().PutField("Transactions");
      out.Column(34).Length(kAmountWidth).Right().PutField("Subtraction");
      out.Column(51).Length(kAmountWidth).Right().PutField("Addition");
      out.WriteLine().WriteLine();
      current = bank;
      lines = 0;
      addition = tsCurrency();
      subtraction = tsCurrency();
    }
    ++lines;
    addition += amounts.first;
    subtraction += amounts.second;
    out.Column(7).PutField(key.second.IsBlank() ? std::string("(no charge type)") : key.second.str());
    out.Column(35).Length(kAmountWidth).Right().PutField(FormatForPrint(amounts.second));
    out.Column(52).Length(kAmountWidth).Right().PutField(FormatForPrint(amounts.first));
    out.WriteLine();
  }
  PrintAccountTotals(out, lines, subtraction, addition);
}

void TranTotals::PrintToPrinter(xp::PrinterEnum printer) {
  if (const ccBufferSection* report = m_Program.Journal().Section(m_BufferID)) (void)report->Print(printer);
  if (const ccOldCrapSection* gl = m_Program.Journal().Section(m_OldCrapID)) (void)gl->Print(printer);
}

void TranTotals::Print(xp::PrinterEnum printer, bool flag) {
  PrintToFile(flag);
  PrintToPrinter(printer);
}
