#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

namespace quarn {

class CatalogRule;

enum class Severity : std::uint8_t { Info, Low, Medium, High, Critical };

enum class Category : std::uint8_t {
  Readability,
  Consistency,
  Refactor,
  Design,
  Warning,
  Security,
  Architecture,
  Ai,
  Performance,
  Maintainability,
};

enum class Confidence : std::uint8_t { Deterministic, ToolReported, LlmInferred, ConsensusInferred };

std::string_view severity_name(Severity severity);
std::string_view category_name(Category category);
std::string_view confidence_name(Confidence confidence);

// Parses a lower-case severity name ("info" … "critical").
std::optional<Severity> severity_from_name(std::string_view name);

struct Finding {
  std::string id;
  std::string title;
  std::string message;
  std::optional<std::string_view> explanation;  // static catalog text, never copied
  std::optional<std::string_view> remediation;  // static catalog text, never copied
  std::string file;  // the checked path's bytes, exactly as the file walk produced them
  std::uint64_t line = 0;
  std::uint64_t column = 0;
  Severity severity = Severity::Info;
  Category category = Category::Readability;
  std::string source;
  Confidence confidence = Confidence::Deterministic;
};

Finding finding_new(const CatalogRule& check, std::string message, const std::filesystem::path& file,
                    std::uint64_t line, std::uint64_t column);
Finding finding_new_from_str(const CatalogRule& check, std::string_view message, const std::filesystem::path& file,
                             std::uint64_t line, std::uint64_t column);

// Path order, component by component: root, current directory, parent, then
// normal components bytewise. Returns <0, 0 or >0.
int compare_paths(std::string_view a, std::string_view b);

// True when a sorts strictly before b: file, line, column, id, message.
bool compare_findings(const Finding& a, const Finding& b);

// Stable sort by compare_findings.
void sort_findings(std::span<Finding> findings);

}  // namespace quarn

// Severity and Category format as their names; width, fill and alignment are
// deliberately ignored.
template <>
struct fmt::formatter<quarn::Severity> {
  constexpr auto parse(format_parse_context& ctx) {
    auto it = ctx.begin();
    while (it != ctx.end() && *it != '}') ++it;
    return it;
  }
  template <class Ctx>
  auto format(quarn::Severity value, Ctx& ctx) const {
    auto name = quarn::severity_name(value);
    return std::copy(name.begin(), name.end(), ctx.out());
  }
};

template <>
struct fmt::formatter<quarn::Category> {
  constexpr auto parse(format_parse_context& ctx) {
    auto it = ctx.begin();
    while (it != ctx.end() && *it != '}') ++it;
    return it;
  }
  template <class Ctx>
  auto format(quarn::Category value, Ctx& ctx) const {
    auto name = quarn::category_name(value);
    return std::copy(name.begin(), name.end(), ctx.out());
  }
};
