#include "reporters/sarif.h"

#include <algorithm>

#include "base/output.h"
#include "reporters/json.h"

namespace quarn {

namespace {

using Json = nlohmann::ordered_json;

bool has_rule(const std::vector<SarifRule>& rules, std::string_view id) {
  return std::ranges::any_of(rules, [&](const SarifRule& rule) { return rule.id == id; });
}

Json rule_json(const SarifRule& rule) {
  return Json{
      {"id", rule.id},
      {"name", rule.name},
      {"shortDescription", Json{{"text", rule.short_description}}},
  };
}

Json location_json(const SarifLocation& location) {
  return Json{{"physicalLocation",
               Json{
                   {"artifactLocation", Json{{"uri", location.uri}}},
                   {"region", Json{{"startLine", location.start_line}, {"startColumn", location.start_column}}},
               }}};
}

Json result_json(const SarifResult& result) {
  Json locations = Json::array();
  for (const auto& location : result.locations) locations.push_back(location_json(location));
  return Json{
      {"ruleId", result.rule_id},
      {"level", result.level},
      {"message", Json{{"text", result.message}}},
      {"locations", std::move(locations)},
  };
}

Json run_json(const SarifRun& run) {
  Json rules = Json::array();
  for (const auto& rule : run.rules) rules.push_back(rule_json(rule));
  Json results = Json::array();
  for (const auto& result : run.results) results.push_back(result_json(result));
  return Json{
      {"tool", Json{{"driver", Json{{"name", run.driver_name}, {"rules", std::move(rules)}}}}},
      {"results", std::move(results)},
  };
}

Json log_json(const SarifLog& log) {
  Json runs = Json::array();
  for (const auto& run : log.runs) runs.push_back(run_json(run));
  return Json{{"version", log.version}, {"$schema", log.schema}, {"runs", std::move(runs)}};
}

}  // namespace

std::string_view sarif_level(Severity severity) {
  switch (severity) {
    case Severity::Info:
    case Severity::Low:
      return "note";
    case Severity::Medium:
      return "warning";
    case Severity::High:
    case Severity::Critical:
      return "error";
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

std::string render_sarif(std::span<const Finding> findings) { return dump_report_json(log_json(build_sarif_log(findings))); }

}  // namespace quarn
