// End-to-end runs of `quarn check` on small trees made in a temporary
// directory (which holds a .git marker, so the configuration search ends
// there). Whole outputs are compared byte for byte.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <regex>

#include "e2e/run_quarn.h"

namespace quarn::test {
namespace {

namespace fs = std::filesystem;

class CheckRun : public ProjectTest {};

// Copies tests/fixtures/e2e/check/project into the run's directory.
void copy_project(const fs::path& to) {
  fs::copy(fixture("e2e/check/project"), to / "project", fs::copy_options::recursive);
}

constexpr std::string_view kClean = "\"\"\"A clean module.\"\"\"\n\nVALUE = 1\n";

TEST_F(CheckRun, CleanTreeInEveryFormat) {
  write("proj/a.py", kClean);
  QuarnRun human = check({"proj"});
  EXPECT_EQ(human.status, 0);
  EXPECT_EQ(human.out, "No issues found.\n\n");
  EXPECT_EQ(human.err, "");
  QuarnRun json = check({"proj", "--format", "json"});
  EXPECT_EQ(json.status, 0);
  EXPECT_EQ(json.out, "[]\n");
  QuarnRun sarif = check({"proj", "--format", "sarif"});
  EXPECT_EQ(sarif.status, 0);
  EXPECT_EQ(sarif.out, read_text(fixture("e2e/check/empty.sarif")));
}

// Whole outputs over the fixture project, one golden per format. After an
// intended change, regenerate them from a scratch directory holding a .git
// entry and a copy of the project, e.g.
//   quarn check project --format json > tests/fixtures/e2e/check/project.json
// and review the diff.
TEST_F(CheckRun, FixtureProjectInEveryFormat) {
  copy_project(dir.path());
  const std::string warning =
      "warning: parse project/app/zz_broken.py: failed to parse Python source: '(' was never closed at byte offset "
      "10\n";
  struct Case {
    std::vector<std::string> args;
    const char* golden;
  };
  const Case cases[] = {
      {{"project"}, "e2e/check/project.human"},
      {{"project", "--format", "json"}, "e2e/check/project.json"},
      {{"project", "--format", "sarif"}, "e2e/check/project.sarif"},
      {{"project", "--profile", "strict"}, "e2e/check/project.strict.human"},
  };
  for (const auto& c : cases) {
    QuarnRun run = check(c.args);
    EXPECT_EQ(run.status, 1) << c.golden;
    EXPECT_EQ(run.err, warning) << c.golden;
    EXPECT_EQ(run.out, read_text(fixture(c.golden))) << c.golden;
  }
}

TEST_F(CheckRun, SeverityOverridesAndDisabledChecks) {
  copy_project(dir.path());
  write("quarn.toml", "[checks.QN405]\nseverity = \"critical\"\n[checks.QN002]\nenabled = false\n");
  QuarnRun run = check({"project/app/service.py"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("[critical] QN405 project/app/service.py:9:5"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("QN002"), std::string::npos) << run.out;
  // A pyproject.toml below the configuration ends the search: defaults again.
  write("project/app/pyproject.toml", "");
  run = check({"project/app/service.py"});
  EXPECT_NE(run.out.find("[low] QN405"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("QN002"), std::string::npos) << run.out;
}

TEST_F(CheckRun, PromptOfTheFixtureProject) {
  copy_project(dir.path());
  QuarnRun run = check({"project", "--remediation-prompt", "out/prompt.md"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(read_text(dir.path() / "out/prompt.md"), read_text(fixture("e2e/check/project.prompt.md")));
}

TEST_F(CheckRun, FileErrorsWarnInPathOrderAndExitTwo) {
  write("proj/pkg/mod.py", "def broken(:\n");
  write("proj/pkg-extra/a.py", kClean);
  write("proj/pkg/latin1.py", "x = '\xe9'\n");
  QuarnRun run = check({"proj"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "No issues found.\n\n");
  // latin1.py sorts before mod.py, both before pkg-extra.
  std::string first = "warning: read proj/pkg/latin1.py: stream did not contain valid UTF-8\n";
  ASSERT_TRUE(run.err.starts_with(first)) << run.err;
  std::string second = run.err.substr(first.size());
  EXPECT_TRUE(std::regex_match(second, std::regex("warning: parse proj/pkg/mod.py: failed to parse Python source: "
                                                   ".+ at byte offset [0-9]+\n"))) << second;
  // One failed file alone is enough.
  run = check({"proj/pkg/mod.py"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "No issues found.\n\n");
}

TEST_F(CheckRun, RunErrors) {
  write("notes.txt", "hello");
  write("venv/x.py", kClean);
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const Case cases[] = {
      {{"notes.txt"}, "error: no Python files found under notes.txt\n"},
      {{"venv"}, "error: no Python files found under venv\n"},
      {{"missing"}, "error: walk directory missing: cannot access missing: No such file or directory (os error 2)\n"},
      {{"mis\x1b[2Jsing\u0085"},
       "error: walk directory mis\\x1b[2Jsing\\x85: cannot access mis\\x1b[2Jsing\\x85: No such file or directory "
       "(os error 2)\n"},
  };
  for (const auto& c : cases) {
    QuarnRun run = check(c.args);
    EXPECT_EQ(run.status, 2) << c.args.front();
    EXPECT_EQ(run.out, "") << c.args.front();
    EXPECT_EQ(run.err, c.err) << c.args.front();
  }
}

TEST_F(CheckRun, ConfigurationErrorsEndTheRun) {
  write("proj/a.py", kClean);
  write("proj/quarn.toml", "[checks.QN001]\nmax_lines = -3\n");
  QuarnRun run = check({"proj"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(run.err.starts_with("error: parse config proj/quarn.toml: ")) << run.err;
  // A missing PATH still searches for the configuration first.
  run = check({"proj/missing"});
  EXPECT_TRUE(run.err.starts_with("error: parse config proj/quarn.toml: ")) << run.err;
}

TEST_F(CheckRun, ConfigurationMessages) {
  write("p/a.py", kClean);
  struct Case {
    const char* toml;
    const char* err;
  };
  const Case cases[] = {
      {"[profile]\nname = \"strict\"\n\n[checks.QN001]\nmax_lines = 50.5\n",
       "error: parse config quarn.toml: TOML parse error at line 5, column 13\n"
       "  |\n"
       "5 | max_lines = 50.5\n"
       "  |             ^^^^\n"
       "invalid type: floating point `50.5`, expected usize\n"},
      {"[checks.QN001]\nseverity = \"hgh\"\n",
       "error: parse config quarn.toml: TOML parse error at line 2, column 12\n"
       "  |\n"
       "2 | severity = \"hgh\"\n"
       "  |            ^^^^^\n"
       "unknown variant `hgh`, expected one of `info`, `low`, `medium`, `high`, `critical`\n"},
      {"[checks.QN9999]\nenabled = true\n",
       "error: unknown check key `QN9999` in quarn.toml: expected catalog id like QN001\n"},
      {"[profile]\nname = \"team\"\n[profiles.team]\nextends = \"team2\"\n[profiles.team2]\nextends = \"team\"\n",
       "error: profile inheritance cycle detected at `team`\n"},
      // Control characters, quoted or in the source line, show escaped; the
      // caret counts the escapes.
      {"[checks.QN001]\n\tseverity\t= \"\\u001bx\"\n",
       "error: parse config quarn.toml: TOML parse error at line 2, column 13\n"
       "  |\n"
       "2 | \\tseverity\\t= \"\\u001bx\"\n"
       "  |               ^^^^^^^^^\n"
       "unknown variant `\\x1bx`, expected one of `info`, `low`, `medium`, `high`, `critical`\n"},
      {"a = 1 # \x1b[2J\n",
       "error: parse config quarn.toml: TOML parse error at line 1, column 9\n"
       "  |\n"
       "1 | a = 1 # \\x1b[2J\n"
       "  |         ^^^^^^^\n"
       "Error while parsing comment: control characters other than TAB (U+0009) are explicitly prohibited in "
       "comments\n"},
      {"[checks.\"QN\\u009b\"]\nenabled = true\n",
       "error: unknown check key `QN\\x9b` in quarn.toml: expected catalog id like QN001\n"},
      {"[profiles.\"t\\u001b\"]\nextends = \"t\\u001b\"\n",
       "error: profile `t\\x1b` cannot extend itself\n"},
  };
  for (const auto& c : cases) {
    write("quarn.toml", c.toml);
    QuarnRun run = check({"p"});
    EXPECT_EQ(run.status, 2) << c.toml;
    EXPECT_EQ(run.out, "") << c.toml;
    EXPECT_EQ(run.err, c.err) << c.toml;
  }
}

TEST_F(CheckRun, PathsThatAreNotUtf8) {
  write("p/bad\xff.py", "print(1)\n");
  QuarnRun json = check({"p", "--format", "json"});
  EXPECT_EQ(json.status, 2);
  EXPECT_EQ(json.out, "");
  EXPECT_EQ(json.err, "error: path contains invalid UTF-8 characters\n");
  // Also as the last finding of the report's first piece of 2048.
  std::string prints;
  for (int i = 0; i < 2047; ++i) prints += "print(1)\n";
  write("q/a.py", prints);
  write("q/b\xff.py", "print(1)\n");
  EXPECT_EQ(check({"q", "--format", "json"}).err, "error: path contains invalid UTF-8 characters\n");
  QuarnRun human = check({"p"});
  EXPECT_EQ(human.status, 1);
  EXPECT_TRUE(human.out.starts_with("[low] QN405 p/bad\uFFFD.py:1:1 \u2014 print() used for debugging\n")) << human.out;
  QuarnRun prompt = check({"p/bad\xff.py", "--remediation-prompt", "out\xfe.md"});
  EXPECT_EQ(prompt.status, 1);
  EXPECT_EQ(prompt.err, "Wrote remediation prompt to out\uFFFD.md\n");
  EXPECT_TRUE(fs::is_regular_file(dir.path() / "out\xfe.md"));
}

TEST_F(CheckRun, RemediationPromptIsWrittenAfterTheReport) {
  write("proj/a.py", kClean);
  QuarnRun run = check({"proj", "--remediation-prompt", "out/deep/p.md"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "No issues found.\n\n");
  EXPECT_EQ(run.err, "Wrote remediation prompt to out/deep/p.md\n");
  EXPECT_TRUE(fs::is_regular_file(dir.path() / "out/deep/p.md"));

  run = check({"proj", "--remediation-prompt"});
  EXPECT_EQ(run.err, "Wrote remediation prompt to quarn-remediation-prompt.md\n");
  EXPECT_TRUE(fs::is_regular_file(dir.path() / "quarn-remediation-prompt.md"));

  write("blocker", "a file where a directory should be");
  run = check({"proj", "--remediation-prompt", "blocker/p.md"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "No issues found.\n\n");  // the report stays printed
  EXPECT_TRUE(run.err.starts_with("error: create directory for blocker/p.md: ")) << run.err;

  // A path that names a directory fails before anything is created, after the report.
  fs::create_directory_symlink("proj", dir.path() / "link");
  for (const char* prompt : {"new/", "new/deep/", "new/..", "proj", "proj/", "link"}) {
    run = check({"proj", "--remediation-prompt", prompt});
    EXPECT_EQ(run.status, 2) << prompt;
    EXPECT_EQ(run.out, "No issues found.\n\n") << prompt;
    EXPECT_EQ(run.err, fmt::format("error: write remediation prompt to {}: Is a directory (os error 21)\n", prompt));
  }
  EXPECT_FALSE(fs::exists(dir.path() / "new"));
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "proj"), fs::directory_iterator()), 1);
}

// Runs with a fake `ruff` on PATH for the external checker.
class ExternalRun : public ProjectTest {};

TEST_F(ExternalRun, MergesDiagnosticsAndRefusesBadOutput) {
  write("proj/a.py", kClean);
  fake_ruff(R"([ "$*" = "check --output-format json proj" ] || exit 3
printf '%s' '[{"code":"E501","message":"Line too long","filename":"proj/a.py","location":{"row":3,"column":0},"fix":null}]'; exit 1)");
  QuarnRun run = check({"proj", "--with-external", "ruff,Ruff,mypy"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "[high] EXT-RUFF-E501 proj/a.py:3:1 \u2014 Line too long\n\n");
  EXPECT_EQ(run.err, "");

  write("quarn.toml", "external_checkers = [\"ruff\"]\n");
  run = check({"proj", "--with-external", "ruff"});  // configuration and command line: twice
  EXPECT_EQ(run.out,
            "[high] EXT-RUFF-E501 proj/a.py:3:1 \u2014 Line too long\n"
            "[high] EXT-RUFF-E501 proj/a.py:3:1 \u2014 Line too long\n\n");
  fs::remove(dir.path() / "quarn.toml");

  fake_ruff("echo 'oops' >&2; exit 2");
  run = check({"proj", "--with-external", "ruff"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "No issues found.\n\n");

  // Its codes, paths and messages reach the terminal escaped, as the built-in ones do.
  fake_ruff(R"(printf '%s' '[{"code":"E\u001b1","message":"m\u001b[2J","filename":"proj/\u009b.py",'
printf '%s' '"location":{"row":1,"column":1}}]')");
  run = check({"proj", "--with-external", "ruff"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "[high] EXT-RUFF-E\\x1b1 proj/\\x9b.py:1:1 \u2014 m\\x1b[2J\n\n");

  // A path that begins with '-' reaches ruff as a path; quarn's report keeps it as written.
  write("-x/a.py", "print(1)\n");
  fake_ruff(R"(printf '[{"code":"E501","message":"%s","filename":"-x/a.py","location":{"row":1,"column":1}}]' "$*")");
  run = check({"--with-external", "ruff", "--", "-x"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out,
            "[high] EXT-RUFF-E501 -x/a.py:1:1 \u2014 check --output-format json ./-x\n"
            "[low] QN405 -x/a.py:1:1 \u2014 print() used for debugging\n"
            "  explanation: This finding was produced by an AST-precise deterministic check.\n"
            "  remediation: Refactor for clarity and consistency with project conventions.\n\n");

  fake_ruff(R"(printf '%s' '{"code":"E1"}')");
  run = check({"proj", "--with-external", "ruff"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "error: parse ruff JSON output: invalid type: map, expected a sequence\n");

  fake_ruff(R"(printf '%s' '[{"code":null,"message":"m","filename":"f","location":{"row":1,"column":1}}]')");
  run = check({"proj", "--with-external", "ruff"});
  EXPECT_EQ(run.err, "error: parse ruff JSON output: invalid type: null, expected a string\n");
}

TEST_F(ExternalRun, HugeOutputOnBothStreams) {
  write("proj/a.py", kClean);
  // Several megabytes on standard error first, then the diagnostics: a reader
  // that drained only one pipe would deadlock here.
  fake_ruff(R"(head -c 3000000 /dev/zero >&2
printf '['
i=0
while [ $i -lt 20000 ]; do printf '{"code":"W291","message":"Trailing whitespace","filename":"proj/a.py","location":{"row":1,"column":1}},'; i=$((i+1)); done
printf '{"code":"W291","message":"Trailing whitespace","filename":"proj/a.py","location":{"row":2,"column":1}}]')");
  QuarnRun run = check({"proj", "--with-external", "ruff", "--format", "json"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '{'), 20001);
}

TEST_F(ExternalRun, MissingOrFailingToolIsSkipped) {
  write("proj/a.py", kClean);
  ::setenv("PATH", (dir.path() / "nothing-here").c_str(), 1);
  QuarnRun run = check({"proj", "--with-external", "ruff"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "No issues found.\n\n");

  // A `ruff --version` that fails counts as missing, whatever `ruff check` would say.
  fake_ruff("");
  write("bin/ruff", R"(#!/bin/sh
[ "$1" = --version ] && exit 2
printf '%s' '[{"code":"E501","message":"m","filename":"proj/a.py","location":{"row":1,"column":1}}]')");
  run = check({"proj", "--with-external", "ruff"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "No issues found.\n\n");
  EXPECT_EQ(run_quarn({"list-checkers"}).out, "ruff  Ruff  [not installed]\n");
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Only a ruff that is not there or cannot be executed is skipped; a probe
// that cannot start for want of descriptors or processes ends the run.
TEST_F(ExternalRun, ShortageIsAnErrorNotAMissingTool) {
  fs::permissions(dir.path(), fs::perms(0755));
  write("proj/a.py", kClean);
  const ReachableQuarn reachable;
  const bool as_root = ::geteuid() == 0;
  auto run = [&](const std::string& limits, const std::string& args, bool limits_processes) -> QuarnRun {
    // Root is not bound by a process limit: it runs quarn as a user of its own.
    const bool unprivileged = limits_processes && as_root;
    // Low descriptors the test runner left open are closed first, so that a
    // descriptor limit means the same everywhere. Quarn searches only bin/,
    // so that a ruff installed on this machine is never found.
    std::vector<std::string> command = {
        "bash", "-c",
        fmt::format("exec 3<&- 4<&- 5<&- 6<&- 7<&- 8<&- 9<&-; ulimit {}; export PATH={}; exec {} {}", limits,
                    at("bin").native(), unprivileged ? reachable.path().native() : QUARN_BIN, args)};
    if (unprivileged) {
      const auto as_limited_user = as_user(kExternalCheckerUser);
      command.insert(command.begin(), as_limited_user.begin(), as_limited_user.end());
    }
    auto result = run_process(command.front(), std::vector(command.begin() + 1, command.end()), dir.path().native());
    if (!result) return {};
    return {result->standard_output, result->standard_error, result->exit_status.value_or(-1)};
  };
  const bool can_limit_processes = !as_root || run("-n 64", "--version", true).status == 0;

  enum class Ruff { Reporting, NotExecutable, Absent, NotAProgram, LinkLoop };
  const std::string finding = "[high] EXT-RUFF-E501 proj/a.py:3:1 \u2014 Line too long\n\n";
  const std::string no_descriptors = "error: spawn ruff --version: Too many open files (os error 24)\n";
  const std::string no_processes = "error: spawn ruff --version: Resource temporarily unavailable (os error 11)\n";
  const struct {
    const char* limits;  // ulimit options of bash; the fake ruff's shell needs 11 descriptors
    Ruff ruff;
    const char* args;
    std::string out;
    std::string err;
    int status;
  } cases[] = {
      {"-n 6", Ruff::Reporting, "check proj --with-external ruff", "", no_descriptors, 2},  // the second pipe
      {"-n 7", Ruff::Reporting, "check proj --with-external ruff", "", no_descriptors, 2},  // /dev/null
      {"-n 6", Ruff::Reporting, "list-checkers", "", no_descriptors, 2},
      {"-n 12", Ruff::Reporting, "check proj --with-external ruff", finding, "", 1},
      {"-n 12", Ruff::Reporting, "list-checkers", "ruff  Ruff  [available]\n", "", 0},
      // Every start gives its descriptors back, or the fourth would find none.
      {"-n 12", Ruff::Reporting, "check proj --with-external ruff,ruff",
       "[high] EXT-RUFF-E501 proj/a.py:3:1 \u2014 Line too long\n" + finding, "", 1},
      {"-n 12; trap '' CHLD", Ruff::Reporting, "check proj --with-external ruff", finding, "", 1},
      {"-n 12", Ruff::NotExecutable, "check proj --with-external ruff", "No issues found.\n\n", "", 0},
      {"-n 12", Ruff::NotExecutable, "list-checkers", "ruff  Ruff  [not installed]\n", "", 0},
      {"-n 12", Ruff::Absent, "check proj --with-external ruff", "No issues found.\n\n", "", 0},
      {"-n 12", Ruff::NotAProgram, "check proj --with-external ruff", "No issues found.\n\n", "", 0},
      {"-n 12", Ruff::LinkLoop, "check proj --with-external ruff", "No issues found.\n\n", "", 0},
      {"-u 1", Ruff::Reporting, "check proj --with-external ruff", "", no_processes, 2},
      {"-u 1", Ruff::Reporting, "list-checkers", "", no_processes, 2},
  };
  std::string skipped;
  for (const auto& c : cases) {
    const bool limits_processes = std::string_view(c.limits).starts_with("-u");
    if (limits_processes && kSanitized) {
      skipped += fmt::format(" {} {}: the leak checker needs a thread of its own at exit;", c.limits, c.args);
      continue;
    }
    if (limits_processes && !can_limit_processes) {
      skipped += fmt::format(" {} {}: cannot run as an unprivileged user here;", c.limits, c.args);
      continue;
    }
    fs::remove(at("bin/ruff"));
    fake_ruff(R"(printf '%s' '[{"code":"E501","message":"Line too long","filename":"proj/a.py","location":{"row":3,"column":1}}]'; exit 1)");
    switch (c.ruff) {
      case Ruff::Reporting:
        break;
      case Ruff::NotExecutable:
        ::chmod(at("bin/ruff").c_str(), 0644);
        break;
      case Ruff::Absent:
        fs::remove(at("bin/ruff"));
        break;
      case Ruff::NotAProgram:
        write("bin/ruff", "not a program\n");
        break;
      case Ruff::LinkLoop:
        fs::remove(at("bin/ruff"));
        fs::create_symlink("ruff", at("bin/ruff"));
        break;
    }
    const QuarnRun got = run(c.limits, c.args, limits_processes);
    EXPECT_EQ(got.out, c.out) << c.limits << " " << c.args;
    EXPECT_EQ(got.err, c.err) << c.limits << " " << c.args;
    EXPECT_EQ(got.status, c.status) << c.limits << " " << c.args;
  }
  if (!skipped.empty()) GTEST_SKIP() << "skipped" << skipped;
}

}  // namespace
}  // namespace quarn::test
