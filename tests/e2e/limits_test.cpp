// Under a limit of threads, memory or descriptors, a run on every CPU gives
// exactly what a one-worker run under the same limit gives: both streams, the
// prompt and the exit status; never a signal. A stack limit changes nothing.
#include <unistd.h>

#include <optional>

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
  // Runs quarn after `setup` (shell commands such as ulimit), as the user
  // `uid` when one is given, on every CPU or pinned to the first one it may
  // use. A process limit counts every process of its user, so each test that
  // sets one runs as a user of its own.
  QuarnRun run_after(const std::string& setup, const std::string& args, bool one_cpu, std::optional<int> uid) {
    // Low descriptors the test runner left open are closed first, so that a
    // descriptor limit means the same everywhere.
    std::vector<std::string> command = {
        "bash", "-c",
        fmt::format("exec 3<&- 4<&- 5<&- 6<&- 7<&- 8<&- 9<&-; {} exec {}{} check {}", setup,
                    one_cpu ? "taskset -c 0 " : "", uid ? reachable.path().native() : QUARN_BIN, args)};
    if (uid) {
      const std::vector<std::string> as_user = test::as_user(*uid);
      command.insert(command.begin(), as_user.begin(), as_user.end());
    }
    auto result = run_process(command.front(), std::vector(command.begin() + 1, command.end()), dir.path().native());
    if (!result) return {};
    return {result->standard_output, result->standard_error, result->exit_status.value_or(-1)};
  }

  // The same under `limits` (ulimit options of bash); the prompt is read
  // back and removed.
  QuarnRun run(const std::string& limits, const std::string& args, bool one_cpu, std::optional<int> uid,
               std::string& prompt) {
    QuarnRun result = run_after("ulimit " + limits + ";", args + " --remediation-prompt p.md", one_cpu, uid);
    prompt = read_text(at("p.md"));
    fs::remove(at("p.md"));
    return result;
  }

  // Root can run quarn as another user, whose process limit then binds.
  bool can_drop_root() {
    std::vector<std::string> probe_args = test::as_user(test::kLimitsUser);
    probe_args.insert(probe_args.end(), {reachable.path().native(), "--version"});
    const auto probe = run_process(probe_args.front(), std::vector(probe_args.begin() + 1, probe_args.end()), "/");
    return ::geteuid() == 0 && probe && probe->exit_status == 0;
  }

  test::ReachableQuarn reachable;
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
  // Just under the 16 MiB that a worker reads.
  for (int f = 0; f < 300000; ++f) huge += fmt::format("def f{}(a, b, c, d, e, f):\n    return eval('1')\n", f);
  write("big/huge.py", huge);
  write("big/small.py", "def g(a, b, c, d, e, f):\n    return eval('1')\n");
  // Files read on the calling thread that run out of memory one after the
  // other, each giving its descriptor back.
  write("links/a00.py", std::string(120'000'000, 'x'));
  for (int i = 1; i < 40; ++i) fs::create_hard_link(at("links/a00.py"), at(fmt::format("links/a{:02}.py", i)));
  write("links/z.py", "x = 1\n");
  write("name/f.py", "def " + std::string(20'000'000, 'f') + "(a, b, c, d, e, f):\n    return eval('1')\n");
  write("streams/a.py", "x = 1\n");
  fs::create_symlink("/dev/zero", at("streams/zero1.py"));
  fs::create_symlink("/dev/zero", at("streams/zero2.py"));

  const bool unprivileged_too = can_drop_root();
  const struct {
    const char* limits;
    const char* args;
    const char* warned;  // what the reference run's standard error holds
    bool plain;      // needs an unsanitized build
    bool unprivileged;  // a process limit binds only an unprivileged user
  } cases[] = {
      // Workers on a machine of two CPUs or more: threads that fail to start,
      // descriptors that run out on the calling thread, memory that runs out
      // on a worker (the file is checked again alone, with the room it has in
      // a one-worker run); the report and the prompt fit where the check did.
      {"-u 3", "small", "parse small/broken.py", false, true},
      {"-n 4", "small", "parse small/broken.py", true, false},
      {"-n 6", "small --format json", "parse small/broken.py", true, false},
      {"-v 600000", "many --format json", "Wrote", true, false},
      {"-v 600000", "big", "warning: check big/huge.py: out of memory\n", true, false},
      {"-v 800000", "big", "Wrote", true, false},
      {"-v 1500000", "big", "Wrote", true, false},
      {"-v 6000000", "streams", "zero2.py: stream is too large", true, false},
      // Room for every worker twice over: malloc keeps its defaults.
      {"-v 8000000", "many --format json", "Wrote", true, false},
      {"-n 30 -v 100000", "links", "warning: read links/a39.py: out of memory\n", true, false},
      // One worker whatever the CPUs, one per 256 MiB of address space: these
      // test that every CPU changes nothing there.
      {"-v 16000", "many --format json", "error: out of memory\n", true, false},
      {"-v 40000", "many --format json", "Wrote", true, false},
      {"-v 150000", "many --format sarif", "Wrote", true, false},
      {"-v 250000", "name --format json", "Wrote", true, false},  // a finding's message of 20 MB
      {"-v 60000", "big", "warning: parse big/huge.py: out of memory\n", true, false},
      {"-v 400000", "big", "warning: check big/huge.py: out of memory\n", true, false},
  };
  std::string skipped;
  for (const auto& c : cases) {
    if (c.plain && kSanitized) {
      skipped += fmt::format(" {}: the sanitizers need more memory and descriptors;", c.limits);
      continue;
    }
    if (c.unprivileged && !unprivileged_too) {
      skipped += fmt::format(" {}: cannot run as an unprivileged user here;", c.limits);
      continue;
    }
    std::string prompt, one_prompt;
    const std::optional<int> uid = c.unprivileged ? std::optional(test::kLimitsUser) : std::nullopt;
    const QuarnRun all = run(c.limits, c.args, false, uid, prompt);
    const QuarnRun one = run(c.limits, c.args, true, uid, one_prompt);
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

std::string repeat(std::string_view piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

// Input nested as deep as the parser and the TOML reader go gives under any
// stack limit what it gives under the default one, on one worker and on
// many: quarn raises the soft limit or runs on threads with stacks of its own
// size. Only without threads under a low hard limit does a file get the
// nesting warning and the configuration its nesting error. Never a signal.
TEST_F(Limits, AnyStackLimitGivesWhatTheDefaultGives) {
  fs::permissions(dir.path(), fs::perms(0777));
  write("py/defaults.py", "x = " + repeat("lambda a=", 3000) + "1" + repeat(": 1", 3000) + "\n");
  write("py/lambdas.py", "x = " + repeat("lambda:", 3000) + "1\n");
  write("py/conditionals.py", "x = " + repeat("a if b else ", 3000) + "1\n");
  // Just inside the depth limit: parses under the default stack.
  write("py/parsed.py", "x = " + repeat("lambda a=", 2900) + "1" + repeat(": 1", 2900) + "\n");
  write("py/plain.py", "def f(a, b, c, d, e, f):\n    return eval('1')\n");
  write("toml/a.py", "x = 1\n");
  write("toml/quarn.toml", "x = " + repeat("{a=", 255) + "1" + repeat("}", 255) + "\n");

  constexpr std::string_view kNested = "too many nested expressions or blocks at byte offset ";
  constexpr std::string_view kTooSmall = " levels (the stack allows no more)\n";
  const struct {
    const char* args;
    // Without threads under -s 256: what standard error holds, the status.
    std::string_view small_stack_error;
    int small_stack_status;
  } inputs[] = {
      {"py/defaults.py --profile strict", kNested, 2},
      {"py/lambdas.py --profile strict", kNested, 2},
      {"py/conditionals.py --profile strict", kNested, 2},
      {"py/parsed.py --profile strict", kNested, 2},
      {"py --profile strict", kNested, 1},
      {"toml/a.py", kTooSmall, 2},
  };
  // A process limit binds root only once it runs as another user.
  const std::optional<int> uid = ::geteuid() == 0 ? std::optional(test::kStackLimitsUser) : std::nullopt;
  const bool threads_limited = !uid || can_drop_root();
  // Without a thread to spare, LeakSanitizer cannot run at exit.
  const std::string no_threads = "export ASAN_OPTIONS=detect_leaks=0; ulimit ";
  // Without /proc the main thread's stack is estimated, not looked up; /proc
  // stays where no namespace can be made, and for the sanitizer runtime.
  const char* no_proc = kSanitized ? "ulimit -s unlimited;" : R"(ulimit -s unlimited; p() { shift;
unshare -rm true 2>/dev/null && exec unshare -rm sh -c 'mount -t tmpfs none /proc && exec "$@"' - "$@"; exec "$@"; }; p)";
  for (const auto& input : inputs) {
    const QuarnRun reference = run_after("", input.args, false, std::nullopt);
    EXPECT_TRUE(reference.status == 1 || reference.status == 2) << input.args << reference.err;
    EXPECT_EQ(reference.err.find("Sanitizer"), std::string::npos) << input.args << reference.err;
    for (const char* limits :
         {"", "ulimit -s 256;", "ulimit -s 512;", "ulimit -s 1024;", "ulimit -s unlimited;", no_proc}) {
      for (bool one_cpu : {true, false}) {
        const std::string where = fmt::format("{} after '{}' on {}", input.args, limits, one_cpu ? "one CPU" : "all");
        const QuarnRun limited = run_after(limits, input.args, one_cpu, std::nullopt);
        EXPECT_EQ(limited.status, reference.status) << where;
        EXPECT_EQ(limited.err, reference.err) << where;
        EXPECT_TRUE(limited.out == reference.out) << where;
      }
    }
    if (!threads_limited) continue;
    // A soft limit is raised.
    const QuarnRun raised = run_after(no_threads + "-S -u 1 -s 256;", input.args, false, uid);
    EXPECT_EQ(raised.status, reference.status) << input.args;
    EXPECT_EQ(raised.err, reference.err) << input.args;
    EXPECT_TRUE(raised.out == reference.out) << input.args;
    const QuarnRun small = run_after(no_threads + "-u 1 -s 256;", input.args, false, uid);
    EXPECT_EQ(small.status, input.small_stack_status) << input.args << small.err;
    EXPECT_NE(small.err.find(input.small_stack_error), std::string::npos) << input.args << small.err;
    EXPECT_EQ(small.err.find("Sanitizer"), std::string::npos) << input.args << small.err;
  }
  if (!threads_limited) GTEST_SKIP() << "cannot run as an unprivileged user here: no run without threads";
}

}  // namespace
}  // namespace quarn
