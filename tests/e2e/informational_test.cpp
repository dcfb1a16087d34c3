// Runs the built binary and compares whole outputs with the golden files in
// tests/fixtures/e2e. After an intended change of an output, regenerate a
// golden with e.g. `build/dev/quarn list-checks > tests/fixtures/e2e/list_checks.txt`
// and review the diff.
#include "e2e/run_quarn.h"

namespace quarn::test {
namespace {

struct GoldenCase {
  std::vector<std::string> args;
  const char* golden;
};

TEST(Informational, OutputsMatchGoldens) {
  const GoldenCase cases[] = {
      {{"explain", "QN001"}, "explain_QN001.txt"},
      {{"explain", "QN002"}, "explain_QN002.txt"},
      {{"explain", "QN011"}, "explain_QN011.txt"},
      {{"explain", "QN504"}, "explain_QN504.txt"},
      {{"list-checks"}, "list_checks.txt"},
  };
  for (const auto& c : cases) {
    QuarnRun run = run_quarn(c.args);
    EXPECT_EQ(run.status, 0) << c.golden;
    EXPECT_EQ(run.err, "") << c.golden;
    EXPECT_EQ(run.out, read_text(fixture(std::string("e2e/") + c.golden))) << c.golden;
  }
}

TEST(Informational, ExplainUnknownId) {
  const struct {
    std::string id;
    std::string shown;
  } cases[] = {{"qn001", "qn001"}, {" QN001", " QN001"}, {"QN999", "QN999"}, {"", ""}, {"QN\x1b[2J", "QN\\x1b[2J"}};
  for (const auto& c : cases) {
    QuarnRun run = run_quarn({"explain", c.id});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "error: unknown check id: " + c.shown + "\n");
  }
}

TEST(Informational, ExplainIgnoresConfiguration) {
  TempDir dir;
  std::ofstream(dir.path() / "quarn.toml") << "[checks.QN001]\nseverity = \"critical\"\n";
  QuarnRun run = run_quarn({"explain", "QN001"}, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("severity: low\n"), std::string::npos);
}

TEST(Init, WritesStarterTexts) {
  struct Case {
    std::vector<std::string> args;
    const char* golden;
  };
  for (const Case& c : {Case{{"init"}, "starter_default.toml"}, Case{{"init", "--strict"}, "starter_strict.toml"}}) {
    TempDir dir;
    QuarnRun run = run_quarn(c.args, dir.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "Wrote quarn.toml\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(read_text(dir.path() / "quarn.toml"), read_text(fixture(std::string("e2e/") + c.golden)));
  }
  // A plain create: the umask alone decides the mode.
  TempDir dir;
  auto masked = run_process("/bin/sh", {"-c", "umask 027; exec \"$0\" init", QUARN_BIN}, dir.path().native());
  ASSERT_TRUE(masked.has_value());
  EXPECT_EQ(masked->exit_status, 0);
  EXPECT_EQ(std::filesystem::status(dir.path() / "quarn.toml").permissions(), std::filesystem::perms(0640));
}

TEST(Init, RefusesToReplaceAnything) {
  TempDir file_dir;
  std::ofstream(file_dir.path() / "quarn.toml") << "keep";
  TempDir dir_dir;
  std::filesystem::create_directory(dir_dir.path() / "quarn.toml");
  for (const TempDir* dir : {&file_dir, &dir_dir}) {
    QuarnRun run = run_quarn({"init", "--strict"}, dir->path());
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "error: quarn.toml already exists\n");
  }
  EXPECT_EQ(read_text(file_dir.path() / "quarn.toml"), "keep");
}

TEST(Init, WriteFailureIsAnError) {
  // Nobody, root included, may create files in /proc.
  QuarnRun run = run_quarn({"init"}, "/proc");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(run.err.starts_with("error: ")) << run.err;
  EXPECT_EQ(run.err.find("quarn.toml"), std::string::npos) << "no context is added: " << run.err;

  // A write cut short by the file size limit leaves no partial file.
  TempDir dir;
  auto limited = run_process("/bin/sh", {"-c", "trap '' XFSZ; ulimit -f 1; exec \"$0\" init", QUARN_BIN},
                             dir.path().native());
  ASSERT_TRUE(limited.has_value());
  EXPECT_EQ(limited->exit_status, 2);
  EXPECT_EQ(limited->standard_error, "error: File too large (os error 27)\n");
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "quarn.toml"));
}

