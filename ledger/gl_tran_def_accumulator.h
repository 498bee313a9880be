// bkGLTranDefAccumulator: the general-ledger lines of one line type,
// merged by key. An ordered map from bkGLTranDefKey to a shared
// general-ledger transaction definition; a line whose key is already held
// adds its amount to the held definition.
//
// Rolling moves the held definitions out (in key order) when a level of the
// transaction hierarchy ends: with ending level E and the line type's level
// L (glwTranCreator's accumulation matrix), nothing moves when E or L is -3
// or when E is not -2 and greater than L; otherwise everything moves. So -2
// moves everything, level -1 lines keep merging until a roll at -1 or -2,
// and lines of levels 0, 1 and 2 leave at correspondingly earlier rolls.
//
// Units of work. The accumulator remembers what changed since the last
// commit point (CommitUnit, ClearAccumulatorContainer, construction):
// RollBackUnit puts the map back as it was there, so a unit that is rolled
// back never takes with it lines that earlier, committed units merged into
// a summary line. Definitions of the unit that were rolled out are not
// given back; lines that existed at the commit point and were rolled out
// during the unit come back with their amounts of the commit point (their
// general-ledger writes belong to the unit that is rolled back).
#pragma once

#include <list>
#include <map>
#include <utility>
#include <vector>

#include "framework/base/errors.h"
#include "framework/io/io_status.h"
#include "framework/module/gl_blocks.h"
#include "framework/types/smart_ptr.h"
#include "ledger/gl_tran_def_key.h"
#include "ledger/gl_transaction_values.h"
#include "records/bk_export.h"
#include "transactions/detailed_transaction_data.h"

using glTranDefPtr = tsBase::SmartPtr<gl_tran_def>;
using glTranDefList = std::list<glTranDefPtr>;

class BK_EXPORT bkGLTranDefAccumulator {
 public:
  // Statuses of AccumulateGLTranDef (13 and 6 are success).
  static constexpr tsioStatus::Status kAdded = tsioStatus::kNotFound;         // 13: a new line
  static constexpr tsioStatus::Status kMerged = tsioStatus::kMerged;          // 6: merged
  static constexpr tsioStatus::Status kStopped = tsioStatus::kFileDoesNotExist;  // 15: an exception

  bkGLTranDefAccumulator() = default;
  explicit bkGLTranDefAccumulator(BKGLTranTypeEnum type) { SetTranType(type); }
  // Copies share the definitions.
  bkGLTranDefAccumulator(const bkGLTranDefAccumulator& other) = default;
  bkGLTranDefAccumulator& operator=(const bkGLTranDefAccumulator& other) = default;
  virtual ~bkGLTranDefAccumulator();

  // Adds (13, sharing `def`) or merges (6: `def`'s amount is added to the
  // held definition, exactly). 15 when an exception (no memory) stopped it;
  // the map is then as it was.
  ccStatus<tsioStatus::Status> AccumulateGLTranDef(const bkGLTranDefKey& key, glTranDefPtr& def);
  // Appends the held definitions to `out` in key order and empties the map,
  // when the levels say so (see above). 1 when memory ran out, 15 for any
  // other exception; `out` and the map are then as they were.
  ccStatus<tsioStatus::Status> RollTrans(glTranDefList& out, TranLevelEnum ending, TranLevelEnum line_level);
  void ClearAccumulatorContainer();
  bool IsEmpty() const { return m_Map.empty(); }
  std::size_t Size() const { return m_Map.size(); }
  // Values -2 and -1 are ignored.
  void SetTranType(BKGLTranTypeEnum type);
  BKGLTranTypeEnum GetTranType() const { return m_TranType; }

  // Units of work (see above).
  void CommitUnit();
  void RollBackUnit();

  const std::map<bkGLTranDefKey, glTranDefPtr>& Lines() const { return m_Map; }

 private:
  struct UnitChange {
    bool created = false;  // the line was added during the unit
    tsCurrency added;      // what the unit merged into a line that existed before
  };

  std::map<bkGLTranDefKey, glTranDefPtr> m_Map;
  BKGLTranTypeEnum m_TranType = kBKGLTranNone;
  std::map<bkGLTranDefKey, UnitChange> m_Unit;
  std::vector<std::pair<bkGLTranDefKey, glTranDefPtr>> m_Restore;
};
