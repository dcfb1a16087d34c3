// End-to-end runs of quarn against hostile files and broken output: sources
// and configurations of a terabyte or without end, source context from
// devices and fifos, standard output that cannot be written, a file-size
// limit, signals while the prompt is written, prompts and starter files in
// the way, directories that cannot be read. Each run happens in a temporary
// directory holding a .git marker.
#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <optional>
#include <thread>

#include <fmt/ranges.h>

#include "e2e/run_quarn.h"

extern char** environ;

namespace quarn::test {
namespace {

namespace fs = std::filesystem;

constexpr off_t kTebibyte = off_t{1} << 40;
constexpr std::string_view kClean = "\"\"\"A clean module.\"\"\"\n\nVALUE = 1\n";
constexpr std::string_view kTooLarge = "stream is too large (4 GiB or more)";

// Runs of hostile input are bounded in CPU time, so that a loaded machine
// does not fail them, and in wall time only far above any run that
// progresses, against one that blocks. In the plain build they are bounded in
// address space too: a buffer of 4 GiB that doubled would not fit. The
// sanitizer runtime reserves terabytes of address space, so there it is not
// capped.
#ifdef __SANITIZE_ADDRESS__
constexpr std::string_view kBounded = "ulimit -t 300; exec timeout 3600 \"$0\" \"$@\"";
#else
constexpr std::string_view kBounded = "ulimit -v 7340032; ulimit -t 300; exec timeout 3600 \"$0\" \"$@\"";
#endif

class HostileFiles : public ProjectTest {
 protected:
  // A sparse file of `size` bytes; false when the file system cannot hold it.
  bool write_sparse(const std::string& relative, off_t size) {
    fs::create_directories(at(relative).parent_path());
    int fd = ::open(at(relative).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    bool made = fd >= 0 && ::ftruncate(fd, size) == 0;
    if (fd >= 0) ::close(fd);
    return made;
  }

  QuarnRun run(const std::string& program, const std::vector<std::string>& args) {
    auto result = run_process(program, args, dir.path().native());
    EXPECT_TRUE(result.has_value()) << program;
    if (!result) return {};
    return {result->standard_output, result->standard_error, result->exit_status.value_or(-1)};
  }

  // Runs quarn through /bin/sh: `script` sets the stage, then runs quarn as
  // "$0" "$@".
  QuarnRun shell(std::string_view script, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"-c", std::string(script), QUARN_BIN};
    argv.insert(argv.end(), args.begin(), args.end());
    return run("/bin/sh", argv);
  }
  QuarnRun bounded(const std::vector<std::string>& args) { return shell(kBounded, args); }

  // The names in a directory, sorted.
  std::vector<std::string> entries(const std::string& relative) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(at(relative))) names.push_back(entry.path().filename());
    std::ranges::sort(names);
    return names;
  }

  // Starts quarn through /bin/sh -c `script`, which must exec it, so that
  // quarn is our child under the pid returned; SIGINT, SIGTERM and SIGHUP
  // start at their default action, standard output goes to `out` (by
  // default /dev/null), standard error to `err`.
  pid_t start(const std::string& script, const std::vector<std::string>& args, const fs::path& err, int out = -1) {
    std::vector<std::string> strings = {"/bin/sh", "-c", script, QUARN_BIN};
    strings.insert(strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : strings) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (out >= 0)
      posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    else
      posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, dir.path().c_str());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, signal_number);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, "/bin/sh", &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    EXPECT_EQ(rc, 0);
    return rc == 0 ? pid : -1;
  }
};

// A child's wait status once it ended (or, with WUNTRACED, stopped), polled
// for at most two minutes; none after that, when the child is killed.
std::optional<int> wait_for(pid_t pid, int options) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  for (;;) {
    int status = 0;
    const pid_t got = ::waitpid(pid, &status, options | WNOHANG);
    if (got == pid) return status;
    if ((got < 0 && errno != EINTR) || std::chrono::steady_clock::now() > deadline) break;
    ::usleep(1000);
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  return std::nullopt;
}

