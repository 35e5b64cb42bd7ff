#include "engine/expr/ConditionLexer.h"

#include "engine/util/TextCase.h"

namespace engine {

namespace {

bool IsIdentifierStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
}
bool IsDigit(unsigned char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

ConditionLexer::ConditionLexer(std::string_view text, size_t start) : text_(text), at_(start) {
  current_ = Scan();
}

Token ConditionLexer::Next() {
  Token token = std::move(current_);
  current_ = Scan();
  return token;
}

bool ConditionLexer::PeekKeyword(std::string_view keyword) const {
  return current_.Kind == TokenKind::Identifier && EqualsIgnoringCase(current_.Text, keyword);
}

Token ConditionLexer::Scan() {
  while (at_ < text_.size() &&
         (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\r' || text_[at_] == '\n'))
    ++at_;
  Token token;
  token.Position = at_ + 1;
  if (at_ >= text_.size()) return token;
  const auto c = static_cast<unsigned char>(text_[at_]);
  auto single = [&](TokenKind kind, size_t length) {
    token.Kind = kind;
    token.Text = std::string(text_.substr(at_, length));
    at_ += length;
    return token;
  };
  auto next_is = [&](char expected) {
    return at_ + 1 < text_.size() && text_[at_ + 1] == expected;
  };

  if (IsIdentifierStart(c)) {
    const size_t begin = at_;
    while (at_ < text_.size() && (IsIdentifierStart(static_cast<unsigned char>(text_[at_])) ||
                                  IsDigit(static_cast<unsigned char>(text_[at_])))) {
      ++at_;
    }
    token.Kind = TokenKind::Identifier;
    token.Text = std::string(text_.substr(begin, at_ - begin));
    return token;
  }
  if (IsDigit(c) ||
      (c == '.' && at_ + 1 < text_.size() && IsDigit(static_cast<unsigned char>(text_[at_ + 1])))) {
    const size_t begin = at_;
    while (at_ < text_.size() && IsDigit(static_cast<unsigned char>(text_[at_]))) ++at_;
    if (at_ < text_.size() && text_[at_] == '.') {
      ++at_;
      while (at_ < text_.size() && IsDigit(static_cast<unsigned char>(text_[at_]))) ++at_;
    }
    if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
      size_t exponent = at_ + 1;
      if (exponent < text_.size() && (text_[exponent] == '+' || text_[exponent] == '-')) ++exponent;
      if (exponent < text_.size() && IsDigit(static_cast<unsigned char>(text_[exponent]))) {
        at_ = exponent;
        while (at_ < text_.size() && IsDigit(static_cast<unsigned char>(text_[at_]))) ++at_;
      }
    }
    token.Kind = TokenKind::Number;
    token.Text = std::string(text_.substr(begin, at_ - begin));
    return token;
  }
  if (c == '\'' || c == '"' || c == '[') {
    const char close = c == '[' ? ']' : static_cast<char>(c);
    const bool doubled_quote_escapes = c != '[';
    ++at_;
    std::string value;
    while (true) {
      if (at_ >= text_.size()) {
        token.Kind = TokenKind::Invalid;
        token.Text =
            c == '\'' ? "a text is not closed with '"
                      : (c == '"' ? "a name is not closed with \"" : "a name is not closed with ]");
        return token;
      }
      const char ch = text_[at_++];
      if (ch == close) {
        if (doubled_quote_escapes && at_ < text_.size() && text_[at_] == close) {
          value.push_back(close);
          ++at_;
          continue;
        }
        break;
      }
      value.push_back(ch);
    }
    token.Kind = c == '\'' ? TokenKind::Text : TokenKind::QuotedIdentifier;
    token.Text = std::move(value);
    return token;
  }
  switch (c) {
    case '(':
      return single(TokenKind::LeftParen, 1);
    case ')':
      return single(TokenKind::RightParen, 1);
    case ',':
      return single(TokenKind::Comma, 1);
    case ';':
      return single(TokenKind::Semicolon, 1);
    case '*':
      return single(TokenKind::Star, 1);
    case '.':
      return single(TokenKind::Dot, 1);
    case '+':
      return single(TokenKind::Plus, 1);
    case '-':
      return single(TokenKind::Minus, 1);
    case '=':
      return single(TokenKind::Equal, next_is('=') ? 2 : 1);
    case '<':
      if (next_is('>')) return single(TokenKind::NotEqual, 2);
      if (next_is('=')) return single(TokenKind::LessEqual, 2);
      return single(TokenKind::Less, 1);
    case '>':
      if (next_is('=')) return single(TokenKind::GreaterEqual, 2);
      return single(TokenKind::Greater, 1);
    case '!':
      if (next_is('=')) return single(TokenKind::NotEqual, 2);
      break;
    default:
      break;
  }
  token.Kind = TokenKind::Invalid;
  token.Text = std::string("unexpected character '") + static_cast<char>(c) + "'";
  ++at_;
  return token;
}

std::string DescribeToken(const Token& token) {
  switch (token.Kind) {
    case TokenKind::End:
      return "the end";
    case TokenKind::Text:
      return "the text '" + token.Text + "'";
    case TokenKind::QuotedIdentifier:
      return "the name [" + token.Text + "]";
    case TokenKind::Invalid:
      return token.Text;
    default:
      return "'" + token.Text + "'";
  }
}

}  // namespace engine
