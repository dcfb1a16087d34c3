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

SarifResult sarif_result(const Finding& finding) {
  return {
      .rule_id = finding.id,
      .level = sarif_level(finding.severity),
      .message = finding.message,
      .locations = {{.uri = utf8_lossy(finding.file), .start_line = finding.line, .start_column = finding.column}},
  };
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

// The log's frame around its results; `write_results` fills the results array.
template <class WriteResults>
void write_log(JsonWriter& json, std::string_view driver_name, const std::vector<SarifRule>& rules,
               WriteResults write_results) {
  json.begin_object();
  json.member("version", kSarifVersion);
  json.member("$schema", kSarifSchema);
  json.begin_array("runs");
  json.begin_object();
  json.begin_object("tool");
  json.begin_object("driver");
  json.member("name", driver_name);
  json.begin_array("rules");
  for (const auto& rule : rules) write_rule(json, rule);
  json.end_array();
  json.end_object();
  json.end_object();
  json.begin_array("results");
  write_results();
  json.end_array();
  json.end_object();
  json.end_array();
  json.end_object();
}

constexpr std::string_view kDriverName = "quarn";

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

std::vector<SarifRule> sarif_rules(std::span<const Finding> findings) {
  std::vector<SarifRule> rules;
  for (const auto& finding : findings)
    if (!has_rule(rules, finding.id))
      rules.push_back({.id = finding.id, .name = finding.title, .short_description = finding.title});
  return rules;
}

SarifLog build_sarif_log(std::span<const Finding> findings) {
  SarifRun run{.driver_name = std::string(kDriverName), .rules = sarif_rules(findings)};
  run.results.reserve(findings.size());
  for (const auto& finding : findings) run.results.push_back(sarif_result(finding));
  SarifLog log{.version = std::string(kSarifVersion), .schema = std::string(kSarifSchema)};
  log.runs.push_back(std::move(run));
  return log;
}

void stream_sarif(std::span<const Finding> findings, ReportSink& sink) {
  JsonWriter json(sink.text);
  write_log(json, kDriverName, sarif_rules(findings), [&] {
    for (const auto& finding : findings) {
      write_result(json, sarif_result(finding));
      sink.flush();
    }
  });
  sink.finish();
}

std::string render_sarif(std::span<const Finding> findings) {
  ReportSink sink;
  stream_sarif(findings, sink);
  return std::move(sink.text);
}

}  // namespace quarn