TEST_F(HostileFiles, HugeAndEndlessSourcesAreSkippedWithAWarning) {
  write("t/a.py", "x = 1\n");
  const QuarnRun expected = run_quarn({"check", "t"}, dir.path());
  ASSERT_EQ(expected.status, 1);
  const struct {
    const char* name;
    std::function<bool(const std::string&)> make;
  } cases[] = {
      {"zero.py", [this](const std::string& path) {
         fs::create_symlink("/dev/zero", at(path));
         return true;
       }},
      {"huge.py", [this](const std::string& path) { return write_sparse(path, kTebibyte); }},
      {"edge.py", [this](const std::string& path) { return write_sparse(path, off_t{1} << 32); }},
  };
  for (const auto& c : cases) {
    const std::string path = std::string("t/") + c.name;
    if (!c.make(path)) GTEST_SKIP() << "this file system cannot hold a sparse file of 1 TiB";
    QuarnRun run = bounded({"check", "t"});
    EXPECT_EQ(run.status, 1) << c.name;
    EXPECT_EQ(run.out, expected.out) << c.name;
    EXPECT_EQ(run.err, "warning: read " + path + ": " + std::string(kTooLarge) + "\n") << c.name;
    fs::remove(at(path));
  }
}

// A file whose size shows as 0, as those of /proc do, is read whole, and
// a failing read is the file's warning.
TEST_F(HostileFiles, SourcesOfUnknownSizeAreReadWhole) {
  fs::create_directory(at("p"));
  fs::create_symlink("/proc/self/cmdline", at("p/cmdline.py"));
  fs::create_symlink("/proc/self/mem", at("p/mem.py"));  // reading address 0 fails
  const QuarnRun run = run_quarn({"check", "p"}, dir.path());
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "No issues found.\n\n");
  EXPECT_TRUE(run.err.starts_with("warning: parse p/cmdline.py: ")) << run.err;
  EXPECT_TRUE(run.err.ends_with("\nwarning: read p/mem.py: Input/output error (os error 5)\n")) << run.err;
}

// A fifo is read whole, as one worker reads it, however many workers run:
// its writer sees one reader open it once.
TEST_F(HostileFiles, FifoSourcesAreReadWhole) {
  std::string large;
  for (int i = 0; i < 30000; ++i) large += fmt::format("x{} = {}\n", i, i);
  large += "def last(a, b, c, d, e, f):\n    return eval('1')\n";
  for (const char* name : {"a", "b", "c"}) write(fmt::format("r/{}.py", name), "y = 2\n");
  std::signal(SIGPIPE, SIG_IGN);
  for (const std::string& source : {large, std::string("(")}) {
    fs::remove(at("r/big.py"));
    write("r/big.py", source);
    const QuarnRun expected = run_quarn({"check", "r"}, dir.path());
    fs::remove(at("r/big.py"));
    ASSERT_EQ(::mkfifo(at("r/big.py").c_str(), 0644), 0);
    std::thread writer([&] {
      int fd = -1;
      for (int tries = 0; fd < 0 && tries < 3000; ++tries) {
        fd = ::open(at("r/big.py").c_str(), O_WRONLY | O_NONBLOCK);  // ENXIO until quarn opens it
        if (fd < 0) ::usleep(10000);
      }
      if (fd < 0) return;
      ::fcntl(fd, F_SETFL, 0);
      for (std::string_view rest = source; !rest.empty();) {
        const ssize_t n = ::write(fd, rest.data(), rest.size());
        if (n <= 0) break;
        rest.remove_prefix(static_cast<std::size_t>(n));
      }
      ::close(fd);
    });
    const QuarnRun run = run_quarn({"check", "r"}, dir.path());
    writer.join();
    EXPECT_NE(expected.out + expected.err, "No issues found.\n\n") << source.size();
    EXPECT_EQ(run.status, expected.status) << source.size();
    EXPECT_EQ(run.err, expected.err) << source.size();
    EXPECT_EQ(run.out, expected.out) << source.size();
  }
}

