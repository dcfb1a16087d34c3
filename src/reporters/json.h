#pragma once

#include <span>
#include <string>

#include <nlohmann/json.hpp>

#include "base/error.h"
#include "findings/finding.h"

namespace quarn {

// A JSON array of the findings, each with its twelve members in field order.
// Fails when a finding's path is not valid UTF-8.
Result<std::string> render_json(std::span<const Finding> findings);

// The reports' JSON layout: two-space indent, minimal escaping, UTF-8 kept
// as is. Ill-formed UTF-8 in a string becomes U+FFFD instead of throwing.
std::string dump_report_json(const nlohmann::ordered_json& document);

}  // namespace quarn
