#pragma once

#include <span>
#include <string>

#include "base/error.h"
#include "findings/finding.h"
#include "reporters/report_sink.h"

namespace quarn {

// A JSON array of the findings, each with its twelve members in field order.
// Fails when a finding's path is not valid UTF-8; nothing is written then.
Result<std::string> render_json(std::span<const Finding> findings);
Result<void> stream_json(std::span<const Finding> findings, ReportSink& sink);

}  // namespace quarn
