// Tokens of conditions (filters, and the WHERE part of SQL statements, which
// reuse this lexer and the condition parser).
//
// Identifiers are letters, digits and "_" (not starting with a digit), or any
// text in [brackets] or "double quotes"; keywords are identifiers compared
// ignoring case. Texts are in 'single quotes', a quote inside written twice.
// Numbers are decimal, with an optional fraction and exponent. Positions
// count characters of the whole text from 1.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace engine {

enum class TokenKind {
  End,
  Identifier,        // Text: the name as written
  QuotedIdentifier,  // Text: the name inside the brackets or quotes
  Number,            // Text: the digits as written
  Text,              // Text: the value, quotes undone
  LeftParen,
  RightParen,
  Comma,
  Semicolon,
  Star,
  Dot,
  Plus,
  Minus,
  Equal,
  NotEqual,  // <> or !=
  Less,
  Greater,
  LessEqual,
  GreaterEqual,
  Invalid,  // Text: what is wrong
};

struct Token {
  TokenKind Kind = TokenKind::End;
  std::string Text;
  size_t Position = 0;  // 1-based
};

class ConditionLexer {
 public:
  // Reads `text` from the 0-based offset `start` on.
  explicit ConditionLexer(std::string_view text, size_t start = 0);

  const Token& Peek() const { return current_; }
  Token Next();

  // Whether the next token is the keyword `keyword` (an unquoted identifier).
  bool PeekKeyword(std::string_view keyword) const;

  std::string_view Source() const { return text_; }

 private:
  Token Scan();

  std::string_view text_;
  size_t at_;
  Token current_;
};

// A short description of a token for error messages ("'AND'", "the end").
std::string DescribeToken(const Token& token);

}  // namespace engine
