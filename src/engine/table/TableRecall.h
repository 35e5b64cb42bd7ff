// Bringing deleted records back: the records a filter lets through lose
// their deleted flag, and the table's tags are rebuilt to hold their keys. A
// unique tag that the recalled records would break is refused by the
// rebuild; the records are then deleted again and nothing changes.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/table/Table.h"
#include "engine/util/EngineError.h"

namespace engine {

// Recalls the deleted records of `table` that `filter` lets through (every
// deleted record when it is empty) and answers how many came back.
// REQUIRES: `table` is open exclusively and its password, if any, enabled.
Result<uint32_t> RecallDeletedRecords(Table& table, std::string_view filter);

}  // namespace engine
