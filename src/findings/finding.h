#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <ostream>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fmt/format.h>

namespace quarn {

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
};

enum class Confidence : std::uint8_t { Deterministic, ToolReported };

std::string_view severity_name(Severity severity);
std::string_view category_name(Category category);
std::string_view confidence_name(Confidence confidence);

// Parses a lower-case severity name ("info" … "critical").
std::optional<Severity> severity_from_name(std::string_view name);

// Text that findings hold without copying it each: a view of static storage
// (the catalog's ids and slugs) or a string owned jointly by every copy (a
// file's path, given to each of its findings).
class SharedText {
 public:
  SharedText() = default;
  // Owns `text`, shared by the copies of this value.
  SharedText(std::string text)
      : owner_(std::make_shared<const std::string>(std::move(text))), view_(*owner_) {}
  SharedText(const char* text) : SharedText(std::string(text)) {}
  // Refers to `text`, which outlives every finding (a literal, a catalog text).
  static SharedText of_static(std::string_view text) {
    SharedText shared;
    shared.view_ = text;
    return shared;
  }

  std::string_view view() const { return view_; }
  operator std::string_view() const { return view_; }
  const char* data() const { return view_.data(); }
  std::size_t size() const { return view_.size(); }
  bool empty() const { return view_.empty(); }

  // Equal texts; copies of one value compare without reading the bytes.
  friend bool operator==(const SharedText& a, const SharedText& b) {
    return a.view_.size() == b.view_.size() && (a.view_.data() == b.view_.data() || a.view_ == b.view_);
  }
  friend bool operator==(const SharedText& a, std::string_view b) { return a.view_ == b; }
  friend bool operator==(const SharedText& a, const char* b) { return a.view_ == b; }
  friend std::ostream& operator<<(std::ostream& out, const SharedText& text) { return out << text.view_; }

 private:
  std::shared_ptr<const std::string> owner_;
  std::string_view view_;
};

struct Finding {
  SharedText id;
  SharedText title;
  std::string message;
  std::optional<std::string_view> explanation;  // static catalog text, never copied
  std::optional<std::string_view> remediation;  // static catalog text, never copied
  SharedText file;  // the checked path's bytes, exactly as the file walk produced them
  std::uint64_t line = 0;
  std::uint64_t column = 0;
  Severity severity = Severity::Info;
  Category category = Category::Readability;
  SharedText source;
  Confidence confidence = Confidence::Deterministic;
};

// Path order, component by component: root, current directory, parent, then
// normal components bytewise. Returns <0, 0 or >0.
int compare_paths(std::string_view a, std::string_view b);

// True when a sorts strictly before b: file, line, column, id, message.
bool compare_findings(const Finding& a, const Finding& b);

// Stable sort by compare_findings. The vector form also leaves no spare
// capacity once it had to sort.
void sort_findings(std::span<Finding> findings);
void sort_findings(std::vector<Finding>& findings);

// Several lists of findings read as one sequence, in order, without moving
// them together: the run keeps each file's list as it came.
class FindingsView {
 public:
  FindingsView() = default;
  FindingsView(std::span<const Finding> findings) { append(findings); }
  FindingsView(const std::vector<Finding>& findings) { append(findings); }

  void append(std::span<const Finding> findings);

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // Calls visit(finding) for the findings [first, last) in order.
  template <class Visit>
  void for_each(std::size_t first, std::size_t last, Visit visit) const;
  template <class Visit>
  void for_each(Visit visit) const {
    for_each(0, size_, visit);
  }

 private:
  std::vector<std::span<const Finding>> parts_;
  std::vector<std::size_t> starts_;  // index of each part's first finding
  std::size_t size_ = 0;
};

template <class Visit>
void FindingsView::for_each(std::size_t first, std::size_t last, Visit visit) const {
  if (first >= last) return;
  // The part holding `first`: the last one starting at or before it.
  auto part = static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end(), first) - starts_.begin()) - 1;
  std::size_t offset = first - starts_[part];
  for (std::size_t i = first; i < last; ++part, offset = 0)
    for (; offset < parts_[part].size() && i < last; ++offset, ++i) visit(parts_[part][offset]);
}

// Formats an enum as its name; width, fill and alignment are deliberately
// ignored.
template <class Enum, std::string_view (*name)(Enum)>
struct EnumNameFormatter {
  constexpr auto parse(fmt::format_parse_context& ctx) {
    auto it = ctx.begin();
    while (it != ctx.end() && *it != '}') ++it;
    return it;
  }
  template <class Ctx>
  auto format(Enum value, Ctx& ctx) const {
    const std::string_view text = name(value);
    return std::copy(text.begin(), text.end(), ctx.out());
  }
};

}  // namespace quarn

template <>
struct fmt::formatter<quarn::Severity> : quarn::EnumNameFormatter<quarn::Severity, quarn::severity_name> {};
template <>
struct fmt::formatter<quarn::Category> : quarn::EnumNameFormatter<quarn::Category, quarn::category_name> {};
