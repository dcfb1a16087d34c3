#include "reporters/sarif.h"

#include <algorithm>

#include "base/output.h"
#include "reporters/json_writer.h"

namespace quarn {

namespace {

bool has_rule(const std::vector<SarifRule>& rules, std::string_view id) {
  return std::ranges::any_of(rules, [&](const SarifRule& rule) { return rule.id == id; });
}

void write_rule(JsonWriter& json, const SarifRule& rule) {
  json.begin_object();
  json.member("id", rule.id);
  json.member("name", rule.name);
  json.begin_object("shortDescription");
  json.member("text", rule.short_description);
  json.end_object();
  json.end_object();
}

void write_location(JsonWriter& json, const SarifLocation& location) {
  json.begin_object();
  json.begin_object("physicalLocation");
  json.begin_object("artifactLocation");
  json.member("uri", location.uri);
  json.end_object();
  json.begin_object("region");
  json.member("startLine", location.start_line);
  json.member("startColumn", location.start_column);
  json.end_object();
  json.end_object();
  json.end_object();
}

void write_result(JsonWriter& json, const SarifResult& result) {
  json.begin_object();
  json.member("ruleId", result.rule_id);
  json.member("level", result.level);
  json.begin_object("message");
  json.member("text", result.message);
  json.end_object();
  json.begin_array("locations");
  for (const auto& location : result.locations) write_location(json, location);
  json.end_array();
  json.end_object();
}

void write_run(JsonWriter& json, const SarifRun& run) {
  json.begin_object();
  json.begin_object("tool");
  json.begin_object("driver");
  json.member("name", run.driver_name);
  json.begin_array("rules");
  for (const auto& rule : run.rules) write_rule(json, rule);
  json.end_array();
  json.end_object();
  json.end_object();
  json.begin_array("results");
  for (const auto& result : run.results) write_result(json, result);
  json.end_array();
  json.end_object();
}

void write_log(JsonWriter& json, const SarifLog& log) {
  json.begin_object();
  json.member("version", log.version);
  json.member("$schema", log.schema);
  json.begin_array("runs");
  for (const auto& run : log.runs) write_run(json, run);
  json.end_array();
  json.end_object();
}

}  // namespace

std::string_view sarif_level(Severity severity) {
  switch (severity) {
    case Severity::Info:
    case Severity::Low: return "note";
    case Severity::Medium: return "warning";
    case Severity::High:
    case Severity::Critical: return "error";
  }
  return "warning";
}

SarifLog build_sarif_log(std::span<const Finding> findings) {
  SarifRun run{.driver_name = "quarn"};
  run.results.reserve(findings.size());
  for (const auto& finding : findings) {
    if (!has_rule(run.rules, finding.id))
      run.rules.push_back({.id = finding.id, .name = finding.title, .short_description = finding.title});
    run.results.push_back({
        .rule_id = finding.id,
        .level = sarif_level(finding.severity),
        .message = finding.message,
        .locations = {{.uri = path_text(finding.file), .start_line = finding.line, .start_column = finding.column}},
    });
  }
  SarifLog log{.version = std::string(kSarifVersion), .schema = std::string(kSarifSchema)};
  log.runs.push_back(std::move(run));
  return log;
}

std::string render_sarif(std::span<const Finding> findings) {
  std::string out;
  JsonWriter json(out);
  write_log(json, build_sarif_log(findings));
  return out;
}

}  // namespace quarn
