#include "engine/expr/Condition.h"

#include "engine/util/TableErrorCodes.h"

namespace engine {

namespace {

class Parser {
 public:
  explicit Parser(ConditionLexer& lexer) : lexer_(lexer) {}

  Result<ConditionTree> Run() {
    const int root = ParseOr();
    if (!status_) return status_;
    tree_.Root = root;
    return std::move(tree_);
  }

 private:
  // Keeps the first error; the parse then unwinds and Run() answers it.
  void Error(size_t position, const std::string& what) {
    if (status_) {
      status_ = Status(AE_FILTER_SYNTAX, "Syntax error at position " + std::to_string(position) +
                                             " of the condition \"" + std::string(lexer_.Source()) +
                                             "\": " + what);
    }
  }

  int Add(ConditionNode node) {
    tree_.Nodes.push_back(std::move(node));
    return static_cast<int>(tree_.Nodes.size() - 1);
  }

  int ParseOr() {
    int left = ParseAnd();
    while (status_ && lexer_.PeekKeyword("OR")) {
      ConditionNode node;
      node.Kind = NodeKind::Or;
      node.Position = lexer_.Next().Position;
      node.First = left;
      node.Second = ParseAnd();
      left = Add(std::move(node));
    }
    return left;
  }

  int ParseAnd() {
    int left = ParseNot();
    while (status_ && lexer_.PeekKeyword("AND")) {
      ConditionNode node;
      node.Kind = NodeKind::And;
      node.Position = lexer_.Next().Position;
      node.First = left;
      node.Second = ParseNot();
      left = Add(std::move(node));
    }
    return left;
  }

  // Counts one more level of nesting at `position`; false (with the
  // error) beyond kMaxConditionNesting. The caller calls Leave() after.
  bool Enter(size_t position) {
    if (++depth_ <= kMaxConditionNesting) return true;
    Error(position, "the condition nests deeper than " + std::to_string(kMaxConditionNesting) +
                        " parentheses and NOTs");
    return false;
  }
  void Leave() { --depth_; }

  int ParseNot() {
    if (!status_) return -1;
    if (lexer_.PeekKeyword("NOT")) {
      ConditionNode node;
      node.Kind = NodeKind::Not;
      node.Position = lexer_.Next().Position;
      const bool entered = Enter(node.Position);
      if (entered) node.First = ParseNot();
      Leave();
      if (!entered || !status_) return -1;
      return Add(std::move(node));
    }
    return ParsePrimary();
  }

  int ParsePrimary() {
    if (lexer_.Peek().Kind == TokenKind::LeftParen) {
      const Token open = lexer_.Next();
      const bool entered = Enter(open.Position);
      const int inner = entered ? ParseOr() : -1;
      Leave();
      if (!status_) return -1;
      if (lexer_.Peek().Kind != TokenKind::RightParen) {
        Error(lexer_.Peek().Position, "')' is expected to close the '(' at position " +
                                          std::to_string(open.Position) + ", not " +
                                          DescribeToken(lexer_.Peek()));
        return -1;
      }
      lexer_.Next();
      return inner;
    }
    ConditionNode node;
    node.Position = lexer_.Peek().Position;
    if (!ParseOperand(node.Left, "a condition")) return -1;
    if (lexer_.PeekKeyword("IS")) {
      lexer_.Next();
      node.Kind = NodeKind::IsNull;
      if (lexer_.PeekKeyword("NOT")) {
        lexer_.Next();
        node.Kind = NodeKind::IsNotNull;
      }
      if (!lexer_.PeekKeyword("NULL")) {
        Error(lexer_.Peek().Position,
              "NULL is expected after IS, not " + DescribeToken(lexer_.Peek()));
        return -1;
      }
      lexer_.Next();
      return Add(std::move(node));
    }
    const Token op = lexer_.Peek();
    switch (op.Kind) {
      case TokenKind::Equal:
        node.Op = CompareOp::Equal;
        break;
      case TokenKind::NotEqual:
        node.Op = CompareOp::NotEqual;
        break;
      case TokenKind::Less:
        node.Op = CompareOp::Less;
        break;
      case TokenKind::Greater:
        node.Op = CompareOp::Greater;
        break;
      case TokenKind::LessEqual:
        node.Op = CompareOp::LessEqual;
        break;
      case TokenKind::GreaterEqual:
        node.Op = CompareOp::GreaterEqual;
        break;
      default:
        Error(op.Position,
              "a comparison (=, <>, <, >, <=, >=) or IS is expected, not " + DescribeToken(op));
        return -1;
    }
    lexer_.Next();
    if (!ParseOperand(node.Right, "a value after '" + op.Text + "'")) return -1;
    node.Kind = NodeKind::Compare;
    return Add(std::move(node));
  }

