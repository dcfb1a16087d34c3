#include "checks/catalog_detectors/phrase_scan.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "checks/catalog.h"
#include "checks/catalog_detectors/shared_phrases.h"
#include "config/config.h"
#include "detector_support.h"
#include "parser/parse.h"

namespace quarn {
namespace {

constexpr std::array<std::string_view, 3> kWords = {"this function", "def _", "a_b."};
constexpr std::array<std::string_view, 3> kNotes = {"step 2", "step", "#!py"};
constexpr std::array<std::string_view, 1> kShared = {"def _"};

// "list/phrase line:column" per match, scanning with the three lists above.
std::vector<std::string> matches_of(std::string_view text) {
  const std::array<PhraseList, 3> lists = {{
      {kWords, PhraseScope::Lines},
      {kNotes, PhraseScope::Comments},
      {kShared, PhraseScope::Lines},
  }};
  const LineIndex lines(text);
  std::vector<std::string> out;
  for (const PhraseMatch& m : PhraseScanner(lists).scan(text, lines.line_starts())) {
    out.push_back(fmt::format("{}/{} {}:{}", m.list, m.phrase, m.line, m.column));
  }
  return out;
}

struct Case {
  std::string_view name;
  std::string text;
  std::vector<std::string> expected;
};

TEST(PhraseScanner, MatchesPerListAndLine) {
  const std::string padding(40, 'x');
  const std::vector<Case> cases = {
      {"empty text", "", {}},
      {"shorter than a window", "def", {}},
      {"whole text", "def _", {"0/1 1:1", "2/0 1:1"}},
      {"eleven bytes after the last step", "this function def _", {"0/0 1:1", "2/0 1:15"}},
      {"case folded", "x = 1  # THIS Function\n", {"0/0 1:10"}},
      {"earlier phrase of the list wins, at its first occurrence", "def _f(): this function; this function\n",
       {"0/0 1:11", "2/0 1:1"}},
      {"one match per line and list", "def _a(): def _b()\n", {"0/1 1:1", "2/0 1:1"}},
      {"at a line start", "x\ndef _\n", {"0/1 2:1", "2/0 2:1"}},
      {"bytes folding like letters do not match", "A\x7F" "B. a@b. A_B.\n", {"0/2 1:11"}},
      {"comment phrases only from the first hash on, reported at the hash", "step 2 # x step # step 2\n",
       {"1/0 1:8"}},
      {"comment phrase before the hash", "step 2  # nothing\n", {}},
      {"comment phrase starting at the hash", "x = 1  #!py\n", {"1/2 1:8"}},
      {"line starts and CRLF", "\r\n" + padding + "\r\n  # step 3\r\nx = 1 # Step 2\r\n",
       {"1/1 3:3", "1/0 4:7"}},
      {"in the middle and at the very end of a long text", padding + "this function\n" + padding + "a_B.",
       {"0/0 1:41", "0/2 2:41"}},
      {"no line end after a comment", "#step", {"1/1 1:1"}},
  };
  for (const Case& c : cases) EXPECT_EQ(matches_of(c.text), c.expected) << c.name;
}

// Every offset of a text of a few steps of each scan path, with bytes
// around the phrase that fold like its letters but differ.
TEST(PhraseScanner, FindsAPhraseAtEveryOffset) {
  constexpr std::size_t kLength = 100;
  for (std::size_t at = 0; at + 5 <= kLength; ++at) {
    std::string text(kLength, '\x7F');
    text.replace(at, 5, "dEF _");
    const std::vector<std::string> expected = {fmt::format("0/1 1:{}", at + 1), fmt::format("2/0 1:{}", at + 1)};
    EXPECT_EQ(matches_of(text), expected) << at;
    text.replace(at, 5, "dEF \x7F");
    EXPECT_EQ(matches_of(text), std::vector<std::string>{}) << at;
  }
}

// A list outside the shared scan is scanned alone, with the same result as
// its twin in the shared scan; the same phrases in another scope, or only
// some of them, are a list of their own.
TEST(PhraseMatches, SharedAndStandaloneListsAgree) {
  const Config config = default_config();
  const std::filesystem::path path = "snippet.py";
  auto parsed = parse_module(path, "x = 1  # TODO fix\n# todo(me): later\ntodo = 2  # note\n# ToDo\n");
  ASSERT_TRUE(parsed.has_value());
  SourceModel model{path, parsed->source, *parsed, config, SourceIndex(*parsed)};
  const ResolvedCheckConfig settings = resolve_check_config(config, "QN010", true);
  std::vector<Finding> findings;
  const DetectorContext ctx{model, *test::catalog_check("QN010"), settings, findings};
  const std::array<std::string_view, 4> twin = kTodoForms;
  const auto describe = [](const std::vector<PhraseMatch>& matches) {
    std::vector<std::string> out;
    for (const PhraseMatch& m : matches) out.push_back(fmt::format("{} {}:{}", m.phrase, m.line, m.column));
    return out;
  };
  const std::vector<std::string> expected = {"3 1:8", "0 2:1", "3 4:1"};
  EXPECT_EQ(describe(phrase_matches(ctx, {kTodoForms, PhraseScope::Comments})), expected);
  EXPECT_EQ(describe(phrase_matches(ctx, {twin, PhraseScope::Comments})), expected);
  EXPECT_EQ(describe(phrase_matches(ctx, {kTodoForms, PhraseScope::Lines})),
            (std::vector<std::string>{"3 1:10", "0 2:3", "3 3:1", "3 4:3"}));
  EXPECT_EQ(describe(phrase_matches(ctx, {std::span(kTodoForms).first(2), PhraseScope::Comments})),
            std::vector<std::string>{"0 2:1"});
}

}  // namespace
}  // namespace quarn