TEST_F(HostileFiles, HugeConfigurationIsARunError) {
  write("p/a.py", kClean);
  if (!write_sparse("p/quarn.toml", kTebibyte)) GTEST_SKIP() << "this file system cannot hold a sparse file of 1 TiB";
  QuarnRun run = bounded({"check", "p"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "error: read config p/quarn.toml: " + std::string(kTooLarge) + "\n");
}

// An external checker may name any path. Files that are not regular or are
// too large give no source context, and nothing else changes: the prompt
// equals the one written while those paths name nothing at all.
TEST_F(HostileFiles, PromptContextOnlyFromRegularFilesWithinTheLimit) {
  write("proj/a.py", kClean);
  std::string diagnostics;
  for (const char* file : {"zero.py", "huge.py", "fifo.py", "proj/a.py"}) {
    diagnostics += diagnostics.empty() ? "[" : ",";
    diagnostics +=
        fmt::format(R"({{"code":"E1","message":"m","filename":"{}","location":{{"row":1,"column":1}}}})", file);
  }
  fake_ruff(fmt::format("printf '%s' '{}]'", diagnostics));
  const std::vector<std::string> args = {"check", "proj", "--with-external", "ruff", "--remediation-prompt", "p.md"};

  QuarnRun plain = bounded(args);
  const std::string expected = read_text(at("p.md"));
  fs::create_symlink("/dev/zero", at("zero.py"));
  EXPECT_EQ(::mkfifo(at("fifo.py").c_str(), 0644), 0);
  bool sparse = write_sparse("huge.py", kTebibyte);
  QuarnRun hostile = bounded(args);
  if (!sparse) GTEST_SKIP() << "this file system cannot hold a sparse file of 1 TiB";

  EXPECT_EQ(plain.status, 1);
  EXPECT_NE(expected.find("Source context:"), std::string::npos) << expected;
  EXPECT_EQ(hostile.status, 1);
  EXPECT_EQ(hostile.err, "Wrote remediation prompt to p.md\n");
  EXPECT_EQ(read_text(at("p.md")), expected);
}

// Every command, with standard output full, closed, or a pipe without a
// reader while SIGPIPE is ignored.
TEST_F(HostileFiles, FailedStandardOutputIsARunError) {
  write("clean/a.py", kClean);
  write("found/a.py", "x = 1\n");
  const struct {
    const char* name;
    std::string script;
    std::string message;
  } outputs[] = {
      {"full", "exec \"$0\" \"$@\" >/dev/full", "No space left on device (os error 28)"},
      {"closed", "exec \"$0\" \"$@\" >&-", "Bad file descriptor (os error 9)"},
      // Reading and writing ends of a fifo, then the reading end closed.
      {"no reader", "trap '' PIPE; rm -f pipe; mkfifo pipe && exec 4<>pipe 5>pipe 4<&- && exec \"$0\" \"$@\" >&5",
       "Broken pipe (os error 32)"},
  };
  const std::vector<std::string> commands[] = {
      {"check", "clean"},
      {"check", "found"},
      {"check", "found", "--format", "json"},
      {"check", "found", "--format", "sarif"},
      {"list-checks"},
      {"explain", "QN001"},
      {"list-checkers"},
      {"init"},
      {"--help"},
      {"--version"},
      {"help", "check"},
      {"check", "--help"},
  };
  for (const auto& output : outputs) {
    for (const auto& command : commands) {
      fs::remove(at("quarn.toml"));
      QuarnRun run = shell(output.script, command);
      const std::string name = fmt::format("{}: {}", output.name, fmt::join(command, " "));
      EXPECT_EQ(run.status, 2) << name;
      EXPECT_EQ(run.err, "error: write standard output: " + output.message + "\n") << name;
    }
  }
  // After a failed report the prompt is not written.
  QuarnRun run = shell(outputs[0].script, {"check", "found", "--remediation-prompt", "p.md"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "error: write standard output: No space left on device (os error 28)\n");
  EXPECT_FALSE(fs::exists(at("p.md")));
}

// The report ends at the first write that fails, though later ones could
// succeed: standard output is a datagram socket that takes the head, a piece
// of one finding and the tail, but not a piece of 2048 findings.
TEST_F(HostileFiles, ReportEndsAtTheFirstFailedWrite) {
  std::string asserts;
  for (int i = 0; i < 2049; ++i) asserts += "assert x\n";
  write("many/a.py", asserts);
  const TempDir logs;
  const fs::path err = logs.path() / "err";
  for (const char* format : {"human", "json", "sarif"}) {
    const QuarnRun whole = run_quarn({"check", "many", "--format", format}, dir.path());
    ASSERT_EQ(whole.status, 1) << format;
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, ends), 0);
    const int send_buffer = 1 << 15;  // doubled by the kernel: datagrams of up to 64 KiB
    ASSERT_EQ(::setsockopt(ends[1], SOL_SOCKET, SO_SNDBUF, &send_buffer, sizeof send_buffer), 0);
    const pid_t pid = start("exec \"$0\" \"$@\"", {"check", "many", "--format", format}, err, ends[1]);
    ::close(ends[1]);
    const std::optional<int> status = pid > 0 ? wait_for(pid, 0) : std::nullopt;
    std::string received;
    std::vector<char> datagram(std::size_t{1} << 16);
    for (ssize_t n; (n = ::recv(ends[0], datagram.data(), datagram.size(), MSG_DONTWAIT)) > 0;)
      received.append(datagram.data(), static_cast<std::size_t>(n));
    ::close(ends[0]);
    ASSERT_TRUE(status) << format;
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 2) << format << ": " << *status;
    EXPECT_EQ(read_text(err), "error: write standard output: Message too long (os error 90)\n") << format;
    EXPECT_LT(received.size(), whole.out.size()) << format;
    EXPECT_TRUE(whole.out.starts_with(received)) << format << ":\n" << received;
  }
}

