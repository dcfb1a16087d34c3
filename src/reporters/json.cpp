#include "reporters/json.h"

#include "base/output.h"

namespace quarn {

namespace {

using Json = nlohmann::ordered_json;

Json optional_text(std::optional<std::string_view> text) {
  return text ? Json(*text) : Json(nullptr);
}

Json finding_json(const Finding& finding) {
  return Json{
      {"id", finding.id},
      {"title", finding.title},
      {"message", finding.message},
      {"explanation", optional_text(finding.explanation)},
      {"remediation", optional_text(finding.remediation)},
      {"file", finding.file.native()},
      {"line", finding.line},
      {"column", finding.column},
      {"severity", severity_name(finding.severity)},
      {"category", category_name(finding.category)},
      {"source", finding.source},
      {"confidence", confidence_name(finding.confidence)},
  };
}

}  // namespace

std::string dump_report_json(const nlohmann::ordered_json& document) {
  return document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

Result<std::string> render_json(std::span<const Finding> findings) {
  Json document = Json::array();
  for (const auto& finding : findings) {
    if (!is_valid_utf8(finding.file.native())) return fail("path contains invalid UTF-8 characters");
    document.push_back(finding_json(finding));
  }
  return dump_report_json(document);
}

}  // namespace quarn
