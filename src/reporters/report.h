#pragma once

#include <cstddef>
#include <string>
#include <utility>

#include "findings/finding.h"

namespace quarn {

// A report over a sorted list of findings, in three parts: the head, the
// pieces of the findings in list order, and the tail. The pieces of
// consecutive ranges can be rendered independently (on several threads) and
// joined in order; head + pieces [0, n) + tail is the whole report.
class Report {
 public:
  explicit Report(FindingsView findings) : findings_(std::move(findings)) {}
  virtual ~Report() = default;

  virtual void head(std::string& out) const = 0;
  // Appends the text of findings [first, last).
  virtual void pieces(std::string& out, std::size_t first, std::size_t last) const = 0;
  virtual void tail(std::string& out) const = 0;

  std::size_t size() const { return findings_.size(); }

  // The whole report as one text.
  std::string render() const {
    std::string out;
    head(out);
    pieces(out, 0, size());
    tail(out);
    return out;
  }

 protected:
  FindingsView findings_;
};

}  // namespace quarn