// The prompt is written beside its target and renamed over it: the old file
// is never truncated in place (a hard link keeps the old text), the new one
// keeps the permission bits of a regular file it replaces and otherwise gets
// those of a plain create, and no temporary file stays.
TEST_F(HostileFiles, PromptReplacesItsTargetWhole) {
  write("proj/a.py", kClean);
  write("out/p.md", "old prompt\n");
  ::chmod(at("out/p.md").c_str(), 0600);
  fs::create_hard_link(at("out/p.md"), at("out/kept.md"));
  write("out/group.md", "old prompt\n");
  ::chmod(at("out/group.md").c_str(), 02750);
  write("linked.md", "linked\n");
  ::chmod(at("linked.md").c_str(), 0600);
  fs::create_symlink("../linked.md", at("out/link.md"));
  const struct {
    const char* prompt;
    fs::perms mode;
  } cases[] = {
      {"out/p.md", fs::perms(0600)},
      {"out/group.md", fs::perms(0750)},  // the set-group-ID bit does not carry over
      {"out/new.md", fs::perms(0644)},
      {"out/link.md", fs::perms(0644)},  // the link is replaced, its target keeps its text and mode
  };
  for (const auto& c : cases) {
    QuarnRun run = shell("umask 022; exec \"$0\" \"$@\"", {"check", "proj", "--remediation-prompt", c.prompt});
    EXPECT_EQ(run.status, 0) << c.prompt;
    EXPECT_EQ(run.err, fmt::format("Wrote remediation prompt to {}\n", c.prompt));
    EXPECT_TRUE(read_text(at(c.prompt)).starts_with("# Quarn remediation prompt\n")) << c.prompt;
    EXPECT_EQ(fs::symlink_status(at(c.prompt)).permissions(), c.mode) << c.prompt;
  }
  // A write cut short leaves the old file as it was.
  QuarnRun cut =
      shell("trap '' XFSZ; ulimit -f 0; exec \"$0\" \"$@\"", {"check", "proj", "--remediation-prompt", "out/kept.md"});
  EXPECT_EQ(cut.status, 2);
  EXPECT_EQ(cut.err, "error: write remediation prompt to out/kept.md: File too large (os error 27)\n");
  EXPECT_EQ(read_text(at("out/kept.md")), "old prompt\n");
  EXPECT_EQ(read_text(at("linked.md")), "linked\n");
  EXPECT_EQ(fs::status(at("linked.md")).permissions(), fs::perms(0600));

  // A directory there fails before anything is written.
  fs::create_directory(at("out/taken.md"));
  QuarnRun run = run_quarn({"check", "proj", "--remediation-prompt", "out/taken.md"}, dir.path());
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "error: write remediation prompt to out/taken.md: Is a directory (os error 21)\n");
  EXPECT_TRUE(fs::is_empty(at("out/taken.md")));

  std::vector<std::string> entries;
  for (const auto& entry : fs::directory_iterator(at("out"))) entries.push_back(entry.path().filename());
  std::ranges::sort(entries);
  EXPECT_EQ(entries, (std::vector<std::string>{"group.md", "kept.md", "link.md", "new.md", "p.md", "taken.md"}));

  // A temporary name that is taken is passed over, and the entry there left alone.
  QuarnRun taken = shell("mkdir stale && : > stale/.quarn-$$-0.tmp && exec \"$0\" \"$@\"",
                         {"check", "proj", "--remediation-prompt", "stale/p.md"});
  EXPECT_EQ(taken.status, 0) << taken.err;
  EXPECT_TRUE(read_text(at("stale/p.md")).starts_with("# Quarn remediation prompt\n"));
  EXPECT_EQ(std::distance(fs::directory_iterator(at("stale")), fs::directory_iterator()), 2);

  // With every temporary name taken, the write fails and nothing is added.
  QuarnRun full = shell("mkdir full && for i in $(seq 0 99); do : > full/.quarn-$$-$i.tmp; done && exec \"$0\" \"$@\"",
                        {"check", "proj", "--remediation-prompt", "full/p.md"});
  EXPECT_EQ(full.status, 2);
  EXPECT_EQ(full.err, "error: write remediation prompt to full/p.md: File exists (os error 17)\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(at("full")), fs::directory_iterator()), 100);
}

