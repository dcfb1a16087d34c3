#include "run/check.h"

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <new>

#include <fmt/format.h>

#include "base/files.h"
#include "base/streams.h"
#include "base/text.h"
#include "base/thread_stack.h"
#include "base/utf8.h"
#include "checks/catalog.h"
#include "checks/source_model.h"
#include "parser/parse.h"
#include "reporters/remediation_prompt.h"
#include "run/cpus.h"
#include "run/discovery.h"
#include "run/external.h"
#include "run/print_report.h"
#include "run/workers.h"

namespace quarn {

namespace fs = std::filesystem;

namespace {

// A worker reads only regular files smaller than this. Larger files, fifos
// and devices are read on the calling thread, one at a time, so the text read
// at once stays below this much per worker plus one file.
constexpr std::size_t kWorkerReadLimit = std::size_t{16} << 20;

// Thrown where a file met a shortage of the machine (descriptors, memory,
// processes) rather than a fault of its own.
struct Shortage {};

bool is_shortage(const Error& error) {
  const int code = error.os_error();
  return code == EMFILE || code == ENFILE || code == ENOMEM || code == EAGAIN;
}

// Reads a source file. A pool thread hands large files and streams to the
// calling thread; while other threads run, a shortage is not the file's
// fault, and the file is read again once they stopped.
Result<std::string> read_source(const fs::path& path, Producer where) {
  auto read = [&]() -> Result<std::string> {
    if (where != Producer::worker) return read_file(path);
    auto small = read_file_if_small(path, kWorkerReadLimit);
    if (!small) return fail(std::move(small.error()));
    if (!*small) throw ProduceOnCaller{};
    return std::move(**small);
  };
  Result<std::string> text = read();
  if (!text && where != Producer::alone && is_shortage(text.error())) throw Shortage{};
  if (text && !is_valid_utf8(*text)) text = fail("stream did not contain valid UTF-8");
  if (!text) return fail(std::move(text.error()).context(fmt::format("read {}", path_text(path))));
  return text;
}

// What checking one file gave: its sorted findings, or its read or parse
// error rendered for the warning line.
struct FileResult {
  std::vector<Finding> findings;
  std::optional<std::string> error;
};

// Runs every enabled check of the catalog on one parsed file; the findings
// come sorted.
std::vector<Finding> run_enabled_checks(const Catalog& catalog, const std::vector<ResolvedCheckConfig>& settings,
                                        const fs::path& path, const ParsedModule& parsed, const Config& config) {
  SourceModel model{path, parsed.source, parsed, config, SourceIndex(parsed)};
  std::vector<Finding> findings;
  for (std::size_t i = 0; i < catalog.size(); ++i) {
    if (!settings[i].enabled) continue;
    const std::size_t first = findings.size();
    catalog[i]->run(model, settings[i], findings);
    if (const std::optional<Severity> severity = settings[i].severity)
      for (Finding& f : std::span(findings).subspan(first)) f.severity = *severity;
  }
  sort_findings(findings);
  return findings;
}

// Reads, parses and checks one file; a read or parse failure is the file's
// error, and so is running out of memory where no other thread runs, when
// `alone_is_exact`: when the file then has the room a one-worker run gives it.
FileResult check_file(const Catalog& catalog, const std::vector<ResolvedCheckConfig>& settings, const fs::path& path,
                      const Config& config, Producer where, bool alone_is_exact) {
  std::string_view step = "read";
  try {
    auto text = read_source(path, where);
    if (!text) return {.findings = {}, .error = text.error().render()};
    step = "parse";
    auto parsed = parse_module(path, std::move(*text));
    if (!parsed) {
      return {.findings = {},
              .error = std::move(parsed.error()).context(fmt::format("parse {}", path_text(path))).render()};
    }
    step = "check";
    return {.findings = run_enabled_checks(catalog, settings, path, *parsed, config), .error = std::nullopt};
  } catch (const std::bad_alloc&) {
    if (where != Producer::alone || !alone_is_exact) throw;
  }
  return {.findings = {},
          .error = Error("out of memory").context(fmt::format("{} {}", step, path_text(path))).render()};
}

// A file that could not be read or parsed: its path as discovered and its
// error as the warning line showed it.
struct FileError {
  fs::path path;
  std::string message;
};

// What checking every file gave: each file's sorted findings, in file
// order (together one sorted list, kept apart so that no finding moves after
// its file is checked), and the files that failed, in file order.
struct RunOutcome {
  std::vector<std::vector<Finding>> findings_by_file;
  std::vector<FileError> file_errors;

