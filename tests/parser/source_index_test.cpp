#include "parser/source_index.h"

#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "parser/parse.h"

namespace quarn {
namespace {

ParsedModule parse_or_fail(std::string_view source) {
  auto parsed = parse_module("snippet.py", std::string(source));
  EXPECT_TRUE(parsed.has_value()) << (parsed ? "" : parsed.error().render()) << "\n" << source;
  if (!parsed) return parse_module("empty.py", "").value();
  return std::move(*parsed);
}

std::string describe(const FunctionInfo& f) {
  return fmt::format("{} {}:{} args={} lines={} depth={} doc={}", f.name, f.line, f.column, f.arg_count,
                     f.line_count, f.nesting_depth, f.has_docstring ? "yes" : "no");
}
std::string describe(const ClassInfo& c) {
  return fmt::format("{} {}:{} methods={} public={} attrs={}", c.name, c.line, c.column, c.method_count,
                     c.public_method_count, c.init_attribute_count);
}
std::string describe(const ImportInfo& i) {
  return fmt::format("{} {}:{} {}", i.module, i.line, i.column, i.is_from ? "from" : "import");
}
std::string describe(const Comment& c) { return fmt::format("{}:{} [{}]", c.line, c.column, c.text); }

template <class Record>
std::vector<std::string> describe_all(const std::vector<Record>& records) {
  std::vector<std::string> out;
  for (const auto& record : records) out.push_back(describe(record));
  return out;
}

struct Case {
  std::string_view name;
  std::string_view source;
  std::vector<std::string> expected;
};

std::vector<std::string> functions_of(std::string_view source) {
  ParsedModule parsed = parse_or_fail(source);
  return describe_all(SourceIndex(parsed).functions());
}
std::vector<std::string> classes_of(std::string_view source) {
  ParsedModule parsed = parse_or_fail(source);
  return describe_all(SourceIndex(parsed).classes());
}
std::vector<std::string> imports_of(std::string_view source) {
  ParsedModule parsed = parse_or_fail(source);
  return describe_all(SourceIndex(parsed).imports());
}
std::vector<std::string> comments_of(std::string_view source) {
  ParsedModule parsed = parse_or_fail(source);
  return describe_all(SourceIndex(parsed).comments());
}

TEST(SourceIndexFunctions, RecordsFollowTheRules) {
  const std::vector<Case> cases = {
      {"every parameter kind counts, a bare star does not",
       "class C:\n    def m(self, a, *args, b, **kw):\n        pass\n",
       {"m 2:5 args=5 lines=1 depth=0 doc=no"}},
      {"positional-only and keyword-only", "def f(a, b, /, c, *, d, e=1): pass\n",
       {"f 1:1 args=5 lines=1 depth=0 doc=no"}},
      {"no parameters, one-line body", "def f(): return 1\n", {"f 1:1 args=0 lines=1 depth=0 doc=no"}},
      {"body of only a nested def", "def outer():\n    def inner():\n        return 1\n",
       {"outer 1:1 args=0 lines=0 depth=0 doc=no", "inner 2:5 args=0 lines=1 depth=0 doc=no"}},
      {"decorators do not move the position", "@a\n@b(1)\ndef f():\n    pass\n",
       {"f 3:1 args=0 lines=1 depth=0 doc=no"}},
      {"async def starts at async", "x = 1\nasync def g(a):\n    \"\"\"Doc.\"\"\"\n    await a\n",
       {"g 2:1 args=1 lines=2 depth=0 doc=yes"}},
      {"nested def between statements is spanned", "def f():\n    a = 1\n    def g():\n        pass\n    b = 2\n",
       {"f 1:1 args=0 lines=4 depth=0 doc=no", "g 3:5 args=0 lines=1 depth=0 doc=no"}},
      {"trailing nested def is left out", "def f():\n    a = 1\n    def g():\n        pass\n",
       {"f 1:1 args=0 lines=1 depth=0 doc=no", "g 3:5 args=0 lines=1 depth=0 doc=no"}},
      {"a statement holding a def counts whole", "def f():\n    if x:\n        def g():\n            pass\n",
       {"f 1:1 args=0 lines=3 depth=1 doc=no", "g 3:9 args=0 lines=1 depth=0 doc=no"}},
      {"multi-line statement, trailing comment not counted",
       "def f():\n    return (\n        1\n    )\n    # done\n", {"f 1:1 args=0 lines=3 depth=0 doc=no"}},
      {"body on the def line", "def f(): a = 1; b = 2\n", {"f 1:1 args=0 lines=1 depth=0 doc=no"}},
      {"docstring counted in lines", "def f():\n    \"\"\"Doc.\n\n    More.\n    \"\"\"\n    return 1\n",
       {"f 1:1 args=0 lines=5 depth=0 doc=yes"}},
  };
  for (const auto& c : cases) EXPECT_EQ(functions_of(c.source), c.expected) << c.name;
}

TEST(SourceIndexFunctions, DocstringNeedsAPlainStringFirst) {
  const std::vector<Case> cases = {
      {"string", "def f():\n    'doc'\n", {"f 1:1 args=0 lines=1 depth=0 doc=yes"}},
      {"implicit concatenation", "def f():\n    'a' \"b\"\n", {"f 1:1 args=0 lines=1 depth=0 doc=yes"}},
      {"bytes", "def f():\n    b'doc'\n", {"f 1:1 args=0 lines=1 depth=0 doc=no"}},
      {"f-string", "def f():\n    f'doc'\n", {"f 1:1 args=0 lines=1 depth=0 doc=no"}},
      {"number", "def f():\n    1\n", {"f 1:1 args=0 lines=1 depth=0 doc=no"}},
      {"assigned string", "def f():\n    x = 'doc'\n", {"f 1:1 args=0 lines=1 depth=0 doc=no"}},
      {"string after a statement", "def f():\n    pass\n    'doc'\n", {"f 1:1 args=0 lines=2 depth=0 doc=no"}},
  };
  for (const auto& c : cases) EXPECT_EQ(functions_of(c.source), c.expected) << c.name;
}

TEST(SourceIndexFunctions, NestingDepth) {
  const std::vector<Case> cases = {
      {"simple statements", "def f():\n    x = 1\n    return x\n", {"f 1:1 args=0 lines=2 depth=0 doc=no"}},
      {"one if", "def f():\n    if a:\n        pass\n", {"f 1:1 args=0 lines=2 depth=1 doc=no"}},
      {"if inside for", "def f():\n    for a in b:\n        if a:\n            pass\n",
       {"f 1:1 args=0 lines=3 depth=2 doc=no"}},
      {"elif body is one deeper",
       "def f():\n    if a:\n        pass\n    elif b:\n        pass\n",
       {"f 1:1 args=0 lines=4 depth=2 doc=no"}},
      {"loop else is not looked at",
       "def f():\n    while a:\n        pass\n    else:\n        if b:\n            if c:\n                pass\n",
       {"f 1:1 args=0 lines=6 depth=1 doc=no"}},
      {"with adds nothing", "def f():\n    with a:\n        with b:\n            if c:\n                pass\n",
       {"f 1:1 args=0 lines=4 depth=1 doc=no"}},
      {"try parts open a level",
       "def f():\n    try:\n        pass\n    except E:\n        pass\n    finally:\n        if a:\n            pass\n",
       {"f 1:1 args=0 lines=7 depth=2 doc=no"}},
      {"try-star handler", "def f():\n    try:\n        pass\n    except* E:\n        for x in y:\n            pass\n",
       {"f 1:1 args=0 lines=5 depth=2 doc=no"}},
      {"match cases", "def f():\n    match a:\n        case 1:\n            if b:\n                pass\n",
       {"f 1:1 args=0 lines=4 depth=2 doc=no"}},
      {"nested definitions are not entered",
       "def f():\n    class C:\n        def m(self):\n            if a:\n                pass\n",
       {"f 1:1 args=0 lines=0 depth=0 doc=no", "m 3:9 args=1 lines=2 depth=1 doc=no"}},
      {"async for and async with",
       "async def f():\n    async for a in b:\n        async with c:\n            pass\n",
       {"f 1:1 args=0 lines=3 depth=1 doc=no"}},
  };
  for (const auto& c : cases) EXPECT_EQ(functions_of(c.source), c.expected) << c.name;
}

TEST(SourceIndexFunctions, BlockDescentIsPreOrder) {
  constexpr std::string_view source = R"(def a():
    def b():
        pass
if x:
    def c(): pass
elif y:
    def d(): pass
else:
    def e(): pass
class K:
    def m(self): pass
try:
    def t1(): pass
except E:
    def t2(): pass
else:
    def t3(): pass
finally:
    def t4(): pass
for i in r:
    def l1(): pass
else:
    def l2(): pass
while w:
    def w1(): pass
else:
    def w2(): pass
with w:
    def h1(): pass
match v:
    case 1:
        def m1(): pass
    case _:
        def m2(): pass
lam = lambda: 0
print(lambda y: y)
)";
  ParsedModule parsed = parse_or_fail(source);
  const SourceIndex index(parsed);
  std::vector<std::string> names;
  for (const auto& f : index.functions()) names.emplace_back(f.name);
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "c", "d", "e", "m", "t1", "t2", "t3", "t4", "l1", "l2", "w1",
                                             "w2", "h1", "m1", "m2"}));
}

