#pragma once

#include <filesystem>
#include <span>
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
std::vector<FindingGroup> group_findings(std::span<const Finding> findings);

// Number of distinct files, paths compared component by component.
std::size_t count_distinct_files(std::span<const Finding> findings);

// The rows of the source window around `line` (eight lines either side), or
// empty when the line is outside `text`.
std::string source_context_rows(std::string_view text, std::uint64_t line);

// The whole Markdown document. Source files are read from disk for their
// context; a file that cannot be read only loses its context block.
std::string render_remediation_prompt(std::span<const Finding> findings, std::string_view checked_path);

// Renders the prompt, writes it to `prompt_path` (creating missing parent
// directories) and announces the file on standard error.
Result<void> write_remediation_prompt(const std::filesystem::path& prompt_path, std::span<const Finding> findings,
                                      const std::filesystem::path& checked_path);

}  // namespace quarn
