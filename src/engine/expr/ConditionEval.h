// A condition bound to a table's fields, evaluated record by record.
//
// Binding checks each comparison once: a character field compares with a
// text, a number field (integer or double) with a number (or a text that
// reads as one), a date field with a text YYYY-MM-DD, a logical field with
// TRUE/FALSE or 'T'/'F', and two fields with each other when their kinds
// match. Anything else is an error (8115) naming the position.
//
// Character values compare without their trailing blanks, so 'U' equals a
// field holding "U  "; their order is that of the character table's sort
// weights. A comparison with a NULL field is unknown, and unknown follows
// SQL's three-valued logic through NOT, AND and OR; a record matches only
// when the whole condition is true.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/expr/Condition.h"
#include "engine/record/Record.h"
#include "engine/record/TableSchema.h"
#include "engine/util/CharTable.h"
#include "engine/util/EngineError.h"

namespace engine {

enum class Truth : uint8_t { False, True, Unknown };

class CompiledCondition {
 public:
  // REQUIRES: `chars` outlives the compiled condition.
  static Result<CompiledCondition> Compile(const ConditionTree& tree, std::string_view text,
                                           const TableSchema& schema, const CharTable& chars);

  Truth Evaluate(const RecordView& record) const { return Eval(root_, record); }
  bool Matches(const RecordView& record) const { return Evaluate(record) == Truth::True; }

  // One node of the bound tree.
  enum class StepKind {
    And,
    Or,
    Not,
    Constant,       // Result
    IsNull,         // Field
    IsNotNull,      // Field
    CharValue,      // Field op Text
    NumberValue,    // Field op Number
    DateValue,      // Field op Day
    LogicalValue,   // Field op Flag
    CharFields,     // Field op Other
    NumberFields,   // Field op Other
    DateFields,     // Field op Other
    LogicalFields,  // Field op Other
  };
  struct Step {
    StepKind Kind = StepKind::Constant;
    CompareOp Op = CompareOp::Equal;
    int First = -1;          // Not
    std::vector<int> Terms;  // And, Or: every term of a chain "a OR b OR c", in order
    size_t Field = 0;
    size_t Other = 0;
    std::string Text;  // without trailing blanks
    double Number = 0;
    int32_t Day = 0;
    bool Flag = false;
    Truth Result = Truth::False;
  };

 private:
  Truth Eval(int index, const RecordView& record) const;

  std::vector<Step> steps_;
  int root_ = -1;
  const CharTable* chars_ = nullptr;
};

// Parses and binds `text` in one go.
Result<CompiledCondition> CompileCondition(std::string_view text, const TableSchema& schema,
                                           const CharTable& chars);

}  // namespace engine