  FindingsView findings() const {
    FindingsView view;
    for (const auto& list : findings_by_file) view.append(list);
    return view;
  }
};

// Moves every finding into one list, in order.
std::vector<Finding> take_findings(RunOutcome& outcome) {
  std::size_t total = 0;
  for (const auto& list : outcome.findings_by_file) total += list.size();
  std::vector<Finding> all;
  all.reserve(total);
  for (auto& list : outcome.findings_by_file) std::ranges::move(list, std::back_inserter(all));
  outcome.findings_by_file.clear();
  return all;
}

// Frees the findings on the workers: hundreds of thousands of strings take
// one thread longer to free than the workers took to check the files. It
// comes after the output, so it never fails: whatever the workers could not
// free, the outcome's destructor frees on this thread.
void free_findings(RunOutcome& outcome, unsigned workers) noexcept {
  auto& lists = outcome.findings_by_file;
  try {
    run_in_order(
        lists.size(), workers, lists.size(),
        [&](std::size_t i, Producer) {
          std::vector<Finding>().swap(lists[i]);
          return 0;
        },
        [](std::size_t, int) {});
  } catch (...) {
  }
}

// Parses and checks every file on `workers` threads; findings sorted, each
// file's warning printed on standard error as soon as every earlier file is
// done.
RunOutcome check_files(const std::vector<fs::path>& files, const Config& config, unsigned workers,
                       bool alone_is_exact) {
  const Catalog catalog = build_catalog();
  const std::vector<ResolvedCheckConfig> settings = resolve_catalog_settings(config);
  RunOutcome outcome;
  // Every file's result may wait, so that one slow file never stalls the rest.
  run_in_order(
      files.size(), workers, files.size(),
      [&](std::size_t i, Producer where) {
        return check_file(catalog, settings, files[i], config, where, alone_is_exact);
      },
      [&](std::size_t i, FileResult& result) {
        if (result.error) {
          write_stderr(fmt::format("warning: {}\n", *result.error));
          outcome.file_errors.push_back({files[i], std::move(*result.error)});
        } else if (!result.findings.empty()) {
          outcome.findings_by_file.push_back(std::move(result.findings));
        }
      });
  // Each file's list is sorted and the files come in path order, so the
  // lists are already one sorted list, unless two paths compare equal.
  const auto& lists = outcome.findings_by_file;
  const bool in_order = std::ranges::adjacent_find(lists, [](const auto& a, const auto& b) {
                          return compare_findings(b.front(), a.back());
                        }) == lists.end();
  if (!in_order) {
    std::vector<Finding> all = take_findings(outcome);
    sort_findings(all);
    outcome.findings_by_file.push_back(std::move(all));
  }
  return outcome;
}

}  // namespace

RunResult run_check(const CheckCommand& command, std::optional<unsigned> workers) {
  const fs::path& path = command.path;
  Result<Config> config = discover_config(config_search_start(path));
  if (!config) return fail(std::move(config.error()));
  if (command.profile) config->profile.name = *command.profile;

  auto files = discover_python_files(path);
  if (!files) return fail(std::move(files.error()));
  const unsigned pool = workers.value_or(worker_count(files->size()));
  // Before the pool starts: no other thread allocates yet.
  const bool repeatable = needs_repeatable_malloc(pool);
  if (repeatable) make_malloc_repeatable();
  // Under a limit loose enough for malloc's defaults, a file checked again
  // alone once the workers stopped may lack room a one-worker run has:
  // running out there ends the run rather than give another result.
  RunOutcome outcome = check_files(*files, *config, pool, repeatable || !memory_limit());
  FindingsView findings = outcome.findings();

  std::vector<std::string> checkers = config->external_checkers;
  checkers.insert(checkers.end(), command.with_external.begin(), command.with_external.end());
  std::vector<Finding> merged;  // the run's list once external findings joined it
  if (!checkers.empty()) {
    auto external = run_external_checkers(checkers, path);
    if (!external) return fail(std::move(external.error()));
    merged = take_findings(outcome);
    std::ranges::move(*external, std::back_inserter(merged));
    sort_findings(merged);
    findings = FindingsView(merged);
  }

  if (auto printed = print_report(command.format, findings, pool); !printed) return fail(std::move(printed.error()));

  if (command.remediation_prompt) {
    // Pieces rendered on the workers, written in order by this thread.
    auto in_order = [&](std::size_t count, const auto& render, const auto& write) {
      const auto threads = static_cast<unsigned>(std::min<std::size_t>(pool, count));
      run_in_order(
          count, threads, 2 * std::size_t{pool}, [&](std::size_t i, Producer) { return render(i); },
          [&](std::size_t, PromptPiece& piece) { write(piece); });
    };
    if (auto written = write_remediation_prompt(*command.remediation_prompt, findings, path, in_order); !written)
      return fail(std::move(written.error()));
  }
  const std::uint8_t status = !findings.empty() ? 1 : outcome.file_errors.empty() ? 0 : 2;
  free_findings(outcome, pool);
  return status;
}

}  // namespace quarn
