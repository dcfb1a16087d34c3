#include <gtest/gtest.h>

#include <numeric>

#include <fmt/format.h>

#include "checks/catalog.h"
#include "findings/finding.h"

namespace quarn {
namespace {

struct PathCase {
  const char* a;
  const char* b;
  int expected;  // sign of compare_paths(a, b)
};

TEST(ComparePaths, ComponentByComponent) {
  const PathCase cases[] = {
      {"pkg/mod.py", "pkg-extra/a.py", -1},  // '/' vs '-' would say otherwise bytewise
      {"pkg/sub/a.py", "pkg/mod.py", 1},
      {"pkg/sub/a.py", "pkg/zz.py", -1},
      {"a//b.py", "a/b.py", 0},
      {"a/./b.py", "a/b.py", 0},
      {"a/b.py/", "a/b.py", 0},
      {"a/b", "a/b/c", -1},
      {"/abs/x.py", "rel/x.py", -1},   // root first
      {"./x.py", "../x.py", -1},       // current directory before parent
      {"../x.py", "x.py", -1},         // parent before normal
      {".", "./", 0},
      {"./a.py", "a.py", -1},
      {"a.py", "a.py", 0},
      {"b.py", "a.py", 1},
      {"", "a", -1},
  };
  for (const auto& c : cases) {
    int got = compare_paths(c.a, c.b);
    int sign = (got > 0) - (got < 0);
    EXPECT_EQ(sign, c.expected) << c.a << " vs " << c.b;
    EXPECT_EQ(-((compare_paths(c.b, c.a) > 0) - (compare_paths(c.b, c.a) < 0)), c.expected) << c.b << " vs " << c.a;
  }
}

class FindingOrder : public ::testing::Test {
 protected:
  Catalog catalog = build_catalog();
  Finding make(const char* id, const char* file, std::uint64_t line, std::uint64_t column, const char* message) {
    Finding f = finding_new(*find_check(catalog, "QN001"), message, file, line, column);
    f.id = id;
    return f;
  }
};

TEST_F(FindingOrder, SortsByFileLineColumnIdMessage) {
  std::vector<Finding> findings = {
      make("QN002", "pkg-extra/a.py", 1, 1, "m"),
      make("QN001", "pkg/mod.py", 10, 1, "m"),
      make("QN001", "pkg/mod.py", 9, 5, "m"),
      make("QN001", "pkg/mod.py", 9, 2, "m"),
      make("QN002", "pkg/mod.py", 9, 2, "m"),
      make("EXT-RUFF-E501", "pkg/mod.py", 9, 2, "z"),
      make("QN001", "pkg/mod.py", 9, 2, "b"),
      make("QN001", "pkg/mod.py", 9, 2, "a"),
  };
  sort_findings(findings);
  std::vector<std::string> order;
  for (const auto& f : findings)
    order.push_back(fmt::format("{}:{}:{}:{}:{}", f.file, f.line, f.column, f.id, f.message));
  EXPECT_EQ(order, (std::vector<std::string>{
                       "pkg/mod.py:9:2:EXT-RUFF-E501:z",
                       "pkg/mod.py:9:2:QN001:a",
                       "pkg/mod.py:9:2:QN001:b",
                       "pkg/mod.py:9:2:QN001:m",
                       "pkg/mod.py:9:2:QN002:m",
                       "pkg/mod.py:9:5:QN001:m",
                       "pkg/mod.py:10:1:QN001:m",
                       "pkg-extra/a.py:1:1:QN002:m",
                   }));
}

TEST_F(FindingOrder, EqualFindingsKeepTheirOrder) {
  std::vector<Finding> findings = {make("QN001", "a//b.py", 1, 1, "m"), make("QN001", "a/b.py", 1, 1, "m"),
                                   make("QN001", "a/./b.py", 1, 1, "m")};
  findings[0].title = "first";
  findings[1].title = "second";
  findings[2].title = "third";
  findings[0].severity = Severity::Critical;  // severity is not a key
  sort_findings(findings);
  EXPECT_EQ(findings[0].title, "first");
  EXPECT_EQ(findings[1].title, "second");
  EXPECT_EQ(findings[2].title, "third");
  EXPECT_FALSE(compare_findings(findings[0], findings[1]));
  EXPECT_FALSE(compare_findings(findings[1], findings[0]));
}

TEST_F(FindingOrder, FindingNewCopiesCatalogFieldsAndSharesTexts) {
  const CatalogRule& check = *find_check(catalog, "QN401");
  Finding f = finding_new(check, "broad", "x.py", 3, 4);
  EXPECT_EQ(f.id, "QN401");
  EXPECT_EQ(f.title, "broad-except");
  EXPECT_EQ(f.message, "broad");
  EXPECT_EQ(f.severity, Severity::High);
  EXPECT_EQ(f.category, Category::Warning);
  EXPECT_EQ(f.source, "quarn");
  EXPECT_EQ(f.confidence, Confidence::Deterministic);
  ASSERT_TRUE(f.explanation && f.remediation);
  EXPECT_EQ(f.explanation->data(), check.explanation().data());  // shared, not copied
  EXPECT_EQ(f.remediation->data(), check.remediation().data());
}

TEST(FindingsView, ReadsItsListsAsOneSequence) {
  // Lists of 0, 3, 1, 0 and 4 findings, each numbered by its place in the whole.
  std::vector<std::vector<Finding>> lists(5);
  std::size_t total = 0;
  for (std::size_t list = 0; list < lists.size(); ++list)
    for (std::size_t n = 0; n < std::vector<std::size_t>{0, 3, 1, 0, 4}[list]; ++n) {
      Finding finding;
      finding.line = total++;
      lists[list].push_back(finding);
    }
  FindingsView view;
  for (const auto& list : lists) view.append(list);
  ASSERT_EQ(view.size(), total);
  for (std::size_t first = 0; first <= total; ++first) {
    for (std::size_t last = first; last <= total; ++last) {
      std::vector<std::uint64_t> seen;
      view.for_each(first, last, [&](const Finding& f) { seen.push_back(f.line); });
      std::vector<std::uint64_t> expected(last - first);
      std::iota(expected.begin(), expected.end(), first);
      EXPECT_EQ(seen, expected) << first << ".." << last;
    }
  }
}

TEST(EnumNames, DisplayIgnoresWidth) {
  EXPECT_EQ(fmt::format("[{:>8}]", Severity::High), "[high]");
  EXPECT_EQ(fmt::format("{:<20}|", Category::Architecture), "architecture|");
  EXPECT_EQ(confidence_name(Confidence::ToolReported), "tool_reported");
  EXPECT_EQ(confidence_name(Confidence::Deterministic), "deterministic");
  EXPECT_EQ(severity_from_name("critical"), Severity::Critical);
  EXPECT_EQ(severity_from_name("High"), std::nullopt);
}

}  // namespace
}  // namespace quarn
