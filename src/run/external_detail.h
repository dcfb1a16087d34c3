#pragma once

// The parts of run_external_checkers, for its tests.

#include <string_view>

#include "findings/finding.h"
#include "run/ruff_json.h"

namespace quarn::detail {

// Severity of a diagnostic by its rule code.
Severity ruff_severity_for_code(std::string_view code);

// One diagnostic of the tool as a finding.
Finding ruff_diagnostic_to_finding(const RuffDiagnostic& diagnostic);

}  // namespace quarn::detail
