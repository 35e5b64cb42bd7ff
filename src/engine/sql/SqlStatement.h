// The statements of the engine's SQL, as the parser (SqlParser.h) gives them
// to the code that runs them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "engine/expr/Condition.h"
#include "engine/fulltext/FullTextWords.h"

namespace engine {

// A table as a statement names it.
struct SqlTableName {
  std::string Name;     // as written, quotes undone, with its extension when one was written
  size_t Position = 0;  // 1-based, in the statement
};

// CREATE INDEX name ON table ( field [; field ...] ) CONTENT [options] ['noise words']
struct SqlCreateContentIndex {
  std::string IndexName;
  size_t IndexNamePosition = 0;
  SqlTableName Table;
  std::vector<std::string> Fields;  // as written, in order
  std::string Expression;           // the fields joined with ";", as key expressions write them
  FullTextWordOptions Words;        // the word lengths (defaults when not given), noise words
};

// DELETE FROM table [WHERE condition]
struct SqlDelete {
  SqlTableName Table;
  // The condition, when there is one. Its positions count in the whole
  // statement, so bind it with the statement's text (CompiledCondition).
  std::optional<ConditionTree> Where;
  std::string WhereText;  // the condition as written
};

struct SqlStatement {
  std::string Text;  // the whole statement as given
  std::variant<SqlCreateContentIndex, SqlDelete> Body;

  const SqlCreateContentIndex* CreateIndex() const {
    return std::get_if<SqlCreateContentIndex>(&Body);
  }
  const SqlDelete* Delete() const { return std::get_if<SqlDelete>(&Body); }
};

}  // namespace engine
