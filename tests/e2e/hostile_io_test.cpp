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
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
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
// for at most ten minutes; none after that, when the child is killed.
std::optional<int> wait_for(pid_t pid, int options) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(10);
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
      for (int tries = 0; fd < 0 && tries < 60000; ++tries) {  // ten minutes, whatever the load
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

// The prompt lands where its path leads, as `> path` puts text there, and
// nothing of what is there changes but its contents: a regular file keeps
// its owner, group and mode (replaced whole where a rename changes none of
// them), links stay links, devices and fifos keep their type, and nothing is
// left beside it. Standard output is a non-blocking pipe read slowly.
TEST_F(HostileFiles, PromptLandsWhereItsPathLeads) {
  for (int i = 0; i < 200; ++i) write(fmt::format("proj/m{}.py", i), "def f(a):\n    print(a)\n    return eval('1')\n");
  const QuarnRun reference = run_quarn({"check", "proj", "--format", "json", "--remediation-prompt", "ref.md"}, dir.path());
  ASSERT_EQ(reference.status, 1);
  const std::string prompt = read_text(at("ref.md"));
  ASSERT_GT(std::min(prompt.size(), reference.out.size()), std::size_t{1} << 16);  // more than a pipe holds
  fs::remove(at("ref.md"));
  fs::permissions(dir.path(), fs::perms(0777));
  const ReachableQuarn reachable;
  const bool root = ::geteuid() == 0;
  const int self = static_cast<int>(::geteuid());
  const bool unshared_mount =
      root && run("/bin/sh", {"-c", "touch m1 m2 && unshare -m mount --bind m1 m2; s=$?; rm m1 m2; exit $s"}).status == 0;
  // Without /proc no unnamed file can be named: a temporary file takes its
  // place. The sanitizer runtime cannot start without /proc.
  constexpr std::string_view kNoProc = "unshare -rm /bin/sh -c 'mount -t tmpfs none /proc && exec \"$0\" \"$@\"'";
#ifdef __SANITIZE_ADDRESS__
  const bool proc_hidden = false;
#else
  const bool proc_hidden = run("/bin/sh", {"-c", fmt::format("{} true", kNoProc)}).status == 0;
#endif
  const bool nobody_runs = !root || run(kAsNobody.front(), {kAsNobody[1], kAsNobody[2], kAsNobody[3],
                                                             reachable.path().native(), "--version"}).status == 0;
  // A file with its text, mode and, where `owner` is set, owner and group.
  const std::string longer_than_prompt(prompt.size() + 1, 'o');  // what a write in place must not leave a tail of
  auto make_file = [](const fs::path& path, std::string_view text, int mode, int owner) {
    std::ofstream(path, std::ios::binary) << text;
    if (owner >= 0) {
      ASSERT_EQ(::chown(path.c_str(), static_cast<uid_t>(owner), static_cast<gid_t>(owner)), 0);
    }
    ASSERT_EQ(::chmod(path.c_str(), static_cast<mode_t>(mode)), 0);
  };
  const struct {
    const char* name;
    std::function<void(const fs::path&)> make;  // stages the target in its own directory
    std::string prompt;                          // the prompt path, {} standing for that directory
    bool runs;                                   // whether this machine can stage it
    std::string before;                          // shell commands before quarn runs, {0} for its directory
    std::string launcher;                        // what runs quarn, {0} for its directory
    bool as_nobody;                              // as root, run quarn as nobody
    fs::file_type type;                          // what the path is afterwards
    std::vector<std::string> holding;            // the files in the directory that hold the prompt
    int owner;                                   // of the first of them, or -1
    int mode;                                    // of the first of them, or -1
    std::vector<std::string> entries;            // the directory afterwards
    std::string err;                             // empty: the prompt was written
    bool after_the_report = false;               // standard output writes the prompt's file or pipe too
    bool replaced = false;                       // a file there before is replaced, not written in place
  } rows[] = {
      {"missing", [](const fs::path&) {}, "{}/p.md", true, "", "", false, fs::file_type::regular, {"p.md"}, self, 0644,
       {"p.md"}, ""},
      {"regular", [&](const fs::path& d) { make_file(d / "p.md", "old\n", 0640, -1); }, "{}/p.md", true, "", "", false,
       fs::file_type::regular, {"p.md"}, self, 0640, {"p.md"}, "", false, true},
      {"regular, without /proc", [&](const fs::path& d) { make_file(d / "p.md", "old\n", 0640, -1); }, "{}/p.md",
       proc_hidden, "", std::string(kNoProc), false, fs::file_type::regular, {"p.md"}, self, 0640, {"p.md"}, "", false,
       true},
      {"missing, without /proc", [](const fs::path&) {}, "{}/p.md", proc_hidden, "", std::string(kNoProc), false,
       fs::file_type::regular, {"p.md"}, self, 0644, {"p.md"}, ""},
      {"regular of another owner, set-group-ID",
       [&](const fs::path& d) { make_file(d / "p.md", "old\n", 02750, root ? 65534 : -1); }, "{}/p.md", true, "",
       "", false, fs::file_type::regular, {"p.md"}, root ? 65534 : self, 02750, {"p.md"}, "", false, true},
      // Writing clears the set-group-ID bit unless root writes.
      {"set-group-ID file of the user quarn runs as",
       [&](const fs::path& d) { make_file(d / "p.md", "old\n", 02750, root ? 65534 : -1); }, "{}/p.md", nobody_runs,
       "", "", true, fs::file_type::regular, {"p.md"}, root ? 65534 : self, 02750, {"p.md"}, "", false, true},
      {"hard-linked",
       [&](const fs::path& d) {
         make_file(d / "p.md", longer_than_prompt, 0600, -1);
         fs::create_hard_link(d / "p.md", d / "l.md");
       },
       "{}/p.md", true, "", "", false, fs::file_type::regular, {"p.md", "l.md"}, self, 0600, {"l.md", "p.md"}, ""},
      {"symbolic link",
       [&](const fs::path& d) {
         make_file(d / "real.md", longer_than_prompt, 0600, -1);
         fs::create_symlink("real.md", d / "p.md");
       },
       "{}/p.md", true, "", "", false, fs::file_type::symlink, {"real.md"}, self, 0600, {"p.md", "real.md"}, ""},
      {"dangling symbolic link", [](const fs::path& d) { fs::create_symlink("made.md", d / "p.md"); }, "{}/p.md",
       true, "", "", false, fs::file_type::symlink, {"made.md"}, self, 0644, {"made.md", "p.md"}, ""},
      {"fifo with a reader", [](const fs::path& d) { ASSERT_EQ(::mkfifo((d / "p.md").c_str(), 0644), 0); },
       "{}/p.md", true, "", "", false, fs::file_type::fifo, {}, -1, -1, {"p.md"}, ""},
      {"character device", [](const fs::path& d) { ASSERT_EQ(::mknod((d / "p.md").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0); },
       "{}/p.md", root, "", "", false, fs::file_type::character, {}, -1, -1, {"p.md"}, ""},
      {"/dev/fd/N", [](const fs::path&) {}, "/dev/fd/7", true, "exec 7>{0}/out.md; ", "", false, fs::file_type::none,
       {"out.md"}, self, 0644, {"out.md"}, ""},
      // A pipe of another user, which nobody may open again by name.
      {"/dev/stdout", [](const fs::path&) {}, "/dev/stdout", nobody_runs, "", "", true, fs::file_type::none, {}, -1, -1,
       {}, "", true},
      {"the file standard output writes", [](const fs::path&) {}, "{}/out.md", true, "exec >{0}/out.md; ", "", false,
       fs::file_type::regular, {"out.md"}, self, 0644, {"out.md"}, "", true},
      {"writable file in a read-only directory",
       [&](const fs::path& d) {
         make_file(d / "p.md", "old\n", 0644, root ? 65534 : -1);
         fs::permissions(d, fs::perms(0555));
       },
       "{}/p.md", nobody_runs, "", "", true, fs::file_type::regular, {"p.md"}, root ? 65534 : self, 0644, {"p.md"}, ""},
      {"mount point",
       [&](const fs::path& d) {
         make_file(d / "p.md", "old\n", 0644, -1);
         make_file(d / "mounted.md", "old\n", 0644, -1);
       },
       "{}/p.md", unshared_mount, "",
       "unshare -m /bin/sh -c 'mount --bind {0}/mounted.md {0}/p.md && exec \"$0\" \"$@\"'",
       false, fs::file_type::regular, {"mounted.md"}, self, 0644, {"mounted.md", "p.md"}, ""},
      {"directory in a symbolic link loop", [](const fs::path& d) { fs::create_symlink("loop", d / "loop"); },
       "{}/loop/p.md", true, "", "", false, fs::file_type::none, {}, -1, -1, {"loop"},
       "error: create directory for {}/loop/p.md: Too many levels of symbolic links (os error 40)\n"},
  };
  const TempDir logs;
  const fs::path err = logs.path() / "err";
  std::signal(SIGPIPE, SIG_IGN);
  std::string skipped;
  int n = 0;
  for (const auto& row : rows) {
    const std::string d = fmt::format("t{}", n++);
    if (!row.runs) {
      skipped += fmt::format(" {}: cannot be staged here;", row.name);
      continue;
    }
    fs::create_directory(at(d));
    fs::permissions(at(d), fs::perms(0777));
    row.make(at(d));
    struct stat before {};
    const bool existed = !row.holding.empty() && ::stat((at(d) / row.holding.front()).c_str(), &before) == 0;
    const std::string prompt_path = fmt::format(fmt::runtime(row.prompt), d);
    const bool as_nobody = row.as_nobody && root;
    const std::string script = fmt::format(
        "umask 022; {}exec {} {} \"$@\"", fmt::format(fmt::runtime(row.before), d),
        as_nobody ? fmt::format("{}", fmt::join(kAsNobody, " ")) : fmt::format(fmt::runtime(row.launcher), d),
        as_nobody ? reachable.path().native() : "\"$0\"");
    int out[2];
    ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
    ::fcntl(out[1], F_SETFL, O_NONBLOCK);
    const pid_t pid = start(script, {"check", "proj", "--format", "json", "--remediation-prompt", prompt_path}, err,
                            out[1]);
    ::close(out[1]);
    std::string fifo_got;
    std::thread fifo_reader;
    if (row.type == fs::file_type::fifo) fifo_reader = std::thread([&] { fifo_got = read_text(at(d) / "p.md"); });
    std::string got_out;
    char buffer[4096];
    for (ssize_t got; (got = ::read(out[0], buffer, sizeof buffer)) != 0;) {
      if (got > 0) got_out.append(buffer, static_cast<std::size_t>(got));
      ::usleep(200);  // slower than quarn writes, so that the pipe fills
    }
    ::close(out[0]);
    const std::optional<int> status = pid > 0 ? wait_for(pid, 0) : std::nullopt;
    if (fifo_reader.joinable()) {
      // A reader still waiting for a writer is let go.
      const int unblock = ::open((at(d) / "p.md").c_str(), O_WRONLY | O_NONBLOCK);
      if (unblock >= 0) ::close(unblock);
      fifo_reader.join();
      EXPECT_TRUE(fifo_got == prompt) << row.name;
    }
    ASSERT_TRUE(status) << row.name;
    const bool written = row.err.empty();
    EXPECT_EQ(WIFEXITED(*status) ? WEXITSTATUS(*status) : -1, written ? 1 : 2) << row.name;
    EXPECT_EQ(read_text(err), written ? fmt::format("Wrote remediation prompt to {}\n", prompt_path)
                                      : fmt::format(fmt::runtime(row.err), d))
        << row.name;
    const bool report_in_file = row.after_the_report && !row.holding.empty();
    EXPECT_TRUE(got_out == (report_in_file ? "" : reference.out + (row.after_the_report ? prompt : ""))) << row.name;
    if (row.type != fs::file_type::none) {
      EXPECT_EQ(fs::symlink_status(at(prompt_path)).type(), row.type) << row.name;
    }
    for (const std::string& file : row.holding)
      EXPECT_TRUE(read_text(at(d) / file) == (report_in_file ? reference.out + prompt : prompt)) << row.name << " " << file;
    if (!row.holding.empty()) {
      struct stat info {};
      EXPECT_EQ(::stat((at(d) / row.holding.front()).c_str(), &info), 0) << row.name;
      EXPECT_EQ(static_cast<int>(info.st_uid), row.owner) << row.name;
      EXPECT_EQ(info.st_mode & 07777, static_cast<unsigned>(row.mode)) << row.name;
      EXPECT_TRUE(!existed || (info.st_ino != before.st_ino) == row.replaced) << row.name;
    }
    EXPECT_EQ(entries(d), row.entries) << row.name;
    fs::permissions(at(d), fs::perms(0777));
  }
  if (!skipped.empty()) GTEST_SKIP() << "skipped" << skipped;
}

// A regular file replaced whole stays as it was when the write fails; the
// name it takes on the way is one no other file holds, and with every such
// name taken the write fails and adds nothing.
TEST_F(HostileFiles, PromptReplacesARegularFileWhole) {
  write("proj/a.py", kClean);
  for (const char* d : {"cut", "stale", "full"}) write(fmt::format("{}/p.md", d), "old prompt\n");
  QuarnRun cut =
      shell("trap '' XFSZ; ulimit -f 0; exec \"$0\" \"$@\"", {"check", "proj", "--remediation-prompt", "cut/p.md"});
  EXPECT_EQ(cut.status, 2);
  EXPECT_EQ(cut.err, "error: write remediation prompt to cut/p.md: File too large (os error 27)\n");
  EXPECT_EQ(read_text(at("cut/p.md")), "old prompt\n");
  EXPECT_EQ(entries("cut"), std::vector<std::string>{"p.md"});

  // A directory there fails before anything is written.
  fs::create_directory(at("cut/taken.md"));
  QuarnRun run = run_quarn({"check", "proj", "--remediation-prompt", "cut/taken.md"}, dir.path());
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "error: write remediation prompt to cut/taken.md: Is a directory (os error 21)\n");
  EXPECT_TRUE(fs::is_empty(at("cut/taken.md")));

  QuarnRun taken = shell(": > stale/.quarn-$$-0.tmp && exec \"$0\" \"$@\"",
                         {"check", "proj", "--remediation-prompt", "stale/p.md"});
  EXPECT_EQ(taken.status, 0) << taken.err;
  EXPECT_TRUE(read_text(at("stale/p.md")).starts_with("# Quarn remediation prompt\n"));
  EXPECT_EQ(std::distance(fs::directory_iterator(at("stale")), fs::directory_iterator()), 2);

  QuarnRun full = shell("for i in $(seq 0 99); do : > full/.quarn-$$-$i.tmp; done && exec \"$0\" \"$@\"",
                        {"check", "proj", "--remediation-prompt", "full/p.md"});
  EXPECT_EQ(full.status, 2);
  EXPECT_EQ(full.err, "error: write remediation prompt to full/p.md: File exists (os error 17)\n");
  EXPECT_EQ(read_text(at("full/p.md")), "old prompt\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(at("full")), fs::directory_iterator()), 101);
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

// Whether the process `pid` holds a file open in `directory` that has no
// name yet, or a temporary one: it is writing its prompt there.
bool writing_into(pid_t pid, const fs::path& directory) {
  std::error_code error;
  fs::directory_iterator fd(fmt::format("/proc/{}/fd", pid), error);
  for (; !error && fd != fs::directory_iterator(); fd.increment(error)) {
    std::error_code unreadable;
    const std::string target = fs::read_symlink(fd->path(), unreadable).native();
    if (target.starts_with(directory.native() + "/") && (target.ends_with(" (deleted)") || target.ends_with(".tmp")))
      return true;
  }
  return false;
}

// SIGINT, SIGTERM, SIGHUP or SIGKILL while the prompt is written leaves
// nothing: the text being written has no name, a handler removes the
// directories made for it and ends quarn by that signal; the old prompt
// stays. A signal ignored at start stays ignored. Quarn is stopped once it
// writes, and signalled only when it still does then; a run that got past it
// is tried again.
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
      {"SIGKILL", "", SIGKILL, "out/p.md", true},
  };
  for (const auto& c : cases) {
    std::optional<int> status;
    for (int attempt = 0; attempt < 10 && !status; ++attempt) {
      write("out/p.md", "old prompt\n");
      fs::remove_all(at("new"));
      const pid_t pid = start(c.script + "exec \"$0\" \"$@\"", {"check", "big", "--remediation-prompt", c.prompt}, err);
      ASSERT_GT(pid, 0);
      const fs::path directory = at(fs::path(c.prompt).parent_path());
      auto running = [pid] {
        siginfo_t child{};
        return ::waitid(P_PID, static_cast<id_t>(pid), &child, WEXITED | WNOHANG | WNOWAIT) == 0 && child.si_pid == 0;
      };
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(10);
      while (!writing_into(pid, directory) && running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
      ::kill(pid, SIGSTOP);
      const std::optional<int> stopped = wait_for(pid, WUNTRACED);
      ASSERT_TRUE(stopped) << c.name << ": quarn neither stopped nor ended";
      if (!WIFSTOPPED(*stopped)) continue;  // it ended first
      const bool caught = writing_into(pid, directory);
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
// so the run ends far inside its CPU-time bound (a run that re-read the file for
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
