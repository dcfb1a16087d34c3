#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "findings/finding.h"
#include "run/command.h"
#include "run/ruff_json.h"

namespace quarn {

// Severity of a diagnostic by its rule code.
Severity ruff_severity_for_code(std::string_view code);

// One diagnostic of the tool as a finding.
Finding ruff_diagnostic_to_finding(const RuffDiagnostic& diagnostic);

// Runs each "ruff" entry of `names` (others are ignored) on `path` and
// returns the findings in the order produced.
Result<std::vector<Finding>> run_external_checkers(const std::vector<std::string>& names,
                                                   const std::filesystem::path& path);

RunResult list_checkers();

}  // namespace quarn
