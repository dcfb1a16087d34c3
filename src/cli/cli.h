#pragma once

#include <cstdint>
#include <memory>
#include <variant>

#include "run/command.h"

namespace CLI {
class App;
}

namespace quarn {

// The `quarn` command definition with every subcommand and argument, bound to
// the values it will receive.
class CliDefinition {
 public:
  CliDefinition();
  ~CliDefinition();

  // Parses the process arguments. On success returns the extracted command;
  // on a usage error, a help or a version request it prints what it must and
  // returns the exit status instead.
  std::variant<Command, std::uint8_t> parse(int argc, const char* const* argv);

 private:
  struct Values;
  std::unique_ptr<CLI::App> app_;
  std::unique_ptr<Values> values_;
};

// Dispatches a command to its subcommand.
RunResult run_command(Command command);

}  // namespace quarn
