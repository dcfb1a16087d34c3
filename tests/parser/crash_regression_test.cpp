// Hostile inputs for the tokenizer and the parser: each must give a tree or
// an error, never a crash, a hang or a sanitizer report.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "parser/arena.h"
#include "parser/lexer.h"
#include "parser/literals.h"
#include "parser/parse.h"

namespace quarn::py {
namespace {

namespace fs = std::filesystem;

// Tokenizes, decodes every literal and parses; returns whether it parsed.
bool exercise(std::string_view src) {
  if (auto tokens = tokenize(src)) {
    std::string value;
    bool is_bytes = false;
    for (const Token& t : *tokens) {
      std::string_view text = src.substr(t.start, t.end - t.start);
      value.clear();
      if (t.kind == Tok::String) (void)decode_string_token(text, value, is_bytes);
      if (t.kind == Tok::FStringMiddle) (void)decode_fstring_middle(text, false, value);
      if (t.kind == Tok::Number) (void)decode_number(text);
    }
  }
  Arena arena;
  return parse_python(src, arena).has_value();
}

// Inputs kept once the fault they found was fixed: chains and nestings just
// past the parser's limits, and the findings of scripts/fuzz.
TEST(CrashRegression, KeptFuzzerFindings) {
  fs::path dir = fs::path(QUARN_FIXTURES_DIR) / "parser" / "crashes";
  ASSERT_TRUE(fs::is_directory(dir));
  for (const auto& entry : fs::directory_iterator(dir)) {
    SCOPED_TRACE(entry.path().string());
    std::ifstream in(entry.path(), std::ios::binary);
    std::string src((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    (void)exercise(src);
  }
}

TEST(CrashRegression, DeepNesting) {
  for (char open : {'(', '[', '{'}) {
    SCOPED_TRACE(open);
    EXPECT_FALSE(exercise("x = " + std::string(100000, open)));
  }
  std::string fstrings;
  for (int i = 0; i < 5000; ++i) fstrings += "f'{";
  EXPECT_FALSE(exercise(fstrings));
  std::string blocks;
  for (int i = 0; i < 200; ++i) blocks += std::string(i, ' ') + "if x:\n";
  EXPECT_FALSE(exercise(blocks));
}

std::string repeat(std::string_view piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

// Deep trees without deep brackets: chains of prefix and infix operators,
// trailers and elif branches.
TEST(CrashRegression, LongChains) {
  const std::string cases[] = {
      "x = " + repeat("-", 100000) + "1\n",
      "x = " + repeat("not ", 100000) + "y\n",
      "x = " + repeat("await ", 100000) + "y\n",
      "x = " + repeat("lambda: ", 100000) + "1\n",
      "x = " + repeat("1 if 2 else ", 50000) + "3\n",
      "x = " + repeat("a ** ", 100000) + "b\n",
      "x = 1" + repeat(" + 1", 100000) + "\n",
      "x = a" + repeat(".b", 100000) + "\n",
      "x = a" + repeat("[0]", 100000) + "\n",
      "x = a" + repeat("()", 100000) + "\n",
      "x = " + repeat("a < ", 100000) + "b\n",
      "x = " + repeat("a and ", 100000) + "b\n",
      "x = " + repeat("*a, ", 100000) + "b\n",
      "x = " + repeat("'s' ", 100000) + "\n",
      "x = " + repeat("f'{a}' ", 50000) + "\n",
      "if x:\n pass\n" + repeat("elif y:\n pass\n", 100000),
      repeat("@d\n", 100000) + "def f(): pass\n",
      repeat("x = ", 100000) + "1\n",
      "match x:\n case " + repeat("a | ", 100000) + "b:\n  pass\n",
  };
  for (const auto& src : cases) {
    SCOPED_TRACE(src.substr(0, 40));
    (void)exercise(src);
  }
}

TEST(CrashRegression, RandomBytes) {
  std::mt19937 rng(20240607);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> length(0, 300);
  for (int round = 0; round < 2000; ++round) {
    std::string src(static_cast<std::size_t>(length(rng)), '\0');
    for (char& c : src) c = static_cast<char>(byte(rng));
    (void)exercise(src);
  }
}

// Random splices of Python fragments reach deeper than random bytes.
TEST(CrashRegression, RandomFragments) {
  using namespace std::string_view_literals;
  static const std::string_view kFragments[] = {
      "f'", "f\"", "rf'", "f'''", "'", "\"", "'''", "{", "}", "{{", "}}", ":", "!", "!r", "=", "x", "1", " ", "\n",
      "\\", "\\N{", "#", "(", ")", "[", "]", ",", ".", "0x", "1e", "_", "lambda", "if", "else", ":=", "\t", "\r",
      "def", "class", "match", "case", "async", "await", "yield", "*", "**", "->", "@", "\xC3\xA9", "\0"sv, "\xFF",
  };
  std::mt19937 rng(7);
  std::uniform_int_distribution<std::size_t> pick(0, std::size(kFragments) - 1);
  std::uniform_int_distribution<int> count(1, 40);
  for (int round = 0; round < 5000; ++round) {
    std::string src;
    for (int k = count(rng); k > 0; --k) src += kFragments[pick(rng)];
    (void)exercise(src);
  }
}

}  // namespace
}  // namespace quarn::py
