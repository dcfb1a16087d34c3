// The run's output must not depend on how many workers check the files.
#include <gtest/gtest.h>

#include "reporters/remediation_prompt_detail.h"
#include "run/parallel_run_support.h"

namespace quarn::test {
namespace {

TEST_F(ParallelRun, OutputIsTheSameForAnyNumberOfWorkers) {
  for (OutputFormat format : {OutputFormat::Json, OutputFormat::Human, OutputFormat::Sarif}) {
    const CheckRun one = run_with_workers(root, format, 1);
    EXPECT_EQ(one.status, 1);
    EXPECT_GT(one.out.size(), 100000u);
    EXPECT_NE(one.err.find("warning: read "), std::string::npos);
    EXPECT_NE(one.err.find("warning: parse "), std::string::npos);
    // The prompt is rendered in several pieces.
    std::size_t occurrences = 0;
    for (auto at = one.prompt.find("\n### "); at != std::string::npos; at = one.prompt.find("\n### ", at + 1)) ++occurrences;
    EXPECT_GT(occurrences, 2 * kPromptOccurrencesPerPiece);
    for (unsigned workers : {2u, 16u})
      expect_same_run(run_with_workers(root, format, workers), one, fmt::format("{} workers", workers));
  }
}

}  // namespace
}  // namespace quarn::test
