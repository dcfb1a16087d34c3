#include "reporters/human.h"

#include <iterator>

#include "base/output.h"

namespace quarn {

std::string render_human(std::span<const Finding> findings) {
  if (findings.empty()) return "No issues found.\n";
  std::string out;
  auto sink = std::back_inserter(out);
  for (const auto& finding : findings) {
    fmt::format_to(sink, "[{}] {} {}:{}:{} \u2014 {}\n", finding.severity, finding.id, path_text(finding.file),
                   finding.line, finding.column, finding.message);
    if (finding.explanation) fmt::format_to(sink, "  explanation: {}\n", *finding.explanation);
    if (finding.remediation) fmt::format_to(sink, "  remediation: {}\n", *finding.remediation);
  }
  return out;
}

}  // namespace quarn