TEST(CommandLine, StreamsAndStatuses) {
  struct Case {
    std::vector<std::string> args;
    int status;
    bool out_empty;
    bool err_empty;
  };
  const Case cases[] = {
      {{}, 2, true, false},                      // bare call: help on standard error
      {{"--help"}, 0, false, true},
      {{"help"}, 0, false, true},
      {{"help", "check"}, 0, false, true},
      {{"check", "-h"}, 0, false, true},
      {{"--version"}, 0, false, true},
      {{"check"}, 2, true, false},
      {{"check", "src", "--format", "JSON"}, 2, true, false},
      {{"check", "--version"}, 2, true, false},
      {{"explain"}, 2, true, false},
      {{"list-checkers"}, 0, false, true},
  };
  for (const auto& c : cases) {
    QuarnRun run = run_quarn(c.args);
    std::string name = c.args.empty() ? "(none)" : c.args.front();
    EXPECT_EQ(run.status, c.status) << name;
    EXPECT_EQ(run.out.empty(), c.out_empty) << name << ": " << run.out;
    EXPECT_EQ(run.err.empty(), c.err_empty) << name << ": " << run.err;
  }
  EXPECT_EQ(run_quarn({"-V"}).out, "quarn 0.5.0\n");
  QuarnRun help = run_quarn({"--help"});
  for (const char* text : {"Deterministic code governance for Python", "check", "explain", "init", "list-checks",
                           "list-checkers", "Run deterministic checks on a path (exits 1 when issues are found)"})
    EXPECT_NE(help.out.find(text), std::string::npos) << text;
  EXPECT_EQ(run_quarn({}).err, help.out);
  EXPECT_EQ(run_quarn({"help", "check"}).out, run_quarn({"check", "--help"}).out);
  EXPECT_NE(run_quarn({"check", "--help"}).out, help.out);
  EXPECT_EQ(run_quarn({"check"}).err,
            "error: PATH is required\n\nUsage: quarn check [OPTIONS] PATH\n\nFor more information, try '--help'.\n");
}

// check's PATH shows as required, as explain's ID does, although the parser
// checks it only after the parse (an option's value stays the option's).
TEST(CommandLine, RequiredPositionals) {
  const struct {
    std::vector<std::string> args;
    const char* err;
  } missing[] = {
      {{"check"}, "error: PATH is required\n\nUsage: quarn check [OPTIONS] PATH\n"},
      {{"check", "--remediation-prompt", "src"}, "error: PATH is required\n\nUsage: quarn check [OPTIONS] PATH\n"},
      {{"explain"}, "error: ID is required\n\nUsage: quarn explain [OPTIONS] ID\n"},
  };
  for (const auto& c : missing)
    EXPECT_EQ(run_quarn(c.args).err, std::string(c.err) + "\nFor more information, try '--help'.\n") << c.args[0];
  EXPECT_TRUE(run_quarn({"check", "--help"})
                  .out.contains("\nUsage: quarn check [OPTIONS] PATH\n\nPositionals:\n  PATH REQUIRED     "));
  EXPECT_TRUE(run_quarn({"explain", "--help"})
                  .out.contains("\nUsage: quarn explain [OPTIONS] ID\n\nPositionals:\n  ID REQUIRED     "));
}

// The arguments a usage error quotes show their control characters escaped.
TEST(CommandLine, UsageErrorsEscapeQuotedArguments) {
  const struct {
    std::vector<std::string> args;
    const char* err;
  } cases[] = {
      {{"check", "src", "--format", "j\x1bson"},
       "error: --format: j\\x1bson not in {human,json,sarif}\n\nUsage: quarn check [OPTIONS] PATH\n"},
      {{"check", "src", "extra\x1b[2J\t"},
       "error: The following argument was not expected: extra\\x1b[2J\\t\n\nUsage: quarn check [OPTIONS] PATH\n"},
      {{"help", "x\u0085"}, "error: unrecognized subcommand 'x\\x85'\n\nUsage: quarn [OPTIONS] SUBCOMMAND\n"},
  };
  for (const auto& c : cases) {
    QuarnRun run = run_quarn(c.args);
    EXPECT_EQ(run.status, 2) << c.args.back();
    EXPECT_EQ(run.out, "") << c.args.back();
    EXPECT_EQ(run.err, std::string(c.err) + "\nFor more information, try '--help'.\n") << c.args.back();
  }
}

TEST(ListCheckers, OneLineEitherWay) {
  QuarnRun run = run_quarn({"list-checkers"});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.out == "ruff  Ruff  [available]\n" || run.out == "ruff  Ruff  [not installed]\n") << run.out;
}

}  // namespace
}  // namespace quarn::test
