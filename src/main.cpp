#include "base/output.h"
#include "cli/cli.h"

int main(int argc, char** argv) {
  quarn::hold_closed_standard_streams();
  quarn::CliDefinition cli;
  auto parsed = cli.parse(argc, argv);
  if (auto* status = std::get_if<std::uint8_t>(&parsed)) return *status;
  quarn::RunResult result = quarn::run_command(std::move(std::get<quarn::Command>(parsed)));
  if (result) return *result;
  quarn::write_stderr("error: " + result.error().render() + "\n");
  return 2;
}