  bool ParseOperand(Operand& operand, const std::string& expected) {
    const Token& token = lexer_.Peek();
    operand.Position = token.Position;
    switch (token.Kind) {
      case TokenKind::Identifier:
        for (const char* reserved : {"AND", "OR", "NOT", "IS"}) {
          if (lexer_.PeekKeyword(reserved)) {
            Error(token.Position, expected + " is expected, not the keyword " + token.Text +
                                      " (write a field of that name as [" + token.Text + "])");
            return false;
          }
        }
        if (lexer_.PeekKeyword("TRUE")) {
          operand.Kind = OperandKind::True;
        } else if (lexer_.PeekKeyword("FALSE")) {
          operand.Kind = OperandKind::False;
        } else if (lexer_.PeekKeyword("NULL")) {
          operand.Kind = OperandKind::Null;
        } else {
          operand.Kind = OperandKind::Field;
        }
        operand.Text = lexer_.Next().Text;
        return true;
      case TokenKind::QuotedIdentifier:
        operand.Kind = OperandKind::Field;
        operand.Text = lexer_.Next().Text;
        return true;
      case TokenKind::Text:
        operand.Kind = OperandKind::Text;
        operand.Text = lexer_.Next().Text;
        return true;
      case TokenKind::Number:
        operand.Kind = OperandKind::Number;
        operand.Text = lexer_.Next().Text;
        return true;
      case TokenKind::Minus:
      case TokenKind::Plus: {
        const Token sign = lexer_.Next();
        if (lexer_.Peek().Kind != TokenKind::Number) {
          Error(lexer_.Peek().Position, "a number is expected after '" + sign.Text + "', not " +
                                            DescribeToken(lexer_.Peek()));
          return false;
        }
        operand.Kind = OperandKind::Number;
        // Built by appending: GCC 12 warns falsely (-Wrestrict) about a
        // literal prepended to a string.
        operand.Text.clear();
        if (sign.Kind == TokenKind::Minus) operand.Text.push_back('-');
        operand.Text += lexer_.Next().Text;
        return true;
      }
      case TokenKind::Invalid:
        Error(token.Position, token.Text);
        return false;
      default:
        Error(token.Position, expected + " is expected, not " + DescribeToken(token));
        return false;
    }
  }

  ConditionLexer& lexer_;
  ConditionTree tree_;
  Status status_;
  size_t depth_ = 0;  // parentheses and NOTs open around the current token
};

}  // namespace

Result<ConditionTree> ParseConditionFrom(ConditionLexer& lexer) {
  return Parser(lexer).Run();
}

Result<ConditionTree> ParseCondition(std::string_view text) {
  ConditionLexer lexer(text);
  auto tree = ParseConditionFrom(lexer);
  if (!tree) return tree;
  if (lexer.Peek().Kind != TokenKind::End) {
    const Token& extra = lexer.Peek();
    const std::string what =
        extra.Kind == TokenKind::Invalid
            ? extra.Text
            : DescribeToken(extra) + " is not expected here (AND or OR joins conditions)";
    return Status(AE_FILTER_SYNTAX, "Syntax error at position " + std::to_string(extra.Position) +
                                        " of the condition \"" + std::string(text) + "\": " + what);
  }
  return tree;
}

}  // namespace engine
