#include <algorithm>
#include <set>
#include <string_view>

#include <gtest/gtest.h>

#include "checks/catalog.h"
#include "config/config.h"

namespace quarn {
namespace {

// Resolution must cope with configurations that were never validated (the
// active name may come from the command line), so these are only decoded.
Config decoded(std::string_view toml) {
  auto config = parse_config(toml);
  EXPECT_TRUE(config.has_value()) << config.error().render();
  return config.value_or(Config{});
}

// Whether the catalog row of `id` enables its check under the base profile
// "default".
bool enabled_by_default(std::string_view id) {
  const auto rows = catalog_rows();
  const auto row = std::ranges::find(rows, id, &CheckRow::id);
  EXPECT_NE(row, rows.end()) << id;
  return row != rows.end() && row->enabled_by_default;
}

ResolvedCheckConfig resolve(const Config& config, std::string_view id) {
  return resolve_check_config(config, id, enabled_by_default(id));
}

// Which catalog checks start enabled under each active profile.
struct BaseCase {
  std::string_view toml;
  bool strict;
};

void PrintTo(const BaseCase& c, std::ostream* os) { *os << c.toml; }

class BaseProfile : public testing::TestWithParam<BaseCase> {};

TEST_P(BaseProfile, DecidesTheStartingFlag) {
  Config config = decoded(GetParam().toml);
  for (const CheckRow& row : catalog_rows()) {
    ResolvedCheckConfig resolved = resolve_check_config(config, row.id, row.enabled_by_default);
    EXPECT_EQ(resolved.enabled, GetParam().strict || row.enabled_by_default) << row.id;
  }
}

INSTANTIATE_TEST_SUITE_P(Walk, BaseProfile, testing::Values(
  BaseCase{"", false},
  BaseCase{"profile.name = \"default\"", false},
  BaseCase{"profile.name = \"strict\"", true},
  BaseCase{"profile.name = \"Strict\"", false},
  BaseCase{"profile.name = \"undefined\"", false},
  BaseCase{"profile.name = \"team\"\nprofiles.team.extends = \"strict\"", true},
  BaseCase{"profile.name = \"team\"\n[profiles.team]", false},
  BaseCase{"profile.name = \"team\"\nprofiles.team.extends = \"default\"", false},
  BaseCase{"profile.name = \"a\"\nprofiles.a.extends = \"b\"\nprofiles.b.extends = \"strict\"", true},
  BaseCase{"profile.name = \"a\"\nprofiles.a.extends = \"nowhere\"", false},
  BaseCase{"profile.name = \"a\"\nprofiles.a.extends = \"b\"\nprofiles.b.extends = \"a\"", false},
  BaseCase{"profile.name = \"a\"\nprofiles.a.extends = \"a\"", false},
  // Tables named after the built-in profiles never take part.
  BaseCase{"profile.name = \"default\"\nprofiles.default.extends = \"strict\"", false},
  BaseCase{"profile.name = \"a\"\nprofiles.a.extends = \"default\"\nprofiles.default.extends = \"strict\"", false},
  BaseCase{"profile.name = \"strict\"\n[profiles.strict.checks.QN007]\nenabled = false", true}));

TEST(ResolveCheckConfig, BuiltInDefaultConfiguration) {
  Config config = default_config();
  EXPECT_EQ(resolve(config, "QN007"), ResolvedCheckConfig{});
  ResolvedCheckConfig enabled;
  enabled.enabled = true;
  EXPECT_EQ(resolve(config, "QN001"), enabled);
}

struct ResolveCase {
  std::string_view toml;
  std::string_view id;
  ResolvedCheckConfig expected;
};

void PrintTo(const ResolveCase& c, std::ostream* os) { *os << c.id << " under\n" << c.toml; }

class Precedence : public testing::TestWithParam<ResolveCase> {};

TEST_P(Precedence, Resolves) {
  EXPECT_EQ(resolve(decoded(GetParam().toml), GetParam().id), GetParam().expected);
}

constexpr std::string_view kTeamChain = R"(
profile.name = "a"
[profiles.a]
extends = "b"
[profiles.a.checks.QN002]
severity = "high"
[profiles.b]
extends = "strict"
[profiles.b.checks.QN002]
max_arguments = 4
max_lines = 30
)";

constexpr std::string_view kRulesChain = R"(
profile.name = "a"
[profiles.a]
extends = "b"
[profiles.a.checks.QN207]
rules = []
[[profiles.b.checks.QN207.rules]]
from = "app.domain"
forbidden = "app.infrastructure"
)";

const std::vector<ForbiddenImportRule> kDomainRule = {{"app.domain", "app.infrastructure"}};

