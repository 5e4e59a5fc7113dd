#include "runtime/values/expr_lexer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zuna::values {
namespace {

std::vector<Token> Lex(std::string_view text) {
  Lexer lexer(text);
  std::vector<Token> tokens;
  while (true) {
    Token token = lexer.Next();
    const TokenType type = token.type;
    tokens.push_back(std::move(token));
    if (type == TokenType::kEnd || type == TokenType::kError) break;
  }
  return tokens;
}

Token LexOne(std::string_view text) { return Lex(text).front(); }

TEST(ExprLexerTest, IntegersInEachRadix) {
  struct Row {
    const char* text;
    int32_t value;
  } rows[] = {
      {"0", 0},
      {"007", 7},
      {"2147483647", 2147483647},
      {"0FFH", 255},
      {"0ffh", 255},
      {"17O", 15},
      {"17o", 15},
      {"101B", 5},
      {"0B", 0},
      {"1B", 1},
      {"7FFFFFFFH", 2147483647},
      // Up to 32 bits, hexadecimal and octal stay LONG bit patterns.
      {"0FFFFFFFFH", -1},
      {"80000000H", -2147483647 - 1},
      {"37777777777O", -1},
      {"00000000000000FFH", 255},
      {"1111111111111111111111111111111B", 2147483647},  // 31 digits
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const Token token = LexOne(row.text);
    ASSERT_EQ(token.type, TokenType::kLong);
    EXPECT_EQ(token.long_value, row.value);
    EXPECT_EQ(token.text, row.text);
  }
}

TEST(ExprLexerTest, LargeIntegersAndDecimalsBecomeReal) {
  struct Row {
    const char* text;
    double value;
  } rows[] = {
      {"99999999999", 99999999999.0},
      {"2147483648", 2147483648.0},  // 10 digits, beyond a LONG
      {"2999999999", 2999999999.0},
      {"3000000000", 3000000000.0},
      {"100000000H", 4294967296.0},    // 9 hexadecimal digits
      {"40000000000O", 4294967296.0},  // 11 octal digits starting with 4
      {"10000000000000000000000000000000B", 2147483648.0},  // 32 digits
      {"1.5", 1.5},
      {".25", 0.25},
      {"1e3", 1000.0},
      {"1E+3", 1000.0},
      {"2.5e-1", 0.25},
      {"1e-400", 0.0},  // underflow: 0
      {"1e308", 1e308},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const Token token = LexOne(row.text);
    ASSERT_EQ(token.type, TokenType::kReal);
    EXPECT_DOUBLE_EQ(token.real_value, row.value);
  }
  // "12." is the integer 12; the '.' belongs to the number.
  const std::vector<Token> tokens = Lex("12.+1");
  ASSERT_EQ(tokens[0].type, TokenType::kLong);
  EXPECT_EQ(tokens[0].text, "12.");
  EXPECT_EQ(tokens[1].op, Op::kAdd);
}

TEST(ExprLexerTest, MalformedNumbersAreErrors) {
  const char* bad[] = {".",    "12abc", "12B",   "19O",   "1e", "1e+",
                       "1.5H", "1e400", "1e999", "9e401", "12_"};
  for (const char* text : bad) {
    SCOPED_TRACE(text);
    const Token token = LexOne(text);
    EXPECT_EQ(token.type, TokenType::kError);
    EXPECT_EQ(token.pos, 0u);
  }
  // A run of 400 digits overflows a double.
  EXPECT_EQ(LexOne(std::string(400, '9')).type, TokenType::kError);
}

TEST(ExprLexerTest, StringLiterals) {
  Token token = LexOne("'it''s'");
  ASSERT_EQ(token.type, TokenType::kString);
  EXPECT_EQ(token.value, "it's");
  EXPECT_EQ(LexOne("''").value, "");
  EXPECT_EQ(LexOne("''''").value, "'");
  EXPECT_EQ(LexOne("'a b'").value, "a b");

  const std::vector<Token> tokens = Lex("1 + 'abc");
  EXPECT_EQ(tokens.back().type, TokenType::kError);
  EXPECT_EQ(tokens.back().pos, 4u);
  EXPECT_EQ(LexOne("'abc''").type, TokenType::kError);
}

TEST(ExprLexerTest, Pictures) {
  struct Row {
    const char* text;
    const char* picture;
  } rows[] = {
      {"@d12)", "@d12"},
      {"@D6B,1", "@D6B"},
      {"@s30 x", "@s30"},
      {"@P(###) ###P+1", "@P(###) ###P"},
      {"@p##-##pb)", "@p##-##pb"},
      {"@K#,#K", "@K#,#K"},
      {"@n_4)", "@n_4"},
      {"@N~1, 2~9.2)", "@N~1, 2~9.2"},
      {"@N(12.2))", "@N(12.2)"},
      {"@E12.2", "@E12.2"},
      {"@", "@"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const Token token = LexOne(row.text);
    ASSERT_EQ(token.type, TokenType::kPicture);
    EXPECT_EQ(token.text, row.picture);
  }
  EXPECT_EQ(LexOne("@P###").type, TokenType::kError);
  EXPECT_EQ(LexOne("@N~abc").type, TokenType::kError);
}

TEST(ExprLexerTest, NamesAndKeywords) {
  struct Row {
    const char* text;
    const char* name;
  } rows[] = {
      {"zun:data+1", "zun:data"},
      {"?Browse:1)", "?Browse:1"},
      {"_x9", "_x9"},
      {"a$b", "a$"},
      {"name#", "name#"},
      {"q\"", "q\""},
      {"a:b:c", "a:b:c"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const Token token = LexOne(row.text);
    ASSERT_EQ(token.type, TokenType::kName);
    EXPECT_EQ(token.text, row.name);
  }
  EXPECT_EQ(KeywordOperator("and"), Op::kAnd);
  EXPECT_EQ(KeywordOperator("Or"), Op::kOr);
  EXPECT_EQ(KeywordOperator("XOR"), Op::kXor);
  EXPECT_EQ(KeywordOperator("not"), Op::kNot);
  EXPECT_EQ(KeywordOperator("nota"), Op::kNone);
  EXPECT_EQ(KeywordOperator("an"), Op::kNone);
}

TEST(ExprLexerTest, OperatorsAndPositions) {
  const std::vector<Token> tokens = Lex(" a[1:2] ^ (b) , c % d & e <>~");
  const TokenType types[] = {
      TokenType::kName,       TokenType::kLeftBracket, TokenType::kLong,
      TokenType::kOperator,   TokenType::kLong,        TokenType::kRightBracket,
      TokenType::kOperator,   TokenType::kLeftParen,   TokenType::kName,
      TokenType::kRightParen, TokenType::kOperator,    TokenType::kName,
      TokenType::kOperator,   TokenType::kName,        TokenType::kOperator,
      TokenType::kName,       TokenType::kOperator,    TokenType::kOperator,
      TokenType::kOperator,   TokenType::kEnd};
  ASSERT_EQ(tokens.size(), std::size(types));
  for (size_t i = 0; i < tokens.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(tokens[i].type, types[i]);
  }
  EXPECT_EQ(tokens[0].pos, 1u);
  EXPECT_EQ(tokens[3].op, Op::kColon);
  EXPECT_EQ(tokens[6].op, Op::kPower);
  EXPECT_EQ(tokens[10].op, Op::kComma);
  EXPECT_EQ(tokens[12].op, Op::kRemainder);
  EXPECT_EQ(tokens[14].op, Op::kConcat);
  EXPECT_EQ(tokens[16].op, Op::kLess);
  EXPECT_EQ(tokens[17].op, Op::kGreater);
  EXPECT_EQ(tokens[18].op, Op::kNot);
  EXPECT_EQ(tokens[18].pos, 28u);
  EXPECT_EQ(tokens[19].pos, 29u);

  for (const char* bad : {"#", "$", "\"", "{", "!", "\\", ";"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(LexOne(bad).type, TokenType::kError);
  }
}

TEST(ExprLexerTest, RawSqlArgument) {
  Lexer lexer("SQL ( a(b) = ')(' ) + 1");
  ASSERT_EQ(lexer.Next().type, TokenType::kName);
  std::string_view raw;
  size_t error_pos = 0;
  ASSERT_TRUE(lexer.ReadParenthesisedRaw(raw, error_pos));
  EXPECT_EQ(raw, " a(b) = ')(' ");
  EXPECT_EQ(lexer.Next().op, Op::kAdd);

  Lexer unterminated("SQL(a(b)");
  unterminated.Next();
  EXPECT_FALSE(unterminated.ReadParenthesisedRaw(raw, error_pos));
  EXPECT_EQ(error_pos, 8u);
}

}  // namespace
}  // namespace zuna::values
