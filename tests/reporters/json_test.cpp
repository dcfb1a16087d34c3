#include "reporters/json.h"

#include <gtest/gtest.h>

#include "reporters/support.h"

namespace quarn {
namespace {

TEST(JsonReport, NoFindingsIsAnEmptyArray) {
  auto report = render_json({});
  ASSERT_TRUE(report);
  EXPECT_EQ(*report, "[]");
}

TEST(JsonReport, ExternalFindingHasNullTexts) {
  std::vector<Finding> findings;
  findings.push_back(
      test::external("F401", "`os` imported but unused", "m.py", 18446744073709551615ull, 8, Severity::High));
  auto report = render_json(findings);
  ASSERT_TRUE(report);
  EXPECT_EQ(*report,
            "[\n"
            "  {\n"
            "    \"id\": \"EXT-RUFF-F401\",\n"
            "    \"title\": \"ruff:F401\",\n"
            "    \"message\": \"`os` imported but unused\",\n"
            "    \"explanation\": null,\n"
            "    \"remediation\": null,\n"
            "    \"file\": \"m.py\",\n"
            "    \"line\": 18446744073709551615,\n"
            "    \"column\": 8,\n"
            "    \"severity\": \"high\",\n"
            "    \"category\": \"warning\",\n"
            "    \"source\": \"ruff\",\n"
            "    \"confidence\": \"tool_reported\"\n"
            "  }\n"
            "]");
}

TEST(JsonReport, InvalidUtf8PathFailsTheWholeReport) {
  const char* bad_paths[] = {"bad\xff.py", "x\xe2\x82.py", "\xc0\xaf.py", "\xed\xa0\x80.py"};
  for (const char* bad : bad_paths) {
    std::vector<Finding> findings;
    findings.push_back(test::builtin("QN001", "fine", "ok.py", 1, 1));
    findings.push_back(test::builtin("QN001", "bad", bad, 1, 1));
    auto report = render_json(findings);
    ASSERT_FALSE(report) << bad;
    EXPECT_EQ(report.error().render(), "path contains invalid UTF-8 characters");
  }
}

TEST(JsonReport, NonAsciiPathIsWrittenUnescaped) {
  std::vector<Finding> findings;
  findings.push_back(test::builtin("QN001", "m", "src/\u00fcber.py", 1, 1));
  auto report = render_json(findings);
  ASSERT_TRUE(report);
  EXPECT_NE(report->find("\"file\": \"src/\u00fcber.py\","), std::string::npos);
}

}  // namespace
}  // namespace quarn