INSTANTIATE_TEST_SUITE_P(Sources, Precedence, testing::Values(
  ResolveCase{"[checks.QN007]\nenabled = true", "QN007", {.enabled = true}},
  ResolveCase{"profile.name = \"strict\"\n[checks.QN001]\nenabled = false", "QN001", {.enabled = false}},
  ResolveCase{"[checks.QN001]\nmax_lines = 10\nmax_branches = 3\nseverity = \"critical\"", "QN001",
              {.max_lines = 10, .enabled = true, .severity = Severity::Critical}},
  ResolveCase{"[checks.QN001]\nmax_lines = 10", "QN002", {.enabled = true}},
  ResolveCase{kTeamChain, "QN002", {.max_arguments = 4, .max_lines = 30, .enabled = true, .severity = Severity::High}},
  ResolveCase{std::string_view(R"(
profile.name = "a"
profiles.a.extends = "b"
profiles.a.checks.QN002.max_arguments = 6
profiles.b.extends = "strict"
profiles.b.checks.QN002.max_arguments = 4
profiles.b.checks.QN002.max_depth = 2
checks.QN002.max_arguments = 3
)"), "QN002", {.max_arguments = 3, .max_depth = 2, .enabled = true}},
  ResolveCase{R"(
profile.name = "a"
profiles.a.extends = "b"
profiles.a.checks.QN001.max_lines = 80
profiles.b.checks.QN001.enabled = false
)", "QN001", {.max_lines = 80, .enabled = false}},
  ResolveCase{R"(
profile.name = "a"
profiles.a.extends = "b"
profiles.a.checks.QN007.enabled = true
profiles.b.checks.QN007.enabled = false
checks.QN007.max_lines = 1
)", "QN007", {.max_lines = 1, .enabled = true}},
  ResolveCase{R"(
profile.name = "a"
profiles.a.checks.QN007.enabled = true
checks.QN007.enabled = false
)", "QN007", {.enabled = false}},
  ResolveCase{kRulesChain, "QN207", {.rules = kDomainRule, .enabled = true}},
  ResolveCase{R"(
profile.name = "a"
profiles.a.extends = "b"
profiles.a.checks.QN207.rules = [["x", "y"]]
profiles.b.checks.QN207.rules = [["app.domain", "app.infrastructure"], ["p", "q"]]
)", "QN207", {.rules = {{"x", "y"}}, .enabled = true}},
  ResolveCase{R"(
profiles.b.checks.QN207.rules = [["x", "y"]]
checks.QN207.rules = []
)", "QN207", {.enabled = true}}));

INSTANTIATE_TEST_SUITE_P(UnusualChains, Precedence, testing::Values(
  // An undefined active name resolves like "default" with the top-level tables.
  ResolveCase{"profile.name = \"ghost\"\nprofiles.other.checks.QN001.max_lines = 5\nchecks.QN001.max_depth = 2", "QN001",
              {.max_depth = 2, .enabled = true}},
  // A cycle applies each of its profiles once, the active one last.
  ResolveCase{R"(
profile.name = "a"
profiles.a.extends = "b"
profiles.a.checks.QN001.max_lines = 2
profiles.b.extends = "a"
profiles.b.checks.QN001.max_lines = 1
profiles.b.checks.QN001.severity = "low"
)", "QN001", {.max_lines = 2, .enabled = true, .severity = Severity::Low}},
  ResolveCase{R"(
profile.name = "a"
profiles.a.extends = "b"
profiles.b.extends = "a"
)", "QN007", {.enabled = false}},
  // Settings of tables named after built-in profiles are never applied.
  ResolveCase{"profile.name = \"strict\"\nprofiles.strict.checks.QN001.max_lines = 5", "QN001", {.enabled = true}},
  ResolveCase{"profile.name = \"a\"\nprofiles.a.extends = \"default\"\nprofiles.default.checks.QN001.max_lines = 5",
              "QN001", {.enabled = true}},
  // A parent nobody defines ends the chain; the profile's own settings apply.
  ResolveCase{"profile.name = \"a\"\nprofiles.a.extends = \"nowhere\"\nprofiles.a.checks.QN007.max_lines = 7", "QN007",
              {.max_lines = 7, .enabled = false}},
  // Only the exact id is looked up.
  ResolveCase{"profile.name = \"a\"\nprofiles.a.checks.qn001.enabled = false\nprofiles.a.checks.QN1.enabled = false",
              "QN001", {.enabled = true}},
  ResolveCase{"checks.qn001.enabled = false\nchecks.\" QN001\".enabled = false", "QN001", {.enabled = true}}));

TEST(MergeCheckOverlay, SetFieldsReplaceAndEnabledIsLeftAlone) {
  ResolvedCheckConfig resolved{1, 2, 3, 4, kDomainRule, true, Severity::Low};
  merge_check_overlay(resolved, CheckConfig{.enabled = false});
  EXPECT_EQ(resolved, (ResolvedCheckConfig{1, 2, 3, 4, kDomainRule, true, Severity::Low}));
  merge_check_overlay(resolved, CheckConfig{false, 10, 20, 30, 40, {{"x", "y"}}, Severity::High});
  EXPECT_EQ(resolved, (ResolvedCheckConfig{10, 20, 30, 40, {{"x", "y"}}, true, Severity::High}));
}

}  // namespace
}  // namespace quarn
