#include "checks/catalog_detectors/detector_context.h"

#include <utility>

#include "parser/parse.h"

namespace quarn {

std::uint64_t DetectorContext::limit() const {
  const DetectorParams& params = check.row().params;
  switch (params.limit) {
    case LimitSetting::MaxLines: return settings.max_lines.value_or(params.threshold);
    case LimitSetting::MaxArguments: return settings.max_arguments.value_or(params.threshold);
    case LimitSetting::MaxDepth: return settings.max_depth.value_or(params.threshold);
    case LimitSetting::MaxMethods: return settings.max_methods.value_or(params.threshold);
    case LimitSetting::None: break;
  }
  return params.threshold;
}

void DetectorContext::report_at_offset(std::string message, std::uint32_t offset) {
  const LineColumn at = model.index.position(offset);
  report_at(std::move(message), at.line, at.column);
}

void DetectorContext::report_at(std::string message, std::uint64_t line, std::uint64_t column) {
  findings.push_back(finding_new(check, std::move(message), model.file, line, column));
}

}  // namespace quarn