// Past the file-size limit a write fails with EFBIG instead of SIGXFSZ
// ending quarn: the report's, or the prompt's, which leaves the old prompt
// and no temporary file.
TEST_F(HostileFiles, FileSizeLimitFailsTheWrite) {
  for (int i = 0; i < 40; ++i) write(fmt::format("many/m{}.py", i), "def f(a):\n    print(a)\n    return eval('1')\n");
  write("out/p.md", "old prompt\n");
  const struct {
    const char* script;
    std::vector<std::string> args;
    const char* err;
  } cases[] = {
      {"ulimit -f 20; exec \"$0\" \"$@\" >report.json",
       {"check", "many", "--format", "json"},
       "error: write standard output: File too large (os error 27)\n"},
      {"ulimit -f 20; exec \"$0\" \"$@\"",
       {"check", "many", "--remediation-prompt", "out/p.md"},
       "error: write remediation prompt to out/p.md: File too large (os error 27)\n"},
  };
  for (const auto& c : cases) {
    QuarnRun run = shell(c.script, c.args);
    EXPECT_EQ(run.status, 2) << c.script;
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(read_text(at("out/p.md")), "old prompt\n");
    EXPECT_EQ(entries("out"), std::vector<std::string>{"p.md"});
  }
  EXPECT_GT(fs::file_size(at("report.json")), 0u);
  EXPECT_EQ(entries("."), (std::vector<std::string>{".git", "many", "out", "report.json"}));
}

// quarn ignores SIGXFSZ, but an external checker starts with the disposition
// quarn started with.
TEST_F(HostileFiles, ExternalCheckerGetsTheFileSizeSignalQuarnStartedWith) {
  write("a.py", kClean);
  fake_ruff(
      "ignored=$(( 0x$(sed -n 's/^SigIgn:[[:space:]]*//p' /proc/$$/status) >> 24 & 1 ))\n"
      R"(printf '[{"code":"E501","message":"SIGXFSZ ignored: %s","filename":"a.py","location":{"row":1,"column":1}}]' )"
      "\"$ignored\"");
  struct sigaction ours {};
  ASSERT_EQ(::sigaction(SIGXFSZ, nullptr, &ours), 0);
  const struct {
    const char* script;
    bool ignored;
  } cases[] = {
      {"exec \"$0\" \"$@\"", ours.sa_handler == SIG_IGN},
      {"trap '' XFSZ; exec \"$0\" \"$@\"", true},
  };
  for (const auto& c : cases) {
    QuarnRun run = shell(c.script, {"check", "a.py", "--with-external", "ruff"});
    EXPECT_EQ(run.status, 1) << c.script;
    EXPECT_EQ(run.err, "") << c.script;
    EXPECT_EQ(run.out, fmt::format("[high] EXT-RUFF-E501 a.py:1:1 \u2014 SIGXFSZ ignored: {}\n\n", c.ignored ? 1 : 0));
  }
}

