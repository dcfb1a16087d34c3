#pragma once

#include <string>

#include "findings/finding.h"
#include "reporters/report.h"

namespace quarn {

// One line per finding, followed by its explanation and remediation lines;
// "No issues found." when there is none.
class HumanReport final : public Report {
 public:
  using Report::Report;
  void head(std::string& out) const override;
  void pieces(std::string& out, std::size_t first, std::size_t last) const override;
  void tail(std::string&) const override {}
};

std::string render_human(const FindingsView& findings);

}  // namespace quarn
