#pragma once

#include <span>
#include <string_view>

namespace quarn {

struct TextSet {
  std::string_view explanation;
  std::string_view remediation;
  std::string_view false_positives;
  std::string_view tradeoffs;
  std::string_view example;
};

struct CheckTexts {
  std::string_view id;
  const TextSet* texts;
};

// The texts of every catalog check, in catalog order.
std::span<const CheckTexts> all_check_texts();

// The texts of check `id`, or null when it has none.
const TextSet* find_check_texts(std::string_view id);

}  // namespace quarn
