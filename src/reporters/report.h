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

  // The most text the format puts around one finding's texts, its numbers
  // included, and the most bytes a byte of text takes escaped ("\u001b").
  static constexpr std::size_t kLayout = 1024;
  static constexpr std::size_t kEscaped = 6;

  // The bytes of a finding's texts.
  static std::size_t text_size(const Finding& finding) {
    std::size_t text = finding.id.size() + finding.title.size() + finding.message.size() + finding.file.size() +
                       finding.source.size();
    if (finding.explanation) text += finding.explanation->size();
    if (finding.remediation) text += finding.remediation->size();
    return text;
  }

  // The most text the piece of `finding` alone takes in any format.
  static std::size_t text_bound(const Finding& finding) { return kLayout + kEscaped * text_size(finding); }

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
