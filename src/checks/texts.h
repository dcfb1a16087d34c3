#pragma once

#include <string_view>

namespace quarn {

struct TextSet {
  std::string_view explanation;
  std::string_view remediation;
  std::string_view false_positives;
  std::string_view tradeoffs;
  std::string_view example;
};

// The text set of a check: its own set when it has one, otherwise the
// pattern set (phrase detectors) or the syntax-tree set.
const TextSet& text_set_for(std::string_view id, bool phrase_detector);

}  // namespace quarn
