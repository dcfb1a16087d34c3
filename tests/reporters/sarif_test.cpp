#include "reporters/sarif.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>

#include "reporters/support.h"

namespace quarn {
namespace {

using Json = nlohmann::ordered_json;

std::vector<std::string> keys_of(const Json& object) {
  std::vector<std::string> keys;
  for (const auto& [key, value] : object.items()) keys.push_back(key);
  return keys;
}

// The members a SARIF 2.1.0 consumer requires, and the value types and ranges
// its schema gives them.
void expect_valid_sarif(const std::string& text) {
  Json log = Json::parse(text);
  ASSERT_TRUE(log.is_object());
  EXPECT_EQ(keys_of(log), (std::vector<std::string>{"version", "$schema", "runs"}));
  EXPECT_EQ(log["version"], "2.1.0");
  EXPECT_EQ(log["$schema"], kSarifSchema);
  ASSERT_TRUE(log["runs"].is_array());
  ASSERT_EQ(log["runs"].size(), 1u);
  const Json& run = log["runs"][0];
  EXPECT_EQ(keys_of(run), (std::vector<std::string>{"tool", "results"}));
  const Json& driver = run["tool"]["driver"];
  EXPECT_EQ(driver["name"], "quarn");
  ASSERT_TRUE(driver["rules"].is_array());
  std::set<std::string> rule_ids;
  for (const auto& rule : driver["rules"]) {
    ASSERT_TRUE(rule["id"].is_string());
    EXPECT_TRUE(rule_ids.insert(rule["id"].get<std::string>()).second) << "duplicate rule " << rule["id"];
    EXPECT_TRUE(rule["name"].is_string());
    EXPECT_TRUE(rule["shortDescription"]["text"].is_string());
  }
  ASSERT_TRUE(run["results"].is_array());
  for (const auto& result : run["results"]) {
    EXPECT_EQ(keys_of(result), (std::vector<std::string>{"ruleId", "level", "message", "locations"}));
    EXPECT_TRUE(rule_ids.contains(result["ruleId"].get<std::string>()));
    EXPECT_TRUE(result["level"] == "note" || result["level"] == "warning" || result["level"] == "error");
    EXPECT_TRUE(result["message"]["text"].is_string());
    ASSERT_EQ(result["locations"].size(), 1u);
    const Json& physical = result["locations"][0]["physicalLocation"];
    EXPECT_TRUE(physical["artifactLocation"]["uri"].is_string());
    EXPECT_TRUE(physical["region"]["startLine"].is_number_unsigned());
    EXPECT_GE(physical["region"]["startLine"].get<std::uint64_t>(), 1u);
    EXPECT_TRUE(physical["region"]["startColumn"].is_number_unsigned());
    EXPECT_GE(physical["region"]["startColumn"].get<std::uint64_t>(), 1u);
  }
}

TEST(SarifReport, LevelFollowsSeverity) {
  const std::pair<Severity, std::string_view> cases[] = {
      {Severity::Info, "note"},  {Severity::Low, "note"},       {Severity::Medium, "warning"},
      {Severity::High, "error"}, {Severity::Critical, "error"},
  };
  for (auto [severity, level] : cases) {
    EXPECT_EQ(sarif_level(severity), level) << severity_name(severity);
    auto finding = test::builtin("QN001", "m", "a.py", 1, 1);
    finding.severity = severity;
    EXPECT_EQ(Json::parse(render_sarif(std::span<const Finding>(&finding, 1)))["runs"][0]["results"][0]["level"], level);
  }
}

TEST(SarifReport, OneRulePerIdInOrderOfFirstAppearance) {
  std::vector<Finding> findings;
  findings.push_back(test::builtin("QN403", "bare", "a.py", 1, 1));
  for (std::uint64_t line = 2; line <= 6; ++line) findings.push_back(test::builtin("QN001", "long", "a.py", line, 1));
  findings.push_back(test::builtin("QN403", "bare", "b.py", 1, 1));
  findings.push_back(test::external("E501", "too long", "b.py", 2, 89, Severity::High));

  const Json run = Json::parse(render_sarif(findings))["runs"][0];
  std::vector<std::string> rule_ids, rule_names, result_ids;
  for (const auto& rule : run["tool"]["driver"]["rules"]) {
    rule_ids.push_back(rule["id"]);
    rule_names.push_back(rule["name"]);
    EXPECT_EQ(rule["shortDescription"]["text"], rule["name"]);
  }
  for (const auto& result : run["results"]) result_ids.push_back(result["ruleId"]);
  EXPECT_EQ(rule_ids, (std::vector<std::string>{"QN403", "QN001", "EXT-RUFF-E501"}));
  EXPECT_EQ(rule_names, (std::vector<std::string>{"bare-except", "long-function", "ruff:E501"}));
  EXPECT_EQ(result_ids,
            (std::vector<std::string>{"QN403", "QN001", "QN001", "QN001", "QN001", "QN001", "QN403", "EXT-RUFF-E501"}));
  expect_valid_sarif(render_sarif(findings));
}

TEST(SarifReport, RuleTakesItsNameFromTheFirstFinding) {
  std::vector<Finding> findings;
  findings.push_back(test::external("X1", "m", "a.py", 1, 1, Severity::Low));
  findings.push_back(test::external("X1", "m", "a.py", 2, 1, Severity::Low));
  findings[1].title = "other-title";
  const Json rules = Json::parse(render_sarif(findings))["runs"][0]["tool"]["driver"]["rules"];
  ASSERT_EQ(rules.size(), 1u);
  EXPECT_EQ(rules[0]["name"], "ruff:X1");
}

TEST(SarifReport, InvalidPathBytesAreReplaced) {
  std::vector<Finding> findings;
  findings.push_back(test::builtin("QN001", "m", "bad\xff\xfe/x.py", 3, 4));
  auto text = render_sarif(findings);
  EXPECT_NE(text.find("\"uri\": \"bad\uFFFD\uFFFD/x.py\""), std::string::npos) << text;
  expect_valid_sarif(text);
}

TEST(SarifReport, MessagesAreEscapedLikeTheJsonReport) {
  std::vector<Finding> findings;
  findings.push_back(test::builtin("QN001", "q\"\\\t\x1b \u2192", "a.py", 1, 1));
  const std::string expected = R"("text": "q\"\\\t\u001b )" + std::string("\u2192\"");
  EXPECT_NE(render_sarif(findings).find(expected), std::string::npos);
}

TEST(SarifReport, NoFindingsIsStillAValidLog) {
  auto text = render_sarif({});
  EXPECT_NE(text.find("\"rules\": []"), std::string::npos);
  EXPECT_NE(text.find("\"results\": []"), std::string::npos);
  expect_valid_sarif(text);
}

TEST(SarifReport, GoldenListIsAValidLog) { expect_valid_sarif(render_sarif(test::golden_findings())); }

}  // namespace
}  // namespace quarn
