#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "findings/finding.h"

// The pieces of the remediation prompt, for its own file and the tests.
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

}  // namespace quarn
