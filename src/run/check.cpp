#include "run/check.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <memory>
#include <system_error>

#include <fmt/format.h>

#include "base/output.h"
#include "checks/catalog.h"
#include "parser/parse.h"
#include "parser/source_model.h"
#include "reporters/human.h"
#include "reporters/json.h"
#include "reporters/remediation_prompt.h"
#include "reporters/sarif.h"
#include "run/external.h"
#include "run/workers.h"

namespace quarn {

namespace fs = std::filesystem;

namespace {

// File-system tests that follow links; any failure to look counts as "no".
bool names_regular_file(const fs::path& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool names_anything(const fs::path& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

std::string_view last_component(std::string_view text) {
  while (text.size() > 1 && text.back() == '/') text.remove_suffix(1);
  auto slash = text.rfind('/');
  return slash == std::string_view::npos || text.size() == 1 ? text : text.substr(slash + 1);
}

bool is_skipped_dir_name(std::string_view name) {
  return std::find(std::begin(SKIPPED_DIR_NAMES), std::end(SKIPPED_DIR_NAMES), name) != std::end(SKIPPED_DIR_NAMES);
}

Error walk_error(const fs::path& root, const fs::path& entry, const std::error_code& ec) {
  return Error(fmt::format("cannot access {}: {}", path_text(entry), os_error_message(ec.value())))
      .context(fmt::format("walk directory {}", path_text(root)));
}

// Appends the .py entries below `root` to `files`, in no particular order.
// Links are not followed; directories wait on a stack rather than holding a
// descriptor each, so a deep tree neither recurses nor runs out of them. An
// error names the entry that failed.
Result<void> walk_directory(const fs::path& root, std::vector<fs::path>& files) {
  std::vector<fs::path> pending{root};
  while (!pending.empty()) {
    const fs::path dir = std::move(pending.back());
    pending.pop_back();
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
      fs::file_type type = it->symlink_status(ec).type();
      if (ec) return fail(walk_error(root, it->path(), ec));
      if (type == fs::file_type::directory) {
        if (!is_skipped_dir_name(it->path().filename().native())) pending.push_back(it->path());
      } else if (has_py_extension(it->path())) {
        files.push_back(it->path());
      }
    }
    if (ec) return fail(walk_error(root, dir, ec));
  }
  return {};
}

Result<std::string> read_source(const fs::path& path) {
  auto text = read_file(path);
  if (!text) return fail(std::move(text.error()).context(fmt::format("read {}", path_text(path))));
  if (!is_valid_utf8(*text))
    return fail(Error("stream did not contain valid UTF-8").context(fmt::format("read {}", path_text(path))));
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
std::vector<Finding> check_file(const Catalog& catalog, const std::vector<ResolvedCheckConfig>& settings,
                                const fs::path& path, const ParsedModule& parsed, const Config& config) {
  SourceModel model{path, parsed.source, parsed, config, SourceIndex(parsed)};
  std::vector<Finding> findings;
  for (std::size_t i = 0; i < catalog.size(); ++i) {
    if (!settings[i].enabled) continue;
    std::vector<Finding> found = catalog[i]->run(model, settings[i]);
    if (const std::optional<Severity> severity = settings[i].severity)
      for (Finding& f : found) f.severity = *severity;
    if (findings.empty()) {
      findings = std::move(found);
    } else {
      std::move(found.begin(), found.end(), std::back_inserter(findings));
    }
  }
  sort_findings(findings);
  return findings;
}

// Reads, parses and checks one file; a read or parse failure is the file's error.
FileResult check_one_file(const Catalog& catalog, const std::vector<ResolvedCheckConfig>& settings,
                          const fs::path& path, const Config& config) {
  auto text = read_source(path);
  if (!text) return {.findings = {}, .error = text.error().render()};
  auto parsed = parse_module(path, *text);
  if (!parsed) {
    return {.findings = {},
            .error = std::move(parsed.error()).context(fmt::format("parse {}", path_text(path))).render()};
  }
  return {.findings = check_file(catalog, settings, path, *parsed, config), .error = std::nullopt};
}

// Findings per piece of the report that one worker renders at a time: about
// a megabyte of text, reserved at once.
constexpr std::size_t kFindingsPerPiece = 2048;
constexpr std::size_t kPieceCapacity = 3 << 19;

Result<std::unique_ptr<Report>> make_report(OutputFormat format, const FindingsView& findings) {
  switch (format) {
    case OutputFormat::Json:
      if (auto valid = check_json_paths(findings); !valid) return fail(std::move(valid.error()));
      return std::make_unique<JsonReport>(findings);
    case OutputFormat::Sarif:
      return std::make_unique<SarifReport>(findings);
    case OutputFormat::Human:
      break;
  }
  return std::make_unique<HumanReport>(findings);
}

// Writes the report and one newline to standard output. Workers render the
// pieces; this thread writes them in order as they come. After a failed
// write nothing more is rendered or written, and that first error is
// returned.
Result<void> print_report(OutputFormat format, const FindingsView& findings, unsigned workers) {
  auto report = make_report(format, findings);
  if (!report) return fail(std::move(report.error()));
  std::string head;
  (*report)->head(head);
  Result<void> written = write_stdout(head);
  std::atomic<bool> failed = !written;
  const std::size_t pieces = (findings.size() + kFindingsPerPiece - 1) / kFindingsPerPiece;
  run_in_order(
      pieces, static_cast<unsigned>(std::min<std::size_t>(workers, pieces)), 2 * std::size_t{workers},
      [&](std::size_t piece) {
        std::string text;
        if (failed) return text;
        text.reserve(kPieceCapacity);
        const std::size_t first = piece * kFindingsPerPiece;
        (*report)->pieces(text, first, std::min(findings.size(), first + kFindingsPerPiece));
        return text;
      },
      [&](std::size_t, std::string& text) {
        if (!written) return;
        written = write_stdout(text);
        failed = !written;
      });
  if (!written) return written;
  std::string tail;
  (*report)->tail(tail);
  tail += '\n';
  return write_stdout(tail);
}

}  // namespace

std::optional<fs::path> lexical_parent(const fs::path& path) {
  std::string_view text = path.native();
  while (text.size() > 1 && text.back() == '/') text.remove_suffix(1);
  if (text.empty() || text == "/") return std::nullopt;
  auto slash = text.rfind('/');
  if (slash == std::string_view::npos) return fs::path();
  std::string_view parent = text.substr(0, slash);
  while (parent.size() > 1 && parent.back() == '/') parent.remove_suffix(1);
  return fs::path(parent.empty() ? std::string_view("/") : parent);
}

bool has_py_extension(const fs::path& path) {
  std::string_view name = last_component(path.native());
  if (name == "..") return false;
  auto dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  return name.substr(dot + 1) == "py";
}

Result<Config> discover_config(const fs::path& start) {
  std::optional<fs::path> dir = start;
  while (dir) {
    fs::path candidate = *dir / "quarn.toml";
    if (names_regular_file(candidate)) return load_config(candidate);
    if (names_anything(*dir / ".git") || names_regular_file(*dir / "pyproject.toml")) break;
    dir = lexical_parent(*dir);
  }
  return default_config();
}

Result<std::vector<fs::path>> discover_python_files(const fs::path& path) {
  std::vector<fs::path> files;
  if (names_regular_file(path)) {
    if (has_py_extension(path)) files.push_back(path);
  } else {
    std::error_code ec;
    fs::file_status root_status = fs::status(path, ec);
    if (ec) return fail(walk_error(path, path, ec));
    if (fs::is_directory(root_status)) {
      if (!is_skipped_dir_name(last_component(path.native()))) {
        if (auto walked = walk_directory(path, files); !walked) return fail(std::move(walked.error()));
      }
    } else if (has_py_extension(path)) {
      // Neither a regular file nor a directory (a fifo, a socket, a broken
      // link): it is the only entry of its own walk.
      files.push_back(path);
    }
  }
  std::stable_sort(files.begin(), files.end(),
                   [](const fs::path& a, const fs::path& b) { return compare_paths(a.native(), b.native()) < 0; });
  if (files.empty()) return fail(fmt::format("no Python files found under {}", path_text(path)));
  return files;
}

FindingsView RunOutcome::findings() const {
  FindingsView view;
  for (const auto& list : findings_by_file) view.append(list);
  return view;
}

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
// one thread longer to free than the workers took to check the files.
void free_findings(RunOutcome& outcome, unsigned workers) {
  auto& lists = outcome.findings_by_file;
  run_in_order(
      lists.size(), workers, lists.size(),
      [&](std::size_t i) {
        std::vector<Finding>().swap(lists[i]);
        return 0;
      },
      [](std::size_t, int) {});
}

unsigned worker_count(std::size_t files) {
  return static_cast<unsigned>(std::clamp<std::size_t>(files, 1, available_cpus()));
}

RunOutcome check_files(const std::vector<fs::path>& files, const Config& config, unsigned workers) {
  const Catalog catalog = build_catalog();
  const std::vector<ResolvedCheckConfig> settings = resolve_catalog_settings(catalog, config);
  RunOutcome outcome;
  // Every file's result may wait, so that one slow file never stalls the rest.
  run_in_order(
      files.size(), workers, files.size(),
      [&](std::size_t i) { return check_one_file(catalog, settings, files[i], config); },
      [&](std::size_t i, FileResult& result) {
        if (result.error) {
          write_stderr(fmt::format("warning: {}\n", *result.error));
          outcome.file_errors.push_back(FileError{files[i], std::move(*result.error)});
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

RunResult run_check(const CheckCommand& command, std::optional<unsigned> workers) {
  const fs::path& path = command.path;
  fs::path start = names_regular_file(path) ? lexical_parent(path).value_or(fs::path()) : path;
  Result<Config> config = discover_config(start);
  if (!config) return fail(std::move(config.error()));
  if (command.profile) config->profile.name = *command.profile;

  auto files = discover_python_files(path);
  if (!files) return fail(std::move(files.error()));
  const unsigned pool = workers.value_or(worker_count(files->size()));
  RunOutcome outcome = check_files(*files, *config, pool);
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
    if (auto written = write_remediation_prompt(*command.remediation_prompt, findings, path); !written)
      return fail(std::move(written.error()));
  }
  const std::uint8_t status = !findings.empty() ? 1 : outcome.file_errors.empty() ? 0 : 2;
  free_findings(outcome, pool);
  return status;
}

}  // namespace quarn
