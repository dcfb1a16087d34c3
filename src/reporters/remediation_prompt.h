#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "base/error.h"
#include "findings/finding.h"

namespace quarn {

// The whole Markdown document. Source files are read from disk for their
// context, each once; a file that is not a readable regular UTF-8 file under
// the read limit only loses its context blocks.
std::string render_remediation_prompt(const FindingsView& findings, std::string_view checked_path);

// A run of the prompt's occurrences rendered at once: the text of
// [first, next), and the end of the run.
struct PromptPiece {
  fmt::memory_buffer text;
  std::size_t next = 0;
  std::size_t end = 0;
};

// Calls render(i) for each i in [0, count), on any threads, and write(piece)
// with what each gave, on the calling thread in index order.
using RenderInOrder = std::function<void(std::size_t count, const std::function<PromptPiece(std::size_t)>& render,
                                         const std::function<void(PromptPiece&)>& write)>;

// Renders the prompt piece by piece through `in_order` (on the calling
// thread when empty), writes each piece as it comes where `prompt_path`
// leads (creating missing parent directories) as OutputFile does, and
// announces the file on standard error; the whole text is never held at
// once. A path that names a directory fails first ("Is a directory"),
// creating nothing. A failed write, or SIGINT, SIGTERM or SIGHUP meanwhile,
// leaves none of the directories and files it created; after a failed write
// no further piece is begun.
Result<void> write_remediation_prompt(const std::filesystem::path& prompt_path, const FindingsView& findings,
                                      const std::filesystem::path& checked_path, const RenderInOrder& in_order = {});

}  // namespace quarn
