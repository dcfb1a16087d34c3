#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "base/error.h"
#include "findings/finding.h"

namespace quarn {

// The whole Markdown document. Source files are read from disk for their
// context, each once; a file that is not a readable regular UTF-8 file under
// the read limit only loses its context blocks.
std::string render_remediation_prompt(const FindingsView& findings, std::string_view checked_path);

// Renders the prompt, writes it where `prompt_path` leads (creating missing
// parent directories) as OutputFile does, and announces the file on
// standard error. A path that names a directory fails first ("Is a
// directory"), creating nothing. A failed write, or SIGINT, SIGTERM or
// SIGHUP meanwhile, leaves none of the directories and files it created.
Result<void> write_remediation_prompt(const std::filesystem::path& prompt_path, const FindingsView& findings,
                                      const std::filesystem::path& checked_path);

}  // namespace quarn
