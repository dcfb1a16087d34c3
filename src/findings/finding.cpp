#include "findings/finding.h"

#include <algorithm>
#include <array>
#include <utility>

namespace quarn {

namespace {

constexpr std::array<std::string_view, 5> kSeverityNames = {"info", "low", "medium", "high", "critical"};
constexpr std::array<std::string_view, 8> kCategoryNames = {
    "readability", "consistency", "refactor", "design", "warning", "security", "architecture", "ai"};
constexpr std::array<std::string_view, 2> kConfidenceNames = {"deterministic", "tool_reported"};

// One component of a path: its rank (root < current dir < parent < normal)
// and, for normal components, its bytes.
struct PathComponent {
  int rank;
  std::string_view text;
};

class PathComponents {
 public:
  explicit PathComponents(std::string_view path) : rest_(path) {
    if (!rest_.empty() && rest_.front() == '/') {
      pending_ = PathComponent{0, {}};
    } else if (rest_ == "." || rest_.starts_with("./")) {
      pending_ = PathComponent{1, {}};
      rest_.remove_prefix(1);
    }
  }

  std::optional<PathComponent> next() {
    if (pending_) return std::exchange(pending_, std::nullopt);
    while (!rest_.empty()) {
      auto slash = rest_.find('/');
      auto piece = rest_.substr(0, slash);
      rest_ = slash == std::string_view::npos ? std::string_view{} : rest_.substr(slash + 1);
      if (piece.empty() || piece == ".") continue;
      if (piece == "..") return PathComponent{2, {}};
      return PathComponent{3, piece};
    }
    return std::nullopt;
  }

 private:
  std::string_view rest_;
  std::optional<PathComponent> pending_;
};

int compare_bytes(std::string_view a, std::string_view b) {
  int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace

std::string_view severity_name(Severity severity) { return kSeverityNames[static_cast<std::size_t>(severity)]; }
std::string_view category_name(Category category) { return kCategoryNames[static_cast<std::size_t>(category)]; }
std::string_view confidence_name(Confidence confidence) {
  return kConfidenceNames[static_cast<std::size_t>(confidence)];
}

std::optional<Severity> severity_from_name(std::string_view name) {
  for (std::size_t i = 0; i < kSeverityNames.size(); ++i)
    if (kSeverityNames[i] == name) return static_cast<Severity>(i);
  return std::nullopt;
}

int compare_paths(std::string_view a, std::string_view b) {
  PathComponents left(a), right(b);
  for (;;) {
    auto x = left.next();
    auto y = right.next();
    if (!x || !y) return x ? 1 : (y ? -1 : 0);
    if (x->rank != y->rank) return x->rank < y->rank ? -1 : 1;
    if (int c = compare_bytes(x->text, y->text)) return c;
  }
}

bool compare_findings(const Finding& a, const Finding& b) {
  if (a.file != b.file)
    if (int c = compare_paths(a.file, b.file)) return c < 0;
  if (a.line != b.line) return a.line < b.line;
  if (a.column != b.column) return a.column < b.column;
  if (int c = compare_bytes(a.id, b.id)) return c < 0;
  return compare_bytes(a.message, b.message) < 0;
}

namespace {

// A finding's place in the list with the position it sorts by first.
struct SortKey {
  std::uint64_t line;
  std::uint64_t column;
  std::uint32_t index;
};

// Stable-sorts the keys by `before` and moves each record once into a new
// list of exactly their number; nothing moves when the list is in order
// already.
template <class Before>
std::optional<std::vector<Finding>> sort_by_keys(std::span<Finding> findings, std::vector<SortKey>& keys,
                                                 Before before) {
  if (std::is_sorted(keys.begin(), keys.end(), before)) return std::nullopt;
  std::stable_sort(keys.begin(), keys.end(), before);
  std::vector<Finding> sorted;
  sorted.reserve(findings.size());
  for (const SortKey& key : keys) sorted.push_back(std::move(findings[key.index]));
  return sorted;
}

// The findings in the finding order, or nothing when they are in it already.
std::optional<std::vector<Finding>> sorted_copy(std::span<Finding> findings) {
  if (findings.size() < 2) return std::nullopt;
  std::vector<SortKey> keys;
  keys.reserve(findings.size());
  for (std::uint32_t i = 0; i < findings.size(); ++i) keys.push_back({findings[i].line, findings[i].column, i});
  const bool one_file = std::ranges::all_of(findings, [&](const Finding& f) { return f.file == findings[0].file; });
  if (!one_file) {
    return sort_by_keys(findings, keys, [&](const SortKey& a, const SortKey& b) {
      return compare_findings(findings[a.index], findings[b.index]);
    });
  }
  // One file's list, the common case: the positions decide without
  // touching the records.
  return sort_by_keys(findings, keys, [&](const SortKey& a, const SortKey& b) {
    if (a.line != b.line) return a.line < b.line;
    if (a.column != b.column) return a.column < b.column;
    const Finding& x = findings[a.index];
    const Finding& y = findings[b.index];
    if (int c = compare_bytes(x.id, y.id)) return c < 0;
    return compare_bytes(x.message, y.message) < 0;
  });
}

}  // namespace

void sort_findings(std::span<Finding> findings) {
  if (auto sorted = sorted_copy(findings)) std::ranges::move(*sorted, findings.begin());
}

void sort_findings(std::vector<Finding>& findings) {
  if (auto sorted = sorted_copy(findings)) findings.swap(*sorted);
}

void FindingsView::append(std::span<const Finding> findings) {
  if (findings.empty()) return;
  parts_.push_back(findings);
  starts_.push_back(size_);
  size_ += findings.size();
}

}  // namespace quarn
