#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "checks/catalog.h"
#include "detector_support.h"

namespace quarn {
namespace {

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

TEST(Catalog, EveryCheckHasItsTexts) {
  std::vector<std::string_view> catalog_ids, text_ids;
  for (const CheckRow& row : catalog_rows()) catalog_ids.push_back(row.id);
  for (const CheckTexts& texts : all_check_texts()) {
    text_ids.push_back(texts.id);
    ASSERT_NE(texts.texts, nullptr) << texts.id;
    for (std::string_view text : {texts.texts->explanation, texts.texts->remediation, texts.texts->false_positives,
                                  texts.texts->tradeoffs, texts.texts->example})
      EXPECT_FALSE(text.empty()) << texts.id;
  }
  EXPECT_EQ(text_ids, catalog_ids);
}

// Every phrase of a phrase check's row is found in a comment that holds it,
// reported as the first phrase of the list the comment holds.
TEST(Catalog, PhraseChecksFindTheirRowsPhrases) {
  auto upper = [](std::string text) {
    std::ranges::transform(text, text.begin(), [](char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; });
    return text;
  };
  int phrase_checks = 0;
  for (const CheckRow& row : catalog_rows()) {
    if (row.params.phrases.empty()) continue;
    ++phrase_checks;
    for (std::string_view phrase : row.params.phrases) {
      const std::string source = "# " + std::string(phrase) + "\n";
      const auto first = std::ranges::find_if(row.params.phrases, [&](std::string_view earlier) {
        return upper(source).contains(upper(std::string(earlier)));
      });
      const bool in_comments = row.detect == detect_comment_phrases;
      const auto found = test::findings_of(row.id, source);
      ASSERT_EQ(found.size(), 1u) << row.id << " " << phrase;
      EXPECT_EQ(found[0], fmt::format("1:{} matches pattern `{}`", in_comments ? 1 : 3, *first)) << row.id;
    }
  }
  EXPECT_EQ(phrase_checks, 11);
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
