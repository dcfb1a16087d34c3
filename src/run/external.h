#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "findings/finding.h"
#include "run/command.h"

namespace quarn {

// Runs each "ruff" entry of `names` (others are ignored) on `path` and
// returns the findings in the order produced.
Result<std::vector<Finding>> run_external_checkers(const std::vector<std::string>& names,
                                                   const std::filesystem::path& path);

RunResult list_checkers();

}  // namespace quarn
