#include "reporters/remediation_prompt.h"
#include "reporters/remediation_prompt_detail.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <sstream>

#include "reporters/support.h"

namespace quarn {
namespace {

std::string numbered_lines(int count) {
  std::string text;
  for (int i = 1; i <= count; ++i) text += "line " + std::to_string(i) + "\n";
  return text;
}

// The rows of a window read back as "NUMBER TEXT" lines, "*" before the
// marked one, so that a window can be compared with the lines of its source.
std::string read_back(std::string_view rows) {
  std::string lines;
  for (std::size_t at = 0, end; at < rows.size(); at = end + 1) {
    end = rows.find('\n', at);
    const std::string_view row = rows.substr(at, end - at);
    const std::size_t bar = row.find("| ");
    lines += fmt::format("{}{} {}\n", row[0] == '>' ? "*" : "", std::stoi(std::string(row.substr(1, bar))),
                         row.substr(bar + 2));
  }
  return lines;
}

std::string read_whole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(SourceContext, WindowOfEightLinesEachSide) {
  std::string twenty;
  for (char letter = 'a'; letter <= 't'; ++letter) twenty += std::string{letter, '\n'};
  const struct {
    std::uint64_t line;
    std::string expected;
  } cases[] = {
      {1, ">    1| a\n     2| b\n     3| c\n     4| d\n     5| e\n     6| f\n     7| g\n     8| h\n     9| i\n"},
      {3, "     1| a\n     2| b\n>    3| c\n     4| d\n     5| e\n     6| f\n     7| g\n     8| h\n     9| i\n"
          "    10| j\n    11| k\n"},
      {10, "     2| b\n     3| c\n     4| d\n     5| e\n     6| f\n     7| g\n     8| h\n     9| i\n"
           ">   10| j\n    11| k\n    12| l\n    13| m\n    14| n\n    15| o\n    16| p\n    17| q\n    18| r\n"},
      {20, "    12| l\n    13| m\n    14| n\n    15| o\n    16| p\n    17| q\n    18| r\n    19| s\n>   20| t\n"},
      {21, ""},
      {0, ""},
      {18446744073709551615ull, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(SourceLines(twenty).context_rows(c.line), c.expected) << "line " << c.line;
}

// Windows that start or end on either side of the lines the index records
// (1, 17, 33, ...) read the same rows; blank lines count like any other,
// also next to each other. Keeping only the windows of the marked lines
// changes none of them.
TEST(SourceContext, WindowsAcrossIndexedLines) {
  const auto blank = [](int i) { return i % 3 == 0 || i % 7 == 0; };
  std::string sparse;
  for (int i = 1; i <= 200; ++i) sparse += blank(i) ? "\n" : fmt::format("line {}\n", i);
  const std::vector<std::uint64_t> marked = {8, 9, 10, 24, 25, 26, 56, 57, 64, 65, 72, 73, 74, 129, 137, 190, 192, 193, 200};
  const SourceLines lines(numbered_lines(200)), sparse_lines(sparse);
  const SourceLines kept(numbered_lines(200), marked), sparse_kept(sparse, marked);
  for (std::uint64_t line : marked) {
    std::string expected, expected_sparse;
    for (auto i = std::max<std::uint64_t>(1, line - 8); i <= std::min<std::uint64_t>(200, line + 8); ++i) {
      const std::string row = fmt::format("{}{} ", i == line ? "*" : "", i);
      expected += row + fmt::format("line {}\n", i);
      expected_sparse += row + (blank(static_cast<int>(i)) ? "" : fmt::format("line {}", i)) + "\n";
    }
    EXPECT_EQ(read_back(lines.context_rows(line)), expected) << "line " << line;
    EXPECT_EQ(read_back(sparse_lines.context_rows(line)), expected_sparse) << "line " << line;
    EXPECT_EQ(kept.context_rows(line), lines.context_rows(line)) << "line " << line;
    EXPECT_EQ(sparse_kept.context_rows(line), sparse_lines.context_rows(line)) << "line " << line;
  }
  EXPECT_EQ(lines.context_rows(201), "");
  EXPECT_EQ(kept.context_rows(201), "");
}

TEST(SourceContext, LineSplitting) {
  const struct {
    const char* name;
    std::string text;
    std::uint64_t line;
    std::string expected;
  } cases[] = {
      {"crlf ends", "a\r\nb\r\n", 1, ">    1| a\n     2| b\n"},
      {"lone cr stays", "a\rb\nc\r", 1, ">    1| a\rb\n     2| c\r\n"},
      {"only the cr before lf goes", "a\r\r\nb", 2, "     1| a\r\n>    2| b\n"},
      {"last line without lf", "x\ny", 2, "     1| x\n>    2| y\n"},
      {"text after final lf is no line", "a\nb\n", 3, ""},
      {"empty file has no lines", "", 1, ""},
      {"one empty line", "\n", 1, ">    1| \n"},
      {"blank line keeps the separator space", "a\n\nb\n", 2, "     1| a\n>    2| \n     3| b\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(SourceLines(c.text).context_rows(c.line), c.expected) << c.name;
}

TEST(SourceContext, SixDigitLineNumbersWidenTheRow) {
  auto rows = SourceLines(numbered_lines(100003)).context_rows(100000);
  EXPECT_TRUE(rows.starts_with(" 99992| line 99992\n")) << rows.substr(0, 40);
  EXPECT_NE(rows.find("\n 99999| line 99999\n>100000| line 100000\n 100001| line 100001\n"), std::string::npos);
  EXPECT_TRUE(rows.ends_with("\n 100003| line 100003\n"));
}

std::vector<std::string> group_keys(const std::vector<FindingGroup>& groups) {
  std::vector<std::string> keys;
  for (const auto& group : groups)
    keys.push_back(fmt::format("{} {} {} x{}", group.id, group.title, group.severity, group.occurrences.size()));
  return keys;
}

TEST(PromptGroups, OrderedBySeverityThenId) {
  std::vector<Finding> findings;
  findings.push_back(test::builtin("QN101", "a", "a.py", 1, 1));
  findings.push_back(test::builtin("QN101", "b", "a.py", 2, 1));
  findings.push_back(test::builtin("QN002", "c", "b.py", 1, 1));
  findings.push_back(test::builtin("QN003", "d", "c.py", 1, 1));
  findings.push_back(test::external("F401", "e", "c.py", 1, 1, Severity::High));
  EXPECT_EQ(group_keys(group_findings(findings)),
            (std::vector<std::string>{"EXT-RUFF-F401 ruff:F401 high x1", "QN003 deep-nesting medium x1",
                                      "QN002 too-many-arguments low x1", "QN101 inconsistent-function-naming low x2"}));
}

TEST(PromptGroups, SameIdWithTwoTitlesKeepsTitleOrder) {
  std::vector<Finding> findings;
  findings.push_back(test::external("X1", "m", "a.py", 1, 1, Severity::Low));
  findings.push_back(test::external("X1", "m", "a.py", 2, 1, Severity::Low));
  findings[0].title = "zeta";
  findings[1].title = "alpha";
  EXPECT_EQ(group_keys(group_findings(findings)),
            (std::vector<std::string>{"EXT-RUFF-X1 alpha low x1", "EXT-RUFF-X1 zeta low x1"}));
}

TEST(PromptGroups, GroupSeverityIsTheHighestOccurrence) {
  std::vector<Finding> findings;
  findings.push_back(test::builtin("QN001", "m", "a.py", 1, 1));
  findings.push_back(test::builtin("QN001", "m", "a.py", 2, 1));
  findings[1].severity = Severity::Critical;
  findings.push_back(test::builtin("QN403", "m", "a.py", 3, 1));
  auto groups = group_findings(findings);
  EXPECT_EQ(group_keys(groups),
            (std::vector<std::string>{"QN001 long-function critical x2", "QN403 bare-except high x1"}));
  EXPECT_EQ(groups[0].occurrences[0]->line, 2u);
}

TEST(PromptGroups, OccurrenceOrder) {
  std::vector<Finding> findings;
  auto add = [&](const char* file, std::uint64_t line, std::uint64_t column, const char* message, Severity severity) {
    findings.push_back(test::builtin("QN001", message, file, line, column));
    findings.back().severity = severity;
  };
  add("pkg-extra/a.py", 1, 1, "m", Severity::Low);
  add("pkg/mod.py", 9, 1, "m", Severity::Low);
  add("pkg/mod.py", 10, 1, "m", Severity::Low);
  add("pkg/mod.py", 10, 1, "b", Severity::Low);
  add("pkg/mod.py", 9, 2, "m", Severity::Low);
  add("zz.py", 1, 1, "m", Severity::High);
  add("pkg/mod.py", 10, 1, "a", Severity::Low);
  auto groups = group_findings(findings);
  ASSERT_EQ(groups.size(), 1u);
  std::vector<std::string> order;
  for (const Finding* f : groups[0].occurrences)
    order.push_back(fmt::format("{}:{}:{} {}", f->file, f->line, f->column, f->message));
  EXPECT_EQ(order, (std::vector<std::string>{"zz.py:1:1 m", "pkg/mod.py:9:1 m", "pkg/mod.py:9:2 m", "pkg/mod.py:10:1 a",
                                             "pkg/mod.py:10:1 b", "pkg/mod.py:10:1 m", "pkg-extra/a.py:1:1 m"}));
}

TEST(PromptSummary, DistinctFilesUseThePathOrder) {
  const struct {
    std::vector<const char*> paths;
    std::size_t expected;
  } cases[] = {
      {{}, 0},
      {{"a.py", "b.py", "a.py"}, 2},
      {{"a//b.py", "a/b.py", "a/./b.py", "a/b.py/"}, 1},
      {{"a/b.py", "./a/b.py"}, 2},
      {{"pkg/mod.py", "pkg-extra/a.py", "pkg/mod.py"}, 2},
  };
  for (const auto& c : cases) {
    std::vector<Finding> findings;
    for (const char* path : c.paths) findings.push_back(test::builtin("QN001", "m", path, 1, 1));
    EXPECT_EQ(count_distinct_files(findings), c.expected) << (c.paths.empty() ? "" : c.paths.front());
  }
}

const std::string kHeader =
    "# Quarn remediation prompt\n\nYou are fixing Python code quality issues reported by **Quarn**, a\n"
    "deterministic static analyzer (not a linter clone of Ruff).\n\n## Goal\nApply the remediations below with "
    "**minimal, correct** edits. Do not\ninvent unrelated refactors, renames, or style changes beyond what each\n"
    "finding asks for. Preserve public APIs unless a finding requires changing them.\n\nWork **by type** (highest "
    "severity groups first). Within each type, fix\noccurrences in the listed order.\n\nWhen done, the checked tree "
    "should pass:\n```bash\nquarn check src/pkg\n```\n\n";

TEST(RemediationPrompt, NoFindings) {
  EXPECT_EQ(render_remediation_prompt({}, "src/pkg"),
            kHeader + "## Summary\n\nNo issues found. Nothing to remediate.\n\n");
}

TEST(RemediationPrompt, SummaryAndTypes) {
  std::vector<Finding> findings;
  findings.push_back(test::builtin("QN001", "m1", "missing/a.py", 1, 1));
  findings.push_back(test::builtin("QN001", "m2", "missing/a.py", 5, 1));
  findings.push_back(test::builtin("QN001", "m3", "missing/b.py", 1, 1));
  findings.push_back(test::builtin("QN003", "m4", "missing/b.py", 2, 1));
  auto prompt = render_remediation_prompt(findings, "src/pkg");
  EXPECT_TRUE(prompt.starts_with(kHeader));
  EXPECT_NE(prompt.find("## Summary\n\n- Checked path: `src/pkg`\n"
                        "- Findings: **4** across **2** file(s), **2** type(s)\n"
                        "- Ordered by severity (critical \u2192 info), then grouped by check id\n"
                        "- Generated by Quarn (deterministic; no model was invoked)\n\n"
                        "### Types (severity order)\n\n"
                        "- `QN003` \u2014 deep-nesting \u2014 **medium** \u2014 1 occurrence(s)\n"
                        "- `QN001` \u2014 long-function \u2014 **low** \u2014 3 occurrence(s)\n\n"
                        "## Findings by type\n\n## 1. `QN003` \u2014 deep-nesting\n\n"),
            std::string::npos)
      << prompt;
  EXPECT_NE(prompt.find("### 2.3 `missing/b.py:1:1` [low]\n\n- **Message:** m3\n\n## Instructions"), std::string::npos);
  EXPECT_TRUE(prompt.ends_with("5. After edits, re-run `quarn check src/pkg` and resolve any remaining issues.\n\n"));
}

TEST(RemediationPrompt, UnreadableFilesLoseOnlyTheirContext) {
  test::TempDir dir;
  auto good = dir.write("good.py", "x = 1\r\ny = 2\r\n");
  auto latin1 = dir.write("latin1.py", "s = '\xe9'\n");
  std::filesystem::create_directory(dir.path() / "folder.py");
  // A fifo that holds a line and has no writer left, so that reading it
  // would end: still no context.
  const auto fifo = dir.path() / "fifo.py";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  const int writer = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  ASSERT_EQ(::write(writer, "x = 1\n", 6), 6);
  ::close(writer);
  std::vector<Finding> findings;
  findings.push_back(test::builtin("QN001", "good", good, 2, 1));
  findings.push_back(test::builtin("QN001", "latin1", latin1, 1, 1));
  findings.push_back(test::builtin("QN001", "folder", dir.path() / "folder.py", 1, 1));
  findings.push_back(test::builtin("QN001", "missing", dir.path() / "missing.py", 1, 1));
  findings.push_back(test::builtin("QN001", "fifo", fifo, 1, 1));
  findings.push_back(test::builtin("QN001", "beyond", good, 3, 1));
  sort_findings(findings);
  auto prompt = render_remediation_prompt(findings, "t");
  ::close(reader);
  EXPECT_NE(prompt.find("- **Message:** good\n\nSource context:\n\n```python\n     1| x = 1\n>    2| y = 2\n```\n\n"),
            std::string::npos)
      << prompt;
  std::size_t blocks = 0;
  for (auto at = prompt.find("Source context:"); at != std::string::npos; at = prompt.find("Source context:", at + 1))
    ++blocks;
  EXPECT_EQ(blocks, 1u);
}

TEST(RemediationPrompt, InvalidPathBytesAreReplacedInHeadings) {
  std::vector<Finding> findings;
  findings.push_back(test::builtin("QN001", "m", "bad\xff.py", 4, 2));
  auto prompt = render_remediation_prompt(findings, "t");
  EXPECT_NE(prompt.find("### 1.1 `bad\uFFFD.py:4:2` [low]\n"), std::string::npos);
}

TEST(WriteRemediationPrompt, CreatesMissingParentsAndAnnounces) {
  test::TempDir dir;
  std::vector<Finding> findings;
  findings.push_back(test::builtin("QN001", "m", "nowhere.py", 1, 1));
  auto target = dir.path() / "out" / "deep" / "p.md";
  testing::internal::CaptureStderr();
  auto written = write_remediation_prompt(target, findings, "src\xff");
  auto notices = testing::internal::GetCapturedStderr();
  ASSERT_TRUE(written) << written.error().render();
  EXPECT_EQ(read_whole(target), render_remediation_prompt(findings, "src\uFFFD"));
  EXPECT_EQ(notices, "Wrote remediation prompt to " + target.native() + "\n");
}

TEST(WriteRemediationPrompt, WritesTheDocumentAlsoWithoutFindings) {
  test::TempDir dir;
  test::ScopedCurrentDir inside(dir.path());
  testing::internal::CaptureStderr();
  auto written = write_remediation_prompt("p.md", {}, ".");
  auto notices = testing::internal::GetCapturedStderr();
  ASSERT_TRUE(written) << written.error().render();
  EXPECT_EQ(read_whole(dir.path() / "p.md"), render_remediation_prompt({}, "."));
  EXPECT_EQ(notices, "Wrote remediation prompt to p.md\n");
}

TEST(WriteRemediationPrompt, ReplacesAnExistingFile) {
  test::TempDir dir;
  auto target = dir.write("p.md", std::string(10000, 'x'));
  testing::internal::CaptureStderr();
  auto written = write_remediation_prompt(target, {}, "src");
  testing::internal::GetCapturedStderr();
  ASSERT_TRUE(written);
  EXPECT_EQ(read_whole(target), render_remediation_prompt({}, "src"));
}

TEST(WriteRemediationPrompt, FailuresCarryTheirContext) {
  test::TempDir dir;
  auto file = dir.write("file.txt", "x");
  std::filesystem::create_directory(dir.path() / "taken.md");
  const struct {
    std::filesystem::path target;
    std::string expected;
    int os_error;
  } cases[] = {
      {file / "p.md", "create directory for " + (file / "p.md").native() + ": Not a directory (os error 20)", ENOTDIR},
      {dir.path() / "taken.md",
       "write remediation prompt to " + (dir.path() / "taken.md").native() + ": Is a directory (os error 21)", EISDIR},
      {dir.path() / "new" / ".",
       "write remediation prompt to " + (dir.path() / "new" / ".").native() + ": Is a directory (os error 21)", EISDIR},
  };
  for (const auto& c : cases) {
    testing::internal::CaptureStderr();
    auto written = write_remediation_prompt(c.target, {}, "src");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_FALSE(written) << c.target;
    EXPECT_EQ(written.error().render(), c.expected);
    EXPECT_EQ(written.error().os_error(), c.os_error) << c.target;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "new"));
}

}  // namespace
}  // namespace quarn
