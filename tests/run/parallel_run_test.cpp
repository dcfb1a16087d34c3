// The run's output must not depend on how many workers check the files.
#include <gtest/gtest.h>

#include "run/parallel_run_support.h"

namespace quarn::test {
namespace {

TEST(ParallelRun, OutputIsTheSameForAnyNumberOfWorkers) {
  TempDir dir;
  const fs::path root = dir.path() / "tree";
  write_tree(root);
  for (OutputFormat format : {OutputFormat::Json, OutputFormat::Human, OutputFormat::Sarif}) {
    const CheckRun one = run_with_workers(root, format, 1);
    EXPECT_EQ(one.status, 1);
    EXPECT_GT(one.streams.out.size(), 100000u);
    EXPECT_NE(one.streams.err.find("warning: read "), std::string::npos);
    EXPECT_NE(one.streams.err.find("warning: parse "), std::string::npos);
    for (unsigned workers : {2u, 16u}) {
      const CheckRun many = run_with_workers(root, format, workers);
      EXPECT_EQ(many.status, one.status) << workers;
      EXPECT_TRUE(many.streams.out == one.streams.out) << workers << " workers: standard output differs";
      EXPECT_EQ(many.streams.err, one.streams.err) << workers;
      EXPECT_TRUE(many.prompt == one.prompt) << workers << " workers: prompt differs";
    }
  }
}

}  // namespace
}  // namespace quarn::test
