// The engine's SQL: two statements, read by a hand-written parser over the
// tokens of the condition lexer (ConditionLexer.h). docs/engine-sql.md
// describes the language for its users.
//
//   statement    := create-index | delete  [";"]
//   create-index := CREATE INDEX name ON table "(" field { ";" field } ")"
//                   CONTENT { option } [ 'noise words' ]
//   option       := MIN_WORD_LENGTH ["="] number | MAX_WORD_LENGTH ["="] number
//   delete       := DELETE FROM table [ WHERE condition ]
//   table        := name { "." name-or-digits }     (the dots touching the names)
//   name         := identifier | [any text] | "any text"
//
// Keywords ignore case. The condition is the filters' grammar (Condition.h).
// The noise words are the blank-separated words of the quoted text.
#pragma once

#include <cstddef>
#include <string_view>

#include "engine/sql/SqlStatement.h"
#include "engine/util/EngineError.h"

namespace engine {

// Parses one statement. Errors are AE_SQL_SYNTAX (or AE_SQL_VALUE for an
// option value out of range) with a message that gives the position, which
// counts characters of `text` from 1 and is also put in `error_position`
// when given: "Syntax error at position 14 of the statement "...": ON is
// expected after the index name, not 'Contacts'".
Result<SqlStatement> ParseSql(std::string_view text, size_t* error_position = nullptr);

}  // namespace engine
