#include "engine/sql/SqlParser.h"

#include <charconv>

#include "engine/expr/ConditionLexer.h"
#include "engine/util/SqlErrors.h"
#include "engine/util/TableErrorCodes.h"
#include "engine/util/TextCase.h"

namespace engine {

namespace {

constexpr std::string_view kMinWordLength = "MIN_WORD_LENGTH";
constexpr std::string_view kMaxWordLength = "MAX_WORD_LENGTH";
constexpr std::string_view kKnownOptions = "MIN_WORD_LENGTH n, MAX_WORD_LENGTH n";

// Words that end a name where a name is expected; written [ON] they are names.
bool IsReserved(const Token& token) {
  if (token.Kind != TokenKind::Identifier) return false;
  for (std::string_view keyword : {"CREATE", "INDEX", "ON", "CONTENT", "DELETE", "FROM", "WHERE"}) {
    if (EqualsIgnoringCase(token.Text, keyword)) return true;
  }
  return false;
}

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text), lexer_(text) {}

  Result<SqlStatement> Run(size_t* error_position) {
    SqlStatement statement;
    statement.Text = std::string(text_);
    const Token& first = lexer_.Peek();
    bool parsed = false;
    if (lexer_.PeekKeyword("CREATE")) {
      SqlCreateContentIndex create;
      parsed = ParseCreate(create);
      statement.Body = std::move(create);
    } else if (lexer_.PeekKeyword("DELETE")) {
      SqlDelete del;
      parsed = ParseDelete(del);
      statement.Body = std::move(del);
    } else if (first.Kind == TokenKind::End) {
      Error(first.Position, "a statement is expected (CREATE INDEX or DELETE FROM)");
    } else if (first.Kind == TokenKind::Invalid) {
      Error(first.Position, first.Text);
    } else {
      Error(first.Position, DescribeToken(first) +
                                " does not begin a statement this engine runs"
                                " (CREATE INDEX ... CONTENT or DELETE FROM)");
    }
    if (parsed) parsed = ParseEnd();
    if (!parsed) {
      if (error_position) *error_position = error_position_;
      return status_;
    }
    return statement;
  }

 private:
  // Keeps the first error.
  bool Error(size_t position, const std::string& what, int code = AE_SQL_SYNTAX) {
    if (status_) {
      error_position_ = position;
      status_ = Status(code, std::string(code == AE_SQL_SYNTAX ? "Syntax error" : "Error") +
                                 " at position " + std::to_string(position) +
                                 " of the statement \"" + std::string(text_) + "\": " + what);
    }
    return false;
  }

  // An error at the next token: `expected` is expected, not that token.
  bool Expected(const std::string& expected) {
    const Token& token = lexer_.Peek();
    if (token.Kind == TokenKind::Invalid) return Error(token.Position, token.Text);
    return Error(token.Position, expected + " is expected, not " + DescribeToken(token));
  }

  bool Keyword(std::string_view keyword, const std::string& after) {
    if (!lexer_.PeekKeyword(keyword)) return Expected(std::string(keyword) + " " + after);
    lexer_.Next();
    return true;
  }

  bool Name(const std::string& what, std::string& name, size_t& position) {
    const Token& token = lexer_.Peek();
    if ((token.Kind != TokenKind::Identifier && token.Kind != TokenKind::QuotedIdentifier) ||
        IsReserved(token)) {
      if (IsReserved(token)) {
        return Error(token.Position, what + " is expected, not the keyword " + token.Text +
                                         " (write a name of that spelling as [" + token.Text +
                                         "])");
      }
      return Expected(what);
    }
    if (token.Kind == TokenKind::QuotedIdentifier && token.Text.empty()) {
      return Error(token.Position, what + " is empty");
    }
    position = token.Position;
    name = lexer_.Next().Text;
    return true;
  }

  // A table name, with the extension when one is written: "Contacts.ADT"
  // comes as a name, a dot and a name, all touching.
  bool TableName(SqlTableName& table) {
    const bool quoted = lexer_.Peek().Kind == TokenKind::QuotedIdentifier;
    if (!Name("a table name", table.Name, table.Position)) return false;
    if (quoted) return true;
    size_t end = table.Position + table.Name.size();  // 1-based position after the name
    while (true) {
      const Token& next = lexer_.Peek();
      if (next.Position != end) break;
      if (next.Kind == TokenKind::Dot) {
        const Token dot = lexer_.Next();
        const Token& part = lexer_.Peek();
        if (part.Position != dot.Position + 1 ||
            (part.Kind != TokenKind::Identifier && part.Kind != TokenKind::Number)) {
          return Error(dot.Position, "the table name \"" + table.Name +
                                         ".\" ends with a dot; an extension is expected");
        }
        table.Name += '.';
        table.Name += lexer_.Next().Text;
      } else if (next.Kind == TokenKind::Number && next.Text.front() == '.') {
        table.Name += lexer_.Next().Text;  // "T.1": the lexer reads ".1" as a number
      } else {
        break;
      }
      end = table.Position + table.Name.size();
    }
    return true;
  }