TEST(SourceIndexClasses, RecordsFollowTheRules) {
  const std::vector<Case> cases = {
      {"methods directly in the body",
       "class C:\n    def a(self): pass\n    async def b(self): pass\n    def _c(self): pass\n"
       "    def __d__(self): pass\n    if x:\n        def e(self): pass\n    x = 1\n",
       {"C 1:1 methods=4 public=2 attrs=0"}},
      {"init attributes",
       "class C:\n"
       "    def __init__(self):\n"
       "        self.a = self.b = 1\n"
       "        self.c: int = 2\n"
       "        self.d += 1\n"
       "        self.e, self.f = 1, 2\n"
       "        self.a = 3\n"
       "        if x:\n"
       "            self.g = 1\n"
       "        other.h = 1\n"
       "        self.i.j = 1\n"
       "    def __init__(self):\n"
       "        self.k = 1\n",
       {"C 1:1 methods=2 public=0 attrs=3"}},
      {"async init contributes nothing", "class C:\n    async def __init__(self):\n        self.a = 1\n",
       {"C 1:1 methods=1 public=0 attrs=0"}},
      {"first parameter not named self", "class C:\n    def __init__(this):\n        this.a = 1\n",
       {"C 1:1 methods=1 public=0 attrs=0"}},
      {"decorated class", "@dataclass\n@frozen\nclass D:\n    x: int\n", {"D 3:1 methods=0 public=0 attrs=0"}},
      {"nested classes in pre-order",
       "def f():\n    class A:\n        class B:\n            pass\nclass C(Base, metaclass=M):\n    pass\n",
       {"A 2:5 methods=0 public=0 attrs=0", "B 3:9 methods=0 public=0 attrs=0", "C 5:1 methods=0 public=0 attrs=0"}},
  };
  for (const auto& c : cases) EXPECT_EQ(classes_of(c.source), c.expected) << c.name;
}

