#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "findings/finding.h"
#include "reporters/report_sink.h"

namespace quarn {

inline constexpr std::string_view kSarifVersion = "2.1.0";
inline constexpr std::string_view kSarifSchema =
    "https://docs.oasis-open.org/sarif/sarif/v2.1.0/errata01/os/schemas/sarif-schema-2.1.0.json";

struct SarifRule {
  std::string id;
  std::string name;
  std::string short_description;
};

struct SarifLocation {
  std::string uri;
  std::uint64_t start_line = 0;
  std::uint64_t start_column = 0;
};

struct SarifResult {
  std::string rule_id;
  std::string_view level;
  std::string message;
  std::vector<SarifLocation> locations;
};

struct SarifRun {
  std::string driver_name;
  std::vector<SarifRule> rules = {};
  std::vector<SarifResult> results = {};
};

struct SarifLog {
  std::string version;
  std::string schema;
  std::vector<SarifRun> runs = {};
};

std::string_view sarif_level(Severity severity);

// A rule per distinct check id, in order of first appearance.
std::vector<SarifRule> sarif_rules(std::span<const Finding> findings);

// One run: the rules above and a result per finding in list order.
SarifLog build_sarif_log(std::span<const Finding> findings);

// The log as text; streaming writes the same text without building the log.
std::string render_sarif(std::span<const Finding> findings);
void stream_sarif(std::span<const Finding> findings, ReportSink& sink);

}  // namespace quarn
