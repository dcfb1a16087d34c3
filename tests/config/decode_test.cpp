#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "config/config.h"

namespace quarn {
namespace {

struct MessageCase {
  std::string_view toml;
  std::string_view message;
};

void PrintTo(const MessageCase& c, std::ostream* os) { *os << c.toml; }

// The decoding message is the last line of the rendered error.
std::string last_line(const std::string& text) {
  auto newline = text.rfind('\n');
  return newline == std::string::npos ? text : text.substr(newline + 1);
}

class DecodeMessage : public testing::TestWithParam<MessageCase> {};

TEST_P(DecodeMessage, IsExact) {
  auto config = parse_config(GetParam().toml);
  ASSERT_FALSE(config.has_value());
  EXPECT_EQ(last_line(config.error().render()), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(FoundValues, DecodeMessage, testing::Values(
  MessageCase{"[checks.QN001]\nenabled = \"yes\"", "invalid type: string \"yes\", expected a boolean"},
  MessageCase{"[checks.QN001]\nenabled = 1", "invalid type: integer `1`, expected a boolean"},
  MessageCase{"[checks.QN001]\nenabled = 0x1F", "invalid type: integer `31`, expected a boolean"},
  MessageCase{"[checks.QN001]\nenabled = -7", "invalid type: integer `-7`, expected a boolean"},
  MessageCase{"[checks.QN001]\nmax_lines = 50.5", "invalid type: floating point `50.5`, expected usize"},
  MessageCase{"[checks.QN001]\nmax_lines = 50.0", "invalid type: floating point `50.0`, expected usize"},
  MessageCase{"[checks.QN001]\nmax_lines = 5e1", "invalid type: floating point `50.0`, expected usize"},
  MessageCase{"[checks.QN001]\nmax_lines = -0.0", "invalid type: floating point `-0.0`, expected usize"},
  MessageCase{"[checks.QN001]\nmax_lines = 0.1", "invalid type: floating point `0.1`, expected usize"},
  MessageCase{"[checks.QN001]\nmax_lines = 1e-7", "invalid type: floating point `0.0000001`, expected usize"},
  MessageCase{"[checks.QN001]\nmax_lines = 1e22", "invalid type: floating point `10000000000000000000000.0`, expected usize"},
  MessageCase{"[checks.QN001]\nmax_lines = inf", "invalid type: floating point `inf`, expected usize"},
  MessageCase{"[checks.QN001]\nmax_lines = -inf", "invalid type: floating point `-inf`, expected usize"},
  MessageCase{"[checks.QN001]\nmax_lines = nan", "invalid type: floating point `NaN`, expected usize"},
  MessageCase{"[checks.QN001]\nmax_lines = true", "invalid type: boolean `true`, expected usize"},
  MessageCase{"[checks.QN001]\nmax_lines = false", "invalid type: boolean `false`, expected usize"},
  MessageCase{"[checks.QN001]\nmax_lines = []", "invalid type: sequence, expected usize"},
  MessageCase{"[checks.QN001]\nmax_lines = {}", "invalid type: map, expected usize"},
  MessageCase{"[checks.QN001]\nmax_lines = \"50\"", "invalid type: string \"50\", expected usize"},
  MessageCase{"[checks.QN001]\nmax_lines = 1979-05-27", "invalid type: datetime `1979-05-27`, expected usize"},
  MessageCase{"[checks.QN001]\nmax_lines = 07:32:00", "invalid type: datetime `07:32:00`, expected usize"},
  MessageCase{"[checks.QN001]\nmax_lines = 1979-05-27T07:32:00Z", "invalid type: datetime `1979-05-27T07:32:00Z`, expected usize"},
  MessageCase{"[checks.QN001]\nenabled = \"\"", "invalid type: string \"\", expected a boolean"},
  MessageCase{R"([checks.QN001]
enabled = "q\"b\\s\n\t\r\u0000\u001b\u007f\u0085é")",
              R"(invalid type: string "q\"b\\s\n\t\r\0\u{1b}\u{7f}\u{85}é", expected a boolean)"},
  MessageCase{"[checks.QN001]\nenabled = \"it's\"", "invalid type: string \"it's\", expected a boolean"}));

INSTANTIATE_TEST_SUITE_P(Limits, DecodeMessage, testing::Values(
  MessageCase{"[checks.QN001]\nmax_lines = -1", "invalid value: integer `-1`, expected usize"},
  MessageCase{"[checks.QN001]\nmax_branches = -9223372036854775808",
              "invalid value: integer `-9223372036854775808`, expected usize"},
  MessageCase{"[checks.QN001]\nmax_arguments = -3", "invalid value: integer `-3`, expected usize"},
  MessageCase{"[checks.QN001]\nmax_depth = 2.5", "invalid type: floating point `2.5`, expected usize"},
  MessageCase{"[checks.QN001]\nmax_methods = \"x\"", "invalid type: string \"x\", expected usize"}));

INSTANTIATE_TEST_SUITE_P(Records, DecodeMessage, testing::Values(
  MessageCase{"profile = \"strict\"", "invalid type: string \"strict\", expected struct ActiveProfile"},
  MessageCase{"profile = 1", "invalid type: integer `1`, expected struct ActiveProfile"},
  MessageCase{"profile = [1]", "invalid type: integer `1`, expected a string"},
  MessageCase{"[profile]\nname = 1", "invalid type: integer `1`, expected a string"},
  MessageCase{"[profiles]\nteam = 1", "invalid type: integer `1`, expected struct ProfileDefinition"},
  MessageCase{"[profiles]\nteam = [1]", "invalid type: integer `1`, expected a string"},
  MessageCase{"[profiles]\nteam = [\"default\", 1]", "invalid type: integer `1`, expected a map"},
  MessageCase{"[profiles.team]\nextends = true", "invalid type: boolean `true`, expected a string"},
  MessageCase{"[profiles.team]\nchecks = 1", "invalid type: integer `1`, expected a map"},
  MessageCase{"[profiles.team.checks]\nQN001 = \"on\"", "invalid type: string \"on\", expected struct CheckConfig"},
  MessageCase{"[profiles.team.checks.QN001]\nenabled = 1", "invalid type: integer `1`, expected a boolean"},
  MessageCase{"[checks]\nQN001 = true", "invalid type: boolean `true`, expected struct CheckConfig"},
  MessageCase{"[[checks.QN001]]", "invalid type: map, expected a boolean"},
  MessageCase{"[checks]\nQN001 = [1]", "invalid type: integer `1`, expected a boolean"},
  MessageCase{"[checks]\nQN001 = [true, -2]", "invalid value: integer `-2`, expected usize"},
  MessageCase{"[checks]\nQN001 = [true, 1, 2, 3, 4, 5, {}]", "invalid type: map, expected a sequence"},
  MessageCase{"[checks]\nQN001 = [true, 1, 2, 3, 4, 5, [], \"Low\"]",
              "unknown variant `Low`, expected one of `info`, `low`, `medium`, `high`, `critical`"},
  MessageCase{"[checks.QN207]\nrules = [1]", "invalid type: integer `1`, expected struct ForbiddenImportRule"},
  MessageCase{"[checks.QN207]\nrules = [\"a\"]", "invalid type: string \"a\", expected struct ForbiddenImportRule"},
  MessageCase{"[[checks.QN207.rules]]\nfrom = \"app.domain\"", "missing field `forbidden`"},
  MessageCase{"[[checks.QN207.rules]]\nwhy = 1", "missing field `from`"},
  MessageCase{"[[checks.QN207.rules]]\nforbidden = \"x\"", "missing field `from`"},
  MessageCase{"[checks.QN207]\nrules = [{}]", "missing field `from`"},
  MessageCase{"[[checks.QN207.rules]]\nfrom = 1", "invalid type: integer `1`, expected a string"},
  MessageCase{"[[checks.QN207.rules]]\nfrom = \"a\"\nforbidden = []", "invalid type: sequence, expected a string"},
  MessageCase{"[checks.QN207]\nrules = [[\"app.domain\"]]",
              "invalid length 1, expected struct ForbiddenImportRule with 2 elements"},
  MessageCase{"[checks.QN207]\nrules = [[]]", "invalid length 0, expected struct ForbiddenImportRule with 2 elements"},
  MessageCase{"[checks.QN207]\nrules = [[1]]", "invalid type: integer `1`, expected a string"}));

INSTANTIATE_TEST_SUITE_P(MapsAndLists, DecodeMessage, testing::Values(
  MessageCase{"profiles = []", "invalid type: sequence, expected a map"},
  MessageCase{"profiles = \"team\"", "invalid type: string \"team\", expected a map"},
  MessageCase{"checks = []", "invalid type: sequence, expected a map"},
  MessageCase{"checks = 5", "invalid type: integer `5`, expected a map"},
  MessageCase{"[[checks]]", "invalid type: sequence, expected a map"},
  MessageCase{"[checks.QN207.rules]\nfrom = \"a\"\nforbidden = \"b\"", "invalid type: map, expected a sequence"},
  MessageCase{"[checks.QN207]\nrules = \"x\"", "invalid type: string \"x\", expected a sequence"},
  MessageCase{"external_checkers = \"ruff\"", "invalid type: string \"ruff\", expected a sequence"},
  MessageCase{"external_checkers = {}", "invalid type: map, expected a sequence"},
  MessageCase{"external_checkers = [\"ruff\", 1]", "invalid type: integer `1`, expected a string"},
  MessageCase{"external_checkers = [[\"ruff\"]]", "invalid type: sequence, expected a string"}));

constexpr std::string_view kUnknownVariant = "unknown variant `{}`, expected one of `info`, `low`, `medium`, `high`, `critical`";

std::string unknown_variant(std::string_view name) {
  std::string text(kUnknownVariant);
  return text.replace(text.find("{}"), 2, name);
}

class SeverityMessage : public testing::TestWithParam<MessageCase> {};

TEST_P(SeverityMessage, IsExact) {
  std::string toml = "[checks.QN001]\n" + std::string(GetParam().toml);
  auto config = parse_config(toml);
  ASSERT_FALSE(config.has_value());
  std::string expected(GetParam().message);
  if (expected.starts_with("variant ")) expected = unknown_variant(expected.substr(8));
  EXPECT_EQ(last_line(config.error().render()), expected);
}

INSTANTIATE_TEST_SUITE_P(Severity, SeverityMessage, testing::Values(
  MessageCase{"severity = \"High\"", "variant High"},
  MessageCase{"severity = \"warning\"", "variant warning"},
  MessageCase{"severity = \"\"", "variant "},
  MessageCase{"severity = \" low\"", "variant  low"},
  MessageCase{"severity = 3", "wanted string or table"},
  MessageCase{"severity = 1.5", "wanted string or table"},
  MessageCase{"severity = true", "wanted string or table"},
  MessageCase{"severity = 1979-05-27", "wanted string or table"},
  MessageCase{"severity = []", "wanted string or table"},
  MessageCase{"severity = [\"high\"]", "wanted string or table"},
  MessageCase{"severity = {}", "wanted exactly 1 element, found 0 elements"},
  MessageCase{"[checks.QN001.severity]", "wanted exactly 1 element, found 0 elements"},
  MessageCase{"severity = { high = {}, low = {} }", "wanted exactly 1 element, more than 1 element"},
  MessageCase{"severity = { a = 1, b = 2, c = 3 }", "wanted exactly 1 element, more than 1 element"},
  MessageCase{"severity = { hi = {} }", "variant hi"},
  MessageCase{"severity = { High = 1 }", "variant High"},
  MessageCase{"severity = { high = { a = 1 } }", "expected empty table"},
  MessageCase{"severity = { high = [1] }", "expected empty array"},
  MessageCase{"severity = { high = \"x\" }", "expected table, found string"},
  MessageCase{"severity = { high = 1 }", "expected table, found integer"},
  MessageCase{"severity = { high = 1.0 }", "expected table, found float"},
  MessageCase{"severity = { high = false }", "expected table, found boolean"},
  MessageCase{"severity = { high = 1979-05-27T00:00:00 }", "expected table, found datetime"},
  MessageCase{"severity.critical.x = 1", "expected empty table"}));

// Entries are decoded in the order their keys first appear, depth first,
// and the first failure ends decoding.
INSTANTIATE_TEST_SUITE_P(FileOrder, DecodeMessage, testing::Values(
  MessageCase{"[checks.QN001]\nenabled = 1\n[checks.QN002]\nmax_lines = -1",
              "invalid type: integer `1`, expected a boolean"},
  MessageCase{"[checks.QN002]\nmax_lines = -1\n[checks.QN001]\nenabled = 1",
              "invalid value: integer `-1`, expected usize"},
  MessageCase{"[checks.QN001]\nmax_lines = -1\nenabled = 1", "invalid value: integer `-1`, expected usize"},
  MessageCase{"[checks.QN001]\nseverity = 3\nrules = 1\nenabled = 1", "wanted string or table"},
  MessageCase{"[checks.QN001]\nenabled = 1\n[profiles.x]\nextends = 1",
              "invalid type: integer `1`, expected a boolean"},
  MessageCase{"[profiles.x]\nextends = 1\n[checks.QN001]\nenabled = 1",
              "invalid type: integer `1`, expected a string"},
  MessageCase{"[checks.QN001]\nenabled = true\n[profiles.x]\nextends = 1\n[checks.QN002]\nenabled = 1",
              "invalid type: integer `1`, expected a boolean"},
  MessageCase{"[profiles.x.checks.QN001]\nenabled = true\n[checks.QN001]\nenabled = 1\n[profiles.x]\nextends = 1",
              "invalid type: integer `1`, expected a string"},
  MessageCase{"external_checkers = 1\nprofile = 2", "invalid type: integer `1`, expected a sequence"},
  MessageCase{"profile = 2\nexternal_checkers = 1", "invalid type: integer `2`, expected struct ActiveProfile"},
  MessageCase{"[[checks.QN207.rules]]\nfrom = \"a\"\n[[checks.QN207.rules]]\nforbidden = 1",
              "missing field `forbidden`"},
  MessageCase{"[checks.QN001]\nzzz = 1\nenabled = \"no\"\naaa = 2", "invalid type: string \"no\", expected a boolean"}));

TEST(DecodeConfig, EmptyOrCommentOnlyDocumentIsTheDefault) {
  for (std::string_view text : {"", "\n\n", "# only a comment\n  # another\n", "\xEF\xBB\xBF"}) {
    auto config = parse_config(text);
    ASSERT_TRUE(config.has_value()) << config.error().render();
    EXPECT_EQ(*config, default_config());
  }
  EXPECT_EQ(default_config().profile.name, "default");
}

TEST(DecodeConfig, UnknownKeysAreSkippedAtEveryLevel) {
  auto config = parse_config(R"(
version = { nested = [1, { deep = [[[true]]] }] }
[profile]
name = "team"
colour = 1979-05-27
[profiles.team]
extends = "strict"
Extends = 1
[profiles.team.checks.QN001]
max-lines = "x"
[checks.QN001]
Enabled = false
max_line = 10
max_lines = 60
[[checks.QN207.rules]]
from = "app.domain"
forbidden = "app.infrastructure"
reason = { any = "thing" }
)");
  ASSERT_TRUE(config.has_value()) << config.error().render();
  Config expected;
  expected.profile.name = "team";
  expected.profiles["team"].extends = "strict";
  expected.profiles["team"].checks["QN001"] = {};
  expected.checks["QN001"].max_lines = 60;
  expected.checks["QN207"].rules = {{"app.domain", "app.infrastructure"}};
  EXPECT_EQ(*config, expected);
}

TEST(DecodeConfig, CheckTableFieldsByKey) {
  auto config = parse_config(R"(
[checks.QN001]
enabled = false
max_branches = 1
max_arguments = 2
max_lines = 0
max_depth = 9223372036854775807
max_methods = 0x10
severity = "critical"
rules = [{ from = "", forbidden = "b" }, ["c", "d", "ignored", 1]]
)");
  ASSERT_TRUE(config.has_value()) << config.error().render();
  CheckConfig expected{false, 2, 0, 9223372036854775807u, 16, {{"", "b"}, {"c", "d"}}, Severity::Critical};
  EXPECT_EQ(config->checks.at("QN001"), expected);
}

TEST(DecodeConfig, MissingFieldsStayUnset) {
  auto config = parse_config("[checks.QN001]\nmax_lines = 60\n");
  ASSERT_TRUE(config.has_value()) << config.error().render();
  CheckConfig expected;
  expected.max_lines = 60;
  EXPECT_EQ(config->checks.at("QN001"), expected);
}

TEST(DecodeConfig, RecordsByPosition) {
  auto config = parse_config(R"(
profile = ["strict", "ignored", 1]
[profiles]
team = ["default"]
lead = ["team", { QN002 = [false] }]
[checks]
QN001 = [true, 10]
QN003 = []
QN207 = [true, 1, 2, 3, 4, 5, [["app.domain", "app.infrastructure"]], "low", "ignored"]
)");
  ASSERT_TRUE(config.has_value()) << config.error().render();
  EXPECT_EQ(config->profile.name, "strict");
  EXPECT_EQ(config->profiles.at("team"), (ProfileDefinition{"default", {}}));
  EXPECT_EQ(config->profiles.at("lead"), (ProfileDefinition{"team", {{"QN002", CheckConfig{.enabled = false}}}}));
  EXPECT_EQ(config->checks.at("QN001"), (CheckConfig{.enabled = true}));
  EXPECT_EQ(config->checks.at("QN003"), CheckConfig{});
  EXPECT_EQ(config->checks.at("QN207"),
            (CheckConfig{true, 2, 3, 4, 5, {{"app.domain", "app.infrastructure"}}, Severity::Low}));
}

TEST(DecodeConfig, ActiveProfileForms) {
  struct Case {
    std::string_view toml;
    std::string_view name;
  };
  for (auto [toml, name] : {Case{"[profile]", "default"}, Case{"profile = {}", "default"},
                            Case{"profile = []", "default"}, Case{"profile = { name = \"strict\" }", "strict"},
                            Case{"[profile]\nname = \"\"", ""}, Case{"profile.name = \"x y\"", "x y"}}) {
    auto config = parse_config(toml);
    ASSERT_TRUE(config.has_value()) << toml << "\n" << config.error().render();
    EXPECT_EQ(config->profile.name, name) << toml;
  }
}

TEST(DecodeConfig, SeverityForms) {
  struct Case {
    std::string_view toml;
    Severity severity;
  };
  for (auto [toml, severity] : {
           Case{"severity = \"info\"", Severity::Info},
           Case{"severity = \"low\"", Severity::Low},
           Case{"severity = \"medium\"", Severity::Medium},
           Case{"severity = \"high\"", Severity::High},
           Case{"severity = \"critical\"", Severity::Critical},
           Case{"severity = { high = {} }", Severity::High},
           Case{"severity = { low = [] }", Severity::Low},
           Case{"severity.medium = {}", Severity::Medium},
           Case{"[checks.QN001.severity.critical]", Severity::Critical},
           Case{"[checks.QN001.severity]\nhigh = []", Severity::High},
       }) {
    auto config = parse_config("[checks.QN001]\n" + std::string(toml));
    ASSERT_TRUE(config.has_value()) << toml << "\n" << config.error().render();
    EXPECT_EQ(config->checks.at("QN001").severity, severity) << toml;
  }
}

TEST(DecodeConfig, ListsKeepFileOrderAndDuplicates) {
  auto config = parse_config(R"(
external_checkers = ["ruff", "", "ruff", "other"]
[checks.QN207]
rules = []
[profiles.empty]
)");
  ASSERT_TRUE(config.has_value()) << config.error().render();
  EXPECT_EQ(config->external_checkers, (std::vector<std::string>{"ruff", "", "ruff", "other"}));
  EXPECT_TRUE(config->checks.at("QN207").rules.empty());
  EXPECT_EQ(config->profiles.at("empty"), ProfileDefinition{});
}

TEST(DecodeConfig, RulesKeepFileOrder) {
  auto config = parse_config(R"(
[[checks.QN207.rules]]
from = "z"
forbidden = "y"
[[checks.QN207.rules]]
forbidden = "b"
from = "a"
)");
  ASSERT_TRUE(config.has_value()) << config.error().render();
  EXPECT_EQ(config->checks.at("QN207").rules, (std::vector<ForbiddenImportRule>{{"z", "y"}, {"a", "b"}}));
}

TEST(DecodeConfig, KeysAreUnquotedNeverFolded) {
  auto config = parse_config("[checks.\"QN001\"]\nenabled = true\n[checks.'qn002']\n[checks.\" QN003\"]\n");
  ASSERT_TRUE(config.has_value()) << config.error().render();
  EXPECT_EQ(config->checks.size(), 3u);
  EXPECT_TRUE(config->checks.contains("QN001"));
  EXPECT_TRUE(config->checks.contains("qn002"));
  EXPECT_TRUE(config->checks.contains(" QN003"));
}

// Right past a line-ending backslash, these are read through an escape.
TEST(DecodeConfig, StringsKeepCodePointsTomlppCannotClassify) {
  auto config = parse_config("profile.name = \"\"\"x\\\n  \u00e9\\\n\u3087y\u00e9\"\"\"\n");
  ASSERT_TRUE(config.has_value()) << config.error().render();
  EXPECT_EQ(config->profile.name, "x\u00e9\u3087y\u00e9");
}

TEST(DecodeConfig, DateTimeWhereARecordIsExpectedIsRefused) {
  auto config = parse_config("[checks]\nQN001 = 1979-05-27T07:32:00Z\n");
  ASSERT_FALSE(config.has_value());
  EXPECT_EQ(last_line(config.error().render()),
            "invalid type: datetime `1979-05-27T07:32:00Z`, expected struct CheckConfig");
}

}  // namespace
}  // namespace quarn