TEST(SourceIndexImports, OneRecordPerAlias) {
  const std::vector<Case> cases = {
      {"plain import with as", "import os.path as p, sys\n",
       {"os.path 1:8 import", "sys 1:22 import"}},
      {"relative without module", "from . import x\n", {"x 1:15 from"}},
      {"leading dots dropped", "from ..pkg import n as m\n", {"pkg.n 1:19 from"}},
      {"star", "from m import *\n", {"m.* 1:15 from"}},
      {"parenthesised names", "from a.b import (c,\n    d)\n", {"a.b.c 1:18 from", "a.b.d 2:5 from"}},
      {"nested imports in descent order",
       "def f():\n    import a\nif x:\n    import b\nelse:\n    from c import d\ntry:\n    import e\nexcept E:\n"
       "    import g\n",
       {"a 2:12 import", "b 4:12 import", "c.d 6:19 from", "e 8:12 import", "g 10:12 import"}},
  };
  for (const auto& c : cases) EXPECT_EQ(imports_of(c.source), c.expected) << c.name;
}

TEST(SourceIndexComments, OnePerLineWithAHash) {
  const std::vector<Case> cases = {
      {"empty text", "", {}},
      {"hash inside a string", "x = \"a#b\"  # real\n", {"1:7 [#b\"  # real]"}},
      {"no final newline", "x = 1\ny = 2  # last", {"2:8 [# last]"}},
      {"crlf endings", "# a\r\nx = 1  # b\r\n", {"1:1 [# a]", "2:8 [# b]"}},
      {"final cr without newline is kept", "x = 1\n# c\r", {"2:1 [# c\r]"}},
      {"lone cr does not end a line", "# a\r# b\n", {"1:1 [# a\r# b]"}},
      {"lines of a multi-line string", "s = \"\"\"\n  # inside\n\"\"\"\n", {"2:3 [# inside]"}},
      {"blank lines keep numbering", "\n\n\n    # four\n", {"4:5 [# four]"}},
      {"one comment per line, from its first hash", "x = 1  # a # b\n# c\r\n", {"1:8 [# a # b]", "2:1 [# c]"}},
      {"empty comment at the end", "x = 1 #", {"1:7 [#]"}},
  };
  for (const auto& c : cases) EXPECT_EQ(comments_of(c.source), c.expected) << c.name;
}

TEST(SourceIndex, EmptyFileHasEmptyLists) {
  ParsedModule parsed = parse_or_fail("");
  SourceIndex index(parsed);
  EXPECT_TRUE(index.functions().empty());
  EXPECT_TRUE(index.classes().empty());
  EXPECT_TRUE(index.imports().empty());
  EXPECT_TRUE(index.comments().empty());
}

