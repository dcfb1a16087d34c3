#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "base/thread_stack.h"
#include "config/config.h"

namespace quarn {
namespace {

namespace fs = std::filesystem;

// A fresh directory per test, removed afterwards.
class LoadConfig : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "quarn-config-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path write(std::string_view text, std::string_view name = "quarn.toml") {
    fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  fs::path dir_;
};

TEST_F(LoadConfig, MissingFile) {
  fs::path path = dir_ / "quarn.toml";
  auto config = load_config(path);
  ASSERT_FALSE(config.has_value());
  EXPECT_EQ(config.error().render(),
            "read config " + path.string() + ": No such file or directory (os error 2)");
}

TEST_F(LoadConfig, DirectoryInsteadOfFile) {
  fs::create_directory(dir_ / "quarn.toml");
  auto config = load_config(dir_ / "quarn.toml");
  ASSERT_FALSE(config.has_value());
  EXPECT_EQ(config.error().render(), "read config " + (dir_ / "quarn.toml").string() + ": Is a directory (os error 21)");
}

TEST_F(LoadConfig, PathWithInvalidUtf8IsShownWithReplacementCharacters) {
  auto config = load_config(dir_ / "a\xff" / "quarn.toml");
  ASSERT_FALSE(config.has_value());
  EXPECT_EQ(config.error().messages().front(), "read config " + dir_.string() + "/a\xEF\xBF\xBD/quarn.toml");
}

TEST_F(LoadConfig, ContentThatIsNotUtf8IsAReadError) {
  for (std::string_view text : {"name = \"\xff\"\n", "# \xC0\xAF\n", "[profile]\nname = \"\xED\xA0\x80\"\n"}) {
    fs::path path = write(text);
    auto config = load_config(path);
    ASSERT_FALSE(config.has_value());
    EXPECT_EQ(config.error().render(), "read config " + path.string() + ": stream did not contain valid UTF-8");
  }
}

TEST_F(LoadConfig, ParseErrorsCarryThePath) {
  fs::path path = write("[checks.QN001]\nenabled = \"yes\"\n");
  auto config = load_config(path);
  ASSERT_FALSE(config.has_value());
  EXPECT_EQ(config.error().render(), "parse config " + path.string() +
                                         ": TOML parse error at line 2, column 11\n"
                                         "  |\n"
                                         "2 | enabled = \"yes\"\n"
                                         "  |           ^^^^^\n"
                                         "invalid type: string \"yes\", expected a boolean");
  EXPECT_EQ(config.error().messages().size(), 2u);
}

std::string repeat(std::string_view piece, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += piece;
  return out;
}

// On a stack smaller than quarn's own, keys, arrays and inline tables nest
// no deeper than what is left of it allows; the error points at the first key
// part or bracket past that. A syntax error before it is still the one
// reported.
TEST(ParseConfig, NestingBoundedByTheStackLeft) {
  const std::string inline_tables = "x = " + repeat("{a=", 255) + "1" + repeat("}", 255) + "\n";
  std::string keys;
  for (std::size_t parts = 1; parts <= MAX_KEY_DEPTH; ++parts) keys += "[[a" + repeat(".a", parts - 1) + "]]\n";
  const struct {
    std::string toml;
    bool loads;  // on a work stack
    // What the error on a small stack holds: the line shown and the message.
    std::string_view line;
    std::string_view message;
  } cases[] = {
      {inline_tables, true, " | x = {a={a={a=", "\nvalue nested deeper than "},
      {"x = " + repeat("[", 255) + "1" + repeat("]", 255) + "\n", true, " | x = [[[[", "\nvalue nested deeper than "},
      {keys, true, " | [[a.a.a.a.a.a.a.a.a.a.a.a", "\nkey nested deeper than "},
      {"x = = 1\n" + inline_tables, false, "\n1 | x = = 1\n", "could not determine value type"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.toml.substr(0, 40));
    bool loaded = false;
    WorkThread([&] { loaded = parse_config(c.toml).has_value(); }).join();
    EXPECT_EQ(loaded, c.loads);
    std::string error;
    WorkThread(
        [&] {
          auto config = parse_config(c.toml);
          error = config ? "loaded" : config.error().render();
        },
        std::size_t{128} << 10)
        .join();
    EXPECT_TRUE(error.starts_with("TOML parse error at line ")) << error;
    EXPECT_NE(error.find(c.line), std::string::npos) << error;
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_EQ(error.ends_with(" levels (the stack allows no more)"), c.loads) << error;
  }
}

TEST_F(LoadConfig, ByteOrderMarkIsSkipped) {
  auto config = load_config(write("\xEF\xBB\xBF[profile]\nname = \"strict\"\n"));
  ASSERT_TRUE(config.has_value()) << config.error().render();
  EXPECT_EQ(config->profile.name, "strict");
}

TEST_F(LoadConfig, EmptyAndCommentOnlyFilesGiveTheDefault) {
  for (std::string_view text : {"", "# nothing here\n", "\xEF\xBB\xBF"}) {
    auto config = load_config(write(text));
    ASSERT_TRUE(config.has_value()) << config.error().render();
    EXPECT_EQ(*config, default_config());
  }
}

TEST_F(LoadConfig, StarterConfigurationsLoad) {
  auto plain = load_config(fs::path(QUARN_FIXTURES_DIR) / "config/starter_default.toml");
  ASSERT_TRUE(plain.has_value()) << plain.error().render();
  EXPECT_EQ(plain->profile.name, "default");
  EXPECT_TRUE(plain->profiles.empty());
  EXPECT_EQ(plain->checks.size(), 21u);
  EXPECT_EQ(plain->checks.at("QN001"), (CheckConfig{.enabled = true, .max_lines = 50}));
  EXPECT_EQ(plain->checks.at("QN207").rules, (std::vector<ForbiddenImportRule>{{"app.domain", "app.infrastructure"}}));
  EXPECT_EQ(plain->checks.at("QN401").severity, Severity::High);
  EXPECT_TRUE(plain->external_checkers.empty());

  auto strict = load_config(fs::path(QUARN_FIXTURES_DIR) / "config/starter_strict.toml");
  ASSERT_TRUE(strict.has_value()) << strict.error().render();
  EXPECT_EQ(strict->profile.name, "strict");
  EXPECT_EQ(strict->checks.size(), 2u);
  EXPECT_EQ(strict->checks.at("QN001").max_lines, 50u);
}

struct ValidationCase {
  std::string_view toml;
  std::string_view message;  // empty: the file loads
};

void PrintTo(const ValidationCase& c, std::ostream* os) { *os << c.toml; }

class Validation : public LoadConfig, public testing::WithParamInterface<ValidationCase> {};

// An @ in the expected message stands for the file's path.
TEST_P(Validation, ReportsTheFirstFailure) {
  fs::path path = write(GetParam().toml);
  auto config = load_config(path);
  if (GetParam().message.empty()) {
    EXPECT_TRUE(config.has_value()) << config.error().render();
    return;
  }
  ASSERT_FALSE(config.has_value());
  std::string expected(GetParam().message);
  if (auto at = expected.find('@'); at != std::string::npos) expected.replace(at, 1, path.string());
  EXPECT_EQ(config.error().render(), expected);
}

INSTANTIATE_TEST_SUITE_P(CheckKeys, Validation, testing::Values(
  ValidationCase{"[checks.QN001]\nseverity = \"info\"", "invalid severity `info` for QN001: use low, medium, high, or critical"},
  ValidationCase{"[checks.QN001]\nseverity = { info = {} }", "invalid severity `info` for QN001: use low, medium, high, or critical"},
  ValidationCase{"[checks.QN001]\nseverity = \"low\"", ""},
  ValidationCase{"[checks.qn001]", "unknown check key `qn001` in quarn.toml: expected catalog id like QN001"},
  ValidationCase{"[checks.QN01]", "unknown check key `QN01` in quarn.toml: expected catalog id like QN001"},
  ValidationCase{"[checks.QX001]", "unknown check key `QX001` in quarn.toml: expected catalog id like QN001"},
  ValidationCase{"[checks.QN0001]", "unknown check key `QN0001` in quarn.toml: expected catalog id like QN001"},
  ValidationCase{"[checks.\"\"]", "unknown check key `` in quarn.toml: expected catalog id like QN001"},
  ValidationCase{"[checks.\"QNé01\"]", "unknown check key `QNé01` in quarn.toml: expected catalog id like QN001"},
  ValidationCase{"[checks.\"QNé1\"]", ""},  // five bytes
  ValidationCase{"[checks.\"Q\\u004e001\"]", ""},
  ValidationCase{"[checks.QN999]", ""},
  ValidationCase{"[checks.QNabc]", ""},
  ValidationCase{"[checks.qn001]\nseverity = \"info\"", "unknown check key `qn001` in quarn.toml: expected catalog id like QN001"}));

INSTANTIATE_TEST_SUITE_P(Profiles, Validation, testing::Values(
  ValidationCase{"[profiles.team.checks.anything]", ""},
  ValidationCase{"[profiles.team.checks.anything]\nseverity = \"info\"",
                 "invalid severity `info` for profile `team` check anything"},
  ValidationCase{"[profiles.team.checks.QN001]\nseverity = \"critical\"", ""},
  ValidationCase{"[profiles.x]\nextends = \"x\"", "profile `x` cannot extend itself"},
  ValidationCase{"[profiles.x]\nextends = \"x\"\n[profiles.x.checks.QN001]\nseverity = \"info\"",
                 "profile `x` cannot extend itself"},
  ValidationCase{"[profiles.default]\nextends = \"default\"", "profile `default` cannot extend itself"},
  ValidationCase{"[checks.bad]\n[profiles.x]\nextends = \"x\"",
                 "unknown check key `bad` in quarn.toml: expected catalog id like QN001"},
  ValidationCase{"[checks.QN001]\nseverity = \"info\"\n[profiles.x]\nextends = \"x\"",
                 "invalid severity `info` for QN001: use low, medium, high, or critical"},
  ValidationCase{"profile.name = \"a\"\n[profiles.a]\nextends = \"c\"\n[profiles.b.checks.QN001]\nseverity = \"info\"",
                 "invalid severity `info` for profile `b` check QN001"}));

INSTANTIATE_TEST_SUITE_P(Chain, Validation, testing::Values(
  ValidationCase{"profile.name = \"a\"\n[profiles.a]\nextends = \"b\"\n[profiles.b]\nextends = \"a\"",
                 "profile inheritance cycle detected at `a`"},
  ValidationCase{"profile.name = \"a\"\nprofiles.a.extends = \"b\"\nprofiles.b.extends = \"c\"\nprofiles.c.extends = \"b\"",
                 "profile inheritance cycle detected at `b`"},
  ValidationCase{"profile.name = \"a\"\n[profiles.a]\nextends = \"c\"", "profile `a` extends unknown profile `c`"},
  ValidationCase{"profile.name = \"a\"\nprofiles.a.extends = \"b\"\nprofiles.b.extends = \"c\"",
                 "profile `b` extends unknown profile `c`"},
  ValidationCase{"profile.name = \"a\"\n[profiles.a]\nextends = \"strict\"", ""},
  ValidationCase{"profile.name = \"a\"\n[profiles.a]\nextends = \"default\"", ""},
  ValidationCase{"profile.name = \"a\"\n[profiles.a]\nextends = \"Strict\"", "profile `a` extends unknown profile `Strict`"},
  ValidationCase{"[profiles.x]\nextends = \"nowhere\"", ""},
  ValidationCase{"profile.name = \"y\"\n[profiles.x]\nextends = \"nowhere\"", ""},
  ValidationCase{"profile.name = \"undefined\"", ""},
  ValidationCase{"profile.name = \"a\"\nprofiles.a.extends = \"strict\"\nprofiles.strict.extends = \"b\"",
                 "profile `strict` extends unknown profile `b`"},
  ValidationCase{"profiles.default.extends = \"strict\"\nprofiles.strict.extends = \"default\"",
                 "profile inheritance cycle detected at `default`"}));

// Decoding errors come before any validation.
INSTANTIATE_TEST_SUITE_P(Order, Validation, testing::Values(
  ValidationCase{"[checks.qn001]\n[checks.QN002]\nenabled = 1",
                 "parse config @: TOML parse error at line 3, column 11\n"
                 "  |\n"
                 "3 | enabled = 1\n"
                 "  |           ^\n"
                 "invalid type: integer `1`, expected a boolean"}));

TEST_F(LoadConfig, OneOfSeveralInvalidEntriesIsReported) {
  auto config = load_config(write("[checks.bad1]\n[checks.bad2]\n"));
  ASSERT_FALSE(config.has_value());
  std::string message = config.error().render();
  EXPECT_TRUE(message == "unknown check key `bad1` in quarn.toml: expected catalog id like QN001" ||
              message == "unknown check key `bad2` in quarn.toml: expected catalog id like QN001")
      << message;
}

TEST(ValidateProfileChain, StartsFromTheGivenName) {
  Config config;
  config.profiles["a"].extends = "b";
  config.profiles["b"].extends = "a";
  config.profiles["c"].extends = "strict";
  EXPECT_TRUE(validate_profile_chain(config, "default").has_value());
  EXPECT_TRUE(validate_profile_chain(config, "c").has_value());
  auto cycle = validate_profile_chain(config, "b");
  ASSERT_FALSE(cycle.has_value());
  EXPECT_EQ(cycle.error().render(), "profile inheritance cycle detected at `b`");
}

}  // namespace
}  // namespace quarn
