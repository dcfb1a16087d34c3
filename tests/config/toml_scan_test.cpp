#include "config/toml_scan.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace quarn {
namespace {

// Documents measured against a limit of 2 levels; `deep` is the first part
// past it as written, `at` its byte offset.
struct DepthCase {
  std::string_view toml;
  std::string_view deep;  // empty when every key is shallow enough
  std::size_t at = 0;
};

void expect_first_past(const DepthCase& c, std::optional<TextSpan> deep) {
  SCOPED_TRACE(c.toml);
  if (c.deep.empty()) {
    EXPECT_FALSE(deep.has_value());
    return;
  }
  ASSERT_TRUE(deep.has_value());
  EXPECT_EQ(deep->begin, c.at);
  EXPECT_EQ(c.toml.substr(deep->begin, deep->end - deep->begin), c.deep);
}

TEST(TomlScan, FirstKeyPartPastTheLimit) {
  const DepthCase cases[] = {
      {"a.b = 1\n[t]\nc = 1\n[[u.v]]", ""},
      {"a.b.c = 1", "c", 4},
      {"a . b\t. c = 1", "c", 8},
      {"a.\"b.c\".'d' = 1", "'d'", 8},
      {"[a.b.c]", "c", 5},
      {"[[a.b]]\n[[a.b.c]]", "c", 14},
      {"[a]\nb.c = 1", "c", 6},
      {"[a.b]\n[c]\nd = 1\n[e.f]\ng = 1", "g", 22},
      // Inline tables and arrays.
      {"a = {b = 1, c = {d = 1}}", "d", 17},
      {"a = [{b = 1}]", "b", 6},
      {"a = [\n  1, # ]\n  [2, {b = 3}],\n]", "b", 22},
      {"a = [[[[1]]]]", ""},
      // Text that only looks like keys.
      {"a = \"b.c.d = [e.f.g]\"\nh = 'i.j.k'", ""},
      {"# a.b.c = 1\n[t] # [u.v.w]", ""},
      {"a = '''\nb.c.d = 1\n'''\ne = \"\"\"\n\\\"\"\"b.c.d = 1\n\"\"\"", ""},
      {"a = \"\"\"x\"\"\"\"\"\nb.c.d = 1", "d", 18},
      {"a = '''x'''''\nb.c.d = 1", "d", 18},
      {"a = \"x\\\"\"\nb.c.d = 1", "d", 14},
      // A literal string has no escapes; a line-ending backslash may stand
      // right before the closing quotes.
      {"a = {b = 'x\\', c = {d = 1}}", "d", 20},
      {"a = \"\"\"x\\\n\"\"\"\nb.c.d = 1", "d", 18},
      {"a_b.c-d.e = 1", "e", 8},
      {"a = [1#]\n, {b = 1}]", "b", 12},
      {"a = 1979-05-27 07:32:00 # x.y.z\nb.c.d = 1", "d", 36},
      // Broken text is read on in some consistent way.
      {"a = \"unterminated\nb.c.d = 1", "d", 22},
      // An inline table left open takes in the next line.
      {"a = {b = [}\nc.d.e = 1", "d", 14},
      {"= = ]]]\n}}}\n[[[", ""},
  };
  for (const auto& c : cases) expect_first_past(c, scan_toml(c.toml, 2).too_deep);
}

// Values measured against a nesting limit of 2 arrays and inline tables (and
// 10 levels of keys); `deep` is the first bracket past it, at `at`.
TEST(TomlScan, FirstValuePastTheNestingLimit) {
  const DepthCase cases[] = {
      {"a = [[1]]\nb = {c = [1]}\nd = [[1], [2], {e = 1}]", ""},
      {"a = [[[1]]]", "[", 6},
      {"a = {b = {c = {}}}", "{", 14},
      {"a = [{b = [1]}]", "[", 10},
      {"a = [\n  [1],\n  [[2]],\n]", "[", 16},
      {"x.y = [[1], {z = [3]}]", "[", 17},
      // Brackets in strings and comments, and table headers, are no values.
      {"a = \"[[[\" # [[[\nb = '''\n{[[\n'''\n[[c.d]]\ne = [[1]]", ""},
      // A key too deep ends the scan first.
      {"a.b.c.d.e.f.g.h.i.j.k = [[[1]]]", ""},
  };
  for (const auto& c : cases) expect_first_past(c, scan_toml(c.toml, 10, 2).too_nested);
}

// Where toml++ would test a code point it cannot classify for whitespace:
// each one as written, and whether it is string content.
struct UnsafeCase {
  std::string_view toml;
  std::vector<std::pair<std::string_view, bool>> unsafe;
};

TEST(TomlScan, CodePointsTomlppCannotClassify) {
  const UnsafeCase cases[] = {
      {"a = '\u00e9' # \u00e9\n\"\u00e9\" = \"\\\u00e9\"\nb = '''\\\n\u00e9'''", {}},
      {"a = 1\u3000\nb = \"\"\"\\\n\u4e2d\"\"\"\nc = \"\"\"\\\n \"\u00e9\"\"\"", {}},
      {"\u00e9 = 1\nb = 1\u00e9\n[c]\u0416\nd = [1, \u3041]\ne = {f = \uFB36}\ng = {h = 1 \u00e9}",
       {{"\u00e9", false}, {"\u00e9", false}, {"\u0416", false}, {"\u3041", false}, {"\uFB36", false}, {"\u00e9", false}}},
      {"a = \"\"\"\\\u00e9\\\n \n\t\u0416\"\"\"", {{"\u00e9", false}, {"\u0416", true}}},
      {"\"\"\"k\\\n\u00e9\"\"\" = 1", {{"\u00e9", true}}},
      // A backslash right after the removed line break starts an escape.
      {"a = \"\"\"x\\\n\\\u00e9\"\"\"", {{"\u00e9", false}}},
      // The first and last code points of the range, one at the very end.
      {"a = 1\u00A0\nb = 1\uFEFF\nc = 1\uFEFE\nd = 1\u00A1", {{"\uFEFE", false}, {"\u00A1", false}}},
      // Nothing past a key too deep counts.
      {"a.b.c.d.e.f.g.h.i.j.\"\"\"\\\n\u00e9\"\"\" = 1\n\u00e9 = 1", {}},
      {"[a.b.c.d.e.f.g.h.i.j.k] \u00e9", {}},
      // Nor past a value nested too deep.
      {"a = [\u00e9, [[[[[[[[[[\u00e9", {{"\u00e9", false}}},
      // A byte that starts no UTF-8 sequence is stepped over.
      {"a = 1\xff\u00e9", {{"\u00e9", false}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.toml);
    std::vector<std::pair<std::string_view, bool>> found;
    for (const UnsafeCodePoint& point : scan_toml(c.toml, 10, 10).unsafe) {
      found.emplace_back(c.toml.substr(point.span.begin, point.span.end - point.span.begin), point.is_string_content);
    }
    EXPECT_EQ(found, c.unsafe);
  }
}

}  // namespace
}  // namespace quarn
