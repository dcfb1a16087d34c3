// End-to-end runs of `quarn check` on input built to break it: configurations
// nested thousands of levels deep or chained by thousands of profiles, odd
// option values, a `ruff` that prints a byte-order mark, string literals
// holding lone surrogates, control characters in literals and file names.
// Each must end in the normal report or in one clean error.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <iterator>

#include "config/config.h"
#include "e2e/run_quarn.h"

namespace quarn::test {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kClean = "\"\"\"A clean module.\"\"\"\n\nVALUE = 1\n";
constexpr std::string_view kPrintCall = "print(1)\n";
constexpr std::string_view kPrintFinding = "[low] QN405 a.py:1:1 \u2014 print() used for debugging\n";

std::string repeat(std::string_view piece, std::size_t times) {
  std::string out;
  out.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i) out += piece;
  return out;
}

// `parts` key parts `a` joined by `separator`.
std::string dotted(std::size_t parts, std::string_view separator = ".") {
  return "a" + repeat(std::string(separator) + "a", parts - 1);
}

class HostileInput : public ProjectTest {};

// The error for a key part at `column` of line `line` of quarn.toml, which
// reads `text`, one `a` wide.
std::string deep_key_error(std::size_t line, std::size_t column, std::string_view text) {
  std::string number = std::to_string(line);
  std::string gutter(number.size(), ' ');
  return fmt::format(
      "error: parse config quarn.toml: TOML parse error at line {}, column {}\n{} |\n{} | {}\n{} | {}^\n"
      "key nested deeper than {} levels\n",
      line, column, gutter, number, text, gutter, std::string(column - 1, ' '), MAX_KEY_DEPTH);
}

// Keys nested tens of thousands of levels deep used to overflow the stack
// inside the TOML library; past MAX_KEY_DEPTH they are refused at the first
// part too deep.
TEST_F(HostileInput, KeysNestedTooDeep) {
  write("a.py", kClean);
  const std::size_t limit = MAX_KEY_DEPTH;
  const std::string key = dotted(50000);
  const std::string header = "[" + dotted(60000) + "]";
  const std::string table_array = "[[" + dotted(60000, " . ") + "]]";
  const std::string inline_table = "x = {y = 1, " + dotted(200000) + " = 1}";
  const std::string table_arrays_line = "[[" + dotted(limit + 1) + "]]";
  const std::string split_array = "  {" + dotted(limit) + " = 1},";
  struct Case {
    std::string toml;
    std::string err;
  };
  const Case cases[] = {
      {"junk." + key + " = 1\n", deep_key_error(1, 4 + 2 * limit, "junk." + key + " = 1")},
      {header + "\n", deep_key_error(1, 2 + 2 * limit, header)},
      {table_array + "\n", deep_key_error(1, 3 + 4 * limit, table_array)},
      {inline_table + "\n", deep_key_error(1, 13 + 2 * (limit - 1), inline_table)},
      // Every header an array of tables: the tree is twice as deep as the
      // count of parts, and still refused only past the limit.
      {[&] {
         std::string toml;
         for (std::size_t parts = 1; parts <= limit + 1; ++parts) toml += "[[" + dotted(parts) + "]]\n";
         return toml;
       }(),
       deep_key_error(limit + 1, 3 + 2 * limit, table_arrays_line)},
      // Array elements sit one level below their array.
      {"x = [\n  1,\n" + split_array + "\n]\n", deep_key_error(3, 2 + 2 * (limit - 1), split_array)},
      // An earlier syntax error is still the one reported.
      {"x = = 1\n" + header + "\n",
       "error: parse config quarn.toml: TOML parse error at line 1, column 5\n"
       "  |\n"
       "1 | x = = 1\n"
       "  |     ^^^\n"
       "Error while parsing value: could not determine value type\n"},
  };
  for (const auto& c : cases) {
    write("quarn.toml", c.toml);
    QuarnRun run = check({"a.py"});
    EXPECT_EQ(run.status, 2) << c.toml.substr(0, 40);
    EXPECT_EQ(run.out, "") << c.toml.substr(0, 40);
    EXPECT_EQ(run.err, c.err) << c.toml.substr(0, 40);
  }
}

