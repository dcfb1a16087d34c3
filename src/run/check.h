#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "config/config.h"
#include "findings/finding.h"
#include "run/command.h"

namespace quarn {

struct FileError {
  std::filesystem::path path;
  std::string message;
};

struct RunOutcome {
  // Each checked file's sorted findings, in file order: together one sorted
  // list, kept apart so that no finding moves after its file is checked.
  std::vector<std::vector<Finding>> findings_by_file;
  std::vector<FileError> file_errors;

  FindingsView findings() const;
};

// Moves every finding into one list, in order.
std::vector<Finding> take_findings(RunOutcome& outcome);

// The `check` subcommand: configuration, discovery, checks, external
// checkers, report, prompt, exit status. Files are checked and the report
// rendered on `workers` threads; by default as many as there are CPUs this
// process may use, but never more than files (one: no thread is started).
// The output does not depend on the number.
RunResult run_check(const CheckCommand& command, std::optional<unsigned> workers = std::nullopt);

// Parses and checks every file on `workers` threads; findings sorted, file
// errors in file order, each file's warning printed on standard error as
// soon as every earlier file is done.
RunOutcome check_files(const std::vector<std::filesystem::path>& files, const Config& config, unsigned workers);

// Workers for a run over `files` files: the CPUs this process may use, at
// most one per file.
unsigned worker_count(std::size_t files);

}  // namespace quarn
