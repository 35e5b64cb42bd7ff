#include "engine/expr/ConditionEval.h"

#include <cmath>

#include "engine/record/DateValue.h"
#include "engine/record/ValueText.h"
#include "engine/util/TableErrorCodes.h"

namespace engine {

namespace {

using Step = CompiledCondition::Step;
using StepKind = CompiledCondition::StepKind;

// Orders two character values (trailing blanks already off) by sort weight.
int CompareChars(std::string_view a, std::string_view b, const CharTable& chars) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const uint8_t wa = chars.SortWeight[static_cast<uint8_t>(a[i])];
    const uint8_t wb = chars.SortWeight[static_cast<uint8_t>(b[i])];
    if (wa != wb) return wa < wb ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

template <typename T>
int CompareValues(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

bool Holds(CompareOp op, int order) {
  switch (op) {
    case CompareOp::Equal:
      return order == 0;
    case CompareOp::NotEqual:
      return order != 0;
    case CompareOp::Less:
      return order < 0;
    case CompareOp::Greater:
      return order > 0;
    case CompareOp::LessEqual:
      return order <= 0;
    case CompareOp::GreaterEqual:
      return order >= 0;
  }
  return false;
}

// The same comparison with its operands swapped: 5 < F is F > 5.
CompareOp Mirrored(CompareOp op) {
  switch (op) {
    case CompareOp::Less:
      return CompareOp::Greater;
    case CompareOp::Greater:
      return CompareOp::Less;
    case CompareOp::LessEqual:
      return CompareOp::GreaterEqual;
    case CompareOp::GreaterEqual:
      return CompareOp::LessEqual;
    default:
      return op;
  }
}

Truth FromBool(bool b) {
  return b ? Truth::True : Truth::False;
}

double NumberOf(const RecordView& record, size_t field) {
  return record.Schema().Field(field).Type == FieldType::Integer ? record.Integer(field)
                                                                 : record.Double(field);
}

bool IsNumberType(FieldType t) {
  return t == FieldType::Integer || t == FieldType::Double;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

class Binder {
 public:
  Binder(const ConditionTree& tree, std::string_view text, const TableSchema& schema,
         const CharTable& chars, std::vector<Step>& steps)
      : tree_(tree), text_(text), schema_(schema), chars_(chars), steps_(steps) {}

  int Bind(int index) {
    if (!status_) return -1;
    const ConditionNode& node = tree_.Nodes[static_cast<size_t>(index)];
    Step step;
    switch (node.Kind) {
      case NodeKind::And:
      case NodeKind::Or: {
        // The parser makes a chain "a OR b OR c" left-deep; it becomes one
        // step with its terms in order, so that neither binding nor
        // evaluation descends once per term of a long chain.
        step.Kind = node.Kind == NodeKind::And ? StepKind::And : StepKind::Or;
        std::vector<int> later;  // the right-hand terms, last first
        int first = index;
        while (tree_.Nodes[static_cast<size_t>(first)].Kind == node.Kind) {
          later.push_back(tree_.Nodes[static_cast<size_t>(first)].Second);
          first = tree_.Nodes[static_cast<size_t>(first)].First;
        }
        step.Terms.push_back(Bind(first));
        for (auto term = later.rbegin(); term != later.rend(); ++term)
          step.Terms.push_back(Bind(*term));
        break;
      }
      case NodeKind::Not:
        step.Kind = StepKind::Not;
        step.First = Bind(node.First);
        break;
      case NodeKind::IsNull:
      case NodeKind::IsNotNull: {
        const bool wants_null = node.Kind == NodeKind::IsNull;
        if (node.Left.Kind == OperandKind::Field) {
          if (!FindField(node.Left, step.Field)) return -1;
          step.Kind = wants_null ? StepKind::IsNull : StepKind::IsNotNull;
        } else {
          step.Kind = StepKind::Constant;
          step.Result = FromBool((node.Left.Kind == OperandKind::Null) == wants_null);
        }
        break;
      }
      case NodeKind::Compare:
        if (!BindCompare(node, step)) return -1;
        break;
    }
    steps_.push_back(std::move(step));
    return static_cast<int>(steps_.size() - 1);
  }

  const Status& status() const { return status_; }

 private:
  bool Fail(size_t position, const std::string& what) {
    if (status_) {
      status_ =
          Status(AE_FILTER_TYPE, "Error at position " + std::to_string(position) +
                                     " of the condition \"" + std::string(text_) + "\": " + what);
    }
    return false;
  }

  bool FindField(const Operand& operand, size_t& field) {
    const auto found = schema_.FindField(operand.Text);
    if (!found) {
      status_ =
          Status(AE_FIELD_NOT_FOUND, "Error at position " + std::to_string(operand.Position) +
                                         " of the condition \"" + std::string(text_) +
                                         "\": the table has no field \"" + operand.Text + "\"");
      return false;
    }
    field = *found;
    return true;
  }

  static const char* Describe(OperandKind kind) {
    switch (kind) {
      case OperandKind::Number:
        return "a number";
      case OperandKind::Text:
        return "a text";
      case OperandKind::True:
      case OperandKind::False:
        return "a logical value";
      default:
        return "a value";
    }
  }

  bool BindCompare(const ConditionNode& node, Step& step) {
    step.Op = node.Op;
    Operand left = node.Left;
    Operand right = node.Right;
    for (const Operand* o : {&left, &right}) {
      if (o->Kind == OperandKind::Null) {
        return Fail(o->Position, "nothing compares with NULL; ask with IS NULL or IS NOT NULL");
      }
    }
    if (left.Kind != OperandKind::Field && right.Kind == OperandKind::Field) {
      std::swap(left, right);
      step.Op = Mirrored(step.Op);
    }
    if (left.Kind != OperandKind::Field) return BindConstant(left, right, step);
    if (!FindField(left, step.Field)) return false;
    const FieldInfo& field = schema_.Field(step.Field);
    if (right.Kind == OperandKind::Field) {
      if (!FindField(right, step.Other)) return false;
      const FieldInfo& other = schema_.Field(step.Other);
      const bool same_kind =
          field.Type == other.Type || (IsNumberType(field.Type) && IsNumberType(other.Type));
      if (!same_kind) {
        return Fail(node.Position, "the " + std::string(TypeName(field.Type)) + " field \"" +
                                       field.Name + "\" cannot be compared with the " +
                                       TypeName(other.Type) + " field \"" + other.Name + "\"");
      }
      switch (field.Type) {
        case FieldType::Character:
          step.Kind = StepKind::CharFields;
          break;
        case FieldType::Integer:
        case FieldType::Double:
          step.Kind = StepKind::NumberFields;
          break;
        case FieldType::Date:
          step.Kind = StepKind::DateFields;
          break;
        case FieldType::Logical:
          step.Kind = StepKind::LogicalFields;
          break;
      }
      return true;
    }
    auto mismatch = [&](const char* expected) {
      const std::string what = "the " + std::string(TypeName(field.Type)) + " field \"" +
                               field.Name + "\" is compared with ";
      if (right.Kind == OperandKind::Text)
        return Fail(right.Position, what + "'" + right.Text + "', which is not " + expected);
      return Fail(right.Position, what + Describe(right.Kind) + " where it needs " + expected);
    };
    switch (field.Type) {
      case FieldType::Character:
        if (right.Kind != OperandKind::Text) return mismatch("a text");
        step.Kind = StepKind::CharValue;
        step.Text = std::string(TrimRight(right.Text));
        return true;
      case FieldType::Integer:
      case FieldType::Double:
        if ((right.Kind != OperandKind::Number && right.Kind != OperandKind::Text) ||
            !ParseDouble(right.Text, step.Number)) {
          return mismatch("a number");
        }
        step.Kind = StepKind::NumberValue;
        return true;
      case FieldType::Date: {
        const auto day = right.Kind == OperandKind::Text ? ParseIsoDate(right.Text) : std::nullopt;
        if (!day) return mismatch("a date 'YYYY-MM-DD'");
        step.Kind = StepKind::DateValue;
        step.Day = *day;
        return true;
      }
      case FieldType::Logical:
        if (right.Kind == OperandKind::True || right.Kind == OperandKind::False) {
          step.Flag = right.Kind == OperandKind::True;
        } else if (right.Kind != OperandKind::Text || !ParseLogical(right.Text, step.Flag)) {
          return mismatch("TRUE, FALSE, 'T' or 'F'");
        }
        step.Kind = StepKind::LogicalValue;
        return true;
    }
    return mismatch("a value");
  }

  // Two literals: decided once, here.
  bool BindConstant(const Operand& left, const Operand& right, Step& step) {
    step.Kind = StepKind::Constant;
    const bool left_logical = left.Kind == OperandKind::True || left.Kind == OperandKind::False;
    const bool right_logical = right.Kind == OperandKind::True || right.Kind == OperandKind::False;
    if (left.Kind == OperandKind::Text && right.Kind == OperandKind::Text) {
      step.Result = FromBool(
          Holds(step.Op, CompareChars(TrimRight(left.Text), TrimRight(right.Text), chars_)));
      return true;
    }
    if (left.Kind == OperandKind::Number && right.Kind == OperandKind::Number) {
      double a = 0, b = 0;
      if (!ParseDouble(left.Text, a))
        return Fail(left.Position, "\"" + left.Text + "\" is not a finite number");
      if (!ParseDouble(right.Text, b))
        return Fail(right.Position, "\"" + right.Text + "\" is not a finite number");
      step.Result = FromBool(Holds(step.Op, CompareValues(a, b)));
      return true;
    }
    if (left_logical && right_logical) {
      step.Result = FromBool(Holds(
          step.Op, CompareValues(left.Kind == OperandKind::True, right.Kind == OperandKind::True)));
      return true;
    }
    return Fail(right.Position, std::string(Describe(left.Kind)) + " cannot be compared with " +
                                    Describe(right.Kind));
  }

  const ConditionTree& tree_;
  std::string_view text_;
  const TableSchema& schema_;
  const CharTable& chars_;
  std::vector<Step>& steps_;
  Status status_;
};

}  // namespace

Result<CompiledCondition> CompiledCondition::Compile(const ConditionTree& tree,
                                                     std::string_view text,
                                                     const TableSchema& schema,
                                                     const CharTable& chars) {
  CompiledCondition compiled;
  compiled.chars_ = &chars;
  Binder binder(tree, text, schema, chars, compiled.steps_);
  compiled.root_ = binder.Bind(tree.Root);
  if (!binder.status()) return binder.status();
  return compiled;
}

Truth CompiledCondition::Eval(int index, const RecordView& record) const {
  const Step& step = steps_[static_cast<size_t>(index)];
  switch (step.Kind) {
    case StepKind::And:
    case StepKind::Or: {
      // False decides an AND, true an OR; otherwise an unknown term makes
      // the whole unknown.
      const Truth decides = step.Kind == StepKind::And ? Truth::False : Truth::True;
      bool unknown = false;
      for (int term : step.Terms) {
        const Truth truth = Eval(term, record);
        if (truth == decides) return decides;
        unknown = unknown || truth == Truth::Unknown;
      }
      if (unknown) return Truth::Unknown;
      return step.Kind == StepKind::And ? Truth::True : Truth::False;
    }
    case StepKind::Not: {
      const Truth a = Eval(step.First, record);
      return a == Truth::Unknown ? Truth::Unknown : FromBool(a == Truth::False);
    }
    case StepKind::Constant:
      return step.Result;
    case StepKind::IsNull:
      return FromBool(record.IsNull(step.Field));
    case StepKind::IsNotNull:
      return FromBool(!record.IsNull(step.Field));
    default:
      break;
  }
  if (record.IsNull(step.Field)) return Truth::Unknown;
  switch (step.Kind) {
    case StepKind::CharValue: {
      const std::string_view value = record.TrimmedChars(step.Field);
      if (step.Op == CompareOp::Equal) return FromBool(value == step.Text);
      if (step.Op == CompareOp::NotEqual) return FromBool(value != step.Text);
      return FromBool(Holds(step.Op, CompareChars(value, step.Text, *chars_)));
    }
    case StepKind::NumberValue:
      return FromBool(Holds(step.Op, CompareValues(NumberOf(record, step.Field), step.Number)));
    case StepKind::DateValue:
      return FromBool(Holds(step.Op, CompareValues(record.Date(step.Field), step.Day)));
    case StepKind::LogicalValue:
      return FromBool(Holds(step.Op, CompareValues(record.Logical(step.Field), step.Flag)));
    default:
      break;
  }
  if (record.IsNull(step.Other)) return Truth::Unknown;
  switch (step.Kind) {
    case StepKind::CharFields:
      return FromBool(Holds(step.Op, CompareChars(record.TrimmedChars(step.Field),
                                                  record.TrimmedChars(step.Other), *chars_)));
    case StepKind::NumberFields:
      return FromBool(Holds(
          step.Op, CompareValues(NumberOf(record, step.Field), NumberOf(record, step.Other))));
    case StepKind::DateFields:
      return FromBool(
          Holds(step.Op, CompareValues(record.Date(step.Field), record.Date(step.Other))));
    case StepKind::LogicalFields:
      return FromBool(
          Holds(step.Op, CompareValues(record.Logical(step.Field), record.Logical(step.Other))));
    default:
      return Truth::Unknown;
  }
}

Result<CompiledCondition> CompileCondition(std::string_view text, const TableSchema& schema,
                                           const CharTable& chars) {
  auto tree = ParseCondition(text);
  if (!tree) return tree.status();
  return CompiledCondition::Compile(*tree, text, schema, chars);
}

}  // namespace engine
