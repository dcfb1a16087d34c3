#pragma once

#include <span>
#include <string>

#include "findings/finding.h"
#include "reporters/report_sink.h"

namespace quarn {

// One line per finding, followed by its explanation and remediation lines.
std::string render_human(std::span<const Finding> findings);
void stream_human(std::span<const Finding> findings, ReportSink& sink);

}  // namespace quarn