// SIGINT, SIGTERM or SIGHUP while the prompt is written removes its
// temporary file and the directories made for it, then ends quarn by that
// signal; the old prompt stays. A signal ignored at start stays ignored.
// Quarn is stopped once its temporary file shows, and signalled only when
// the file is still there then; a run that got past it is tried again.
TEST_F(HostileFiles, SignalsDuringThePromptWriteLeaveNothing) {
  // About 20 MB of prompt, so that writing and syncing it takes a while.
  std::string padding;
  for (int i = 0; i < 3; ++i) padding += "# " + std::string(76, 'x') + "\n";
  std::string module;
  for (int i = 0; i < 400; ++i)
    module += fmt::format("def f{}(a):\n{}    print(a)\n{}    return a\n", i, padding, padding);
  for (int i = 0; i < 40; ++i) write(fmt::format("big/m{}.py", i), module);
  const TempDir logs;
  const fs::path err = logs.path() / "err";
  const struct {
    const char* name;
    std::string script;
    int signal;
    const char* prompt;
    bool ends_by_signal;
  } cases[] = {
      {"SIGINT", "", SIGINT, "out/p.md", true},
      {"SIGTERM", "", SIGTERM, "new/deep/p.md", true},
      {"SIGHUP", "", SIGHUP, "out/p.md", true},
      {"ignored SIGHUP", "trap '' HUP; ", SIGHUP, "out/p.md", false},
  };
  for (const auto& c : cases) {
    std::optional<int> status;
    for (int attempt = 0; attempt < 10 && !status; ++attempt) {
      write("out/p.md", "old prompt\n");
      fs::remove_all(at("new"));
      const pid_t pid = start(c.script + "exec \"$0\" \"$@\"", {"check", "big", "--remediation-prompt", c.prompt}, err);
      ASSERT_GT(pid, 0);
      const fs::path temporary = at(fs::path(c.prompt).parent_path() / fmt::format(".quarn-{}-0.tmp", pid));
      struct stat info;
      auto running = [pid] {
        siginfo_t child{};
        return ::waitid(P_PID, static_cast<id_t>(pid), &child, WEXITED | WNOHANG | WNOWAIT) == 0 && child.si_pid == 0;
      };
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
      while (::lstat(temporary.c_str(), &info) != 0 && running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
      ::kill(pid, SIGSTOP);
      const std::optional<int> stopped = wait_for(pid, WUNTRACED);
      ASSERT_TRUE(stopped) << c.name << ": quarn neither stopped nor ended";
      if (!WIFSTOPPED(*stopped)) continue;  // it ended first
      const bool caught = ::lstat(temporary.c_str(), &info) == 0;
      if (caught) ::kill(pid, c.signal);
      ::kill(pid, SIGCONT);
      const std::optional<int> ended = wait_for(pid, 0);
      ASSERT_TRUE(ended) << c.name << ": quarn did not end";
      if (caught) status = ended;
    }
    ASSERT_TRUE(status) << c.name << ": quarn was never caught writing its prompt";
    if (c.ends_by_signal) {
      EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == c.signal) << c.name << ": " << *status;
      EXPECT_EQ(read_text(err), "") << c.name;
      EXPECT_EQ(read_text(at("out/p.md")), "old prompt\n") << c.name;
    } else {
      EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 1) << c.name << ": " << *status;
      EXPECT_EQ(read_text(err), fmt::format("Wrote remediation prompt to {}\n", c.prompt)) << c.name;
      EXPECT_TRUE(read_text(at("out/p.md")).starts_with("# Quarn remediation prompt\n")) << c.name;
    }
    EXPECT_EQ(entries("out"), std::vector<std::string>{"p.md"}) << c.name;
    EXPECT_EQ(entries("."), (std::vector<std::string>{".git", "big", "out"})) << c.name;
  }
}

// A failed prompt write removes the directories it created, deepest first,
// and none that was there before. Root may create directories anywhere, so
// as root quarn runs as nobody.
TEST_F(HostileFiles, FailedPromptWriteRemovesTheDirectoriesItCreated) {
  const ReachableQuarn reachable;
  auto masked = [&](std::vector<std::string> args) {
    std::vector<std::string> argv = {"-c", "umask 777; exec \"$0\" \"$@\""};
    if (::geteuid() != 0) {
      argv.push_back(QUARN_BIN);
      argv.insert(argv.end(), args.begin(), args.end());
      return run("/bin/sh", argv);
    }
    argv.push_back(reachable.path().native());
    argv.insert(argv.end(), args.begin(), args.end());
    argv.insert(argv.begin(), "/bin/sh");
    argv.insert(argv.begin(), kAsNobody.begin() + 1, kAsNobody.end());
    return run(kAsNobody.front(), argv);
  };
  fs::permissions(dir.path(), fs::perms(0777));
  write("proj/a.py", kClean);
  fs::create_directory(at("kept"));
  fs::permissions(at("kept"), fs::perms(0777));
  if (QuarnRun probe = masked({"check", "proj"}); probe.status != 0)
    GTEST_SKIP() << "cannot run quarn as an unprivileged user here: " << probe.err;
  for (const char* prompt : {"new/sub/p.md", "kept/new/sub/p.md"}) {
    QuarnRun run = masked({"check", "proj", "--remediation-prompt", prompt});
    EXPECT_EQ(run.status, 2) << prompt;
    EXPECT_EQ(run.out, "No issues found.\n\n") << prompt;
    EXPECT_EQ(run.err, fmt::format("error: create directory for {}: Permission denied (os error 13)\n", prompt));
    EXPECT_EQ(entries("."), (std::vector<std::string>{".git", "kept", "proj"})) << prompt;
    EXPECT_TRUE(fs::is_empty(at("kept"))) << prompt;
  }
}