TEST_F(HostileInput, KeysAtTheDepthLimitLoad) {
  write("a.py", kPrintCall);
  std::string toml;
  for (std::size_t parts = 1; parts <= MAX_KEY_DEPTH; ++parts) toml += "[[" + dotted(parts) + "]]\n";
  toml += "[checks.QN405]\nseverity = \"high\"\nnested = " + repeat("[", 255) + repeat("]", 255) + "\n";
  toml += "s = \"[" + dotted(4 * MAX_KEY_DEPTH) + "]\" # " + dotted(4 * MAX_KEY_DEPTH) + "\n";
  write("quarn.toml", toml);
  QuarnRun run = check({"a.py"});
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.out.starts_with("[high] QN405 a.py:1:1 ")) << run.out;
}

// Resolution used to walk the extends chain once per link for every check of
// every file. Far beyond any timing noise, a quadratic walk no longer ends
// within five minutes of CPU time.
TEST_F(HostileInput, LongExtendsChain) {
#ifdef __SANITIZE_ADDRESS__
  constexpr int kLinks = 20000;  // a walk under the sanitizers is slower
#else
  constexpr int kLinks = 100000;
#endif
  write("a.py", kPrintCall);
  auto chain = [](std::string_view last_extends) {
    std::string toml = "[profile]\nname = \"p0\"\n";
    for (int i = 0; i + 1 < kLinks; ++i) toml += fmt::format("[profiles.p{}]\nextends = \"p{}\"\n", i, i + 1);
    return toml + fmt::format("[profiles.p{}]\nextends = \"{}\"\n[profiles.p{}.checks.QN405]\nseverity = \"high\"\n",
                              kLinks - 1, last_extends, kLinks - 1);
  };
  write("quarn.toml", chain("strict"));
  const std::vector<std::string> bounded = {"-c", "ulimit -t 300; exec \"$0\" \"$@\"", QUARN_BIN, "check", "a.py"};
  auto run = run_process("/bin/sh", bounded, dir.path().native());
  ASSERT_TRUE(run.has_value());
  EXPECT_EQ(run->exit_status, 1);
  EXPECT_EQ(run->standard_error, "");
  EXPECT_NE(run->standard_output.find("[high] QN405 a.py:1:1 "), std::string::npos) << run->standard_output;

  write("quarn.toml", chain("p0"));
  run = run_process("/bin/sh", bounded, dir.path().native());
  ASSERT_TRUE(run.has_value());
  EXPECT_EQ(run->exit_status, 2);
  EXPECT_EQ(run->standard_error, "error: profile inheritance cycle detected at `p0`\n");
}

// An empty value is a path like any other, and fails as one; the report is
// printed first.
// Refused before anything is created: a file made and removed again would
// still move the directory's modification time off the one set here.
TEST_F(HostileInput, EmptyRemediationPromptPath) {
  write("a.py", kPrintCall);
  const timespec long_ago[2] = {{1, 0}, {1, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, dir.path().c_str(), long_ago, 0), 0);
  QuarnRun run = check({"a.py", "--remediation-prompt", ""});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(run.out.starts_with(kPrintFinding)) << run.out;
  EXPECT_EQ(run.err, "error: write remediation prompt to : No such file or directory (os error 2)\n");
  struct stat after;
  ASSERT_EQ(::stat(dir.path().c_str(), &after), 0);
  EXPECT_EQ(after.st_mtim.tv_sec, 1);
  EXPECT_EQ(after.st_mtim.tv_nsec, 0);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);  // .git and a.py
}

// Empty names between commas are names no checker has.
TEST_F(HostileInput, EmptyExternalCheckerNames) {
  write("a.py", kPrintCall);
  fake_ruff(R"(printf '%s' '[{"code":"E501","message":"Line too long","filename":"a.py","location":{"row":1,"column":1}}]')");
  QuarnRun plain = check({"a.py"});
  QuarnRun commas = check({"a.py", "--with-external", ","});
  EXPECT_EQ(commas.status, plain.status);
  EXPECT_EQ(commas.out, plain.out);
  EXPECT_EQ(commas.err, plain.err);
  QuarnRun once = check({"a.py", "--with-external", ",ruff,"});
  EXPECT_EQ(once.status, 1);
  EXPECT_EQ(once.err, "");
  EXPECT_EQ(once.out, "[high] EXT-RUFF-E501 a.py:1:1 \u2014 Line too long\n" + plain.out);
}

