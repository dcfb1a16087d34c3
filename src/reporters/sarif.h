#pragma once

#include <string>
#include <string_view>

#include "findings/finding.h"
#include "reporters/report.h"

namespace quarn {

inline constexpr std::string_view kSarifVersion = "2.1.0";
inline constexpr std::string_view kSarifSchema =
    "https://docs.oasis-open.org/sarif/sarif/v2.1.0/errata01/os/schemas/sarif-schema-2.1.0.json";

std::string_view sarif_level(Severity severity);

// A SARIF log of one run: a rule per distinct check id in order of first
// appearance (named by its first finding's title), then a result per finding
// in list order.
class SarifReport final : public Report {
 public:
  explicit SarifReport(FindingsView findings);
  void head(std::string& out) const override { out += head_; }
  void pieces(std::string& out, std::size_t first, std::size_t last) const override;
  void tail(std::string& out) const override { out += tail_; }

 private:
  std::string head_;  // up to the opening bracket of "results"
  std::string tail_;
};

std::string render_sarif(const FindingsView& findings);

}  // namespace quarn
