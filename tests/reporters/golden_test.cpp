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

// The prompt joined from runs of `per_piece` occurrences, rendered last
// first, each `budget` bytes at a time.
std::string prompt_in_pieces(const FindingsView& findings, std::string_view checked_path, std::size_t per_piece,
                             std::size_t budget) {
  const RemediationPrompt prompt(findings, checked_path);
  std::vector<fmt::memory_buffer> pieces((prompt.occurrences() + per_piece - 1) / per_piece);
  for (std::size_t i = pieces.size(); i-- > 0;) {
    const std::size_t end = std::min(prompt.occurrences(), (i + 1) * per_piece);
    for (std::size_t next = i * per_piece; next < end;)
      next = prompt.render(pieces[i], next, end, pieces[i].size() + budget);
  }
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
  // Runs that end inside a group or where one begins, and texts cut after
  // every occurrence.
  constexpr std::size_t kWhole = std::size_t{1} << 40;
  const struct {
    std::size_t per_piece;
    std::size_t budget;
  } cuts[] = {{1, kWhole}, {2, kWhole}, {3, 1}, {5, kWhole}, {1000, 1}};
  for (const auto& cut : cuts)
    EXPECT_EQ(prompt_in_pieces(findings, "app", cut.per_piece, cut.budget), prompt) << cut.per_piece;
}

TEST(GoldenReports, RemediationPromptWithoutFindings) {
  test::expect_golden("empty_prompt.md", render_remediation_prompt({}, "src"));
}

}  // namespace
}  // namespace quarn
