#include "parser/literals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <string_view>

namespace quarn::py {
namespace {

struct StringCase {
  std::string_view token;
  std::string_view value;
  bool bytes;
};

TEST(Literals, StringValues) {
  using namespace std::string_view_literals;
  const StringCase cases[] = {
      {"'abc'", "abc", false},
      {"\"\"", "", false},
      {"''''''", "", false},
      {"'''a\"b'''", "a\"b", false},
      {"'a\\nb\\tc'", "a\nb\tc", false},
      {"'\\a\\b\\f\\n\\r\\t\\v\\\\\\'\\\"'", "\a\b\f\n\r\t\v\\'\"", false},
      {"'\\x41\\x6a'", "Aj", false},
      {"'\\u00e9\\U0001F600'", "\xC3\xA9\xF0\x9F\x98\x80", false},
      {"'\\0\\07\\101\\1011'", "\0\a"
                               "AA1"sv,
       false},
      {"'\\777'", "\xC7\xBF", false},
      {"'\\d\\q\\8'", "\\d\\q\\8", false},
      // Each surrogate, paired or not, becomes one U+FFFD.
      {"'x\\ud800y\\udfff\\U0000dbff\\udc00'", "x\xEF\xBF\xBDy\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", false},
      {"'a\\\nb'", "ab", false},
      {"'a\\\r\nb'", "ab", false},
      {"'''a\r\nb\rc'''", "a\nb\nc", false},
      {"'\\N{DIGIT ONE}\\N{latin small letter a with acute}'", "1\xC3\xA1", false},
      {"'\\N{LF}\\N{BOM}'", "\n\xEF\xBB\xBF", false},
      {"'\\N{CJK UNIFIED IDEOGRAPH-4E00}\\N{HANGUL SYLLABLE GAG}\\N{HANGUL SYLLABLE A}'",
       "\xE4\xB8\x80\xEA\xB0\x81\xEC\x95\x84", false},
      {"u'\\xe9'", "\xC3\xA9", false},
      {"r'\\n\\x'", "\\n\\x", false},
      {"R'\\''", "\\'", false},
      {"r'''a\r\nb'''", "a\nb", false},
      {"b'a\\x00\\xff\\377\\777'", "a\0\xFF\xFF\xFF"sv, true},
      {"b'\\u00e9\\N{DIGIT ONE}'", "\\u00e9\\N{DIGIT ONE}", true},
      {"Rb'\\x'", "\\x", true},
      {"'\xC3\xA9\xE2\x82\xAC'", "\xC3\xA9\xE2\x82\xAC", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.token);
    std::string out;
    bool is_bytes = !c.bytes;
    auto error = decode_string_token(c.token, out, is_bytes);
    ASSERT_FALSE(error.has_value()) << error->message;
    EXPECT_EQ(out, c.value);
    EXPECT_EQ(is_bytes, c.bytes);
  }
}

struct ErrorCase {
  std::string_view token;
  std::string_view message;
  std::uint32_t offset;
};

TEST(Literals, StringErrors) {
  const ErrorCase cases[] = {
      {"'ab\\x4'", "truncated \\xXX escape", 3},
      {"b'\\xg0'", "truncated \\xXX escape", 2},
      {"'\\u00e'", "truncated \\uXXXX escape", 1},
      {"'\\U0001F60'", "truncated \\UXXXXXXXX escape", 1},
      {"'\\U00110000'", "illegal Unicode character", 1},
      {"'\\N{NO SUCH NAME}'", "unknown Unicode character name", 1},
      {"'\\N{cjk unified ideograph-4E00}'", "unknown Unicode character name", 1},
      {"'\\N{CJK UNIFIED IDEOGRAPH-A000}'", "unknown Unicode character name", 1},
      {"'\\N{HANGUL SYLLABLE XYZ}'", "unknown Unicode character name", 1},
      {"'\\N{}'", "malformed \\N character escape", 1},
      {"'\\N'", "malformed \\N character escape", 1},
      {"'x\\N{DIGIT ONE'", "malformed \\N character escape", 2},
      {"b'\xC3\xA9'", "bytes can only contain ASCII literal characters", 2},
      {"rb'''a\xC3\xA9'''", "bytes can only contain ASCII literal characters", 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.token);
    std::string out;
    bool is_bytes = false;
    auto error = decode_string_token(c.token, out, is_bytes);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->message, c.message);
    EXPECT_EQ(error->offset, c.offset);
  }
}

TEST(Literals, Prefixes) {
  StringPrefix p = string_prefix("Rb'''x'''");
  EXPECT_TRUE(p.raw && p.bytes && !p.fstring && !p.unicode);
  EXPECT_EQ(p.length, 2u);
  EXPECT_EQ(p.quote_len, 3u);
  EXPECT_EQ(p.quote, '\'');

  p = string_prefix("fR\"");  // an FStringStart token
  EXPECT_TRUE(p.raw && p.fstring && !p.bytes);
  EXPECT_EQ(p.quote_len, 1u);
  EXPECT_EQ(p.quote, '"');

  EXPECT_EQ(string_prefix("f\"\"\"").quote_len, 3u);
  EXPECT_EQ(string_prefix("''").quote_len, 1u);
  EXPECT_TRUE(string_prefix("u''").unicode);
}

struct MiddleCase {
  std::string_view text;
  bool raw;
  std::string_view value;
};

TEST(Literals, FStringMiddles) {
  const MiddleCase cases[] = {
      {"a{{b}}c", false, "a{b}c"},
      {"{{", false, "{"},
      {"\\n\\N{DIGIT ONE}", false, "\n1"},
      {"\\N{DIGIT ONE}", true, "\\N{DIGIT ONE}"},
      {"\\", false, "\\"},
      {"\\{{", false, "\\{"},
      {"\\n{{", true, "\\n{"},
      {">10.2f", false, ">10.2f"},
      {"a\r\nb", false, "a\nb"},
      {"\\ud800{{", false, "\xEF\xBF\xBD{"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string out;
    auto error = decode_fstring_middle(c.text, c.raw, out);
    ASSERT_FALSE(error.has_value()) << error->message;
    EXPECT_EQ(out, c.value);
  }
  std::string out;
  auto error = decode_fstring_middle("ab\\x4", false, out);
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->offset, 2u);
}

struct IntCase {
  std::string_view text;
  std::string_view decimal;
};

TEST(Literals, Integers) {
  const IntCase cases[] = {
      {"0", "0"},
      {"00", "0"},
      {"0_0", "0"},
      {"1_000", "1000"},
      {"123456789012345678901234567890", "123456789012345678901234567890"},
      {"0x0", "0"},
      {"0xff", "255"},
      {"0XFF_FF", "65535"},
      {"0x_1", "1"},
      {"0o777", "511"},
      {"0b1010", "10"},
      {"0xffffffffffffffff", "18446744073709551615"},
      {"0x10000000000000000", "18446744073709551616"},
      {"0o1777777777777777777777", "18446744073709551615"},
      {"0x3b9aca00", "1000000000"},
      {"0xde0b6b3a7640000", "1000000000000000000"},
      {"0x" "1" "00000000" "00000000" "00000000" "00000000", "340282366920938463463374607431768211456"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto n = decode_number(c.text);
    ASSERT_TRUE(n.has_value()) << n.error().message;
    EXPECT_EQ(n->kind, NumberLiteral::Kind::Int);
    EXPECT_EQ(n->decimal, c.decimal);
  }

  EXPECT_TRUE(decode_number(std::string(4300, '7')).has_value());
  auto too_long = decode_number(std::string(4301, '7'));
  ASSERT_FALSE(too_long.has_value());
  EXPECT_NE(too_long.error().message.find("4301 digits"), std::string::npos);
  EXPECT_TRUE(decode_number(std::string(5000, '0')).has_value());

  auto big_hex = decode_number("0x" + std::string(3000, 'f'));
  ASSERT_TRUE(big_hex.has_value());
  EXPECT_EQ(big_hex->decimal.size(), 3613u);  // 16**3000 has 3613 decimal digits
  EXPECT_EQ(big_hex->decimal.back(), '5');
  EXPECT_TRUE(decode_number("0x1" + std::string(20000, '0'))->decimal.empty());
}

struct FloatCase {
  std::string_view text;
  NumberLiteral::Kind kind;
  double value;
};

TEST(Literals, FloatsAndImaginaries) {
  using K = NumberLiteral::Kind;
  const double inf = std::numeric_limits<double>::infinity();
  const FloatCase cases[] = {
      {"1.5", K::Float, 1.5},
      {"1.", K::Float, 1.0},
      {".5", K::Float, 0.5},
      {"1e5", K::Float, 1e5},
      {"1E-5", K::Float, 1e-5},
      {"1_0.0_1e1_0", K::Float, 10.01e10},
      {"09.5", K::Float, 9.5},
      {"0.1", K::Float, 0.1},
      {"0.30000000000000004", K::Float, 0.30000000000000004},
      {"9007199254740993.0", K::Float, 9007199254740992.0},
      {"1.7976931348623157e308", K::Float, 1.7976931348623157e308},
      {"1e400", K::Float, inf},
      {"1e-400", K::Float, 0.0},
      {"4.9e-324", K::Float, 4.9e-324},
      {"1j", K::Complex, 1.0},
      {"00j", K::Complex, 0.0},
      {"1.5J", K::Complex, 1.5},
      {"1e3j", K::Complex, 1000.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto n = decode_number(c.text);
    ASSERT_TRUE(n.has_value()) << n.error().message;
    EXPECT_EQ(n->kind, c.kind);
    EXPECT_EQ(n->value, c.value);
  }
  EXPECT_FALSE(decode_number("").has_value());
  EXPECT_FALSE(decode_number("abc").has_value());
  EXPECT_FALSE(decode_number("0xz").has_value());
}

}  // namespace
}  // namespace quarn::py
