#include "run/check.h"

#include <sys/stat.h>

#include <algorithm>
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

// Runs every enabled check of the catalog on one parsed file and appends the
// file's findings, sorted, to `findings`.
void check_file(const Catalog& catalog, const fs::path& path, const ParsedModule& parsed, const Config& config,
                std::vector<Finding>& findings) {
  SourceModel model{path, parsed.source, parsed, config, SourceIndex(parsed)};
  const std::size_t first = findings.size();
  for (const auto& check : catalog) {
    if (!resolve_check_config(config, check->id()).enabled) continue;
    std::optional<Severity> severity = resolve_check_config(config, check->id()).severity;
    std::vector<Finding> found = check->run(model);
    if (severity)
      for (Finding& f : found) f.severity = *severity;
    std::move(found.begin(), found.end(), std::back_inserter(findings));
  }
  sort_findings(std::span(findings).subspan(first));
}

// Reads, parses and checks one file; a read or parse failure is the file's error.
Result<void> check_one_file(const Catalog& catalog, const fs::path& path, const Config& config,
                            std::vector<Finding>& findings) {
  auto text = read_source(path);
  if (!text) return fail(std::move(text.error()));
  auto parsed = parse_module(path, *text);
  if (!parsed) return fail(std::move(parsed.error()).context(fmt::format("parse {}", path_text(path))));
  check_file(catalog, path, *parsed, config, findings);
  return {};
}

// Writes the report to standard output in large pieces, then the newline.
// After a failed write the rest is dropped and that first error returned.
Result<void> print_report(OutputFormat format, const std::vector<Finding>& findings) {
  Result<void> written;
  ReportSink sink([&written](std::string_view text) {
    if (written) written = write_stdout(text);
  });
  switch (format) {
    case OutputFormat::Json:
      if (auto streamed = stream_json(findings, sink); !streamed) return streamed;
      break;
    case OutputFormat::Sarif:
      stream_sarif(findings, sink);
      break;
    case OutputFormat::Human:
      stream_human(findings, sink);
      break;
  }
  if (written) written = write_stdout("\n");
  return written;
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

Result<RunOutcome> check_path(const std::vector<fs::path>& files, const Config& config) {
  Catalog catalog = build_catalog();
  RunOutcome outcome;
  for (const fs::path& file : files) {
    Result<void> checked = check_one_file(catalog, file, config, outcome.findings);
    if (!checked) {
      std::string message = checked.error().render();
      write_stderr(fmt::format("warning: {}\n", message));
      outcome.file_errors.push_back(FileError{file, std::move(message)});
    }
  }
  sort_findings(outcome.findings);
  return outcome;
}

RunResult run_check(const CheckCommand& command) {
  const fs::path& path = command.path;
  fs::path start = names_regular_file(path) ? lexical_parent(path).value_or(fs::path()) : path;
  Result<Config> config = discover_config(start);
  if (!config) return fail(std::move(config.error()));
  if (command.profile) config->profile.name = *command.profile;

  auto files = discover_python_files(path);
  if (!files) return fail(std::move(files.error()));
  auto outcome = check_path(*files, *config);
  if (!outcome) return fail(std::move(outcome.error()));
  std::vector<Finding>& findings = outcome->findings;

  std::vector<std::string> checkers = config->external_checkers;
  checkers.insert(checkers.end(), command.with_external.begin(), command.with_external.end());
  if (!checkers.empty()) {
    auto external = run_external_checkers(checkers, path);
    if (!external) return fail(std::move(external.error()));
    std::move(external->begin(), external->end(), std::back_inserter(findings));
    sort_findings(findings);
  }

  if (auto printed = print_report(command.format, findings); !printed) return fail(std::move(printed.error()));

  if (command.remediation_prompt) {
    if (auto written = write_remediation_prompt(*command.remediation_prompt, findings, path); !written)
      return fail(std::move(written.error()));
  }
  if (!findings.empty()) return 1;
  return outcome->file_errors.empty() ? 0 : 2;
}

}  // namespace quarn
