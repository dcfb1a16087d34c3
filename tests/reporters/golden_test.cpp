// Whole outputs over one fixed list of findings. After an intended change of
// a format, regenerate the goldens under tests/fixtures/reporters/golden with
//   QUARN_UPDATE_GOLDEN=1 ./test_reporters --gtest_filter='Golden*'
// and review the diff.

#include <gtest/gtest.h>

#include "reporters/human.h"
#include "reporters/json.h"
#include "reporters/remediation_prompt.h"
#include "reporters/remediation_prompt_detail.h"
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

// A report made one finding at a time is the same text, and no finding's
// piece outgrows the bound the room for finishing a report is taken by, not
// even of texts that escape to six bytes a byte.
TEST(GoldenReports, OneFindingAtATime) {
  std::vector<Finding> findings = test::golden_findings();
  const std::string worst(2048, '\x1b');
  findings.push_back(test::external(worst, worst, "app/" + worst + ".py", UINT64_MAX, UINT64_MAX, Severity::High));
  findings.push_back(test::builtin("QN306", worst, "app/" + worst + ".py", UINT64_MAX, UINT64_MAX));
  const HumanReport human(findings);
  const JsonReport json(findings);
  const SarifReport sarif(findings);
  for (const Report* report : std::initializer_list<const Report*>{&human, &json, &sarif}) {
    std::string joined;
    report->head(joined);
    for (std::size_t i = 0; i < findings.size(); ++i) {
      std::string piece;
      report->pieces(piece, i, i + 1);
      EXPECT_LE(piece.size(), Report::text_bound(findings[i])) << i;
      joined += piece;
    }
    report->tail(joined);
    EXPECT_EQ(joined, report->render());
  }
}

// The prompt joined from pieces of `per_piece` occurrences, rendered last
// first.
std::string prompt_in_pieces(const FindingsView& findings, std::string_view checked_path, std::size_t per_piece) {
  const RemediationPrompt prompt(findings, checked_path, per_piece);
  std::vector<fmt::memory_buffer> pieces(prompt.piece_count());
  for (std::size_t i = pieces.size(); i-- > 0;) prompt.piece(pieces[i], i);
  fmt::memory_buffer joined;
  prompt.head(joined);
  for (const auto& piece : pieces) joined.append(piece);
  prompt.tail(joined);
  return fmt::to_string(joined);
}

TEST(GoldenReports, RemediationPrompt) {
  test::ScopedCurrentDir in_tree(test::golden_tree());
  const std::vector<Finding> findings = test::golden_findings();
  const std::string prompt = render_remediation_prompt(findings, "app");
  test::expect_golden("prompt.md", prompt);
  // Pieces that end inside a group or where one begins.
  for (std::size_t per_piece : {1, 2, 3, 5}) EXPECT_EQ(prompt_in_pieces(findings, "app", per_piece), prompt) << per_piece;
}

TEST(GoldenReports, RemediationPromptWithoutFindings) {
  test::expect_golden("empty_prompt.md", render_remediation_prompt({}, "src"));
}

}  // namespace
}  // namespace quarn
