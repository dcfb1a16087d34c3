// Parser tests: what Python 3.12 accepts and rejects, node positions,
// literal values, field contents, positions of offsets and nesting limits.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "base/thread_stack.h"
#include "parser/arena.h"
#include "parser/ast.h"
#include "parser/ast_children.h"
#include "parser/parse.h"

namespace quarn::py {
namespace {

// The tree as "Kind start end" lines in pre-order, JoinedStr not entered.
std::string dump(std::string_view source) {
  Arena arena;
  auto module = parse_python(source, arena);
  if (!module) return "ERROR " + std::to_string(module.error().offset) + "\n";
  std::string out;
  std::vector<NodeRef> stack(module->body.rbegin(), module->body.rend());
  std::vector<NodeRef> children;
  while (!stack.empty()) {
    NodeRef n = stack.back();
    stack.pop_back();
    out += std::string(n.kind_name()) + " " + std::to_string(n.start()) + " " + std::to_string(n.end()) + "\n";
    if (n.kind_name() == "JoinedStr") continue;
    children.clear();
    append_children(n, children);
    stack.insert(stack.end(), children.rbegin(), children.rend());
  }
  return out;
}

bool accepted(std::string_view source) {
  Arena arena;
  return parse_python(source, arena).has_value();
}

// Snippets Python 3.12 rejects in ast-only compilation.
const char* const kRejected[] = {
    "(*a) = 1\n",
    "f() = 1\n",
    "1 = x\n",
    "None = 1\n",
    "a + b = c\n",
    "x = yield = 1\n",
    "(yield) = 1\n",
    "x, y += 1\n",
    "[x] += 1\n",
    "*x += 1\n",
    "x, y: int\n",
    "[x]: int\n",
    "*x: int\n",
    "x: *y = 1\n",
    "del *x\n",
    "del (x, *y)\n",
    "del x + 1\n",
    "del f()\n",
    "del x if y else z\n",
    "return yield\n",
    "raise x, y\n",
    "assert x := 1\n",
    "pass;;\n",
    ";\n",
    "global\n",
    "import a.\n",
    "import .a\n",
    "from a import b,\n",
    "from a import ()\n",
    "from a import (*)\n",
    "from . import\n",
    "from a import b.c\n",
    "if x:\n",
    "if x: pass\nelse: pass\nelif y: pass\n",
    "for x() in z: pass\n",
    "with a as f(): pass\n",
    "with a, : pass\n",
    "with (a as b) as c: pass\n",
    "try:\n    pass\nexcept A, B:\n    pass\n",
    "try:\n    pass\nexcept* E:\n    pass\nexcept F:\n    pass\n",
    "try:\n    pass\nexcept*:\n    pass\n",
    "try:\n    pass\nelse:\n    pass\n",
    "try:\n    pass\n",
    "def f(a=1, b): pass\n",
    "def f(/): pass\n",
    "def f(a, /, /): pass\n",
    "def f(*): pass\n",
    "def f(*,): pass\n",
    "def f(*, **k): pass\n",
    "def f(**k, a): pass\n",
    "def f(a=1, /, b): pass\n",
    "def f(a: *b): pass\n",
    "def f(*a=1): pass\n",
    "def f(**a=1): pass\n",
    "def f(,): pass\n",
    "def f(*a, *b): pass\n",
    "def f(a, *, /, b): pass\n",
    "@d\nx = 1\n",
    "class C(x for x in y): pass\n",
    "lambda *: 0\n",
    "lambda (x): 0\n",
    "lambda x: y := 1\n",
    "f(a=1, b)\n",
    "f(**a, *b)\n",
    "f(a for a in b, c)\n",
    "f(c, a for a in b)\n",
    "f(a for a in b,)\n",
    "f(x=1=2)\n",
    "f(a.b=1)\n",
    "f((a)=1)\n",
    "f(True=1)\n",
    "f[*a:b]\n",
    "f[x := 1:2]\n",
    "f[]\n",
    "x = 1 if y\n",
    "x = a if b if c else d else e\n",
    "x = a if lambda: b else c\n",
    "x = a not b\n",
    "x = a in not b\n",
    "x = a is not not b\n",
    "x = await await a\n",
    "x = [*x for x in y]\n",
    "x = [x for x in 1, 2]\n",
    "x = [x for x in y if lambda: z]\n",
    "x = [x for x := 1 in y]\n",
    "x = [x for 1 in y]\n",
    "x = (*x for x in y)\n",
    "x = {**a for b in c}\n",
    "x = {a := 1: 2}\n",
    "x = {a: b := 1}\n",
    "x = {*a: 1}\n",
    "x = {a: *b}\n",
    "x = {**a: b}\n",
    "x = (*a)\n",
    "x = (a.b := 1)\n",
    "x = a := 1\n",
    "a := 1\n",
    "x = 'a' b'b'\n",
    "x = f'{a!x}'\n",
    "x = f'{a! r}'\n",
    "x = f'{}'\n",
    "x = f'{a' \n",
    "x = f'{lambda x: 1}'\n",
    "x = '\\N{NOT A NAME}'\n",
    "x = '\\x4'\n",
    "x = b'\xc3"  "\xa9"  "'\n",
    "x = 0_7\n",
    "x = 1__0\n",
    "x = 1_\n",
    "x = 0x\n",
    "x = 1e\n",
    "x = 09\n",
    "x = 0b2\n",
    "match *x:\n    case a: pass\n",
    "match x:\n    case a as _: pass\n",
    "match x:\n    case a as b.c: pass\n",
    "match x:\n    case 1 + 2: pass\n",
    "match x:\n    case 1j + 2j: pass\n",
    "match x:\n    case 1 + x: pass\n",
    "match x:\n    case _.b: pass\n",
    "match x:\n    case A(a=b, c): pass\n",
    "match x:\n    case A(*a): pass\n",
    "match x:\n    case A(**a): pass\n",
    "match x:\n    case [*a.b]: pass\n",
    "match x:\n    case (*a): pass\n",
    "match x:\n    case *a: pass\n",
    "match x:\n    case {**rest, \"a\": 1}: pass\n",
    "match x:\n    case {**_}: pass\n",
    "match x:\n    case {a: 1}: pass\n",
    "match x:\n    case a = 1: pass\n",
    "match x:\n    case -a: pass\n",
    "match x:\n    pass\n",
    "match x:\n",
    "match x: case 1: pass\n",
    "match x\ncase = 1\n",
    "type X[*T: int] = int\n",
    "type X[**P: int] = int\n",
    "type X[] = int\n",
    "type X = yield\n",
    "type X\n",
    "def f[](): pass\n",
    "@\nx = [\n]\n",
    "if x:\n    if y:\n        pass\n  pass\n",
    "if x:\n        pass\n    pass\n    x = 1\n",
    "x = $\n",
    "x = `a`\n",
    "x = a ! b\n",
    "x = a <> b\n",
    "print 'hello'\n",
    "exec 'x'\n",
    "nonlocal\n",
    "async x = 1\n",
    "await = 1\n",
    "def f(): yield from\n",
};

TEST(ParserAcceptance, RejectsWhatPythonRejects) {
  for (const char* source : kRejected) EXPECT_FALSE(accepted(source)) << source;
}

// Snippets close to those above that Python 3.12 accepts (errors of later
// compilation stages included).
const char* const kAccepted[] = {
    "*a = 1\n",
    "x = *a\n",
    "return *a\n",
    "a, *b, *c = d\n",
    "() = x\n",
    "[] = x\n",
    "(a) = 1\n",
    "(x): int = 1\n",
    "with a as *b: pass\n",
    "with (a, b) as c: pass\n",
    "with (yield): pass\n",
    "with (): pass\n",
    "def f(a, a): pass\n",
    "def f(*a: *b): pass\n",
    "def f(a, /, b, *, c=1, d): pass\n",
    "nonlocal x\n",
    "break\n",
    "await x\n",
    "yield x\n",
    "f(*a, b=1, *c)\n",
    "f(**a, b=1)\n",
    "f(x := 1 for y in z)\n",
    "f[*a]\n",
    "f[x := 1]\n",
    "x = {(a := 1): 2}\n",
    "x = [y := 1 for x in z]\n",
    "try:\n    pass\nexcept:\n    pass\nexcept ValueError:\n    pass\n",
    "match x:\n    case -1j: pass\n",
    "match x:\n    case *a, *b: pass\n",
    "match x:\n    case f'x': pass\n",
    "match = 1\nmatch x:\n    case 1: pass\n",
    "case = 1\n",
    "type = 1\n",
    "type(x)\n",
    "type X[T: int, *U, **V] = int\n",
    "def f[T: (int, str), *Ts, **P](): pass\n",
    "x = f'{*a}'\n",
    "x = f'{yield}'\n",
    "x = f\"{\"nested\"}\"\n",
    "x = 1if x else 2\n",
    "x = '\\d'\n",
    "if x: pass\nelif y: pass\nelse: pass\n",
};

TEST(ParserAcceptance, AcceptsWhatPythonAccepts) {
  for (const char* source : kAccepted) EXPECT_TRUE(accepted(source)) << source;
}

struct PositionCase {
  std::string_view source;
  std::string_view dump;
};

// Whole dumps of small snippets; the offsets agree with Python's ast except
// for the generator expression that is a call's sole argument.
const PositionCase kPositions[] = {
    // Definitions start at their keyword, not at their decorators, and end
    // with their last block.
    {"@d\ndef f(): pass\n", "FunctionDef 3 16\nPass 12 16\nName 1 2\n"},
    {"@d\nasync def f():\n    pass\n", "AsyncFunctionDef 3 26\nPass 22 26\nName 1 2\n"},
    {"@d\nclass C: x = 1;\n", "ClassDef 3 18\nAssign 12 17\nName 12 13\nConstant 16 17\nName 1 2\n"},
    {"if a: b;\n", "If 0 8\nName 3 4\nExpr 6 7\nName 6 7\n"},
    // An elif is an If inside orelse, spanning to the end of the chain.
    {"if a: pass\nelif b: pass\nelse: pass\n",
     "If 0 34\nName 3 4\nPass 6 10\nIf 11 34\nName 16 17\nPass 19 23\nPass 30 34\n"},
    {"try: pass\nexcept E as e: pass\nfinally: pass\n",
     "Try 0 43\nPass 5 9\nExceptHandler 10 29\nName 17 18\nPass 25 29\nPass 39 43\n"},
    // Parentheses: a group keeps its inner range, a tuple includes them, an
    // expression built on a group starts at its '('.
    {"(a)\n", "Expr 0 3\nName 1 2\n"},
    {"(a, b)\n", "Expr 0 6\nTuple 0 6\nName 1 2\nName 4 5\n"},
    {"a, b,\n", "Expr 0 5\nTuple 0 5\nName 0 1\nName 3 4\n"},
    {"(a).b\n", "Expr 0 5\nAttribute 0 5\nName 1 2\n"},
    {"(a) + (b)\n", "Expr 0 9\nBinOp 0 9\nName 1 2\nName 7 8\n"},
    {"x[1:2, ::3]\n",
     "Expr 0 11\nSubscript 0 11\nName 0 1\nTuple 2 10\nSlice 2 5\nConstant 2 3\nConstant 4 5\nSlice 7 10\n"
     "Constant 9 10\n"},
    {"x[*a]\n", "Expr 0 5\nSubscript 0 5\nName 0 1\nTuple 2 4\nStarred 2 4\nName 3 4\n"},
    {"-1 ** 2\n", "Expr 0 7\nUnaryOp 0 7\nBinOp 1 7\nConstant 1 2\nConstant 6 7\n"},
    {"not not a\n", "Expr 0 9\nUnaryOp 0 9\nUnaryOp 4 9\nName 8 9\n"},
    {"a < b < c\n", "Expr 0 9\nCompare 0 9\nName 0 1\nName 4 5\nName 8 9\n"},
    {"a or b and c or d\n",
     "Expr 0 17\nBoolOp 0 17\nName 0 1\nBoolOp 5 12\nName 5 6\nName 11 12\nName 16 17\n"},
    {"f(a, *b, c=1, **d)\n",
     "Expr 0 18\nCall 0 18\nName 0 1\nName 2 3\nStarred 5 7\nName 6 7\nConstant 11 12\nName 16 17\n"},
    // The sole unparenthesized generator argument: element to last clause.
    {"f(x for x in y)\n", "Expr 0 15\nCall 0 15\nName 0 1\nGeneratorExp 2 14\nName 2 3\nName 8 9\nName 13 14\n"},
    {"f(x for x in (y) if z )\n",
     "Expr 0 23\nCall 0 23\nName 0 1\nGeneratorExp 2 21\nName 2 3\nName 8 9\nName 14 15\nName 20 21\n"},
    {"f((x for x in y))\n",
     "Expr 0 17\nCall 0 17\nName 0 1\nGeneratorExp 2 16\nName 3 4\nName 9 10\nName 14 15\n"},
    // Implicit concatenation is one node over all its parts.
    {"'a' 'b'\n", "Expr 0 7\nConstant 0 7\n"},
    {"'a' f'{b}'\n", "Expr 0 10\nJoinedStr 0 10\n"},
    // Offsets count bytes from the start of the file, a BOM included.
    {"\xEF\xBB\xBFx = 1\n", "Assign 3 8\nName 3 4\nConstant 7 8\n"},
    {"s = '\xC3\xA9'; t\n", "Assign 0 8\nName 0 1\nConstant 4 8\nExpr 10 11\nName 10 11\n"},
    {"x = 1\r\ny = (\r\n2)\r\n", "Assign 0 5\nName 0 1\nConstant 4 5\nAssign 7 16\nName 7 8\nConstant 14 15\n"},
    {"x = 1", "Assign 0 5\nName 0 1\nConstant 4 5\n"},
    {"", ""},
    {"match p:\n    case [1, *r] | {'k': _} as q if q: pass\n",
     "Match 0 52\nName 6 7\nMatchAs 18 41\nMatchOr 18 36\nMatchSequence 18 25\nMatchValue 19 20\nConstant 19 20\n"
     "MatchStar 22 24\nMatchMapping 28 36\nConstant 29 32\nMatchAs 34 35\nName 45 46\nPass 48 52\n"},
    {"type T[U: int] = U\n", "TypeAlias 0 18\nName 5 6\nName 10 13\nName 17 18\n"},
};

TEST(ParserPositions, MatchPython) {
  for (const auto& c : kPositions) EXPECT_EQ(dump(c.source), c.dump) << c.source;
}

// The value of the first statement, an expression statement or assignment.
const Expr* first_value(const Module& module) {
  const Stmt* s = module.body.front();
  if (auto* e = dyn<ExprStmt>(s)) return e->value;
  return s->as<Assign>().value;
}

struct ConstantCase {
  std::string_view source;
  ConstantKind kind;
  std::string_view text;
  double number;
};

const ConstantCase kConstants[] = {
    {"None", ConstantKind::None, "", 0},
    {"True", ConstantKind::True, "", 0},
    {"False", ConstantKind::False, "", 0},
    {"...", ConstantKind::Ellipsis, "", 0},
    {"'plain'", ConstantKind::Str, "plain", 0},
    {"'a' \"b\" '''c'''", ConstantKind::Str, "abc", 0},
    {"'tab\\there'", ConstantKind::Str, "tab\there", 0},
    {"r'\\d'", ConstantKind::Str, "\\d", 0},
    {"'\\N{EURO SIGN}'", ConstantKind::Str, "\xE2\x82\xAC", 0},
    {"u'x' 'y'", ConstantKind::Str, "xy", 0},
    {"b'\\x00\\xff' b'z'", ConstantKind::Bytes, std::string_view("\x00\xff" "z", 3), 0},
    {"'a\\\nb'", ConstantKind::Str, "ab", 0},
    {"0", ConstantKind::Int, "0", 0},
    {"00", ConstantKind::Int, "0", 0},
    {"1_000", ConstantKind::Int, "1000", 0},
    {"0x_ff", ConstantKind::Int, "255", 0},
    {"0o17", ConstantKind::Int, "15", 0},
    {"0b101", ConstantKind::Int, "5", 0},
    {"123456789012345678901234567890", ConstantKind::Int, "123456789012345678901234567890", 0},
    {"0xffffffffffffffffffff", ConstantKind::Int, "1208925819614629174706175", 0},
    {"1.5", ConstantKind::Float, "", 1.5},
    {"1e3", ConstantKind::Float, "", 1000.0},
    {"1_0.2_5", ConstantKind::Float, "", 10.25},
    {"2j", ConstantKind::Complex, "", 2.0},
    {"1.5J", ConstantKind::Complex, "", 1.5},
};

TEST(ParserConstants, DecodedValues) {
  for (const auto& c : kConstants) {
    Arena arena;
    auto module = parse_python(c.source, arena);
    ASSERT_TRUE(module) << c.source;
    auto* constant = dyn<Constant>(first_value(*module));
    ASSERT_NE(constant, nullptr) << c.source;
    EXPECT_EQ(constant->value_kind, c.kind) << c.source;
    EXPECT_EQ(constant->text, c.text) << c.source;
    EXPECT_EQ(constant->number, c.number) << c.source;
  }
}

// Pieces of an f-string: literal text as Str constants (adjacent literals
// and the text of a `=` field merged), fields as FormattedValue.
TEST(ParserConstants, FStringPieces) {
  Arena arena;
  auto module = parse_python("f'a{{{b!r:>{w}}}}c' 'd' f'{e=}'", arena);
  ASSERT_TRUE(module);
  auto& joined = first_value(*module)->as<JoinedStr>();
  ASSERT_EQ(joined.values.size(), 4u);
  EXPECT_EQ(joined.values[0]->as<Constant>().text, "a{");
  auto& field = joined.values[1]->as<FormattedValue>();
  EXPECT_EQ(field.value->as<Name>().id, "b");
  EXPECT_EQ(field.conversion, 'r');
  auto& spec = field.format_spec->as<JoinedStr>();
  ASSERT_EQ(spec.values.size(), 2u);
  EXPECT_EQ(spec.values[0]->as<Constant>().text, ">");
  EXPECT_EQ(spec.values[1]->as<FormattedValue>().value->as<Name>().id, "w");
  EXPECT_EQ(joined.values[2]->as<Constant>().text, "}cde=");
  auto& debug = joined.values[3]->as<FormattedValue>();
  EXPECT_EQ(debug.conversion, 'r');
  EXPECT_EQ(debug.format_spec, nullptr);
}

TEST(ParserFields, Parameters) {
  Arena arena;
  auto module = parse_python("def f(a, b=1, /, c=2, *d, e, f=3, **g): pass", arena);
  ASSERT_TRUE(module);
  const Arguments& args = *module->body[0]->as<FunctionDef>().args;
  ASSERT_EQ(args.posonlyargs.size(), 2u);
  EXPECT_EQ(args.posonlyargs[1].arg, "b");
  ASSERT_EQ(args.args.size(), 1u);
  EXPECT_EQ(args.args[0].arg, "c");
  ASSERT_NE(args.vararg, nullptr);
  EXPECT_EQ(args.vararg->arg, "d");
  ASSERT_EQ(args.kwonlyargs.size(), 2u);
  ASSERT_EQ(args.kw_defaults.size(), 2u);
  EXPECT_EQ(args.kw_defaults[0], nullptr);
  EXPECT_EQ(args.kw_defaults[1]->as<Constant>().text, "3");
  ASSERT_EQ(args.defaults.size(), 2u);
  EXPECT_EQ(args.defaults[0]->as<Constant>().text, "1");
  ASSERT_NE(args.kwarg, nullptr);
  EXPECT_EQ(args.kwarg->arg, "g");
  EXPECT_EQ(args.kwarg->start, 36u);
}

TEST(ParserFields, ImportsTargetsAndOperators) {
  Arena arena;
  auto module = parse_python(
      "import a . b as c\n"
      "from ...m.n import (x as y, z)\n"
      "x: int = 1\n"
      "(y): int\n"
      "del a, b[0]\n"
      "v = a not in b is not c\n"
      "match p:\n    case C(1, k=2): pass\n",
      arena);
  ASSERT_TRUE(module);
  const auto& body = module->body;
  auto& imp = body[0]->as<Import>();
  EXPECT_EQ(imp.names[0].name, "a.b");
  EXPECT_EQ(imp.names[0].asname, "c");
  EXPECT_EQ(imp.names[0].start, 7u);
  EXPECT_EQ(imp.names[0].end, 17u);
  auto& from = body[1]->as<ImportFrom>();
  EXPECT_EQ(from.level, 3u);
  EXPECT_EQ(from.module, "m.n");
  ASSERT_EQ(from.names.size(), 2u);
  EXPECT_EQ(from.names[0].asname, "y");
  EXPECT_TRUE(body[2]->as<AnnAssign>().simple);
  EXPECT_FALSE(body[3]->as<AnnAssign>().simple);
  EXPECT_EQ(body[2]->as<AnnAssign>().target->as<Name>().ctx, ExprContext::Store);
  auto& del = body[4]->as<Delete>();
  ASSERT_EQ(del.targets.size(), 2u);
  EXPECT_EQ(del.targets[0]->as<Name>().ctx, ExprContext::Del);
  EXPECT_EQ(del.targets[1]->as<Subscript>().ctx, ExprContext::Del);
  EXPECT_EQ(del.targets[1]->as<Subscript>().value->as<Name>().ctx, ExprContext::Load);
  auto& cmp = body[5]->as<Assign>().value->as<Compare>();
  ASSERT_EQ(cmp.ops.size(), 2u);
  EXPECT_EQ(cmp.ops[0], CmpOperator::NotIn);
  EXPECT_EQ(cmp.ops[1], CmpOperator::IsNot);
  auto& cls = body[6]->as<Match>().cases[0].pattern->as<MatchClass>();
  EXPECT_EQ(cls.patterns.size(), 1u);
  ASSERT_EQ(cls.kwd_attrs.size(), 1u);
  EXPECT_EQ(cls.kwd_attrs[0], "k");
  EXPECT_EQ(cls.kwd_patterns.size(), 1u);
}

TEST(ParserKinds, DowncastsFollowTheKind) {
  Arena arena;
  auto module = parse_python("async def f(): pass\nfor x in y: pass\n", arena);
  ASSERT_TRUE(module);
  const Stmt* def = module->body[0];
  EXPECT_NE(dyn<AnyFunctionDef>(def), nullptr);
  EXPECT_NE(dyn<AsyncFunctionDef>(def), nullptr);
  EXPECT_EQ(dyn<FunctionDef>(def), nullptr);
  EXPECT_NE(dyn<AnyFor>(module->body[1]), nullptr);
  EXPECT_EQ(dyn<AsyncFor>(module->body[1]), nullptr);
  EXPECT_EQ(dyn<If>(static_cast<const Stmt*>(nullptr)), nullptr);
  EXPECT_EQ(kind_name(def->kind), "AsyncFunctionDef");
}

std::string repeat(std::string_view piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

// Deep input is refused with an error instead of exhausting the stack;
// nesting Python itself accepts still parses.
TEST(ParserLimits, DeepNesting) {
  EXPECT_FALSE(accepted("x = " + repeat("(", 100000) + "1" + repeat(")", 100000) + "\n"));
  EXPECT_FALSE(accepted("x = " + repeat("[", 100000) + "\n"));
  EXPECT_TRUE(accepted("x = " + repeat("(", 200) + "1" + repeat(")", 200) + "\n"));
  EXPECT_TRUE(accepted("x = " + repeat("-", 2000) + "1\n"));
  EXPECT_FALSE(accepted("x = " + repeat("-", 100000) + "1\n"));
  EXPECT_FALSE(accepted("x = " + repeat("not ", 100000) + "a\n"));
  EXPECT_TRUE(accepted("x = " + repeat("lambda: ", 1000) + "1\n"));
  EXPECT_FALSE(accepted("x = " + repeat("lambda: ", 100000) + "1\n"));
  EXPECT_FALSE(accepted("x = " + repeat("a ** ", 100000) + "b\n"));
  EXPECT_TRUE(accepted("x = 1" + repeat(" + 1", 2000) + "\n"));
  EXPECT_FALSE(accepted("x = 1" + repeat(" + 1", 100000) + "\n"));
  EXPECT_FALSE(accepted("x = a" + repeat(".b", 100000) + "\n"));
  EXPECT_TRUE(accepted("if x: pass\n" + repeat("elif x: pass\n", 2000)));
  EXPECT_FALSE(accepted("if x: pass\n" + repeat("elif x: pass\n", 100000)));
  EXPECT_TRUE(accepted("x = " + repeat("a < ", 100000) + "b\n"));
}

// What the depth limit allows parses on a work stack; on a stack too small
// for it, the nesting is refused before the stack runs out.
TEST(ParserLimits, NestingBoundedByTheStackLeft) {
  const std::string deepest = "x = " + repeat("lambda a=", 2990) + "1" + repeat(": 1", 2990) + "\n";
  const std::string shallow = "x = " + repeat("lambda a=", 50) + "1" + repeat(": 1", 50) + "\n";
  std::string on_work_stack = "not run";
  WorkThread([&] {
    Arena arena;
    on_work_stack = parse_python(deepest, arena) ? "parsed" : "refused";
  }).join();
  EXPECT_EQ(on_work_stack, "parsed");
  std::string deepest_error, shallow_parsed = "not run";
  WorkThread(
      [&] {
        Arena arena;
        if (auto module = parse_python(deepest, arena); !module) deepest_error = module.error().message;
        shallow_parsed = parse_python(shallow, arena) ? "parsed" : "refused";
      },
      std::size_t{256} << 10)
      .join();
  EXPECT_EQ(deepest_error, "too many nested expressions or blocks");
  EXPECT_EQ(shallow_parsed, "parsed");
}

struct ParseErrorCase {
  std::string_view source;
  std::string_view error;  // after "failed to parse Python source: "
};

// Messages as quarn words them, positions where Python 3.12 puts them.
const ParseErrorCase kParseErrors[] = {
    {"x = 1\nf() = 2\n", "invalid assignment target at byte offset 6"},
    {"x = 1 +\n", "invalid syntax at byte offset 7"},
    {"x = (1,\n", "'(' was never closed at byte offset 4"},
    // A backslash joins one line end only: a blank line after it ends the
    // logical line.
    {"x = 1 + \\\n\n2\n", "invalid syntax at byte offset 10"},
    {"x = 1 + \\\r\n\r\n2\r\n", "invalid syntax at byte offset 11"},
    {"x = 1 + \\\r\r2\r", "invalid syntax at byte offset 10"},
    {"x = 1 + \\\n\n", "invalid syntax at byte offset 10"},
    {"x = 1 + \\\r\n\r\n", "invalid syntax at byte offset 11"},
    {"x = 1 + \\\n   \n2\n", "invalid syntax at byte offset 13"},
    {"x = 1 + \\\r\n   \r\n2\r\n", "invalid syntax at byte offset 14"},
    {"x = 1 + \\\n\\\n\n2\n", "invalid syntax at byte offset 12"},
    {"x = 1 + \\\r\n\\\r\n\r\n2\r\n", "invalid syntax at byte offset 14"},
    {"if x:\n    y = 1 + \\\n\n    2\n", "invalid syntax at byte offset 20"},
    {"if x:\r\n    y = 1 + \\\r\n\r\n    2\r\n", "invalid syntax at byte offset 22"},
    {"if x:\r    y = 1 + \\\r\r    2\r", "invalid syntax at byte offset 20"},
    {"def f():\r\n    x = 1 + \\\r\n\r\n", "invalid syntax at byte offset 25"},
    {"x = 'a\\\n\nb'\n", "unterminated string literal (detected at line 2) at byte offset 4"},
    {"x = 'a\\\r\n\r\nb'\r\n", "unterminated string literal (detected at line 2) at byte offset 4"},
    {"x = f'a\\\r\n\r\nb'\r\n", "unterminated f-string literal (detected at line 2) at byte offset 4"},
    // The line end after a comment starts at the comment.
    {"x = 1 + # c\n", "invalid syntax at byte offset 8"},
    {"x = 1 +\t# c\r\n", "invalid syntax at byte offset 8"},
    {"x = 1 + # c", "invalid syntax at byte offset 8"},
    {"x = 1 + \\\n# c\n2\n", "invalid syntax at byte offset 10"},
    {"x = 1 + \\\r\n  # c", "invalid syntax at byte offset 13"},
    {"if x:\r\n    y = 1 + # c\r\nz\r\n", "invalid syntax at byte offset 19"},
};

TEST(ParseModule, ErrorMessageNamesTheOffset) {
  for (const ParseErrorCase& c : kParseErrors) {
    auto parsed = parse_module("bad.py", std::string(c.source));
    ASSERT_FALSE(parsed) << c.source;
    EXPECT_EQ(parsed.error().render(), "failed to parse Python source: " + std::string(c.error)) << c.source;
  }
}

TEST(ParseModule, OwnsCopiesOfPathAndText) {
  std::string text = "def f():\n    return 1\n";
  auto parsed = parse_module("pkg/mod.py", text);
  ASSERT_TRUE(parsed);
  text.assign(text.size(), '#');
  ParsedModule moved = std::move(*parsed);
  EXPECT_EQ(moved.path, "pkg/mod.py");
  EXPECT_EQ(moved.source, "def f():\n    return 1\n");
  ASSERT_EQ(moved.module.body.size(), 1u);
  EXPECT_EQ(moved.module.body[0]->as<FunctionDef>().name, "f");
}

}  // namespace
}  // namespace quarn::py

namespace quarn {
namespace {

struct OffsetCase {
  std::string_view text;
  std::uint32_t offset;
  std::uint64_t line;
  std::uint64_t column;
};

const OffsetCase kOffsets[] = {
    {"", 0, 1, 1},
    {"", 7, 1, 1},
    {"ab\ncd", 0, 1, 1},
    {"ab\ncd", 2, 1, 3},  // the "\n" belongs to the line it ends
    {"ab\ncd", 3, 2, 1},
    {"ab\ncd", 4, 2, 2},
    {"ab\ncd", 5, 2, 3},
    {"ab\ncd", 99, 2, 3},    // clamped to the end
    {"\xC3\xA9=", 1, 1, 1},  // inside a character: back to its first byte
    {"\xC3\xA9=", 2, 1, 3},
    {"\xE2\x82\xAC\n\xF0\x9F\x98\x80x", 6, 2, 1},
    {"\xE2\x82\xAC\n\xF0\x9F\x98\x80x", 7, 2, 1},
    {"\xE2\x82\xAC\n\xF0\x9F\x98\x80x", 8, 2, 5},
    {"ab\r\ncd", 2, 1, 3},  // "\r" is an ordinary byte
    {"ab\r\ncd", 4, 2, 1},
    {"a\rb", 2, 1, 3},  // a lone "\r" starts no line
    {"\n\n", 1, 2, 1},
    {"\n\n", 2, 3, 1},
};

TEST(OffsetToLineCol, Cases) {
  for (const auto& c : kOffsets) {
    auto at = offset_to_line_col(c.text, c.offset);
    EXPECT_EQ(at.line, c.line) << c.text << " @" << c.offset;
    EXPECT_EQ(at.column, c.column) << c.text << " @" << c.offset;
  }
}

// Lines of every length up to a few blocks of the index, line feeds at
// every position of a word, and a multi-byte character across each block
// boundary.
std::string many_lines() {
  std::string text;
  for (std::size_t length = 0; text.size() < 6000; length = (length * 7 + 3) % 700) {
    text.append(length, 'x');
    text += '\n';
    if (text.size() % 256 > 250) text += "\xE2\x82\xAC";
  }
  return text;
}

TEST(OffsetToLineCol, LineIndexGivesTheSamePairs) {
  const std::string long_text = many_lines();
  const std::string_view texts[] = {
      "", "x", "ab\ncd", "\n\n\n", "a\r\nb\rc\n", "\xC3\xA9\n\xE2\x82\xAC\xF0\x9F\x98\x80\n", "\x80\x80\n\x80",
      long_text};
  for (std::string_view text : texts) {
    LineIndex index(text);
    for (std::uint32_t offset = 0; offset <= text.size() + 2; ++offset) {
      auto scanned = offset_to_line_col(text, offset);
      auto indexed = index.line_col(offset);
      EXPECT_EQ(indexed.line, scanned.line) << text << " @" << offset;
      EXPECT_EQ(indexed.column, scanned.column) << text << " @" << offset;
    }
  }
}

}  // namespace
}  // namespace quarn
