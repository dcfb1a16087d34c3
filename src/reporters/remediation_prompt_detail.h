#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

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

// A file's lines with an index of their starts, so that the source window
// around a line is found without scanning from the top.
class SourceLines {
 public:
  // Every line of `text`, or with `lines` (ascending) only those the windows
  // around them show; the windows of other lines are then not kept.
  explicit SourceLines(std::string_view text, std::optional<std::span<const std::uint64_t>> lines = std::nullopt);

  // The rows of the window around `line` (eight lines either side), or empty
  // when the line is outside the text.
  std::string context_rows(std::uint64_t line) const;
  // The same appended to `out`; false, appending nothing, when the line is
  // outside the text.
  bool append_context_rows(fmt::memory_buffer& out, std::uint64_t line) const;

 private:
  // Where a kept line starts in `text_`.
  struct Mark {
    std::uint64_t line;
    std::uint32_t offset;  // texts are read only below 4 GiB
  };
  std::string text_;          // the kept lines, each with its end
  std::vector<Mark> marks_;   // the first of every run of kept lines and every 16th after it
  std::uint64_t lines_ = 0;   // of the whole text
};

// Occurrences of the prompt that one worker renders at once.
inline constexpr std::size_t kPromptOccurrencesPerPiece = 256;

// The document in parts that can be rendered apart, on several threads, and
// joined in order: the head (header, summary, types), the occurrences, each
// with the heading of its group before the group's first, and the tail (the
// instructions).
class RemediationPrompt {
 public:
  RemediationPrompt(const FindingsView& findings, std::string_view checked_path);
  ~RemediationPrompt();

  void head(fmt::memory_buffer& out) const;
  std::size_t occurrences() const { return occurrences_; }
  // Appends the occurrences [first, last), stopping after the first one that
  // brings `out` to `budget` bytes or more; returns the first it left out.
  // Ranges may be rendered at once on several threads; each source file is
  // read once, by whichever needs it first.
  std::size_t render(fmt::memory_buffer& out, std::size_t first, std::size_t last,
                     std::size_t budget = SIZE_MAX) const;
  void tail(fmt::memory_buffer& out) const;

 private:
  class SourceFiles;

  std::string checked_path_;
  std::size_t occurrences_ = 0;
  std::size_t files_ = 0;
  std::vector<FindingGroup> groups_;
  std::vector<std::size_t> group_starts_;  // where each group's occurrences begin in the document
  std::unique_ptr<SourceFiles> sources_;
};

}  // namespace quarn
