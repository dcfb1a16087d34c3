#include "reporters/human.h"

#include <gtest/gtest.h>

#include "reporters/support.h"

namespace quarn {
namespace {

TEST(HumanReport, NoFindings) { EXPECT_EQ(render_human({}), "No issues found.\n"); }

struct HumanCase {
  const char* name;
  Finding finding;
  std::string expected;
};

TEST(HumanReport, RendersEachFinding) {
  const HumanCase cases[] = {
      {"built-in finding with its texts",
       test::builtin("QN001", "Function `f` has 60 lines (max 50)", "src/app.py", 12, 1),
       "[low] QN001 src/app.py:12:1 \u2014 Function `f` has 60 lines (max 50)\n"
       "  explanation: Long functions are harder to test, review, and reuse.\n"
       "  remediation: Extract helpers or split responsibilities into smaller functions.\n"},
      {"external finding takes one line",
       test::external("E501", "Line too long (99 > 88)", "a.py", 3, 89, Severity::High),
       "[high] EXT-RUFF-E501 a.py:3:89 \u2014 Line too long (99 > 88)\n"},
      {"invalid path byte becomes U+FFFD", test::external("F401", "m", "bad\xff.py", 1, 1, Severity::Low),
       "[low] EXT-RUFF-F401 bad\uFFFD.py:1:1 \u2014 m\n"},
      {"truncated sequence becomes one U+FFFD", test::external("F401", "m", "x\xe2\x82y.py", 1, 1, Severity::Low),
       "[low] EXT-RUFF-F401 x\uFFFDy.py:1:1 \u2014 m\n"},
      {"message written as is but for control characters",
       test::external("X1", "tab\there \u00e9", "a.py", 18446744073709551615ull, 7, Severity::Critical),
       "[critical] EXT-RUFF-X1 a.py:18446744073709551615:7 \u2014 tab\\there \u00e9\n"},
      {"C0, DEL and C1 controls escaped, U+00A0 kept",
       test::external("X2", "\x1b[31mred\x1b[0m\r\n\x01\x7f\u0080\u009b\u009f\u00a0\u2028", "a.py", 1, 1,
                      Severity::Low),
       "[low] EXT-RUFF-X2 a.py:1:1 \u2014 \\x1b[31mred\\x1b[0m\\r\\n\\x01\\x7f\\x80\\x9b\\x9f\u00a0\u2028\n"},
      {"a control at the end of each eight bytes",
       test::external("X4", "0123456\x1f" "89abcde\x7f" "0123456\u00e9x", "a.py", 1, 1, Severity::Low),
       "[low] EXT-RUFF-X4 a.py:1:1 \u2014 0123456\\x1f89abcde\\x7f0123456\u00e9x\n"},
      {"a lone continuation byte is replaced, not escaped as a C1 control",
       test::external("X5", "a\x80z\xc2\x80", "a.py", 1, 1, Severity::Low),
       "[low] EXT-RUFF-X5 a.py:1:1 \u2014 a\uFFFDz\\x80\n"},
      {"controls in the path escaped, invalid bytes replaced",
       test::external("X3", "m", "d\x1b[2J/\u0085\xff\t.py", 1, 1, Severity::Low),
       "[low] EXT-RUFF-X3 d\\x1b[2J/\\x85\uFFFD\\t.py:1:1 \u2014 m\n"},
      {"explanation and remediation escaped too",
       [] {
         Finding f = test::builtin("QN001", "one\ntwo", "a.py", 1, 1);
         f.explanation = "why\x1b]0;title\x07";
         f.remediation = "fix\x9b";
         return f;
       }(),
       "[low] QN001 a.py:1:1 \u2014 one\\ntwo\n"
       "  explanation: why\\x1b]0;title\\x07\n"
       "  remediation: fix\uFFFD\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(render_human(std::span<const Finding>(&c.finding, 1)), c.expected) << c.name;
  }
}

TEST(HumanReport, KeepsTheGivenOrder) {
  std::vector<Finding> findings;
  findings.push_back(test::external("B1", "second", "z.py", 9, 1, Severity::Medium));
  findings.push_back(test::external("A1", "first", "a.py", 1, 1, Severity::Medium));
  EXPECT_EQ(render_human(findings),
            "[medium] EXT-RUFF-B1 z.py:9:1 \u2014 second\n"
            "[medium] EXT-RUFF-A1 a.py:1:1 \u2014 first\n");
}

}  // namespace
}  // namespace quarn
