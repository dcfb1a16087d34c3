#include <exception>
#include <new>

#include "base/signals.h"
#include "base/streams.h"
#include "base/text.h"
#include "base/thread_stack.h"
#include "cli/cli.h"

namespace {

int run(int argc, char** argv) {
  quarn::CliDefinition cli;
  auto parsed = cli.parse(argc, argv);
  if (auto* status = std::get_if<std::uint8_t>(&parsed)) return *status;
  quarn::RunResult result = quarn::run_command(std::move(std::get<quarn::Command>(parsed)));
  if (result) return *result;
  quarn::write_stderr("error: " + result.error().render() + "\n");
  return 2;
}

// What a run could not go on from ends it like any other error.
int run_or_report(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc&) {
    quarn::write_stderr("error: out of memory\n");
  } catch (const std::exception& error) {
    quarn::write_stderr("error: ");
    quarn::write_stderr(quarn::terminal_text(error.what()));
    quarn::write_stderr("\n");
  }
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  quarn::hold_closed_standard_streams();
  quarn::set_up_signals();
  int status = 2;
  // Parsing recurses as deep as the input nests: the command runs on a stack
  // of known size, whatever `ulimit -s` says.
  quarn::run_on_work_stack([&] { status = run_or_report(argc, argv); });
  return status;
}
