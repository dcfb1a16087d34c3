#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "detector_support.h"

namespace quarn::test {
namespace {

const std::string kAssert = "assert statement may be stripped in optimized mode";

TEST(FunctionBodies, AssertProduction) {
  expect_cases("QN406", detect_assert_production,
               {
                   {"def outer():\n    def inner():\n        assert x\n    return inner\n", {"3:9 " + kAssert}},
                   {"assert a\nclass C:\n    assert b, 'm'\n", {"1:1 " + kAssert, "3:5 " + kAssert}},
                   {"try:\n    pass\nexcept E:\n    assert y\nfinally:\n    assert z\n", {"4:5 " + kAssert, "6:5 " + kAssert}},
                   {"match p:\n    case 1:\n        assert q\n", {"3:9 " + kAssert}},
                   {"x = 1\n", {}},
                   {"", {}},
               });
}

TEST(FunctionBodies, MutableDefaultArgument) {
  auto msg = [](const char* name) { return std::string("function `") + name + "` uses a mutable default argument"; };
  expect_cases("QN404", detect_mutable_default_argument,
               {
                   {"def f(a=[], b={}):\n    pass\n", {"1:1 " + msg("f")}},
                   {"def f(a=()):\n    pass\ndef g(a=list()):\n    pass\n", {}},
                   {"def f(*, opts={}):\n    pass\n", {"1:1 " + msg("f")}},
                   {"def f(*, a, b=[]):\n    pass\n", {"1:1 " + msg("f")}},
                   {"def f(a, /, b={1}):\n    pass\n", {"1:1 " + msg("f")}},
                   {"def f(a=[x for x in y]):\n    pass\n", {"1:1 " + msg("f")}},
                   {"class C:\n    async def m(self, d={k: v for k, v in x}):\n        pass\n", {"2:5 " + msg("m")}},
                   {"def f(a=None, *args, b=None, **kw):\n    pass\n", {}},
                   {"def f(a=(x for x in y), b=frozenset()):\n    pass\n", {}},
                   {"f = lambda a=[]: a\n", {}},
                   {"def f(a={1}):\n    def g(b=[]):\n        pass\n", {"1:1 " + msg("f"), "2:5 " + msg("g")}},
               });
}

TEST(FunctionBodies, GeneratedDeadBranch) {
  const std::string msg = "constant boolean condition suggests generated or placeholder branch";
  expect_cases("QN507", detect_generated_dead_branch,
               {
                   {"if x:\n    pass\nelif False:\n    if True:\n        pass\n", {"3:1 " + msg, "4:5 " + msg}},
                   {"if 1:\n    pass\nif None:\n    pass\nif not True:\n    pass\nwhile True:\n    pass\n", {}},
                   {"def f():\n    if False:\n        return 1\n", {"2:5 " + msg}},
                   {"if (True):\n    pass\n", {"1:1 " + msg}},
                   {"if True and x:\n    pass\n", {}},
               });
}

TEST(FunctionBodies, GlobalMutableState) {
  const std::string msg = "module-level assignment to mutable literal";
  expect_cases("QN409", detect_global_mutable_state,
               {
                   {"CACHE = {}\nITEMS = []\nS = {1}\nL = [x for x in y]\nD = {k: 1 for k in y}\nZ = {k for k in y}\n",
                    {"1:1 " + msg, "2:1 " + msg, "3:1 " + msg, "4:1 " + msg, "5:1 " + msg, "6:1 " + msg}},
                   {"T = ()\nG = (x for x in y)\nC = dict()\nA: dict = {}\nA += []\nN = None\n", {}},
                   {"def f():\n    X = {}\nif y:\n    Z = []\nclass K:\n    V = []\n", {}},
                   {"a = b = []\n", {"1:1 " + msg}},
               });
}

TEST(FunctionBodies, UnnecessaryElseAfterReturn) {
  const std::string msg = "if branch returns but is followed by else; else may be unnecessary";
  expect_cases("QN303", detect_unnecessary_else_after_return,
               {
                   {"def f(x):\n    if x:\n        return 1\n    else:\n        return 2\n", {"2:5 " + msg}},
                   {"def f(x):\n    if x:\n        return 1\n        pass\n    else:\n        g()\n", {"2:5 " + msg}},
                   {"def f(x):\n    if x:\n        raise E\n    else:\n        return 2\n", {}},
                   {"def f(x):\n    if x:\n        return\n    elif y:\n        return 2\n", {"2:5 " + msg}},
                   {"def f(x):\n    if x:\n        return 1\n    return 2\n", {}},
                   {"def f(x):\n    if x:\n        return 1\n        g()\n    else:\n        pass\n", {}},
               });
}

TEST(FunctionBodies, IdentityPassthrough) {
  auto msg = [](const char* name) { return std::string("function `") + name + "` only returns its single argument"; };
  expect_cases("QN310", detect_identity_passthrough,
               {
                   {"def ident(x):\n    return x\n", {"1:1 " + msg("ident")}},
                   {"def f(x, *, y):\n    return x\n", {"1:1 " + msg("f")}},
                   {"def f(x):\n    \"\"\"Doc.\"\"\"\n    return x\n", {}},
                   {"def f(x, y):\n    return x\n", {}},
                   {"class C:\n    def f(self):\n        return self\n", {"2:5 " + msg("f")}},
                   {"def f(x, /):\n    pass\n    return x\n", {"1:1 " + msg("f")}},
                   {"def f(x=1, *args, **kw):\n    return x\n", {"1:1 " + msg("f")}},
                   {"def f(*args):\n    return args\n", {}},
                   {"def f(x):\n    return y\n", {}},
                   {"def f(x):\n    return (x)\n", {"1:1 " + msg("f")}},
                   {"async def f(x):\n    return x\n", {"1:1 " + msg("f")}},
               });
}

TEST(FunctionBodies, CollapsibleIf) {
  const std::string msg = "nested if without else can be collapsed with `and`";
  expect_cases("QN302", detect_collapsible_if,
               {
                   {"if a:\n    if b:\n        pass\n", {"1:1 " + msg}},
                   {"if a:\n    if b:\n        pass\n    else:\n        pass\n", {}},
                   {"if a:\n    if b:\n        if c:\n            pass\n", {"1:1 " + msg, "2:5 " + msg}},
                   {"if a:\n    if b:\n        pass\nelse:\n    pass\n", {}},
                   {"if a:\n    x()\n    if b:\n        pass\n", {}},
                   {"if a:\n    pass\n", {}},
                   {"if a:\n    x()\nelif b:\n    if c:\n        y()\n", {"3:1 " + msg}},
               });
}

TEST(FunctionBodies, DuplicateBranchBody) {
  const std::string msg = "if and elif branches have identical bodies";
  expect_cases("QN301", detect_duplicate_branch_body,
               {
                   {"if a:\n    f()\nelif b:\n    f()\n", {"1:1 " + msg}},
                   {"if a:\n    f(1)\nelif b:\n    f( 1)\n", {}},
                   {"def g():\n    if a:\n        f(1,\n          2)\n    elif b:\n        f(1,\n            2)\n", {}},
                   {"if a:\n    X()\nelif b:\n    X()\nelse:\n    Y()\n", {}},
                   {"if a:\n    pass\nelif b:\n    X()\nelif c:\n    X()\n", {"3:1 " + msg}},
                   {"if a:\n    f()\n    g()\nelif b:\n    f()\n", {}},
                   {"if a:\n    f()\n    g()\nelif b:\n    f()\n    h()\n", {}},
                   {"if a:\n    f()  # one\nelif b:\n    f()  # two\n", {"1:1 " + msg}},
                   {"if a:\n    for x in y:\n        f(x)\nelif b:\n    for x in y:\n        f(x)\n", {"1:1 " + msg}},
                   {"if a:\n    x = 1; y = 2\nelif b:\n    x = 1\n    y = 2\n", {"1:1 " + msg}},
                   {"if a:\n    f()\nelse:\n    if b:\n        f()\n", {"1:1 " + msg}},
               });
}

TEST(FunctionBodies, ManualStringJoin) {
  const std::string msg = "string concatenation with += in a loop; prefer `str.join`";
  expect_cases("QN314", detect_manual_string_join,
               {
                   {"for c in s:\n    out += c\n", {"2:5 " + msg}},
                   {"while x:\n    out += c\n", {}},
                   {"for c in s:\n    if c:\n        out += c\n", {}},
                   {"for c in s:\n    n -= 1\n    n += 1\nelse:\n    out += c\n", {"3:5 " + msg}},
                   {"async def f():\n    async for c in s:\n        out += c\n", {}},
                   {"def f():\n    for a in b:\n        for c in a:\n            t += c\n        t += '\\n'\n",
                    {"5:9 " + msg, "4:13 " + msg}},
                   {"for c in s:\n    out.text += c; count += 1\n", {"2:5 " + msg, "2:20 " + msg}},
               });
}

TEST(FunctionBodies, SortThenReverse) {
  const std::string msg = "sort() followed by reverse(); use `sorted(..., reverse=True)`";
  expect_cases("QN315", detect_sort_then_reverse,
               {
                   {"xs.sort()\nxs.reverse()\n", {"1:1 " + msg}},
                   {"xs.sort()\nprint()\nxs.reverse()\n", {}},
                   {"self.items.sort(key=k)\nself.items.reverse()\n", {"1:1 " + msg}},
                   {"a.sort()\nb.reverse()\n", {}},
                   {"a[0].sort()\na[0].reverse()\n", {}},
                   {"a.b.sort()\nc.b.reverse()\n", {}},
                   {"a.b.sort()\na.reverse()\n", {}},
                   {"sort()\nreverse()\n", {}},
                   {"xs.reverse()\nxs.sort()\n", {}},
                   {"for x in y:\n    a.sort()\n    a.reverse()\nb.sort()\nb.reverse()\n", {"4:1 " + msg, "2:5 " + msg}},
                   {"async def f():\n    async for x in y:\n        a.sort()\n        a.reverse()\n", {}},
                   {"async def f():\n    a.sort()\n    a.reverse()\n", {"2:5 " + msg}},
                   {"with x:\n    a.sort()\n    a.reverse()\n", {"2:5 " + msg}},
                   {"async def f():\n    async with x:\n        a.sort()\n        a.reverse()\n", {}},
                   {"for x in y:\n    pass\nelse:\n    a.sort()\n    a.reverse()\n", {}},
                   {"while x:\n    pass\nelse:\n    a.sort()\n    a.reverse()\n", {}},
                   {"match p:\n    case _:\n        a.sort()\n        a.reverse()\n", {}},
                   {"try:\n    pass\nexcept* E:\n    a.sort()\n    a.reverse()\n", {}},
                   {"try:\n    pass\nexcept E:\n    a.sort()\n    a.reverse()\nelse:\n    b.sort()\n    b.reverse()\n"
                    "finally:\n    c.sort()\n    c.reverse()\n",
                    {"4:5 " + msg, "7:5 " + msg, "10:5 " + msg}},
                   {"a.sort(); a.reverse(); a.reverse()\n", {"1:1 " + msg}},
               });
}

TEST(FunctionBodies, QueryInLoop) {
  const std::string msg = "database query or execute inside a loop may cause N+1 access";
  expect_cases("QN412", detect_query_in_loop,
               {
                   {"for q in qs:\n    cur.execute(q)\n", {"1:1 " + msg}},
                   {"async def f():\n    for q in qs:\n        await cur.execute(q)\n", {}},
                   {"for q in qs:\n    rows = list(db.query(q))\n", {"1:1 " + msg}},
                   {"for q in qs:\n    rows = list(x=db.query(q))\n", {}},
                   {"for a in b:\n    for q in a:\n        total += run(db.execute(q))\n", {"1:1 " + msg, "2:5 " + msg}},
                   {"for q in qs:\n    pass\nelse:\n    db.execute(q)\n", {}},
                   {"for q in qs:\n    def g():\n        return db.query(q)\n", {"1:1 " + msg}},
                   {"for q in qs:\n    class C:\n        x = db.query(q)\n", {"1:1 " + msg}},
                   {"while x:\n    db.execute(q)\n", {}},
                   {"for q in qs:\n    with lock:\n        db.execute(q)\n", {"1:1 " + msg}},
                   {"async def f():\n    for q in qs:\n        async with lock:\n            db.execute(q)\n", {}},
                   {"for q in qs:\n    x = [db.query(q)]\n", {}},
                   {"for q in qs:\n    if db.query(q):\n        pass\n", {}},
                   {"for q in qs:\n    if x:\n        pass\n    else:\n        y = db.query(q)\n", {"1:1 " + msg}},
                   {"for q in qs:\n    db.execute(q).fetchall()\n", {}},
                   {"for q in qs:\n    f(g(h(s.query(q))))\n", {"1:1 " + msg}},
                   {"for q in qs:\n    x: int = db.query(q)\n", {}},
                   {"for q in qs:\n    for r in q:\n        pass\n    else:\n        db.query(r)\n", {}},
                   {"for q in qs:\n    try:\n        pass\n    finally:\n        db.query(q)\n", {"1:1 " + msg}},
                   {"db.execute(q)\n", {}},
               });
}

TEST(FunctionBodies, ExtractableCondition) {
  const std::string msg = "complex if condition may be clearer as a named boolean variable";
  expect_cases("QN308", detect_extractable_condition,
               {
                   {"if a and b and c:\n    pass\n", {"1:1 " + msg}},
                   {"if a < b < c < d:\n    pass\n", {"1:1 " + msg}},
                   {"if a and (b or c):\n    pass\n", {}},
                   {"if x is None:\n    pass\n", {}},
                   {"if not (a or b or c):\n    pass\n", {"1:1 " + msg}},
                   {"if a is b is c:\n    pass\n", {"1:1 " + msg}},
                   {"if not not -a is not b < c:\n    pass\n", {"1:1 " + msg}},
                   {"if a < b is c:\n    pass\n", {}},
                   {"if x:\n    pass\nelif a or b or c:\n    pass\n", {"3:1 " + msg}},
                   {"while a and b and c:\n    pass\n", {}},
               });
}

TEST(FunctionBodies, AmbiguousNoneReturn) {
  const std::string msg = "function mixes bare `return` and `return None`";
  expect_cases("QN410", detect_ambiguous_none_return,
               {
                   {"def f(x):\n    if x:\n        return\n    else:\n        return None\n", {"1:1 " + msg}},
                   {"def f(x):\n    if x:\n        return\n    with m:\n        return None\n", {}},
                   {"def f():\n    try:\n        return\n    finally:\n        return None\n", {}},
                   {"def f():\n    try:\n        pass\n    except E:\n        return\n    else:\n        return None\n",
                    {"1:1 " + msg}},
                   {"def f():\n    return\n    def g():\n        return None\n", {}},
                   {"def f():\n    for x in y:\n        return\n    else:\n        return None\n", {}},
                   {"async def f():\n    return\n    return None\n", {"1:1 " + msg}},
                   {"def f():\n    while x:\n        if y:\n            return None\n    return\n", {"1:1 " + msg}},
                   {"def f():\n    return\n    return 0\n", {}},
                   {"class C:\n    def f(self):\n        return\n        return None\n", {"2:5 " + msg}},
                   {"def f():\n    return\n    async for x in y:\n        return None\n", {}},
                   {"def f():\n    return\n    try:\n        pass\n    except* E:\n        return None\n", {}},
               });
}

TEST(FunctionBodies, RejectNone) {
  expect_cases("QN312", detect_reject_none,
               {
                   {"def f(user):\n    if user is not None:\n        log()\n        return user\n",
                    {"2:5 `if user is not None: return user` can often be simplified"}},
                   {"def f(user):\n    if user is not None:\n        return other\n", {}},
                   {"def f(x):\n    if None is not x:\n        return x\n", {}},
                   {"def f(x):\n    if x is not None and y:\n        return x\n", {}},
                   {"def f(x):\n    if x is not None is not y:\n        return x\n",
                    {"2:5 `if x is not None: return x` can often be simplified"}},
                   {"def f(x):\n    if x.a is not None:\n        return x.a\n", {}},
                   {"def f(x):\n    if x is not None:\n        return x\n        pass\n",
                    {"2:5 `if x is not None: return x` can often be simplified"}},
                   {"def f(x):\n    if x is None:\n        return x\n", {}},
                   {"def f(x):\n    if x != None:\n        return x\n", {}},
               });
}

TEST(FunctionBodies, EmptyWrapperFunction) {
  auto msg = [](const char* name) { return std::string("function `") + name + "` is a thin wrapper with no added behavior"; };
  expect_cases("QN506", detect_empty_wrapper_function,
               {
                   {"class R:\n    def save(self):\n        return self.repo.save(self)\n", {"2:5 " + msg("save")}},
                   {"def _save(x):\n    return g(x)\ndef test_save():\n    g()\n", {}},
                   {"def save(x):\n    \"\"\"Save.\"\"\"\n    return g(x)\n", {}},
                   {"def run():\n    main()\n", {"1:1 " + msg("run")}},
                   {"def f():\n    pass\n", {}},
                   {"def f():\n    x = g()\n", {}},
                   {"async def f():\n    return await g()\n", {}},
                   {"def f():\n    g()\n    pass\n", {"1:1 " + msg("f")}},
                   {"def testing():\n    return Thing()\n", {"1:1 " + msg("testing")}},
               });
}

// Each elif nests one If deeper; the parser accepts trees up to 5000 levels.
TEST(FunctionBodies, LongElifChainDoesNotExhaustTheStack) {
  std::string source = "def f(x):\n    if x == 0:\n        return None\n";
  for (int i = 1; i < 4000; ++i) source += "    elif x == " + std::to_string(i) + ":\n        pass\n";
  source += "    else:\n        return\n";
  EXPECT_EQ(detector_findings("QN410", detect_ambiguous_none_return, source),
            std::vector<std::string>{"1:1 function mixes bare `return` and `return None`"});
  EXPECT_EQ(detector_findings("QN507", detect_generated_dead_branch, source), std::vector<std::string>{});
  EXPECT_EQ(detector_findings("QN315", detect_sort_then_reverse, source), std::vector<std::string>{});
  EXPECT_EQ(detector_findings("QN301", detect_duplicate_branch_body, source),
            std::vector<std::string>{});
}

TEST(FunctionBodies, LongAttributeChainsCompareWithoutRecursion) {
  std::string chain = "a";
  for (int i = 0; i < 4000; ++i) chain += ".b";
  const std::string source = chain + ".sort()\n" + chain + ".reverse()\n";
  EXPECT_EQ(detector_findings("QN315", detect_sort_then_reverse, source),
            std::vector<std::string>{"1:1 sort() followed by reverse(); use `sorted(..., reverse=True)`"});
}

}  // namespace
}  // namespace quarn::test
