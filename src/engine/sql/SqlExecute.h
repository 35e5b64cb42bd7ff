// Running the engine's SQL statements (SqlParser.h) on a connection.
//
// A statement opens its table when it starts and closes it when it is done,
// whatever the outcome, so no statement leaves a table open or locked:
//
// - CREATE INDEX ... CONTENT opens the table exclusively (a table open
//   anywhere else answers 8103) and adds the full-text tag to the table's
//   index file from one scan of the live records (Table::AddFullTextIndex):
//   the file is created when missing, a tag of the same name replaced, the
//   other tags kept, and the new file renamed into place only when whole.
//
// - DELETE FROM opens the table shared (8103 when it is open exclusively
//   elsewhere) and finds the live records the condition is true for. When
//   there are none, nothing changes. Without an index file the records are
//   flagged deleted under the shared open, which other shared users of the
//   table tolerate. With one, the index must change too, and that needs the
//   table alone: it is opened again exclusively (8103 while it is open
//   elsewhere, and nothing has changed), the records are found again,
//   flagged, synced once, and then every tag is rebuilt from the live
//   records through the crash-safe index writer (Table::Reindex), so the
//   index stays exact. The records are synced before the index is written:
//   a crash in between leaves an index that still names the deleted
//   records, which every reader skips by their flag and a reindex removes;
//   the other order could leave live records out of the index.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/env/Connection.h"
#include "engine/util/EngineError.h"

namespace engine {

// What a statement did.
struct SqlOutcome {
  enum class Kind { Deleted, IndexCreated };
  Kind What = Kind::Deleted;
  uint32_t RowsAffected = 0;  // records deleted; 0 for CREATE INDEX
  std::string Table;          // the table's file name, as on disk
  std::string Index;          // the tag CREATE INDEX built
  uint64_t IndexEntries = 0;  // its (word, record) pairs
};

// Parses and runs one statement on `connection`. Errors: the parser's
// (8300, 8301, with the position), the table's open (8102, 8103), the
// condition's binding (8111, 8115, with the position in the statement),
// those of the full-text fields and settings (8200, 8201, 8212, 8310), and
// those of reading and writing the files. Every error is noted as the
// thread's last engine error.
Result<SqlOutcome> ExecuteStatement(const Connection& connection, std::string_view text);

// The table a statement names, as written (empty when it does not parse),
// for error reports.
std::string StatementTableName(std::string_view text);

}  // namespace engine