TEST(SourceIndex, ListsAreBuiltOnceAndShared) {
  ParsedModule parsed = parse_or_fail("import a\n# c\nclass C:\n    def m(self): pass\n");
  SourceIndex index(parsed);
  const auto* functions = &index.functions();
  const auto* classes = &index.classes();
  const auto* imports = &index.imports();
  const auto* comments = &index.comments();
  EXPECT_EQ(&index.functions(), functions);
  EXPECT_EQ(&index.classes(), classes);
  EXPECT_EQ(&index.imports(), imports);
  EXPECT_EQ(&index.comments(), comments);
  EXPECT_EQ(functions->size(), 1u);
  EXPECT_EQ(classes->size(), 1u);
  EXPECT_EQ(imports->size(), 1u);
  EXPECT_EQ(comments->size(), 1u);
}

TEST(SourceIndex, PositionsMatchTheScanForEveryOffset) {
  ParsedModule parsed = parse_or_fail("s = '\xc3\xa9\xe2\x82\xac'\r\n\r\nx = 1  # \xf0\x9f\x98\x80\n\ny = 2");
  SourceIndex index(parsed);
  for (std::uint32_t offset = 0; offset <= parsed.source.size() + 2; ++offset) {
    const LineColumn scanned = offset_to_line_col(parsed.source, offset);
    const LineColumn indexed = index.position(offset);
    EXPECT_EQ(indexed.line, scanned.line) << offset;
    EXPECT_EQ(indexed.column, scanned.column) << offset;
  }
}

TEST(SourceIndex, LongElifChainDoesNotExhaustTheStack) {
  // Near the deepest tree the parser accepts: an elif chain nests without
  // indentation.
  constexpr int kBranches = 4000;
  std::string source = "def f(x):\n    if x == 0:\n        pass\n";
  for (int i = 1; i < kBranches; ++i) source += fmt::format("    elif x == {}:\n        pass\n", i);
  source += "    def g(): pass\n";
  auto parsed = parse_module("deep.py", source);
  ASSERT_TRUE(parsed.has_value()) << parsed.error().render();
  SourceIndex index(*parsed);
  ASSERT_EQ(index.functions().size(), 2u);
  EXPECT_EQ(index.functions()[0].nesting_depth, static_cast<std::uint64_t>(kBranches));
  EXPECT_EQ(index.functions()[0].line_count, static_cast<std::uint64_t>(2 * kBranches));
  EXPECT_EQ(index.functions()[1].name, "g");
}

using Visits = std::vector<std::string>;

constexpr KindSet kAllStatements = (KindSet{1} << py::kStmtKindCount) - 1;

// "Kind line" for every reached statement of the given kinds, in order.
Visits statement_visits(std::string_view source, KindSet kinds = kAllStatements) {
  ParsedModule parsed = parse_or_fail(source);
  Visits visits;
  SourceIndex(parsed).statements_reached().for_each(kinds, [&](const py::Stmt& stmt) {
    visits.push_back(std::string(py::kind_name(stmt.kind)) + " " +
                     std::to_string(offset_to_line_col(parsed.source, stmt.start).line));
  });
  return visits;
}

TEST(StatementsReached, ParentsBeforeChildrenInDescentOrder) {
  const std::string_view source =
      "def f():\n"             // 1
      "    for i in x:\n"      // 2
      "        a\n"            // 3
      "    else:\n"            // 4
      "        b\n"            // 5
      "class C:\n"             // 6
      "    with w:\n"          // 7
      "        try:\n"         // 8
      "            c\n"        // 9
      "        except E:\n"    // 10
      "            d\n"        // 11
      "        else:\n"        // 12
      "            e\n"        // 13
      "        finally:\n"     // 14
      "            g\n"        // 15
      "match m:\n"             // 16
      "    case 1:\n"          // 17
      "        h\n"            // 18
      "    case _:\n"          // 19
      "        while t:\n"     // 20
      "            pass\n"     // 21
      "        else:\n"        // 22
      "            k = [lambda: 1]\n"  // 23
      "if q:\n"                // 24
      "    r\n"                // 25
      "elif s:\n"              // 26
      "    u\n";               // 27
  EXPECT_EQ(statement_visits(source),
            (Visits{"FunctionDef 1", "For 2", "Expr 3", "Expr 5", "ClassDef 6", "With 7", "Try 8", "Expr 9",
                    "Expr 11", "Expr 13", "Expr 15", "Match 16", "Expr 18", "While 20", "Pass 21", "Assign 23",
                    "If 24", "Expr 25", "If 26", "Expr 27"}));
  constexpr KindSet kSome = kinds_of<py::AnyTry, py::kStmtKindCount>() | kinds_of<py::If, py::kStmtKindCount>() |
                            kinds_of<py::Pass, py::kStmtKindCount>();
  EXPECT_EQ(statement_visits(source, kSome), (Visits{"Try 8", "Pass 21", "If 24", "If 26"}));
}

TEST(StatementsReached, EmptyList) { EXPECT_TRUE(statement_visits("").empty()); }

}  // namespace
}  // namespace quarn
