// Lines of one line type merged by key (see gl_tran_def_accumulator.h).
#include "ledger/gl_tran_def_accumulator.h"

#include <exception>
#include <memory>
#include <new>

bkGLTranDefAccumulator::~bkGLTranDefAccumulator() = default;

void bkGLTranDefAccumulator::SetTranType(BKGLTranTypeEnum type) {
  if (type == kBKGLTranNone || type == kBKGLTranAll) return;
  m_TranType = type;
}

ccStatus<tsioStatus::Status> bkGLTranDefAccumulator::AccumulateGLTranDef(const bkGLTranDefKey& key,
                                                                         glTranDefPtr& def) {
  if (!def) return ccStatus<tsioStatus::Status>(kStopped);
  bool inserted = false;
  std::map<bkGLTranDefKey, glTranDefPtr>::iterator it;
  try {
    std::tie(it, inserted) = m_Map.try_emplace(key, def);
    if (inserted) {
      auto u = m_Unit.try_emplace(key).first;
      u->second = UnitChange{true, tsCurrency()};
      return ccStatus<tsioStatus::Status>(kAdded);
    }
    const tsCurrency amount = glTranDefAmount(*def);
    auto [u, fresh] = m_Unit.try_emplace(key);
    if (fresh) u->second.created = false;
    u->second.added += amount;
    glAddTranDefAmount(*it->second, *def);
    return ccStatus<tsioStatus::Status>(kMerged);
  } catch (...) {
    if (inserted) {
      m_Map.erase(key);
      m_Unit.erase(key);
    }
    return ccStatus<tsioStatus::Status>(kStopped);
  }
}

ccStatus<tsioStatus::Status> bkGLTranDefAccumulator::RollTrans(glTranDefList& out, TranLevelEnum ending,
                                                               TranLevelEnum line_level) {
  if (ending == kTranLevelNothing || line_level == kTranLevelNothing) return ccStatus<tsioStatus::Status>();
  if (ending != kTranLevelEverything && ending > line_level) return ccStatus<tsioStatus::Status>();
  if (m_Map.empty()) return ccStatus<tsioStatus::Status>();
  try {
    // Lines that existed at the commit point go back there on a rollback.
    std::vector<std::pair<bkGLTranDefKey, glTranDefPtr>> restore;
    glTranDefList moved;
    for (auto& [key, def] : m_Map) {
      moved.push_back(def);
      auto u = m_Unit.find(key);
      if (u != m_Unit.end() && u->second.created) continue;
      auto copy = std::make_shared<gl_tran_def>(*def);
      if (u != m_Unit.end()) glSetTranDefAmount(*copy, glTranDefAmount(*def) - u->second.added);
      restore.emplace_back(key, std::move(copy));
    }
    m_Restore.reserve(m_Restore.size() + restore.size());
    out.splice(out.end(), moved);
    for (auto& r : restore) m_Restore.push_back(std::move(r));
    m_Map.clear();
    m_Unit.clear();
    return ccStatus<tsioStatus::Status>();
  } catch (const std::bad_alloc&) {
    return ccStatus<tsioStatus::Status>(tsioStatus::kInvalidOperation);
  } catch (...) {
    return ccStatus<tsioStatus::Status>(kStopped);
  }
}

void bkGLTranDefAccumulator::ClearAccumulatorContainer() {
  m_Map.clear();
  m_Unit.clear();
  m_Restore.clear();
}

void bkGLTranDefAccumulator::CommitUnit() {
  m_Unit.clear();
  m_Restore.clear();
}

void bkGLTranDefAccumulator::RollBackUnit() {
  for (const auto& [key, change] : m_Unit) {
    auto it = m_Map.find(key);
    if (it == m_Map.end()) continue;
    if (change.created) {
      m_Map.erase(it);
    } else {
      glSetTranDefAmount(*it->second, glTranDefAmount(*it->second) - change.added);
    }
  }
  for (auto& [key, def] : m_Restore) m_Map[key] = std::move(def);
  m_Unit.clear();
  m_Restore.clear();
}
