#pragma once

#include <span>
#include <string>

#include "base/error.h"
#include "findings/finding.h"

namespace quarn {

// A JSON array of the findings, each with its twelve members in field order.
// Fails when a finding's path is not valid UTF-8.
Result<std::string> render_json(std::span<const Finding> findings);

}  // namespace quarn
