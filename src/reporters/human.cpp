#include "reporters/human.h"

#include <iterator>

#include "base/output.h"

namespace quarn {

void stream_human(std::span<const Finding> findings, ReportSink& sink) {
  if (findings.empty()) sink.text += "No issues found.\n";
  auto out = std::back_inserter(sink.text);
  for (const auto& finding : findings) {
    fmt::format_to(out, "[{}] {} {}:{}:{} \u2014 {}\n", finding.severity, finding.id, utf8_lossy(finding.file),
                   finding.line, finding.column, finding.message);
    if (finding.explanation) fmt::format_to(out, "  explanation: {}\n", *finding.explanation);
    if (finding.remediation) fmt::format_to(out, "  remediation: {}\n", *finding.remediation);
    sink.flush();
  }
  sink.finish();
}

std::string render_human(std::span<const Finding> findings) {
  ReportSink sink;
  stream_human(findings, sink);
  return std::move(sink.text);
}

}  // namespace quarn
