// Whole outputs over one fixed list of findings. After an intended change of
// a format, regenerate the goldens under tests/fixtures/reporters/golden with
//   QUARN_UPDATE_GOLDEN=1 ./test_reporters --gtest_filter='Golden*'
// and review the diff.

#include <gtest/gtest.h>

#include "reporters/human.h"
#include "reporters/json.h"
#include "reporters/remediation_prompt.h"
#include "reporters/sarif.h"
#include "reporters/support.h"

namespace quarn {
namespace {

TEST(GoldenReports, Human) { test::expect_golden("human.txt", render_human(test::golden_findings())); }

TEST(GoldenReports, Json) {
  auto report = render_json(test::golden_findings());
  ASSERT_TRUE(report) << report.error().render();
  test::expect_golden("report.json", *report);
}

TEST(GoldenReports, Sarif) { test::expect_golden("report.sarif", render_sarif(test::golden_findings())); }

TEST(GoldenReports, SarifWithoutFindings) { test::expect_golden("empty.sarif", render_sarif({})); }

TEST(GoldenReports, RemediationPrompt) {
  test::ScopedCurrentDir in_tree(test::golden_tree());
  test::expect_golden("prompt.md", render_remediation_prompt(test::golden_findings(), "app"));
}

TEST(GoldenReports, RemediationPromptWithoutFindings) {
  test::expect_golden("empty_prompt.md", render_remediation_prompt({}, "src"));
}

}  // namespace
}  // namespace quarn
