// dbtool sql FOLDER STATEMENT
//
// Runs one statement of the engine's SQL (docs/engine-sql.md) on a
// connection to the database folder FOLDER and says what it did: for a
// delete, how many records it deleted; for CREATE INDEX ... CONTENT, the
// tag it built. The statement's table is open only while it runs.
#include "Commands.h"
#include "engine/env/Connection.h"
#include "engine/sql/SqlExecute.h"

namespace dbtool {

int RunSql(const Arguments& args, Io& io) {
  auto connection = engine::Connection::Connect(args.Positional[0]);
  if (!connection) return ReportError(io, connection.status());
  auto outcome = engine::ExecuteStatement(**connection, args.Positional[1]);
  if (!outcome) return ReportError(io, outcome.status());
  if (outcome->What == engine::SqlOutcome::Kind::Deleted) {
    std::fprintf(io.Out, "%u record%s deleted from %s\n", outcome->RowsAffected,
                 outcome->RowsAffected == 1 ? "" : "s", outcome->Table.c_str());
  } else {
    std::fprintf(io.Out, "full-text index %s built on %s: %llu (word, record) pairs\n",
                 outcome->Index.c_str(), outcome->Table.c_str(),
                 static_cast<unsigned long long>(outcome->IndexEntries));
  }
  return kExitOk;
}

}  // namespace dbtool