TEST_F(HostileInput, RuffOutputWithByteOrderMark) {
  write("a.py", kClean);
  fake_ruff(R"(printf '\357\273\277[]')");
  QuarnRun run = check({"a.py", "--with-external", "ruff"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "error: parse ruff JSON output: unexpected byte-order mark at line 1, column 1\n");
}

// A lone surrogate in a str value is text: one replacement character.
TEST_F(HostileInput, SurrogateEscapesInStrings) {
  write("a.py", "\"\"\"Literals.\"\"\"\n\nVALUES = (\"x\\ud800y\", \"x\\udfffy\", \"x\\ufffdy\")\n");
  QuarnRun run = check({"a.py"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out,
            "[low] QN306 a.py:3:1 \u2014 string literal `x\uFFFDy` appears 3 times; extract a named constant\n"
            "  explanation: This finding was produced by an AST-precise deterministic check.\n"
            "  remediation: Refactor for clarity and consistency with project conventions.\n\n");
}

// Control characters from the checked tree, in the literals that messages
// quote and in file names, reach the terminal as escapes; JSON keeps its own.
TEST_F(HostileInput, ControlCharactersReachTheTerminalEscaped) {
  const std::string texts =
      "  explanation: This finding was produced by an AST-precise deterministic check.\n"
      "  remediation: Refactor for clarity and consistency with project conventions.\n";
  write("t/a.py", R"("""Doc."""

RED = ("\x1b[31mRED\x1b[0m", "\x1b[31mRED\x1b[0m", "\x1b[31mRED\x1b[0m")
)");
  write("t/b.py", R"("""Doc."""

LINES = ("one\ntwo", "one\ntwo", "one\ntwo", "a\tb\x7f", "a\tb\x7f", "a\tb\x7f")
)");
  write("t/c\u0085.py", "f(\n");
  write("t/e\x1b[2J.py", kPrintCall);
  write("t/t\t\x7f.py", kPrintCall);
  QuarnRun run = check({"t", "--remediation-prompt", "p\x1b.md"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "[low] QN306 t/a.py:3:1 \u2014 string literal `\\x1b[31mRED\\x1b[0m` appears 3 times; extract a "
            "named constant\n" + texts +
            "[low] QN306 t/b.py:3:1 \u2014 string literal `a\\tb\\x7f` appears 3 times; extract a named constant\n" +
            texts +
            "[low] QN306 t/b.py:3:1 \u2014 string literal `one\\ntwo` appears 3 times; extract a named constant\n" +
            texts + "[low] QN405 t/e\\x1b[2J.py:1:1 \u2014 print() used for debugging\n" + texts +
            "[low] QN405 t/t\\t\\x7f.py:1:1 \u2014 print() used for debugging\n" + texts + "\n");
  EXPECT_EQ(run.err,
            "warning: parse t/c\\x85.py: failed to parse Python source: '(' was never closed at byte offset 1\n"
            "Wrote remediation prompt to p\\x1b.md\n");
  EXPECT_TRUE(fs::is_regular_file(at("p\x1b.md")));

  QuarnRun json = check({"t/a.py", "--format", "json"});
  EXPECT_EQ(json.status, 1);
  EXPECT_EQ(json.err, "");
  EXPECT_EQ(json.out,
            "[\n  {\n    \"id\": \"QN306\",\n    \"title\": \"repeated-literal\",\n"
            "    \"message\": \"string literal `\\u001b[31mRED\\u001b[0m` appears 3 times; extract a named "
            "constant\",\n"
            "    \"explanation\": \"This finding was produced by an AST-precise deterministic check.\",\n"
            "    \"remediation\": \"Refactor for clarity and consistency with project conventions.\",\n"
            "    \"file\": \"t/a.py\",\n    \"line\": 3,\n    \"column\": 1,\n    \"severity\": \"low\",\n"
            "    \"category\": \"refactor\",\n    \"source\": \"quarn\",\n"
            "    \"confidence\": \"deterministic\"\n  }\n]\n");
}

}  // namespace
}  // namespace quarn::test
