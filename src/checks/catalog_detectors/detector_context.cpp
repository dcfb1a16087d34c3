#include "checks/catalog_detectors/detector_context.h"

#include <utility>

#include "parser/parse.h"

namespace quarn {

void DetectorContext::report_at_offset(std::string message, std::uint32_t offset) {
  const LineColumn at = model.index.position(offset);
  report_at(std::move(message), at.line, at.column);
}

void DetectorContext::report_at(std::string message, std::uint64_t line, std::uint64_t column) {
  findings.push_back(finding_new(check, std::move(message), model.path, line, column));
}

}  // namespace quarn
