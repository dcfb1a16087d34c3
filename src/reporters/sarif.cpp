#include "reporters/sarif.h"

#include <string_view>
#include <unordered_set>

#include "reporters/json_writer.h"

namespace quarn {

namespace {

constexpr std::string_view kDriverName = "quarn";

void write_rules(JsonWriter& json, const FindingsView& findings) {
  std::unordered_set<std::string_view> seen;
  findings.for_each([&](const Finding& finding) {
    if (!seen.insert(finding.id).second) return;
    json.begin_object();
    json.member("id", finding.id);
    json.member("name", finding.title);
    json.begin_object("shortDescription");
    json.member("text", finding.title);
    json.end_object();
    json.end_object();
  });
}

// The log with an empty results array; `results_at` receives the offset just
// after its opening bracket.
std::string log_frame(const FindingsView& findings, std::size_t& results_at) {
  std::string out;
  JsonWriter json(out);
  json.begin_object();
  json.member("version", kSarifVersion);
  json.member("$schema", kSarifSchema);
  json.begin_array("runs");
  json.begin_object();
  json.begin_object("tool");
  json.begin_object("driver");
  json.member("name", kDriverName);
  json.begin_array("rules");
  write_rules(json, findings);
  json.end_array();
  json.end_object();
  json.end_object();
  json.begin_array("results");
  results_at = out.size();
  json.end_array();
  json.end_object();
  json.end_array();
  json.end_object();
  return out;
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

SarifReport::SarifReport(FindingsView findings) : Report(std::move(findings)) {
  std::size_t results_at = 0;
  std::string frame = log_frame(findings_, results_at);
  head_ = frame.substr(0, results_at);
  // A non-empty results array closes on a line of its own.
  tail_ = findings_.empty() ? frame.substr(results_at) : "\n      " + frame.substr(results_at);
}

// Each result in the layout JsonWriter gives it at this depth, written directly.
void SarifReport::pieces(std::string& out, std::size_t first, std::size_t last) const {
  const SharedText* uri_for = nullptr;
  std::string uri;
  bool first_in_report = first == 0;
  findings_.for_each(first, last, [&](const Finding& f) {
    if (uri_for == nullptr || *uri_for != f.file) {
      uri.clear();
      append_json_string(uri, f.file);
      uri_for = &f.file;
    }
    out += first_in_report ? "\n        {\n          \"ruleId\": " : ",\n        {\n          \"ruleId\": ";
    first_in_report = false;
    append_json_string(out, f.id);
    out += ",\n          \"level\": \"";
    out += sarif_level(f.severity);
    out += "\",\n          \"message\": {\n            \"text\": ";
    append_json_string(out, f.message);
    out += "\n          },\n          \"locations\": [\n            {\n              \"physicalLocation\": {\n"
           "                \"artifactLocation\": {\n                  \"uri\": ";
    out += uri;
    out += "\n                },\n                \"region\": {\n                  \"startLine\": ";
    append_json_number(out, f.line);
    out += ",\n                  \"startColumn\": ";
    append_json_number(out, f.column);
    out += "\n                }\n              }\n            }\n          ]\n        }";
  });
}

std::string render_sarif(const FindingsView& findings) { return SarifReport(findings).render(); }

}  // namespace quarn
