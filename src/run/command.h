#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/error.h"

namespace quarn {

enum class OutputFormat : std::uint8_t { Human, Json, Sarif };

struct CheckCommand {
  std::filesystem::path path;
  OutputFormat format = OutputFormat::Human;
  std::optional<std::string> profile;
  std::vector<std::string> with_external;
  std::optional<std::filesystem::path> remediation_prompt;
};

struct ExplainCommand {
  std::string id;
};

struct InitCommand {
  bool strict = false;
};

struct ListChecksCommand {};
struct ListCheckersCommand {};

using Command = std::variant<CheckCommand, ExplainCommand, InitCommand, ListChecksCommand, ListCheckersCommand>;

// An exit status (0, 1 or 2) or a run error.
using RunResult = Result<std::uint8_t>;

}  // namespace quarn
