#include <gtest/gtest.h>

#include <set>

#include "checks/catalog.h"

namespace quarn {
namespace {

const CatalogCheck& entry(const Catalog& catalog, std::string_view id) {
  return dynamic_cast<const CatalogCheck&>(*find_check(catalog, id));
}

TEST(Catalog, SeventyFiveEntriesInAscendingIdOrder) {
  Catalog catalog = build_catalog();
  ASSERT_EQ(catalog.size(), 75u);
  EXPECT_EQ(catalog.front()->id(), "QN001");
  EXPECT_EQ(catalog.back()->id(), "QN510");
  std::set<std::string_view> slugs;
  for (std::size_t i = 0; i < catalog.size(); ++i) {
    EXPECT_EQ(catalog[i]->id().size(), 5u);
    EXPECT_EQ(catalog[i]->meta().id, catalog[i]->id());
    if (i > 0) {
      EXPECT_LT(catalog[i - 1]->id(), catalog[i]->id());
    }
    EXPECT_TRUE(slugs.insert(catalog[i]->slug()).second) << catalog[i]->slug();
  }
}

TEST(Catalog, DetectorPayloads) {
  Catalog catalog = build_catalog();
  struct Case {
    const char* id;
    DetectorTag tag;
    std::uint64_t threshold;
    std::uint8_t number;
    bool flag;
  };
  const Case cases[] = {
      {"QN001", DetectorTag::MaxFunctionLines, 50, 0, false},
      {"QN002", DetectorTag::MaxArguments, 5, 0, false},
      {"QN307", DetectorTag::MaxArguments, 7, 0, false},
      {"QN003", DetectorTag::MaxNestingDepth, 3, 0, false},
      {"QN201", DetectorTag::MaxMethods, 15, 0, false},
      {"QN004", DetectorTag::MaxBooleanOperators, 3, 0, false},
      {"QN402", DetectorTag::Numbered, 0, 7, true},
      {"QN408", DetectorTag::Numbered, 0, 7, false},
      {"QN202", DetectorTag::Numbered, 8, 38, false},
      {"QN203", DetectorTag::Numbered, 10, 39, false},
      {"QN206", DetectorTag::Numbered, 0, 44, false},
      {"QN009", DetectorTag::Numbered, 0, 0, false},
      {"QN207", DetectorTag::ForbiddenImport, 0, 0, false},
  };
  for (const auto& c : cases) {
    const DetectorKind& d = entry(catalog, c.id).detector();
    EXPECT_EQ(d.tag, c.tag) << c.id;
    EXPECT_EQ(d.threshold, c.threshold) << c.id;
    EXPECT_EQ(d.number, c.number) << c.id;
    EXPECT_EQ(d.flag, c.flag) << c.id;
  }
  // Every detector number but 7 serves exactly one check.
  std::multiset<int> numbers;
  for (const auto& check : catalog) {
    const DetectorKind& d = dynamic_cast<const CatalogCheck&>(*check).detector();
    if (d.tag == DetectorTag::Numbered) numbers.insert(d.number);
  }
  EXPECT_EQ(numbers.size(), 46u);
  for (int n = 0; n <= 44; ++n) EXPECT_EQ(numbers.count(n), n == 7 ? 2u : 1u) << n;
}

TEST(Catalog, PhraseLists) {
  Catalog catalog = build_catalog();
  auto phrases = [&](const char* id) {
    auto span = entry(catalog, id).detector().phrases;
    return std::vector<std::string_view>(span.begin(), span.end());
  };
  EXPECT_EQ(phrases("QN103"), (std::vector<std::string_view>{" = \"", " = '"}));
  EXPECT_EQ(phrases("QN013"), (std::vector<std::string_view>{"step 1", "step 2", "step 3"}));
  EXPECT_EQ(entry(catalog, "QN503").detector().tag, DetectorTag::CommentPhrases);
  EXPECT_EQ(entry(catalog, "QN204").detector().tag, DetectorTag::LinePhrases);
}

TEST(Catalog, TextSetsByIdThenKind) {
  Catalog catalog = build_catalog();
  const std::string_view pattern = "This finding highlights a stylistic or pattern-based signal.";
  const std::string_view tree = "This finding was produced by an AST-precise deterministic check.";
  EXPECT_EQ(find_check(catalog, "QN103")->explanation(), pattern);
  EXPECT_EQ(find_check(catalog, "QN103")->remediation(), "Refactor for clarity and consistency with project conventions.");
  EXPECT_EQ(find_check(catalog, "QN002")->explanation(), tree);
  EXPECT_EQ(find_check(catalog, "QN005")->explanation(), "Very short names reduce readability for maintainers.");
  EXPECT_EQ(find_check(catalog, "QN011")->meta().example, "See `quarn explain <ID>` for examples.");
  EXPECT_EQ(find_check(catalog, "QN504")->meta().example, "`raise Exception(\"Something went wrong\")`");
  int own = 0;
  for (const auto& check : catalog)
    if (check->explanation() != pattern && check->explanation() != tree) ++own;
  EXPECT_EQ(own, 14);
}

TEST(Catalog, LookupIsExact) {
  Catalog catalog = build_catalog();
  EXPECT_EQ(find_check(catalog, "qn001"), nullptr);
  EXPECT_EQ(find_check(catalog, " QN001"), nullptr);
  EXPECT_EQ(find_check(catalog, "QN01"), nullptr);
  EXPECT_EQ(find_check(catalog, "QN999"), nullptr);
  ASSERT_NE(find_check(catalog, "QN510"), nullptr);
}

}  // namespace
}  // namespace quarn
