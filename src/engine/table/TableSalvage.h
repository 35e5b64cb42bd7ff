// Salvage: every record of a damaged table that can still be read, copied
// into a new table, and an account of what could not be.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/env/Connection.h"
#include "engine/util/EngineError.h"

namespace engine {

struct LostRecord {
  uint32_t RecNo = 0;
  std::string Reason;  // "state byte 64", "field BORN holds no date", the read's error
};

struct SalvageReport {
  std::string NewTable;          // the file name of the new table
  std::string HeaderProblem;     // why the table does not open as it is; empty when it does
  uint32_t Considered = 0;       // records looked at: the table's count, or all the file holds
  uint32_t Copied = 0;           // live records copied into the new table, in their order
  uint32_t Deleted = 0;          // records flagged deleted, left out
  std::vector<LostRecord> Lost;  // records that could not be read, in order
  // Nothing was lost, as far as the file can tell.
  bool Complete() const { return Lost.empty() && HeaderProblem.empty(); }
};

// Copies every live record of table `name` that reads as a sound record
// into the new table `new_name` (same fields; an error when it exists), and
// reports the records that could not be read. A table whose header is
// sound but whose last commit cannot be told (8130), whose commit slots are
// both damaged, or whose file is cut short is read as far as the file holds
// whole records, and the report says why. An encrypted table needs its
// `password`; the new table is then encrypted with it as well. The damaged
// table and its index file are left as they are; the new table has no index
// file. Errors: the table cannot be opened even so (its fixed header or
// field descriptors are damaged), the new table cannot be made.
Result<SalvageReport> SalvageTable(const Connection& connection, std::string_view name,
                                   std::string_view new_name, std::string_view password = {});

}  // namespace engine
