#include "engine/sql/SqlExecute.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/expr/ConditionEval.h"
#include "engine/fulltext/FullTextTag.h"
#include "engine/sql/RemoteTable.h"
#include "engine/sql/SqlParser.h"
#include "engine/table/Table.h"
#include "engine/util/LastError.h"

namespace engine {

namespace {

// The binder words its errors for a filter; in a statement they are the
// statement's, at the same positions.
Status AsStatementError(const Status& status) {
  const std::string from = " of the condition \"";
  std::string message = status.Message();
  const size_t at = message.find(from);
  if (at != std::string::npos) message.replace(at, from.size(), " of the statement \"");
  return Status(status.Code(), message);
}

// The live records of `table` that `where` (when given) is true for.
Result<std::vector<uint32_t>> MatchingRecords(const Table& table, const SqlStatement& statement,
                                              const SqlDelete& del) {
  std::optional<CompiledCondition> condition;
  if (del.Where) {
    auto compiled = CompiledCondition::Compile(*del.Where, statement.Text, table.Schema(),
                                               table.Environment().Chars);
    if (!compiled) return AsStatementError(compiled.status());
    condition = std::move(compiled.value());
  }
  std::vector<uint32_t> matching;
  TableScanner scanner = table.Scan();
  while (scanner.Next()) {
    if (!condition || condition->Matches(scanner.Record())) matching.push_back(scanner.RecNo());
  }
  if (!scanner.status()) return scanner.status();
  return matching;
}

// A statement opens its table itself: an encrypted one is read under the
// password the program enabled on that table through the same connection
// (without one, every read answers that the password is not enabled).
Result<std::unique_ptr<Table>> OpenForStatement(const Connection& connection, std::string_view name,
                                                OpenMode mode) {
  auto table = Table::Open(connection, name, mode);
  if (!table || !(*table)->NeedsPassword()) return table;
  if (std::optional<std::string> password = connection.Passwords()->Find((*table)->Path())) {
    if (Status status = (*table)->EnableEncryption(*password); !status) return status;
  }
  return table;
}

Status FlagDeleted(Table& table, const std::vector<uint32_t>& records) {
  for (uint32_t recno : records) {
    if (Status status = table.DeleteRecord(recno); !status) return status;
  }
  return table.Sync();
}

Result<SqlOutcome> RunDelete(const Connection& connection, const SqlStatement& statement,
                             const SqlDelete& del) {
  SqlOutcome outcome;
  outcome.What = SqlOutcome::Kind::Deleted;
  auto shared = OpenForStatement(connection, del.Table.Name, OpenMode::Shared);
  if (!shared) return shared.status();
  outcome.Table = (*shared)->Name();
  auto matching = MatchingRecords(**shared, statement, del);
  if (!matching) return matching.status();
  if (matching->empty()) return outcome;
  if (!(*shared)->IndexFile()) {
    if (Status status = FlagDeleted(**shared, *matching); !status) return status;
    outcome.RowsAffected = static_cast<uint32_t>(matching->size());
    return outcome;
  }
  // The index changes too: the table alone, and the records found again
  // (another user may have changed them between the two opens).
  const std::string path = (*shared)->Name();
  shared->reset();
  auto exclusive = OpenForStatement(connection, path, OpenMode::Exclusive);
  if (!exclusive) return exclusive.status();
  matching = MatchingRecords(**exclusive, statement, del);
  if (!matching) return matching.status();
  if (matching->empty()) return outcome;
  // An index file that cannot be read could not be rebuilt after the
  // records are flagged: refuse before anything changes.
  if (auto indexes = (*exclusive)->Indexes(); !indexes.ok()) return indexes.status();
  if (Status status = FlagDeleted(**exclusive, *matching); !status) return status;
  outcome.RowsAffected = static_cast<uint32_t>(matching->size());
  if (Status status = (*exclusive)->Reindex(0); !status) return status;
  return outcome;
}

Result<SqlOutcome> RunCreateIndex(const Connection& connection,
                                  const SqlCreateContentIndex& create) {
  auto table = OpenForStatement(connection, create.Table.Name, OpenMode::Exclusive);
  if (!table) return table.status();
  FullTextTagDefinition definition;
  definition.Name = create.IndexName;
  definition.Expression = create.Expression;
  definition.Words = create.Words;
  if (Status status = (*table)->AddFullTextIndex(definition, 0); !status) return status;
  SqlOutcome outcome;
  outcome.What = SqlOutcome::Kind::IndexCreated;
  outcome.Table = (*table)->Name();
  outcome.Index = create.IndexName;
  auto indexes = (*table)->Indexes();
  if (indexes.ok() && *indexes) {
    if (const IndexTagInfo* tag = (*indexes)->FindTag(create.IndexName))
      outcome.IndexEntries = tag->KeyCount;
  }
  return outcome;
}

}  // namespace

Result<SqlOutcome> ExecuteStatement(const Connection& connection, std::string_view text) {
  if (connection.IsRemote()) return ExecuteRemoteStatement(connection, text);
  auto statement = ParseSql(text);
  if (!statement) return NoteError(statement.status());
  Result<SqlOutcome> outcome = statement->Delete()
                                   ? RunDelete(connection, *statement, *statement->Delete())
                                   : RunCreateIndex(connection, *statement->CreateIndex());
  if (!outcome) return NoteError(outcome.status());
  return outcome;
}

std::string StatementTableName(std::string_view text) {
  auto statement = ParseSql(text);
  if (!statement) return {};
  return statement->Delete() ? statement->Delete()->Table.Name
                             : statement->CreateIndex()->Table.Name;
}

}  // namespace engine
