#include "reporters/json.h"

#include <fmt/format.h>

#include "base/utf8.h"
#include "reporters/json_writer.h"

namespace quarn {

namespace {

// JSON forms of the texts that repeat from finding to finding: the catalog's
// static explanation and remediation texts (kept by their address) and the
// file of the previous finding.
class EscapedTexts {
 public:
  std::string_view catalog_text(std::string_view text) {
    for (const Entry& entry : static_texts_)
      if (entry.data == text.data() && entry.size == text.size()) return entry.literal;
    Entry& entry = static_texts_.emplace_back(Entry{text.data(), text.size(), {}});
    append_json_string(entry.literal, text);
    return entry.literal;
  }

  std::string_view file(const SharedText& path) {
    if (file_ == nullptr || *file_ != path) {
      file_literal_.clear();
      append_json_string(file_literal_, path);
      file_ = &path;
    }
    return file_literal_;
  }

 private:
  struct Entry {
    const char* data;
    std::size_t size;
    std::string literal;
  };
  std::vector<Entry> static_texts_;  // a few per check, so a short list
  const SharedText* file_ = nullptr;
  std::string file_literal_;
};

void append_optional(std::string& out, std::optional<std::string_view> text, EscapedTexts& escaped) {
  if (text) {
    out += escaped.catalog_text(*text);
  } else {
    out += "null";
  }
}

// Names of enum values need no escaping.
void append_name(std::string& out, std::string_view name) {
  out += '"';
  out += name;
  out += '"';
}

}  // namespace

void JsonReport::head(std::string& out) const { out += findings_.empty() ? "[]" : "["; }

void JsonReport::tail(std::string& out) const {
  if (!findings_.empty()) out += "\n]";
}

// The layout JsonWriter gives an array of flat objects, written directly.
void JsonReport::pieces(std::string& out, std::size_t first, std::size_t last) const {
  EscapedTexts escaped;
  bool first_in_report = first == 0;
  findings_.for_each(first, last, [&](const Finding& f) {
    out += first_in_report ? "\n  {\n    \"id\": " : ",\n  {\n    \"id\": ";
    first_in_report = false;
    append_json_string(out, f.id);
    out += ",\n    \"title\": ";
    append_json_string(out, f.title);
    out += ",\n    \"message\": ";
    append_json_string(out, f.message);
    out += ",\n    \"explanation\": ";
    append_optional(out, f.explanation, escaped);
    out += ",\n    \"remediation\": ";
    append_optional(out, f.remediation, escaped);
    out += ",\n    \"file\": ";
    out += escaped.file(f.file);
    out += ",\n    \"line\": ";
    append_json_number(out, f.line);
    out += ",\n    \"column\": ";
    append_json_number(out, f.column);
    out += ",\n    \"severity\": ";
    append_name(out, severity_name(f.severity));
    out += ",\n    \"category\": ";
    append_name(out, category_name(f.category));
    out += ",\n    \"source\": ";
    append_json_string(out, f.source);
    out += ",\n    \"confidence\": ";
    append_name(out, confidence_name(f.confidence));
    out += "\n  }";
  });
}

Result<void> check_json_paths(const FindingsView& findings, std::size_t first, std::size_t last) {
  const SharedText* checked = nullptr;
  bool valid = true;
  findings.for_each(first, std::min(last, findings.size()), [&](const Finding& finding) {
    if (!valid || (checked != nullptr && *checked == finding.file)) return;
    valid = is_valid_utf8(finding.file);
    checked = &finding.file;
  });
  if (!valid) return fail("path contains invalid UTF-8 characters");
  return {};
}

Result<std::string> render_json(const FindingsView& findings) {
  if (auto valid = check_json_paths(findings); !valid) return fail(std::move(valid.error()));
  return JsonReport(findings).render();
}

}  // namespace quarn
