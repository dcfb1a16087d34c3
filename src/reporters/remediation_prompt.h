#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "findings/finding.h"

namespace quarn {

// One check's findings in the prompt; `occurrences` point into the caller's list.
struct FindingGroup {
  std::string id;
  std::string title;
  Severity severity;
  std::vector<const Finding*> occurrences;
};

// Groups by (id, title), each group's occurrences and the groups themselves
// in prompt order.
std::vector<FindingGroup> group_findings(const FindingsView& findings);

// Number of distinct files, paths compared component by component.
std::size_t count_distinct_files(const FindingsView& findings);

// A file's text with an index of its line starts, so that the source window
// around any line is found without scanning from the top.
class SourceLines {
 public:
  explicit SourceLines(std::string text);

  // The rows of the window around `line` (eight lines either side), or empty
  // when the line is outside the text.
  std::string context_rows(std::uint64_t line) const;

 private:
  std::string text_;
  std::vector<std::size_t> checkpoints_;  // where line 1 and every 64th line after it start
};

// The whole Markdown document. Source files are read from disk for their
// context, each once; a file that is not a readable regular UTF-8 file under
// the read limit only loses its context blocks.
std::string render_remediation_prompt(const FindingsView& findings, std::string_view checked_path);

// Renders the prompt, replaces `prompt_path` with it as a whole (creating
// missing parent directories) and announces the file on standard error. A
// path that names a directory fails first ("Is a directory"), creating nothing.
// A failed write, or SIGINT, SIGTERM or SIGHUP meanwhile, leaves none of the
// directories and files it created.
Result<void> write_remediation_prompt(const std::filesystem::path& prompt_path, const FindingsView& findings,
                                      const std::filesystem::path& checked_path);

}  // namespace quarn
