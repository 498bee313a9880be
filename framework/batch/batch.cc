// The current batch, module parts and batch lists of the batch framework.
#include "framework/batch/batch.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "framework/batch/batch_list.h"

namespace {

void Put16(unsigned char* p, std::size_t at, int v) {
  const auto u = static_cast<uint16_t>(static_cast<int16_t>(v));
  p[at] = static_cast<unsigned char>(u & 0xFF);
  p[at + 1] = static_cast<unsigned char>(u >> 8);
}

int Get16(const unsigned char* p, std::size_t at) {
  return static_cast<int16_t>(static_cast<uint16_t>(p[at] | (p[at + 1] << 8)));
}

// Copies text into a field of `width` bytes: at most width - 1 characters,
// the rest zero.
void PutText(unsigned char* p, std::size_t at, std::size_t width, const std::string& text) {
  std::memset(p + at, 0, width);
  std::memcpy(p + at, text.data(), std::min(text.size(), width - 1));
}

}  // namespace

// ---- zzBatchPart ----

zzBatchPart::zzBatchPart(std::string module_code) : module_code_(std::move(module_code)) {}
zzBatchPart::~zzBatchPart() = default;

zzBatchPart* zzBatchPart::Clone() const { return new zzBatchPart(*this); }
bool zzBatchPart::NoTransactions() { return true; }
bool zzBatchPart::InBalance() { return true; }
void zzBatchPart::Balance() {}
void zzBatchPart::Init() {}
bool zzBatchPart::GetValues() { return true; }
bool zzBatchPart::PutValues() { return true; }
short zzBatchPart::BatchRecType() const { return 0; }

void zzBatchPart::FillSubStruct(unsigned char* buffer) const {
  if (!buffer) return;
  Put16(buffer, 0, file_number_);
  Put16(buffer, 2, dest_file_number_);
  Put16(buffer, 4, record_created_);
  Put16(buffer, 6, static_cast<int>(type_));
  PutText(buffer, 8, kDescSize, desc_);
  Put16(buffer, 39, date_.Year());
  Put16(buffer, 41, date_.Month());
  Put16(buffer, 43, date_.Day());
}

void zzBatchPart::SetPart(const unsigned char* buffer) {
  if (buffer) dest_file_number_ = static_cast<short>(Get16(buffer, 2));
}

void zzBatchPart::InitUnitOfWork() {}
bool zzBatchPart::Commit() { return true; }
void zzBatchPart::Rollback() {}
bool zzBatchPart::IsBatchAcceptableForComboBox() const { return true; }
bool zzBatchPart::IsBatchAcceptableForUse() const { return true; }
bool zzBatchPart::AllowAutoAsManual() const { return false; }
std::string zzBatchPart::Description() const { return ""; }
void zzBatchPart::ReceiveApplBlock(const void*, std::size_t) {}

// ---- zzBatch ----

zzBatch::zzBatch(std::string host_appl, const tsAlpha& batch_id, short source, BType type)
    : host_appl_(std::move(host_appl)), batch_id_(batch_id), source_(source), type_(type) {}

zzBatch::zzBatch(const zzBatch& other)
    : host_appl_(other.host_appl_),
      batch_id_(other.batch_id_),
      source_(other.source_),
      type_(other.type_),
      desc_(other.desc_),
      date_(other.date_) {
  for (const auto& p : other.parts_) parts_.emplace_back(p->Clone());
}

zzBatch& zzBatch::operator=(const zzBatch& other) {
  if (this != &other) {
    zzBatch copy(other);
    host_appl_ = std::move(copy.host_appl_);
    batch_id_ = copy.batch_id_;
    source_ = copy.source_;
    type_ = copy.type_;
    desc_ = std::move(copy.desc_);
    date_ = copy.date_;
    parts_ = std::move(copy.parts_);
  }
  return *this;
}

zzBatch::~zzBatch() = default;

zzBatchPart* zzBatch::AddPart(std::unique_ptr<zzBatchPart> part) {
  if (!part) return nullptr;
  part->SetBatchID(batch_id_);
  part->SetHostAppl(host_appl_);
  for (auto& p : parts_) {
    if (p->ModuleCode() == part->ModuleCode()) {
      p = std::move(part);
      return p.get();
    }
  }
  parts_.push_back(std::move(part));
  return parts_.back().get();
}

zzBatchPart* zzBatch::ApplPart(std::string_view module_code) const {
  for (const auto& p : parts_) {
    if (p->ModuleCode() == module_code) return p.get();
  }
  return nullptr;
}

bool zzBatch::UpdateInfo(std::string_view module_code) {
  zzBatchPart* part = ApplPart(module_code);
  return part && part->PutValues();
}

void zzBatch::FillBatchStruct(void* batch_def) const {
  if (!batch_def) return;
  auto* p = static_cast<unsigned char*>(batch_def);
  // Keep what the caller owns: the task command ID and the application block.
  unsigned char command[2];
  unsigned char appl_block[8];
  std::memcpy(command, p + kCommandIDOffset, sizeof command);
  std::memcpy(appl_block, p + kApplBlockOffset, sizeof appl_block);
  std::memset(p, 0, kBatchDefSize);
  PutText(p, 0, 5, host_appl_);
  PutText(p, 5, 11, batch_id_.str());
  Put16(p, 16, source_);
  Put16(p, 18, static_cast<int>(type_));
  Put16(p, 20, date_.Year());
  Put16(p, 22, date_.Month());
  Put16(p, 24, date_.Day());
  PutText(p, 28, 31, desc_);
  std::memcpy(p + kCommandIDOffset, command, sizeof command);
  std::memcpy(p + kApplBlockOffset, appl_block, sizeof appl_block);
}

// ---- zzBatchList ----

void zzBatchList::AppendNode(zzBatchListNode* node) {
  if (node) nodes_.emplace_back(node);
}

void zzBatchList::Clear() {
  nodes_.clear();
  old_entries_.clear();
  old_ = zb_batch_list_def{};
}

const zb_batch_list_def* zzBatchList::BuildOldBatchList() {
  old_entries_.assign(nodes_.size(), zb_batch_entry{});
  for (std::size_t i = 0; i < nodes_.size(); ++i) {
    zb_batch_entry& e = old_entries_[i];
    std::memset(&e, 0, sizeof e);
    std::memcpy(e.host_appl, nodes_[i]->HostAppl().data(), std::min<std::size_t>(nodes_[i]->HostAppl().size(), 4));
    const std::string& id = nodes_[i]->BatchID().str();
    std::memcpy(e.batch_id, id.data(), std::min<std::size_t>(id.size(), 10));
    e.source = nodes_[i]->Source();
    e.choice = static_cast<short>(nodes_[i]->Choice().Value());
  }
  old_.count = old_entries_.size();
  old_.entries = old_entries_.empty() ? nullptr : old_entries_.data();
  return &old_;
}
