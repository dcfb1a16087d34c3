#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "checks/catalog_detectors/walkers.h"
#include "detector_support.h"
#include "parser/parse.h"

namespace quarn {
namespace {

using Visits = std::vector<std::string>;

// "Kind text" for every expression the walk gives to the visitor, in order.
Visits expression_visits(std::string_view source) {
  auto parsed = parse_module("walk.py", std::string(source));
  EXPECT_TRUE(parsed.has_value()) << (parsed ? "" : parsed.error().render()) << "\n" << source;
  if (!parsed) return {};
  Visits visits;
  walk_stmts(parsed->module.body, [&](const py::Expr& expr) {
    visits.push_back(std::string(py::kind_name(expr.kind)) + " " +
                     std::string(parsed->source.substr(expr.start, expr.end - expr.start)));
  });
  return visits;
}

struct WalkCase {
  const char* name;
  std::string_view source;
  Visits expected;
};

class WalkStmts : public testing::TestWithParam<WalkCase> {};

TEST_P(WalkStmts, VisitsExactlyTheReachedExpressionsInOrder) {
  EXPECT_EQ(expression_visits(GetParam().source), GetParam().expected) << GetParam().source;
}

const WalkCase kStatementCases[] = {
    {"EmptyModule", "", {}},
    {"OnlyComments", "# nothing\n", {}},
    {"DefDecoratorsThenBodyNotParameters",
     "@dec(1)\ndef f(x=5, *a: int, k=6, **kw) -> int:\n    return x\n",
     {"Call dec(1)", "Name dec", "Constant 1", "Name x"}},
    {"AsyncDef", "async def f(x: int = 5):\n    await g()\n", {"Await await g()", "Call g()", "Name g"}},
    {"ClassDecoratorsThenBodyNotBasesOrKeywords",
     "@d\nclass A(B, metaclass=M):\n    z = 3\n",
     {"Name d", "Name z", "Constant 3"}},
    {"ReturnWithoutValue", "def f():\n    return\n", {}},
    {"Delete", "del a, b[1]\n", {"Name a", "Subscript b[1]", "Name b", "Constant 1"}},
    {"AssignTargetsThenValue", "a = b.c = 1\n", {"Name a", "Attribute b.c", "Name b", "Constant 1"}},
    {"TypeAliasIsSkipped", "type X = list[int]\ntype Y[T] = dict[T, int]\n", {}},
    {"AugAssign", "a += 2\n", {"Name a", "Constant 2"}},
    {"AnnAssignTargetAnnotationValue", "x: int = 5\ny: str\n", {"Name x", "Name int", "Constant 5", "Name y", "Name str"}},
    {"ForIterableOnlyThenBodyThenElse",
     "for i in range(10):\n    a\nelse:\n    b\n",
     {"Call range(10)", "Name range", "Constant 10", "Name a", "Name b"}},
    {"AsyncFor", "async def f():\n    async for i in xs:\n        a\n", {"Name xs", "Name a"}},
    {"WhileTestBodyElse", "while t:\n    a\nelse:\n    b\n", {"Name t", "Name a", "Name b"}},
    {"IfElifElse",
     "if a:\n    b\nelif c:\n    d\nelse:\n    e\n",
     {"Name a", "Name b", "Name c", "Name d", "Name e"}},
    {"WithItemsThenBody",
     "with open(p) as f, g:\n    h\n",
     {"Call open(p)", "Name open", "Name p", "Name f", "Name g", "Name h"}},
    {"AsyncWith", "async def f():\n    async with a as (b, c):\n        d\n",
     {"Name a", "Tuple (b, c)", "Name b", "Name c", "Name d"}},
    {"RaiseExceptionThenCause", "raise E(1) from c\n", {"Call E(1)", "Name E", "Constant 1", "Name c"}},
    {"HandlerTypesBeforeTryBody",
     "try:\n    a\nexcept (ValueError, TypeError):\n    b\nexcept:\n    c\nelse:\n    d\nfinally:\n    e\n",
     {"Tuple (ValueError, TypeError)", "Name ValueError", "Name TypeError", "Name a", "Name b", "Name c", "Name d",
      "Name e"}},
    {"TryStar", "try:\n    a\nexcept* E as err:\n    b\n", {"Name E", "Name a", "Name b"}},
    {"AssertTestThenMessage", "assert t, m\n", {"Name t", "Name m"}},
    {"NothingInSimpleStatements",
     "import os\nfrom a import b\ndef f():\n    global g\n    nonlocal n\n    pass\nwhile 1:\n    break\n    continue\n",
     {"Constant 1"}},
    {"StatementExpressionsBeforeNestedLists",
     "if a:\n    if b:\n        c\n    d\ne\n",
     {"Name a", "Name b", "Name c", "Name d", "Name e"}},
    {"MatchHeadsBeforeBodies",
     "match p:\n"
     "    case Point(0, 1, x=2):\n        a\n"
     "    case 1 | 2:\n        b\n"
     "    case {\"k\": v, **rest} if g:\n        c\n"
     "    case [3, *rest]:\n        d\n"
     "    case (4 as y):\n        e\n"
     "    case None:\n        f\n"
     "    case -5:\n        h\n",
     {"Name p", "Name Point", "Constant 2", "Constant \"k\"", "Name g", "Constant 3", "UnaryOp -5", "Constant 5",
      "Name a", "Name b", "Name c", "Name d", "Name e", "Name f", "Name h"}},
    {"NestedMatchInFunctionInClass",
     "class C:\n    def m(self):\n        match x:\n            case A.B(k=[1, 2]):\n                match y:\n"
     "                    case 7:\n                        z\n",
     {"Name x", "Attribute A.B", "Name A", "Constant 1", "Constant 2", "Name y", "Constant 7", "Name z"}},
};

INSTANTIATE_TEST_SUITE_P(Statements, WalkStmts, testing::ValuesIn(kStatementCases),
                         test::CaseName());

const WalkCase kExpressionCases[] = {
    {"BoolOpValues", "a and b and c\n", {"BoolOp a and b and c", "Name a", "Name b", "Name c"}},
    {"NamedExprTargetThenValue", "(y := 3)\n", {"NamedExpr y := 3", "Name y", "Constant 3"}},
    {"BinOpLeftThenRight", "a + b * c\n", {"BinOp a + b * c", "Name a", "BinOp b * c", "Name b", "Name c"}},
    {"UnaryOp", "not a\n", {"UnaryOp not a", "Name a"}},
    {"LambdaBodyOnly", "lambda x=5, *, k=6: x\n", {"Lambda lambda x=5, *, k=6: x", "Name x"}},
    {"IfExpTestBodyElse", "b if t else o\n", {"IfExp b if t else o", "Name t", "Name b", "Name o"}},
    {"DictKeysValuesAndUnpacking",
     "{\"a\": 1, **m, b: c}\n",
     {"Dict {\"a\": 1, **m, b: c}", "Constant \"a\"", "Constant 1", "Name m", "Name b", "Name c"}},
    {"SetListTuple", "{a}, [b], ()\n",
     {"Tuple {a}, [b], ()", "Set {a}", "Name a", "List [b]", "Name b", "Tuple ()"}},
    {"ListCompWithoutTargets",
     "[x for x in xs if x if y for z in x]\n",
     {"ListComp [x for x in xs if x if y for z in x]", "Name x", "Name xs", "Name x", "Name y", "Name x"}},
    {"SetComp", "{e for t in ts}\n", {"SetComp {e for t in ts}", "Name e", "Name ts"}},
    {"GeneratorExp", "(e for t in ts if c)\n", {"GeneratorExp (e for t in ts if c)", "Name e", "Name ts", "Name c"}},
    {"DictCompKeyValueThenClauses",
     "{k: v for k, v in items if k}\n",
     {"DictComp {k: v for k, v in items if k}", "Name k", "Name v", "Name items", "Name k"}},
    {"YieldAndYieldFrom",
     "def g():\n    yield\n    yield a\n    yield from b\n",
     {"Yield yield", "Yield yield a", "Name a", "YieldFrom yield from b", "Name b"}},
    {"CompareLeftThenComparators", "a < b == c\n", {"Compare a < b == c", "Name a", "Name b", "Name c"}},
    {"CallFunctionArgsKeywords",
     "f(a, *b, c=d, **e)\n",
     {"Call f(a, *b, c=d, **e)", "Name f", "Name a", "Starred *b", "Name b", "Name d", "Name e"}},
    {"FStringPartsUnseen", "f\"{a + 1}\" + f\"x{b:{w}}\"\n",
     {"BinOp f\"{a + 1}\" + f\"x{b:{w}}\"", "JoinedStr f\"{a + 1}\"", "JoinedStr f\"x{b:{w}}\""}},
    {"AttributeAndSubscript", "a.b[c]\n", {"Subscript a.b[c]", "Attribute a.b", "Name a", "Name c"}},
    {"SliceParts", "a[1:2:3, ::s]\n",
     {"Subscript a[1:2:3, ::s]", "Name a", "Tuple 1:2:3, ::s", "Slice 1:2:3", "Constant 1", "Constant 2",
      "Constant 3", "Slice ::s", "Name s"}},
    {"Constants", "None, True, ..., b\"x\", 2j\n",
     {"Tuple None, True, ..., b\"x\", 2j", "Constant None", "Constant True", "Constant ...", "Constant b\"x\"",
      "Constant 2j"}},
};

INSTANTIATE_TEST_SUITE_P(Expressions, WalkStmts, testing::ValuesIn(kExpressionCases),
                         test::CaseName());

TEST(WalkExpr, StartsAtTheGivenExpression) {
  auto parsed = parse_module("walk.py", "x = f(a)[b]\n");
  ASSERT_TRUE(parsed.has_value());
  const auto& assign = parsed->module.body[0]->as<py::Assign>();
  std::vector<py::ExprKind> kinds;
  walk_expr(*assign.value, [&](const py::Expr& e) { kinds.push_back(e.kind); });
  using K = py::ExprKind;
  EXPECT_EQ(kinds, (std::vector<K>{K::Subscript, K::Call, K::Name, K::Name, K::Name}));
}

TEST(WalkPattern, WalksKeyExpressionsNotThePatternItself) {
  auto parsed = parse_module("walk.py", "match p:\n    case C(1, k={\"a\": 2}):\n        pass\n");
  ASSERT_TRUE(parsed.has_value());
  const auto& match = parsed->module.body[0]->as<py::Match>();
  std::vector<std::string_view> texts;
  walk_pattern(*match.cases[0].pattern,
               [&](const py::Expr& e) { texts.push_back(parsed->source.substr(e.start, e.end - e.start)); });
  EXPECT_EQ(texts, (std::vector<std::string_view>{"C", "\"a\""}));
}

// Long operator chains nest one node per operator; the walk must not recurse
// once per level.
TEST(WalkStmts, DeepestChainTheParserAccepts) {
  constexpr int kTerms = 4000;
  std::string source = "x = a";
  for (int i = 1; i < kTerms; ++i) source += "+a";
  source += "\n";
  auto parsed = parse_module("deep.py", source);
  ASSERT_TRUE(parsed.has_value()) << parsed.error().render();
  int binops = 0;
  int names = 0;
  walk_stmts(parsed->module.body, [&](const py::Expr& e) {
    binops += e.kind == py::ExprKind::BinOp;
    names += e.kind == py::ExprKind::Name;
  });
  EXPECT_EQ(binops, kTerms - 1);
  EXPECT_EQ(names, kTerms + 1);
}

TEST(WalkExpr, MillionLevelsDeepTreeBuiltByHand) {
  constexpr std::size_t kDepth = 1000000;
  py::Name leaf;
  leaf.kind = py::ExprKind::Name;
  std::vector<py::BinOp> chain(kDepth);
  for (std::size_t i = 0; i < kDepth; ++i) {
    chain[i].kind = py::ExprKind::BinOp;
    chain[i].left = i + 1 < kDepth ? static_cast<py::Expr*>(&chain[i + 1]) : &leaf;
    chain[i].right = &leaf;
  }
  std::size_t visits = 0;
  walk_expr(chain.front(), [&](const py::Expr&) { ++visits; });
  EXPECT_EQ(visits, 2 * kDepth + 1);
}

TEST(WalkStmts, ManyStatementsAndWideLists) {
  std::string source;
  for (int i = 0; i < 20000; ++i) source += "a\n";
  source += "[";
  for (int i = 0; i < 20000; ++i) source += "b,";
  source += "]\n";
  auto parsed = parse_module("wide.py", source);
  ASSERT_TRUE(parsed.has_value());
  int visits = 0;
  walk_stmts(parsed->module.body, [&](const py::Expr&) { ++visits; });
  EXPECT_EQ(visits, 40001);
}

}  // namespace
}  // namespace quarn
