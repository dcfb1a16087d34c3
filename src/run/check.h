#pragma once

#include <optional>

#include "run/command.h"

namespace quarn {

// The `check` subcommand: configuration, discovery, checks, external
// checkers, report, prompt, exit status. Files are checked and the report
// rendered on `workers` threads; by default as many as there are CPUs this
// process may use, but never more than files (one: no thread is started).
// The output does not depend on the number.
RunResult run_check(const CheckCommand& command, std::optional<unsigned> workers = std::nullopt);

}  // namespace quarn
