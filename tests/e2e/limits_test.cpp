// Under a limit of threads, memory or descriptors, a run on every CPU gives
// exactly what a one-worker run under the same limit gives: both streams, the
// prompt and the exit status; never a signal.
#include <unistd.h>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "e2e/run_quarn.h"

namespace quarn {
namespace {

namespace fs = std::filesystem;
using test::ProjectTest;
using test::QuarnRun;
using test::read_text;

class Limits : public ProjectTest {
 protected:
  // Runs quarn under `limits` (ulimit options of bash), as `user` when one
  // is given, on every CPU or pinned to the first one it may use; the prompt
  // is read back and removed.
  QuarnRun run(const std::string& limits, const std::string& args, bool one_cpu, bool unprivileged,
               std::string& prompt) {
    // Low descriptors the test runner left open are closed first, so that a
    // descriptor limit means the same everywhere.
    std::vector<std::string> command = {
        "bash", "-c",
        fmt::format("exec 3<&- 4<&- 5<&- 6<&- 7<&- 8<&- 9<&-; ulimit {}; exec {}{} check {} --remediation-prompt p.md",
                    limits, one_cpu ? "taskset -c 0 " : "", unprivileged ? reachable.path().native() : QUARN_BIN, args)};
    if (unprivileged) command.insert(command.begin(), kAsLimitedUser.begin(), kAsLimitedUser.end());
    auto result = run_process(command.front(), std::vector(command.begin() + 1, command.end()), dir.path().native());
    prompt = read_text(at("p.md"));
    fs::remove(at("p.md"));
    if (!result) return {};
    return {result->standard_output, result->standard_error, result->exit_status.value_or(-1)};
  }

  test::ReachableQuarn reachable;
  const std::vector<std::string> kAsLimitedUser = test::as_user(test::kLimitsUser);
};

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;  // their runtime needs more address space and descriptors
#else
constexpr bool kSanitized = false;
#endif

TEST_F(Limits, EveryCpuGivesWhatOneWorkerGives) {
  fs::permissions(dir.path(), fs::perms(0777));
  std::string many_functions;
  for (int f = 0; f < 40; ++f)
    many_functions += fmt::format("def f{}(a, b, c, d, e, f):\n    x = eval('1')  # TODO\n    return x\n\n", f);
  for (int i = 0; i < 160; ++i) write(fmt::format("many/m{:03}.py", i), many_functions);
  for (int i = 0; i < 120; ++i)
    write(fmt::format("small/s{:03}.py", i), fmt::format("def g{}(a):\n    return {{}}\n", i));
  write("small/broken.py", "def (\n");
  // Devices are read on the calling thread while the workers go on.
  for (int i = 0; i < 20; ++i) fs::create_symlink("/dev/null", at(fmt::format("small/null{:02}.py", i)));
  std::string huge;
  for (int f = 0; f < 150000; ++f) huge += fmt::format("def f{}(a, b, c, d, e, f):\n    return eval('1')\n", f);
  write("big/huge.py", huge);
  write("big/small.py", "def g(a, b, c, d, e, f):\n    return eval('1')\n");
  write("streams/a.py", "x = 1\n");
  fs::create_symlink("/dev/zero", at("streams/zero1.py"));
  fs::create_symlink("/dev/zero", at("streams/zero2.py"));

  std::vector<std::string> probe_args(kAsLimitedUser.begin() + 1, kAsLimitedUser.end());
  probe_args.insert(probe_args.end(), {reachable.path().native(), "--version"});
  const auto probe = run_process(kAsLimitedUser.front(), probe_args, "/");
  const bool can_drop_root = ::geteuid() == 0 && probe && probe->exit_status == 0;
  const struct {
    const char* limits;
    const char* args;
    const char* warned;  // what the reference run's standard error holds
    bool plain;      // needs an unsanitized build
    bool unprivileged;  // a process limit binds only an unprivileged user
  } cases[] = {
      {"-u 3", "small", "parse small/broken.py", false, true},
      {"-n 4", "small", "parse small/broken.py", true, false},
      {"-n 6", "small --format json", "parse small/broken.py", true, false},
      {"-v 600000", "many --format json", "Wrote", true, false},
      {"-v 150000", "many --format sarif", "Wrote", true, false},
      {"-v 16000", "many --format json", "error: out of memory\n", true, false},
      {"-v 40000", "many --format json", "error: out of memory\n", true, false},
      {"-v 60000", "big", "warning: parse big/huge.py: out of memory\n", true, false},
      {"-v 230000", "big", "warning: check big/huge.py: out of memory\n", true, false},
      {"-v 6000000", "streams", "zero2.py: stream is too large", true, false},
  };
  std::string skipped;
  for (const auto& c : cases) {
    if (c.plain && kSanitized) {
      skipped += fmt::format(" {}: the sanitizers need more memory and descriptors;", c.limits);
      continue;
    }
    if (c.unprivileged && !can_drop_root) {
      skipped += fmt::format(" {}: cannot run as an unprivileged user here;", c.limits);
      continue;
    }
    std::string prompt, one_prompt;
    const QuarnRun all = run(c.limits, c.args, false, c.unprivileged, prompt);
    const QuarnRun one = run(c.limits, c.args, true, c.unprivileged, one_prompt);
    EXPECT_TRUE(one.status == 1 || one.status == 2) << c.limits << one.err;
    EXPECT_NE(one.err.find(c.warned), std::string::npos) << c.limits << one.err;
    EXPECT_EQ(all.status, one.status) << c.limits << ": " << all.err;
    EXPECT_EQ(all.err, one.err) << c.limits;
    EXPECT_TRUE(all.out == one.out) << c.limits;
    EXPECT_TRUE(prompt == one_prompt) << c.limits;
    // A report is whole or not there, whatever ran out.
    if (std::string_view(c.args).ends_with("json") || std::string_view(c.args).ends_with("sarif")) {
      EXPECT_TRUE(one.out.empty() || nlohmann::json::accept(one.out)) << c.limits << ": " << one.out.substr(0, 80);
    }
  }
  if (!skipped.empty()) GTEST_SKIP() << "skipped" << skipped;
}

}  // namespace
}  // namespace quarn
