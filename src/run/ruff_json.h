#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"

namespace quarn {

struct RuffLocation {
  std::uint64_t row = 0;
  std::uint64_t column = 0;
};

struct RuffDiagnostic {
  std::string code;
  std::string message;
  std::string filename;
  RuffLocation location;
};

// Reads the tool's standard output: one JSON array of diagnostics, each an
// object with exactly the four keys (others skipped) or a four-element array.
// Errors read like "missing field `code`" or "invalid type: null, expected a
// string".
Result<std::vector<RuffDiagnostic>> parse_ruff_json(std::string_view text);

}  // namespace quarn
