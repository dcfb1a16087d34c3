#include "run/external.h"

#include <fmt/format.h>

#include "base/output.h"
#include "run/process.h"

namespace quarn {

bool ruff_is_available() {
  auto probe = run_process("ruff", {"--version"});
  return probe && probe->exit_status == 0;
}

RunResult list_checkers() {
  write_stdout(fmt::format("{}  {}  [{}]\n", "ruff", "Ruff", ruff_is_available() ? "available" : "not installed"));
  return 0;
}

}  // namespace quarn
