#include "run/external.h"

#include <cerrno>

#include <fmt/format.h>

#include "base/streams.h"
#include "run/external_detail.h"
#include "run/process.h"
#include "run/ruff_json.h"

namespace quarn {

namespace {

constexpr std::string_view kTool = "ruff";

// The errors of a start that say the program is not there or cannot be
// executed. Any other (no descriptors, processes or memory left) says nothing
// about the program.
bool is_missing_or_not_executable(int os_error) {
  switch (os_error) {
    case ENOENT:
    case ENOTDIR:
    case ELOOP:
    case ENAMETOOLONG:
    case EACCES:
    case EPERM:
    case ENOEXEC:
    case EISDIR:
    case ELIBBAD:
      return true;
    default:
      return false;
  }
}

// Probe: `ruff --version` starts and exits 0. A probe that could not start for
// another reason than the program itself is an error, so that a shortage never
// passes for a missing tool.
Result<bool> ruff_is_available() {
  auto probe = run_process(std::string(kTool), {"--version"});
  if (probe) return probe->exit_status == 0;
  if (is_missing_or_not_executable(probe.error().os_error())) return false;
  return fail(std::move(probe.error()).context("spawn ruff --version"));
}

// The path as ruff's last argument: a relative one that begins with '-'
// gets "./" so that it cannot read as an option.
std::string path_operand(const std::filesystem::path& path) {
  const std::string& text = path.native();
  return text.starts_with('-') ? "./" + text : text;
}

}  // namespace

namespace detail {

Severity ruff_severity_for_code(std::string_view code) {
  if (code.empty()) return Severity::Low;
  switch (code.front()) {
    case 'E':
    case 'F':
    case 'S':
      return Severity::High;
    case 'B':
      return Severity::Medium;
    default:
      break;
  }
  return code.starts_with("ASYNC") ? Severity::Medium : Severity::Low;
}

Finding ruff_diagnostic_to_finding(const RuffDiagnostic& d) {
  return Finding{
      .id = fmt::format("EXT-RUFF-{}", d.code),
      .title = fmt::format("{}:{}", kTool, d.code),
      .message = d.message,
      .explanation = std::nullopt,
      .remediation = std::nullopt,
      .file = d.filename,
      .line = d.location.row == 0 ? 1 : d.location.row,
      .column = d.location.column == 0 ? 1 : d.location.column,
      .severity = ruff_severity_for_code(d.code),
      .category = Category::Warning,
      .source = std::string(kTool),
      .confidence = Confidence::ToolReported,
  };
}

}  // namespace detail

Result<std::vector<Finding>> run_external_checkers(const std::vector<std::string>& names,
                                                   const std::filesystem::path& path) {
  std::vector<Finding> findings;
  for (const std::string& name : names) {
    if (name != kTool) continue;
    auto available = ruff_is_available();
    if (!available) return fail(std::move(available.error()));
    if (!*available) continue;
    auto run = run_process(std::string(kTool), {"check", "--output-format", "json", path_operand(path)});
    if (!run) return fail(std::move(run.error()).context("spawn ruff check"));
    if (run->standard_output.empty()) continue;
    auto diagnostics = parse_ruff_json(run->standard_output);
    if (!diagnostics) return fail(std::move(diagnostics.error()).context("parse ruff JSON output"));
    for (const RuffDiagnostic& d : *diagnostics) findings.push_back(detail::ruff_diagnostic_to_finding(d));
  }
  return findings;
}

RunResult list_checkers() {
  auto available = ruff_is_available();
  if (!available) return fail(std::move(available.error()));
  std::string line = fmt::format("{}  {}  [{}]\n", kTool, "Ruff", *available ? "available" : "not installed");
  if (auto written = write_stdout(line); !written) return fail(std::move(written.error()));
  return 0;
}

}  // namespace quarn