// Any entry named quarn.toml is refused and left as it was; a link is not
// followed.
TEST_F(HostileFiles, InitNeverWritesThroughAnExistingEntry) {
  const struct {
    const char* name;
    void (*make)(const fs::path&);
  } entries[] = {
      {"dangling link", [](const fs::path& p) { fs::create_symlink("elsewhere.toml", p); }},
      {"link to a directory", [](const fs::path& p) { fs::create_directory_symlink(".git", p); }},
      {"fifo", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); }},
  };
  for (const auto& entry : entries) {
    entry.make(at("quarn.toml"));
    const fs::file_type type = fs::symlink_status(at("quarn.toml")).type();
    QuarnRun run = run_quarn({"init"}, dir.path());
    EXPECT_EQ(run.status, 2) << entry.name;
    EXPECT_EQ(run.out, "") << entry.name;
    EXPECT_EQ(run.err, "error: quarn.toml already exists\n") << entry.name;
    EXPECT_EQ(fs::symlink_status(at("quarn.toml")).type(), type) << entry.name;
    EXPECT_FALSE(fs::exists(at("elsewhere.toml"))) << entry.name;
    EXPECT_TRUE(fs::is_empty(at(".git"))) << entry.name;
    fs::remove(at("quarn.toml"));
  }
}

// A directory the user cannot read ends the walk with an error naming that
// directory. Root reads everything, so as root quarn runs as nobody.
TEST_F(HostileFiles, WalkErrorsNameTheEntryThatFailed) {
  const ReachableQuarn reachable;
  auto walk = [&](const std::string& root) {
    std::vector<std::string> args = {"check", root};
    if (::geteuid() != 0) return run_process(QUARN_BIN, args, dir.path().native());
    args.insert(args.begin(), reachable.path().native());
    args.insert(args.begin(), kAsNobody.begin() + 1, kAsNobody.end());
    return run_process(kAsNobody.front(), args, dir.path().native());
  };
  fs::permissions(dir.path(), fs::perms(0755));
  write("t2/a.py", kClean);
  write("t2/sub/b.py", kClean);
  write("t3/x/y/c.py", kClean);
  if (auto probe = walk("t2"); !probe || probe->exit_status != 0)
    GTEST_SKIP() << "cannot run quarn as an unprivileged user here" << (probe ? ": " + probe->standard_error : "");
  const struct {
    const char* root;
    const char* locked;
  } cases[] = {{"t2", "t2/sub"}, {"t3", "t3/x/y"}};
  for (const auto& c : cases) {
    fs::permissions(at(c.locked), fs::perms::none);
    auto result = walk(c.root);
    fs::permissions(at(c.locked), fs::perms(0755));
    ASSERT_TRUE(result) << result.error().render();
    EXPECT_EQ(result->exit_status, 2) << c.locked;
    EXPECT_EQ(result->standard_output, "") << c.locked;
    EXPECT_EQ(result->standard_error,
              fmt::format("error: walk directory {}: cannot access {}: Permission denied (os error 13)\n", c.root,
                          c.locked));
  }
}

// Sixty thousand findings in one 10 MB file: the prompt reads the file once,
// so the run ends long before the timeout (a run that re-read the file for
// every occurrence took minutes).
TEST_F(HostileFiles, PromptOfManyFindingsInOneLargeFile) {
  std::string text = "\"\"\"Padding.\n";
  for (int i = 0; i < 100000; ++i) text += std::string(99, 'a') + "\n";
  text += "\"\"\"\n";
  for (int i = 0; i < 60000; ++i) text += "print(1)\n";
  write("big/many.py", text);
  QuarnRun run = bounded({"check", "big", "--remediation-prompt", "p.md"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Wrote remediation prompt to p.md\n");
  EXPECT_NE(read_text(at("p.md")).find("### 1.60000 `big/many.py:160002:1`"), std::string::npos);
}

}  // namespace
}  // namespace quarn::test