  bool ParseCreate(SqlCreateContentIndex& create) {
    lexer_.Next();  // CREATE
    if (!Keyword("INDEX", "is expected after CREATE (the engine creates full-text indexes only)"))
      return false;
    if (!Name("an index name", create.IndexName, create.IndexNamePosition)) return false;
    if (!Keyword("ON", "is expected after the index name")) return false;
    if (!TableName(create.Table)) return false;
    if (lexer_.Peek().Kind != TokenKind::LeftParen) {
      return Expected("'(' opening the indexed fields");
    }
    lexer_.Next();
    while (true) {
      std::string field;
      size_t position = 0;
      if (!Name("a field name", field, position)) return false;
      create.Fields.push_back(field);
      const Token& next = lexer_.Peek();
      if (next.Kind == TokenKind::Semicolon) {
        lexer_.Next();
        continue;
      }
      if (next.Kind == TokenKind::RightParen) {
        lexer_.Next();
        break;
      }
      if (next.Kind == TokenKind::Comma) {
        return Error(next.Position, "the fields are separated by ';', not ','");
      }
      return Expected("';' or ')' after the field " + field);
    }
    for (size_t i = 0; i < create.Fields.size(); ++i) {
      create.Expression += (i == 0 ? "" : ";") + create.Fields[i];
    }
    if (!Keyword("CONTENT",
                 "is expected after the indexed fields (only full-text indexes are "
                 "created with SQL)")) {
      return false;
    }
    return ParseContentOptions(create.Words);
  }

  bool ParseContentOptions(FullTextWordOptions& words) {
    size_t min_at = 0, max_at = 0;  // positions of the options given
    while (true) {
      const Token& token = lexer_.Peek();
      if (token.Kind == TokenKind::End || token.Kind == TokenKind::Semicolon) break;
      if (token.Kind == TokenKind::Text) {
        SplitNoiseWords(lexer_.Next().Text, words.NoiseWords);
        const Token& after = lexer_.Peek();
        if (after.Kind != TokenKind::End && after.Kind != TokenKind::Semicolon) {
          if (after.Kind == TokenKind::Invalid) return Error(after.Position, after.Text);
          return Error(after.Position, "the noise word list ends the statement; " +
                                           DescribeToken(after) + " is not expected after it");
        }
        break;
      }
      if (token.Kind == TokenKind::Invalid) return Error(token.Position, token.Text);
      const bool is_min = lexer_.PeekKeyword(kMinWordLength);
      if (!is_min && !lexer_.PeekKeyword(kMaxWordLength)) {
        const std::string option =
            token.Kind == TokenKind::Identifier ? token.Text : DescribeToken(token);
        return Error(token.Position, "the content option " + option +
                                         " is not known (known: " + std::string(kKnownOptions) +
                                         ", then the noise words in quotes)");
      }
      size_t& given_at = is_min ? min_at : max_at;
      const std::string name = AsciiUppered(token.Text);
      if (given_at != 0) {
        return Error(token.Position,
                     name + " is given twice (first at position " + std::to_string(given_at) + ")");
      }
      given_at = lexer_.Next().Position;
      if (lexer_.Peek().Kind == TokenKind::Equal) lexer_.Next();
      uint32_t value = 0;
      if (!WordLength(name, value)) return false;
      (is_min ? words.MinWordLength : words.MaxWordLength) = value;
    }
    if (words.MinWordLength > words.MaxWordLength) {
      const bool max_given = max_at != 0;
      return Error(std::max(min_at, max_at),
                   std::string(kMinWordLength) + " " + std::to_string(words.MinWordLength) +
                       " is more than " + std::string(kMaxWordLength) + " " +
                       std::to_string(words.MaxWordLength) + (max_given ? "" : " (its default)"),
                   AE_SQL_VALUE);
    }
    return true;
  }

  bool WordLength(const std::string& option, uint32_t& value) {
    const Token& token = lexer_.Peek();
    const std::string& digits = token.Text;
    const bool whole = token.Kind == TokenKind::Number &&
                       digits.find_first_not_of("0123456789") == std::string::npos;
    if (!whole) return Expected("a whole number after " + option);
    uint64_t number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    const bool in_range = error == std::errc() && end == digits.data() + digits.size() &&
                          number >= 1 && number <= kMaxFullTextWordLength;
    if (!in_range) {
      return Error(
          token.Position,
          option + " " + digits + " is outside 1.." + std::to_string(kMaxFullTextWordLength),
          AE_SQL_VALUE);
    }
    value = static_cast<uint32_t>(number);
    lexer_.Next();
    return true;
  }

