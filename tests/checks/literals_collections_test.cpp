#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "detector_support.h"

namespace quarn::test {
namespace {

std::string repeated(const std::string& text, int times) {
  return "string literal `" + text + "` appears " + std::to_string(times) + " times; extract a named constant";
}

TEST(LiteralsCollections, RepeatedLiteral) {
  expect_cases("QN306", detect_repeated_literal,
               {
                   {"a = 'text'\nb = 'text'\nc = 'text'\n", {"1:1 " + repeated("text", 3)}},
                   {"a = 'text'\nb = 'text'\n", {}},
                   {"a = 'abc'\nb = 'abc'\nc = 'abc'\n", {}},
                   {"a = '\xc3\xa9\xc3\xa9'\nb = '\xc3\xa9\xc3\xa9'\nc = '\xc3\xa9\xc3\xa9'\n",
                    {"1:1 " + repeated("\xc3\xa9\xc3\xa9", 3)}},
                   {"def a():\n    \"\"\"Same doc.\"\"\"\ndef b():\n    \"\"\"Same doc.\"\"\"\ndef c():\n    \"\"\"Same doc.\"\"\"\n",
                    {"2:1 " + repeated("Same doc.", 3)}},
                   {"a = f'some {x}'\nb = f'some {x}'\nc = f'some {x}'\n", {}},
                   {"a = 'ab' 'cd'\nb = 'abcd'\nc = '\\x61bcd'\n", {"1:1 " + repeated("abcd", 3)}},
                   {"a = b'text'\nb = b'text'\nc = b'text'\n", {}},
                   {"def f(a='text', b='text'):\n    return 'text'\n", {}},
                   {"try:\n    x = 'word'\nexcept E('word'):\n    pass\ny = 'word'\n", {"3:1 " + repeated("word", 3)}},
                   {"x = ['abcd', 'abcd', 'abcd', 'abcd']\n", {"1:1 " + repeated("abcd", 4)}},
                   {"d = {'key1': 1}\nd['key1']\nf(d, 'key1')\nx = 'long1'\n", {"1:1 " + repeated("key1", 3)}},
                   {"x = 'bbbb'\ny = 'aaaa'\nz = ('aaaa', 'bbbb', 'aaaa', 'bbbb')\n",
                    {"1:1 " + repeated("bbbb", 3), "2:1 " + repeated("aaaa", 3)}},
                   {"", {}},
               });
}

TEST(LiteralsCollections, MixedCollectionStyle) {
  const std::string list_msg = "1:1 module mixes `[]` and `list()` empty-list constructors";
  const std::string dict_msg = "1:1 module mixes `{}` and `dict()` empty-dict constructors";
  expect_cases("QN109", detect_mixed_collection_style,
               {
                   {"a = []\nb = list()\n", {list_msg}},
                   {"a = {}\nb = dict(x=1)\n", {}},
                   {"a = {}\nb = dict()\n", {dict_msg}},
                   {"a = []\nb = list(range(3))\n", {}},
                   {"a = dict()\nb = list()\nc = {}\nd = []\n", {list_msg, dict_msg}},
                   {"a = []\nb = list(x=1)\n", {list_msg}},
                   {"def f(a=[]):\n    return list()\n", {}},
                   {"a = {**x}\nb = dict()\n", {}},
                   {"a = [1]\nb = list()\nc = {1: 2}\nd = dict()\n", {}},
                   {"a = []\nb = x.list()\nc = {}\nd = builtins.dict()\n", {}},
                   {"a = []\nb = list(*xs)\n", {}},
               });
}

TEST(LiteralsCollections, MixedQuoteStyle) {
  const std::string msg = "1:1 module mixes single- and double-quoted string literals";
  expect_cases("QN105", detect_mixed_quote_style,
               {
                   {"a = 'x'\nb = \"y\"\n", {msg}},
                   {"a = 'x'\nb = r\"y\"\n", {}},
                   {"\"\"\"doc\"\"\"\na = 'x'\n", {msg}},
                   {"'''doc'''\na = 'x'\n", {}},
                   {"a = 'x'\nb = f\"y\"\n", {}},
                   {"a = 'x'\nb = b\"y\"\n", {}},
                   {"a = 'x' \"y\"\n", {}},
                   {"a = ('x'\n     \"y\")\nb = \"z\"\n", {msg}},
                   {"a = 'x'\nb = f\"{'y'}\"\n", {}},
                   {"a = u'x'\nb = \"y\"\n", {}},
                   {"def f(a='x'):\n    return \"y\"\n", {}},
               });
}

TEST(LiteralsCollections, FilterNone) {
  const std::string list_msg = "list comprehension filters `is not None`; consider filter(None, ...)";
  const std::string gen_msg = "generator filters `is not None`; consider filter(None, ...)";
  const std::string loop_msg = "loop filters with `is not None`; consider filter(None, ...)";
  expect_cases("QN313", detect_filter_none,
               {
                   {"a = [x for x in xs if x is not None]\n", {"1:5 " + list_msg}},
                   {"a = (x for x in xs if x is not None)\n", {"1:5 " + gen_msg}},
                   {"a = {x for x in xs if x is not None}\n", {}},
                   {"a = {x: 1 for x in xs if x is not None}\n", {}},
                   {"a = [x for x in xs if None is not x]\n", {}},
                   {"for x in xs:\n    if x is not None:\n        out.append(x)\n", {"1:1 " + loop_msg}},
                   {"for x in xs:\n    with m:\n        if x is not None:\n            out.append(x)\n", {}},
                   {"for x in xs:\n    if x is not None:\n        pass\na = [y for y in ys if y is not None]\n",
                    {"4:5 " + list_msg, "1:1 " + loop_msg}},
                   {"a = [[y for y in x if y is not None] for x in xs if x is not None]\n",
                    {"1:5 " + list_msg, "1:6 " + list_msg}},
                   {"a = [x for x in xs if x if x is not None if x is not None]\n", {"1:5 " + list_msg}},
                   {"a = [x for x in xs if x.a is not None]\n", {}},
                   {"a = [x for x in xs if x is not None is not y]\n", {"1:5 " + list_msg}},
                   {"a = [x for ys in xss for x in ys if other is not None]\n", {"1:5 " + list_msg}},
                   {"async def f():\n    async for x in xs:\n        if x is not None:\n            pass\n", {}},
                   {"def f():\n    for x in xs:\n        g()\n        if x is not None:\n            pass\n        else:\n            pass\n",
                    {"2:5 " + loop_msg}},
                   {"for x in xs:\n    if y:\n        pass\n    elif x is not None:\n        pass\n", {}},
                   {"for x in xs:\n    pass\nelse:\n    if x is not None:\n        pass\n", {}},
                   {"for x in xs:\n    if x is not None:\n        pass\n    if x is not None:\n        pass\n",
                    {"1:1 " + loop_msg}},
                   {"for x in xs:\n    for y in x:\n        if y is not None:\n            pass\n", {"2:5 " + loop_msg}},
               });
}

TEST(LiteralsCollections, SortForTopK) {
  const std::string msg = "full sort then slice for top-k; consider `heapq.nlargest` or partial selection";
  expect_cases("QN415", detect_sort_for_top_k,
               {
                   {"a = sorted(xs)[:5]\n", {"1:5 " + msg}},
                   {"sorted(xs, reverse=True)[1:3]\n", {"1:1 " + msg}},
                   {"a = sorted(xs)[5:]\nb = sorted(xs)[0]\nxs.sort()\n", {}},
                   {"a = sorted(xs)[:5, 1]\n", {}},
                   {"a = sorted(sorted(xs)[:3])[:2]\n", {"1:5 " + msg, "1:12 " + msg}},
                   {"a = x.sorted(xs)[:5]\n", {}},
                   {"a = sorted(xs)[::2]\n", {}},
                   {"a = sorted(xs)[1:n:2]\n", {"1:5 " + msg}},
               });
}

// A long operator chain nests thousands of BinOps deep.
TEST(LiteralsCollections, LongOperatorChains) {
  std::string source = "x = 'abcd'";
  for (int i = 0; i < 4000; ++i) source += " + \"abcd\"";
  source += "\n";
  EXPECT_EQ(detector_findings("QN306", detect_repeated_literal, source),
            std::vector<std::string>{"1:1 " + repeated("abcd", 4001)});
  EXPECT_EQ(detector_findings("QN105", detect_mixed_quote_style, source),
            std::vector<std::string>{"1:1 module mixes single- and double-quoted string literals"});
}

}  // namespace
}  // namespace quarn::test
