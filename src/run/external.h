#pragma once

#include "run/command.h"

namespace quarn {

// Probe: `ruff --version` starts and exits 0.
bool ruff_is_available();

RunResult list_checkers();

}  // namespace quarn
