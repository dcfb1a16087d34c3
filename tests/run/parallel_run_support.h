#pragma once

// Runs of the check over a tree of a few hundred files, in process, with the
// number of workers given.

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <new>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "e2e/run_quarn.h"
#include "run/check.h"

namespace quarn::test {

namespace fs = std::filesystem;

inline constexpr std::string_view kSources[] = {
    "import os\n\n\ndef handler(a, b, c, d, e, f):\n    try:\n        x = eval(\"1\")\n    except:\n"
    "        pass\n    print(x)  # TODO fix this\n    return {}\n",
    "class Store:\n    def add(self, items=[]):\n        assert items\n        if items == True:\n"
    "            return None\n        return len(items) == 0 or {}\n",
    "def f(x):\n    if x:\n        if x > 1:\n            if x > 2:\n                if x > 3:\n"
    "                    return {}\n    return 'a' + \"b\"\n",
};

// A few hundred files in nested packages, with read and parse failures
// among them, written in an order unrelated to path order.
inline void write_tree(const fs::path& root) {
  fs::create_directories(root / ".git");
  for (int i = 299; i >= 0; --i) {
    const fs::path file = root / fmt::format("pkg{}{}", i % 7, i % 2 ? "-x" : "") / fmt::format("sub{}", i % 3) /
                          fmt::format("mod_{}.py", i);
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    if (i % 37 == 5) {
      out << "name = '\xff'\n";
    } else if (i % 41 == 7) {
      out << "def broken(:\n";
    } else {
      out << fmt::format(fmt::runtime(kSources[i % std::size(kSources)]), i);
    }
  }
}

// What a run gave: both streams, its status and its prompt.
struct CheckRun {
  std::string out;
  std::string err;
  int status = -1;
  std::string prompt;
};

// Runs quarn's check on `root` with `workers` workers, the strict profile
// and a prompt beside `root`, with both streams sent to files; `after_run`
// runs once the check is done, before the streams are read back.
inline CheckRun run_with_workers(const fs::path& root, OutputFormat format, unsigned workers,
                                 const std::function<void()>& after_run = [] {}) {
  const CheckCommand command{.path = root,
                             .format = format,
                             .profile = "strict",
                             .with_external = {},
                             .remediation_prompt = root.parent_path() / "prompt.md"};
  CheckRun run;
  TempDir dir;
  const fs::path out_path = dir.path() / "out", err_path = dir.path() / "err";
  const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::fflush(stdout);
  std::fflush(stderr);
  const int saved_out = ::dup(STDOUT_FILENO), saved_err = ::dup(STDERR_FILENO);
  ::dup2(out, STDOUT_FILENO);
  ::dup2(err, STDERR_FILENO);
  try {
    RunResult result = run_check(command, workers);
    run.status = result ? *result : -2;
  } catch (const std::bad_alloc&) {
    run.status = -3;
  }
  after_run();
  ::dup2(saved_out, STDOUT_FILENO);
  ::dup2(saved_err, STDERR_FILENO);
  for (int fd : {out, err, saved_out, saved_err}) ::close(fd);
  run.out = read_text(out_path);
  run.err = read_text(err_path);
  run.prompt = read_text(*command.remediation_prompt);
  return run;
}

// Two runs gave the same streams, status and prompt.
inline void expect_same_run(const CheckRun& run, const CheckRun& reference, const std::string& where) {
  EXPECT_EQ(run.status, reference.status) << where;
  EXPECT_TRUE(run.out == reference.out) << where << ": standard output differs";
  EXPECT_EQ(run.err, reference.err) << where;
  EXPECT_TRUE(run.prompt == reference.prompt) << where << ": prompt differs";
}

// Tests over the tree write_tree writes.
class ParallelRun : public ::testing::Test {
 protected:
  void SetUp() override { write_tree(root); }

  TempDir dir;
  const fs::path root = dir.path() / "tree";
};

}  // namespace quarn::test
