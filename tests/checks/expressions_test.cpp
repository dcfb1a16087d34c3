#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "checks/catalog_detectors/number_literal.h"
#include "detector_support.h"

namespace quarn {
namespace {

using test::detector_findings;
using test::DetectorEntry;
using Findings = std::vector<std::string>;

using Case = test::DetectorCase;

class ExpressionDetectors : public testing::TestWithParam<Case> {};

TEST_P(ExpressionDetectors, ReportExactly) {
  const Case& c = GetParam();
  // The boolean-operator limit is the catalog's payload.
  EXPECT_EQ(detector_findings(c.id, c.detect, c.source), c.expected) << c.source;
  EXPECT_EQ(test::findings_of(c.id, c.source), c.expected) << "run on:\n" << c.source;
}

constexpr auto kBool = detect_complex_boolean_expression;
constexpr auto kMagic = detect_magic_number;
constexpr auto kEval = detect_dangerous_eval_exec;
constexpr auto kLen = detect_length_comparison;
constexpr auto kPrint = detect_print_debugging;
constexpr auto kBoolCompare = detect_redundant_boolean_comparison;
constexpr auto kMap = detect_identity_map;
constexpr auto kIfExp = detect_simplifiable_if_expression;

const Case kCases[] = {
    // Boolean operators: one node per chain, mixed operators nest.
    {"BoolThreeOperators", "QN004", kBool, "x = a or b or c or d\n", {}},
    {"BoolFourOperators", "QN004", kBool, "x = a or b or c or d or e\n", {"1:5 boolean expression has 4 operators (max 3)"}},
    {"BoolInnerNodesOnly", "QN004", kBool, "if (a or b or c or d or e) and (f or g or h or i or j):\n    pass\n",
     {"1:5 boolean expression has 4 operators (max 3)", "1:33 boolean expression has 4 operators (max 3)"}},
    {"BoolMixedOperatorsCountSeparately", "QN004", kBool, "x = a and b or c and d or e and f or g\n", {}},
    {"BoolNestedBothReported", "QN004", kBool,
     "def f():\n    return a and b and c and d and (e or f or g or h or i)\n",
     {"2:12 boolean expression has 4 operators (max 3)", "2:37 boolean expression has 4 operators (max 3)"}},
    {"BoolInsideFString", "QN004", kBool, "x = f\"{a or b or c or d or e}\"\n", {}},

    // Magic numbers.
    {"MagicFloat", "QN006", kMagic, "x = 3.14\n", {"1:5 magic numeric literal `3.14`"}},
    {"MagicAllowed", "QN006", kMagic, "x = 1.0\ny = 10\nz = 0\nw = 2.0\nv = 0.0\nu = 10.0\n", {}},
    {"MagicExponentRenderedPlain", "QN006", kMagic, "x = 1e3\n", {"1:5 magic numeric literal `1000`"}},
    {"MagicSmallExponent", "QN006", kMagic, "x = 1e-05\n", {"1:5 magic numeric literal `0.00001`"}},
    {"MagicHex", "QN006", kMagic, "x = 0x1F\n", {"1:5 magic numeric literal `31`"}},
    {"MagicUnderscores", "QN006", kMagic, "x = 1_000\n", {"1:5 magic numeric literal `1000`"}},
    {"MagicInfinite", "QN006", kMagic, "x = 1e400\n", {}},
    {"MagicComplex", "QN006", kMagic, "z = 2j\nw = 3.5j\n", {}},
    {"MagicBooleansAndStrings", "QN006", kMagic, "x = True\ny = \"42\"\nz = None\n", {}},
    {"MagicDefaultUnseenBodySeen", "QN006", kMagic, "def f(t=30):\n    t = 30\n", {"2:9 magic numeric literal `30`"}},
    {"MagicUnaryMinus", "QN006", kMagic, "x = -5\n", {"1:6 magic numeric literal `5`"}},
    {"MagicEverywhereReached", "QN006", kMagic,
     "@retry(3)\nclass A:\n    LIMIT = 7\n    def m(self, x: 9 = 8):\n        return x[4] > 5\n",
     {"1:8 magic numeric literal `3`", "3:13 magic numeric literal `7`", "5:18 magic numeric literal `4`",
      "5:23 magic numeric literal `5`"}},
    {"MagicInMatchCase", "QN006", kMagic, "match p:\n    case Point(3, y=4):\n        q = 5\n",
     {"2:21 magic numeric literal `4`", "3:13 magic numeric literal `5`"}},
    {"MagicHugeInteger", "QN006", kMagic, "x = 123456789012345678901234567890\n",
     {"1:5 magic numeric literal `123456789012345678901234567890`"}},
    {"MagicLeadingDot", "QN006", kMagic, "x = .5\n", {"1:5 magic numeric literal `0.5`"}},
    {"MagicInFStringUnseen", "QN006", kMagic, "x = f\"{y + 42}\"\n", {}},

    // eval and exec.
    {"EvalAndExec", "QN407", kEval, "eval(s)\nexec(code, g)\n",
     {"1:1 dangerous dynamic execution via eval()", "2:1 dangerous dynamic execution via exec()"}},
    {"EvalLookalikes", "QN407", kEval, "builtins.eval(s)\nevaluate(s)\ncompile(s, \"f\", \"exec\")\nEval(s)\n", {}},
    {"EvalNestedInMethod", "QN407", kEval, "class A:\n    def m(self):\n        return eval(eval(x))\n",
     {"3:16 dangerous dynamic execution via eval()", "3:21 dangerous dynamic execution via eval()"}},

    // Length comparisons.
    {"LenReported", "QN414", kLen,
     "len(x) == 0\nlen(x) > 0\nlen(x) >= 1\nlen(x) < 1\nlen(x) == 1\nlen(x) <= 0.0\n",
     {"1:1 len(...) comparison can often be simplified to truthiness check",
      "2:1 len(...) comparison can often be simplified to truthiness check",
      "3:1 len(...) comparison can often be simplified to truthiness check",
      "4:1 len(...) comparison can often be simplified to truthiness check",
      "5:1 len(...) comparison can often be simplified to truthiness check",
      "6:1 len(...) comparison can often be simplified to truthiness check"}},
    {"LenNotReported", "QN414", kLen,
     "len(x) != 0\n0 == len(x)\nlen(x) == 2\nlen(a) == len(b)\nlen(x) is 0\nlen(x) in 1\nsize(x) == 0\n", {}},
    {"LenTwoCompares", "QN414", kLen, "if len(items) > 0 and len(other) == 0:\n    pass\n",
     {"1:4 len(...) comparison can often be simplified to truthiness check",
      "1:23 len(...) comparison can often be simplified to truthiness check"}},
    {"LenChainedOnePerNode", "QN414", kLen, "0 < len(x) == 1 != 0\n",
     {"1:1 len(...) comparison can often be simplified to truthiness check"}},

    // print.
    {"PrintNested", "QN405", kPrint, "print(print(x))\n", {"1:1 print() used for debugging", "1:7 print() used for debugging"}},
    {"PrintAttributeNotMatched", "QN405", kPrint, "logger.print(x)\n", {}},
    {"PrintInMainBlock", "QN405", kPrint, "if __name__ == \"__main__\":\n    print(1)\n", {"2:5 print() used for debugging"}},

    // Comparisons with True and False.
    {"BoolCompare", "QN304", kBoolCompare, "if flag == True:\n    pass\nif x is False:\n    pass\n",
     {"1:4 redundant comparison to True/False constant", "3:4 redundant comparison to True/False constant"}},
    {"BoolCompareChainOnce", "QN304", kBoolCompare, "if True == flag == False:\n    pass\n",
     {"1:4 redundant comparison to True/False constant"}},
    {"BoolCompareNoneAndNumbers", "QN304", kBoolCompare, "x is None\nx == 1\nx in (True,)\n", {}},
    {"BoolCompareAnyOperator", "QN304", kBoolCompare, "x in True\n", {"1:1 redundant comparison to True/False constant"}},

    // Identity map.
    {"IdentityMap", "QN311", kMap, "ys = map(lambda x: x, xs)\n",
     {"1:6 map(lambda x: x, ...) is an identity; use list(...) or copy directly"}},
    {"IdentityMapAnyNameNoOtherArgs", "QN311", kMap, "map(lambda item: item, xs)\nmap(lambda x=1: x)\n",
     {"1:1 map(lambda x: x, ...) is an identity; use list(...) or copy directly",
      "2:1 map(lambda x: x, ...) is an identity; use list(...) or copy directly"}},
    {"IdentityMapNotMatched", "QN311", kMap,
     "map(lambda x: x + 1, xs)\nmap(lambda x, y: x, xs)\nmap(str, xs)\nmap(lambda *x: x, xs)\n"
     "map(lambda x, /: x, xs)\nmap(xs, lambda x: x)\nmap(f=lambda x: x)\nfoo.map(lambda x: x, xs)\n",
     {}},

    // If-expressions with boolean branches.
    {"IfExpAtExpressionStart", "QN305", kIfExp, "y = True if a else False\n",
     {"1:5 if-expression with True/False branches can simplify to the condition"}},
    {"IfExpReversed", "QN305", kIfExp, "y = (False if a else True)\n",
     {"1:6 if-expression with True/False branches can simplify to the condition"}},
    {"IfExpSameOrNonBoolean", "QN305", kIfExp, "y = True if a else True\nz = 1 if a else 0\nw = None if a else False\n", {}},
};

INSTANTIATE_TEST_SUITE_P(All, ExpressionDetectors, testing::ValuesIn(kCases),
                         test::CaseName());

TEST(FloatToPlainText, ShortestRoundTripWithoutExponent) {
  const std::pair<double, std::string> cases[] = {
      {1.0, "1"},
      {2.5, "2.5"},
      {1e3, "1000"},
      {1e-5, "0.00001"},
      {0.1, "0.1"},
      {123.456, "123.456"},
      {0.0, "0"},
      {1e16, "10000000000000000"},
      {1e23, "100000000000000000000000"},
      {5e-324, "0." + std::string(323, '0') + "5"},
      {1.7976931348623157e308, "17976931348623157" + std::string(292, '0')},
      {-2.5, "-2.5"},
      {std::numeric_limits<double>::infinity(), "inf"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(float_to_plain_text(value), text) << value;
}

}  // namespace
}  // namespace quarn
