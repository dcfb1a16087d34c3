#include "cli/cli.h"
#include "run/check.h"
#include "run/external.h"
#include "run/informational.h"

namespace quarn {

namespace {

struct Dispatch {
  RunResult operator()(const CheckCommand& c) const { return run_check(c); }
  RunResult operator()(const ExplainCommand& c) const { return explain_check(c.id); }
  RunResult operator()(const InitCommand& c) const { return write_starter_config(c.strict); }
  RunResult operator()(const ListChecksCommand&) const { return list_checks(); }
  RunResult operator()(const ListCheckersCommand&) const { return list_checkers(); }
};

}  // namespace

RunResult run_command(Command command) { return std::visit(Dispatch{}, command); }

}  // namespace quarn