  static void SplitNoiseWords(std::string_view list, std::vector<std::string>& words) {
    size_t at = 0;
    while (at < list.size()) {
      const size_t begin = list.find_first_not_of(" \t\r\n", at);
      if (begin == std::string_view::npos) break;
      const size_t end = std::min(list.find_first_of(" \t\r\n", begin), list.size());
      words.emplace_back(list.substr(begin, end - begin));
      at = end;
    }
  }

  bool ParseDelete(SqlDelete& del) {
    lexer_.Next();  // DELETE
    if (!Keyword("FROM", "is expected after DELETE")) return false;
    if (!TableName(del.Table)) return false;
    if (!lexer_.PeekKeyword("WHERE")) return true;
    lexer_.Next();
    const size_t where_at = lexer_.Peek().Position;
    if (!NestingWithinLimit()) return false;
    Result<ConditionTree> tree = ParseConditionFrom(lexer_);
    if (!tree) return ConditionError(tree.status(), where_at);
    del.Where = std::move(tree.value());
    // The condition as written: up to the token after it, without the blanks before that.
    const size_t after = lexer_.Peek().Position - 1;
    std::string_view where = text_.substr(where_at - 1, after - (where_at - 1));
    while (!where.empty() && (where.back() == ' ' || where.back() == '\t' || where.back() == '\r' ||
                              where.back() == '\n')) {
      where.remove_suffix(1);
    }
    del.WhereText = std::string(where);
    return true;
  }

  // The condition parser descends once per parenthesis and NOT; refuse a
  // nesting deep enough to exhaust the stack before it starts.
  bool NestingWithinLimit() {
    ConditionLexer probe = lexer_;
    std::vector<size_t> open;  // per open "(": the NOTs right before it, plus itself
    size_t depth = 0, nots = 0;
    for (Token token = probe.Next();
         token.Kind != TokenKind::End && token.Kind != TokenKind::Invalid; token = probe.Next()) {
      if (token.Kind == TokenKind::Identifier && EqualsIgnoringCase(token.Text, "NOT")) {
        ++nots;
      } else if (token.Kind == TokenKind::LeftParen) {
        open.push_back(nots + 1);
        depth += nots + 1;
        nots = 0;
      } else {
        if (token.Kind == TokenKind::RightParen && !open.empty()) {
          depth -= open.back();
          open.pop_back();
        }
        nots = 0;
      }
      if (depth + nots > kMaxConditionNesting) {
        return Error(token.Position, "the condition nests deeper than " +
                                         std::to_string(kMaxConditionNesting) +
                                         " parentheses and NOTs");
      }
    }
    return true;
  }

  // Restates an error of the condition parser as an error of the statement.
  bool ConditionError(const Status& status, size_t where_at) {
    const std::string& message = status.Message();
    const std::string head = "Syntax error at position ";
    const std::string middle = " of the condition \"" + std::string(text_) + "\": ";
    if (message.compare(0, head.size(), head) == 0) {
      size_t position = 0;
      const char* digits = message.data() + head.size();
      const auto [end, error] = std::from_chars(digits, message.data() + message.size(), position);
      const size_t rest = static_cast<size_t>(end - message.data());
      if (error == std::errc() && message.compare(rest, middle.size(), middle) == 0) {
        return Error(position, message.substr(rest + middle.size()) + " (in the condition)");
      }
    }
    return Error(where_at, message);
  }

  bool ParseEnd() {
    if (lexer_.Peek().Kind == TokenKind::Semicolon) {
      lexer_.Next();
      if (lexer_.Peek().Kind != TokenKind::End) {
        return Error(lexer_.Peek().Position, "nothing may follow the ';' that ends the statement");
      }
      return true;
    }
    if (lexer_.Peek().Kind == TokenKind::End) return true;
    const Token& token = lexer_.Peek();
    if (token.Kind == TokenKind::Invalid) return Error(token.Position, token.Text);
    return Error(token.Position,
                 DescribeToken(token) + " is not expected after the end of the statement");
  }

  std::string_view text_;
  ConditionLexer lexer_;
  Status status_;
  size_t error_position_ = 0;
};

}  // namespace

Result<SqlStatement> ParseSql(std::string_view text, size_t* error_position) {
  return Parser(text).Run(error_position);
}

}  // namespace engine
