#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/error.h"

namespace quarn {

struct ProcessOutput {
  std::optional<int> exit_status;  // absent when the child ended by a signal
  std::string standard_output;
  std::string standard_error;
};

// Runs `program` (looked up on the search path, no shell) with `args`, an
// empty standard input and both output streams captured in full. The child
// inherits the environment and, unless `working_directory` is given, the
// current directory. Fails only when the child cannot be started or its
// output read or its end awaited; the error is the system's message with its
// errno (that of a failed exec too: ENOENT when the program is not found).
Result<ProcessOutput> run_process(const std::string& program, const std::vector<std::string>& args,
                                  const std::string& working_directory = {});

}  // namespace quarn
