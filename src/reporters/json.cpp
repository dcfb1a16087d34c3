#include "reporters/json.h"

#include <unordered_map>

#include "base/output.h"
#include "reporters/json_writer.h"

namespace quarn {

namespace {

// The catalog texts repeat on every finding of a check: each is escaped once
// and kept by the address of its static storage.
class StaticTextCache {
 public:
  std::string_view literal(std::string_view text) {
    auto [it, inserted] = literals_.try_emplace(Key{text.data(), text.size()});
    if (inserted) append_json_string(it->second, text);
    return it->second;
  }

 private:
  using Key = std::pair<const char*, std::size_t>;
  struct KeyHash {
    std::size_t operator()(const Key& key) const {
      return std::hash<const char*>()(key.first) ^ (key.second * 0x9E3779B97F4A7C15ULL);
    }
  };
  std::unordered_map<Key, std::string, KeyHash> literals_;
};

void write_optional(JsonWriter& json, std::optional<std::string_view> text, StaticTextCache& cache) {
  if (text) {
    json.quoted_string(cache.literal(*text));
  } else {
    json.null();
  }
}

void write_finding(JsonWriter& json, const Finding& finding, StaticTextCache& cache) {
  json.begin_object();
  json.member("id", finding.id);
  json.member("title", finding.title);
  json.member("message", finding.message);
  json.key("explanation");
  write_optional(json, finding.explanation, cache);
  json.key("remediation");
  write_optional(json, finding.remediation, cache);
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
  StaticTextCache cache;
  json.begin_array();
  for (const auto& finding : findings) {
    write_finding(json, finding, cache);
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
