#pragma once

#include <string>

#include "base/error.h"
#include "findings/finding.h"
#include "reporters/report.h"

namespace quarn {

// A JSON array of the findings, each an object with its twelve members in
// field order, pretty-printed with two-space indents.
class JsonReport final : public Report {
 public:
  using Report::Report;
  void head(std::string& out) const override;
  void pieces(std::string& out, std::size_t first, std::size_t last) const override;
  void tail(std::string& out) const override;
};

// The JSON report refuses paths that are not valid UTF-8: nothing is
// written then.
// Checks the findings [first, last), all by default.
Result<void> check_json_paths(const FindingsView& findings, std::size_t first = 0,
                              std::size_t last = static_cast<std::size_t>(-1));

Result<std::string> render_json(const FindingsView& findings);

}  // namespace quarn
