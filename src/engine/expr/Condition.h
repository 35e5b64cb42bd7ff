// Conditions over a record's fields: the grammar shared by table filters
// and the WHERE part of SQL statements.
//
//   condition  := and-term { OR and-term }
//   and-term   := not-term { AND not-term }
//   not-term   := NOT not-term | primary
//   primary    := "(" condition ")" | operand compare-op operand
//               | operand IS [NOT] NULL
//   compare-op := "=" | "<>" | "!=" | "<" | ">" | "<=" | ">="
//   operand    := field | number | "-" number | 'text' | TRUE | FALSE | NULL
//
// Keywords ignore case; a field whose name is a keyword is written [NAME].
// The parser builds a tree; ConditionEval.h binds it to a table's fields.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/expr/ConditionLexer.h"
#include "engine/util/EngineError.h"

namespace engine {

enum class CompareOp { Equal, NotEqual, Less, Greater, LessEqual, GreaterEqual };

enum class OperandKind { Field, Number, Text, True, False, Null };
enum class NodeKind { And, Or, Not, Compare, IsNull, IsNotNull };

struct Operand {
  OperandKind Kind = OperandKind::Null;
  std::string Text;     // the field name, the digits of a number (with "-"), the text
  size_t Position = 0;  // 1-based
};

struct ConditionNode {
  NodeKind Kind = NodeKind::Compare;
  CompareOp Op = CompareOp::Equal;  // Compare
  Operand Left;                     // Compare, IsNull, IsNotNull
  Operand Right;                    // Compare
  int First = -1;                   // And, Or, Not: index of the (first) child
  int Second = -1;                  // And, Or: index of the second child
  size_t Position = 0;
};

struct ConditionTree {
  std::vector<ConditionNode> Nodes;
  int Root = -1;
};

// The deepest nesting of parentheses and NOTs a condition may have: the
// parser descends once for each, and a deeper one is a syntax error rather
// than an exhausted stack.
inline constexpr size_t kMaxConditionNesting = 200;

// Parses the whole of `text`; anything after a complete condition is an
// error. Errors (8114) give the position: "Syntax error at position 8 of the
// condition "...": a value is expected after '='".
Result<ConditionTree> ParseCondition(std::string_view text);

// Parses one condition from `lexer` and stops before the first token that
// cannot continue it (a statement's parser goes on from there). Positions in
// errors are those of the lexer's whole text.
Result<ConditionTree> ParseConditionFrom(ConditionLexer& lexer);

}  // namespace engine
