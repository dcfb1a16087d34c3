#include "reporters/json.h"

#include "base/output.h"
#include "reporters/json_writer.h"

namespace quarn {

namespace {

void write_optional(JsonWriter& json, std::optional<std::string_view> text) {
  if (text) {
    json.string(*text);
  } else {
    json.null();
  }
}

void write_finding(JsonWriter& json, const Finding& finding) {
  json.begin_object();
  json.member("id", finding.id);
  json.member("title", finding.title);
  json.member("message", finding.message);
  json.key("explanation");
  write_optional(json, finding.explanation);
  json.key("remediation");
  write_optional(json, finding.remediation);
  json.member("file", finding.file);
  json.member("line", finding.line);
  json.member("column", finding.column);
  json.member("severity", severity_name(finding.severity));
  json.member("category", category_name(finding.category));
  json.member("source", finding.source);
  json.member("confidence", confidence_name(finding.confidence));
  json.end_object();
}

}  // namespace

Result<void> stream_json(std::span<const Finding> findings, ReportSink& sink) {
  for (const auto& finding : findings)
    if (!is_valid_utf8(finding.file)) return fail("path contains invalid UTF-8 characters");

  JsonWriter json(sink.text);
  json.begin_array();
  for (const auto& finding : findings) {
    write_finding(json, finding);
    sink.flush();
  }
  json.end_array();
  sink.finish();
  return {};
}

Result<std::string> render_json(std::span<const Finding> findings) {
  ReportSink sink;
  if (auto streamed = stream_json(findings, sink); !streamed) return fail(std::move(streamed.error()));
  return std::move(sink.text);
}

}  // namespace quarn
