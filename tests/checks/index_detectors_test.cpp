#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "checks/detector_support.h"

namespace quarn {
namespace {

using test::findings_of;
using test::run_check;
using Lines = std::vector<std::string>;

constexpr std::string_view kStrict = "[profile]\nname = \"strict\"\n";

// The strict profile plus one check table.
std::string strict_with(std::string_view check_table) { return fmt::format("{}{}", kStrict, check_table); }

// A function whose body is `lines` assignment statements.
std::string function_of_lines(int lines) {
  std::string source = "def f():\n";
  for (int i = 0; i < lines; ++i) source += fmt::format("    x{} = {}\n", i, i);
  return source;
}

std::string function_of_arguments(std::string_view name, int count) {
  std::string params;
  for (int i = 0; i < count; ++i) params += fmt::format("{}a{}", i == 0 ? "" : ", ", i);
  return fmt::format("def {}({}):\n    pass\n", name, params);
}

// A function with `depth` nested ifs.
std::string function_of_depth(int depth) {
  std::string source = "def f():\n";
  for (int i = 0; i < depth; ++i) source += fmt::format("{}if c{}:\n", std::string(4 * (i + 1), ' '), i);
  source += std::string(4 * (depth + 1), ' ') + "pass\n";
  return source;
}

std::string class_of_methods(int count) {
  std::string source = "\n@decorated\nclass C:\n";
  for (int i = 0; i < count; ++i) source += fmt::format("    def m{}(self): pass\n", i);
  return source;
}

struct Case {
  std::string_view name;
  std::string_view id;
  std::string source;
  Lines expected;
  std::string toml = {};
  std::string path = "snippet.py";
};

void expect_cases(const std::vector<Case>& cases) {
  for (const auto& c : cases) {
    EXPECT_EQ(findings_of(c.id, c.source, c.toml, c.path), c.expected) << c.name << " (" << c.id << ")";
  }
}

TEST(IndexDetectors, MetricThresholds) {
  const std::vector<Case> cases = {
      {"exactly max_lines", "QN001", function_of_lines(50), {}},
      {"one over max_lines", "QN001", function_of_lines(51), {"1:1 function `f` spans ~51 lines (max 50)"}},
      {"configured max_lines", "QN001", function_of_lines(3), {"1:1 function `f` spans ~3 lines (max 2)"},
       strict_with("[checks.QN001]\nmax_lines = 2\n")},
      {"larger configured max_lines", "QN001", function_of_lines(51), {},
       strict_with("[checks.QN001]\nmax_lines = 60\n")},
      {"max_lines 0 reports every counted body", "QN001",
       "def f(): pass\ndef g():\n    def h():\n        return 1\n",
       {"1:1 function `f` spans ~1 lines (max 0)", "3:5 function `h` spans ~1 lines (max 0)"},
       strict_with("[checks.QN001]\nmax_lines = 0\n")},
      {"exactly max_arguments", "QN002", function_of_arguments("f", 5), {}},
      {"six arguments: QN002", "QN002", function_of_arguments("f", 6), {"1:1 function `f` has 6 arguments (max 5)"}},
      {"six arguments: not QN307", "QN307", function_of_arguments("f", 6), {}},
      {"eight arguments: QN002", "QN002", function_of_arguments("f", 8), {"1:1 function `f` has 8 arguments (max 5)"}},
      {"eight arguments: QN307", "QN307", function_of_arguments("f", 8), {"1:1 function `f` has 8 arguments (max 7)"}},
      {"configured max_arguments", "QN307", function_of_arguments("f", 4), {"1:1 function `f` has 4 arguments (max 3)"},
       strict_with("[checks.QN307]\nmax_arguments = 3\n")},
      {"methods and nested functions in pre-order", "QN002",
       "class C:\n    def m(self, a, b, c, d, e):\n        def inner(a, b, c, d, e, f): pass\n"
       "def g(*a, **k): pass\n",
       {"2:5 function `m` has 6 arguments (max 5)", "3:9 function `inner` has 6 arguments (max 5)"}},
      {"exactly max_depth", "QN003", function_of_depth(3), {}},
      {"one over max_depth", "QN003", function_of_depth(4),
       {"1:1 function `f` has conditional nesting depth 4 (max 3)"}},
      {"configured max_depth", "QN003", function_of_depth(2),
       {"1:1 function `f` has conditional nesting depth 2 (max 1)"}, strict_with("[checks.QN003]\nmax_depth = 1\n")},
      {"exactly max_methods", "QN201", class_of_methods(15), {}},
      {"one over max_methods, at the class keyword", "QN201", class_of_methods(16),
       {"3:1 class `C` defines 16 methods (max 15)"}},
      {"configured max_methods", "QN201", class_of_methods(3), {"3:1 class `C` defines 3 methods (max 2)"},
       strict_with("[checks.QN201]\nmax_methods = 2\n")},
  };
  expect_cases(cases);
}

TEST(IndexDetectors, TodoWithoutContext) {
  const std::vector<Case> cases = {
      {"plain todo", "QN010", "x = 1  # todo fix this\n", {"1:8 TODO comment without owner/context (use TODO(owner): ...)"}},
      {"owner in parentheses", "QN010", "# TODO(bob): fix\n", {}},
      {"colon", "QN010", "# todo: fix\n", {}},
      {"bracket", "QN010", "# TODO[123] fix\n", {}},
      {"context anywhere in the comment", "QN010", "# see TODO, owner in TODO: list\n", {}},
      {"inside a word", "QN010", "# mastodon client\n", {"1:1 TODO comment without owner/context (use TODO(owner): ...)"}},
      {"no todo", "QN010", "# nothing here\nx = 1\n", {}},
      {"todo before the comment", "QN010", "TODO = 1  # TODO: later\nx = todo  # fix\n", {}},
      {"one per comment line, in order", "QN010", "# TODO a\nx = 1\n    # ToDo b\n",
       {"1:1 TODO comment without owner/context (use TODO(owner): ...)",
        "3:5 TODO comment without owner/context (use TODO(owner): ...)"}},
  };
  expect_cases(cases);
}

TEST(IndexDetectors, LinePhrases) {
  const std::vector<Case> cases = {
      {"column of the match", "QN011", "x = 1  # This Function is odd\n", {"1:10 matches pattern `this function`"}},
      {"first phrase of the list wins", "QN011", "# this module has this function\n",
       {"1:19 matches pattern `this function`"}},
      {"inside a docstring", "QN011", "def f():\n    \"\"\"This module helps.\"\"\"\n",
       {"2:8 matches pattern `this module`"}},
      {"one finding per line", "QN012", "# boilerplate boilerplate\n# AUTO-GENERATED\n",
       {"1:3 matches pattern `boilerplate`", "2:3 matches pattern `auto-generated`"}},
      {"quote phrases", "QN103", "X = \"a\"\ny = 'b'\nz = 1\n",
       {"1:2 matches pattern ` = \"`", "2:2 matches pattern ` = '`"}},
      {"def prefix", "QN107", "def _private(): pass\n", {"1:1 matches pattern `def _`"}},
      {"crlf endings", "QN108", "x = 1\r\nclass UserManager: pass\r\n", {"2:11 matches pattern `manager`"}},
      {"last line without newline", "QN204", "a = b\nreturn_value = other.x", {"2:16 matches pattern `other.`"}},
      {"call phrases", "QN210", "y = Wrapper(x)\n", {"1:5 matches pattern `wrapper(`"}},
  };
  expect_cases(cases);
}

TEST(IndexDetectors, CommentPhrases) {
  const std::vector<Case> cases = {
      {"placed at the comment", "QN013", "x = 1  # Step 1: load\n", {"1:8 matches pattern `step 1`"}},
      {"first phrase of the list wins", "QN013", "# step 3 after step 2\n", {"1:1 matches pattern `step 2`"}},
      {"code outside comments is ignored", "QN014", "now_we = 1\n", {}},
      {"narration", "QN014", "# Then we return\n# now we loop\n",
       {"1:1 matches pattern `then we`", "2:1 matches pattern `now we`"}},
      {"obvious comment", "QN015", "x += 1  # increment x\n", {"1:9 matches pattern `increment x`"}},
      {"hash inside a string starts the comment", "QN503", "s = \"# in this step\"\n",
       {"1:6 matches pattern `in this step`"}},
  };
  expect_cases(cases);
}

TEST(IndexDetectors, ModuleDocstring) {
  const Lines missing = {"1:1 module is missing a top-level docstring"};
  const std::vector<Case> cases = {
      {"triple-quoted string first", "QN007", "\"\"\"Module.\"\"\"\nimport os\n", {}},
      {"concatenated string", "QN007", "'a' 'b'\n", {}},
      {"comment before the docstring", "QN007", "# header\n'doc'\n", {}},
      {"import before the string", "QN007", "import os\n\"\"\"Late.\"\"\"\n", missing},
      {"bytes", "QN007", "b'doc'\n", missing},
      {"f-string", "QN007", "f'doc'\n", missing},
      {"empty file", "QN007", "", missing},
      {"only comments", "QN007", "# a\n# b\n", missing},
  };
  expect_cases(cases);
}

TEST(IndexDetectors, FunctionDocstrings) {
  const std::vector<Case> cases = {
      {"every def counts", "QN008",
       "def f():\n    'doc'\nclass C:\n    def __init__(self):\n        pass\n    async def _g(self):\n"
       "        def inner(): return 1\n        return inner\n",
       {"4:5 function `__init__` is missing a docstring", "6:5 function `_g` is missing a docstring",
        "7:9 function `inner` is missing a docstring"}},
      {"lambdas are not functions", "QN008", "f = lambda: 0\n", {}},
  };
  expect_cases(cases);
}

TEST(IndexDetectors, ForbiddenImports) {
  const std::string rule = strict_with("[[checks.QN207.rules]]\nfrom = \"app.domain\"\nforbidden = \"app.infrastructure\"\n");
  const std::string two_rules =
      rule + "[[checks.QN207.rules]]\nfrom = \"domain\"\nforbidden = \"app\"\n";
  const std::string leaf_rule =
      strict_with("[[checks.QN207.rules]]\nfrom = \"app.domain.models\"\nforbidden = \"app.infrastructure\"\n");
  const std::string empty_piece_rule =
      strict_with("[[checks.QN207.rules]]\nfrom = \"app..domain\"\nforbidden = \"x\"\n");
  const std::string root_rule = strict_with("[[checks.QN207.rules]]\nfrom = \"/.src\"\nforbidden = \"x\"\n");
  const std::string import_db = "import app.infrastructure.db\n";
  const std::vector<Case> cases = {
      {"in the layer", "QN207", import_db, {"1:8 module `app.infrastructure.db` must not be imported from `app.domain` layer"},
       rule, "src/app/domain/models.py"},
      {"exact module name", "QN207", "from app import infrastructure\n",
       {"1:17 module `app.infrastructure` must not be imported from `app.domain` layer"}, rule,
       "src/app/domain/models.py"},
      {"similar directory name", "QN207", import_db, {}, rule, "src/app/domainx/models.py"},
      {"similar module name", "QN207", "import app.infrastructurex\n", {}, rule, "src/app/domain/models.py"},
      {"file name is a component with its extension", "QN207", import_db, {}, leaf_rule, "src/app/domain/models.py"},
      {"pieces must be contiguous", "QN207", import_db, {}, rule, "app/x/domain/models.py"},
      {"absolute path, repeated slashes and dot components", "QN207", import_db,
       {"1:8 module `app.infrastructure.db` must not be imported from `app.domain` layer"}, rule,
       "/repo//src/./app/domain/models.py"},
      {"parent components stay", "QN207", import_db, {}, rule, "app/../domain/m.py"},
      {"empty piece never matches", "QN207", "import x\n", {}, empty_piece_rule, "app//domain/m.py"},
      {"the root component", "QN207", "import x\n", {"1:8 module `x` must not be imported from `/.src` layer"},
       root_rule, "/src/m.py"},
      {"relative path has no root", "QN207", "import x\n", {}, root_rule, "src/m.py"},
      {"one finding per matching rule, imports in index order", "QN207",
       "import app.infrastructure, os\ndef f():\n    from app.infrastructure import db as d\n",
       {"1:8 module `app.infrastructure` must not be imported from `app.domain` layer",
        "1:8 module `app.infrastructure` must not be imported from `domain` layer",
        "3:36 module `app.infrastructure.db` must not be imported from `app.domain` layer",
        "3:36 module `app.infrastructure.db` must not be imported from `domain` layer"},
       two_rules, "app/domain/service.py"},
      {"no rules", "QN207", import_db, {}, std::string(kStrict), "src/app/domain/models.py"},
  };
  expect_cases(cases);
}

TEST(IndexDetectors, InvalidUtf8ComponentIsSkipped) {
  const std::string rule = strict_with("[[checks.QN207.rules]]\nfrom = \"app.domain\"\nforbidden = \"db\"\n");
  // The invalid component drops out, so the two neighbours become adjacent.
  EXPECT_EQ(findings_of("QN207", "import db\n", rule, std::string("app/\xff/domain/m.py")),
            Lines{"1:8 module `db` must not be imported from `app.domain` layer"});
}

TEST(IndexDetectors, Gate) {
  const std::string source = "import os\ndef f(a, b, c, d, e, g, h, i):\n    pass\n";
  // QN007 and QN206 are off in the default profile.
  EXPECT_EQ(findings_of("QN007", source, "[profile]\nname = \"default\"\n"), Lines{});
  EXPECT_EQ(findings_of("QN007", source, "[checks.QN007]\nenabled = true\n"),
            Lines{"1:1 module is missing a top-level docstring"});
  EXPECT_EQ(findings_of("QN002", source, strict_with("[checks.QN002]\nenabled = false\n")), Lines{});
  EXPECT_EQ(findings_of("QN002", source, "[profile]\nname = \"default\"\n"),
            Lines{"2:1 function `f` has 8 arguments (max 5)"});
  EXPECT_EQ(findings_of("QN206", "import a\nimport b\n"), Lines{});
}

TEST(IndexDetectors, FindingsCarryTheCatalogEntry) {
  const auto findings = run_check("QN207", "import app.infrastructure\n",
                                  strict_with("[[checks.QN207.rules]]\nfrom = \"app\"\nforbidden = \"app\"\n"),
                                  "pkg/app/mod.py");
  ASSERT_EQ(findings.size(), 1u);
  const Finding& f = findings[0];
  EXPECT_EQ(f.id, "QN207");
  EXPECT_EQ(f.title, "forbidden-architecture-import");
  EXPECT_EQ(f.file, "pkg/app/mod.py");
  EXPECT_EQ(f.severity, Severity::High);
  EXPECT_EQ(f.category, Category::Architecture);
  EXPECT_EQ(f.source, "quarn");
  EXPECT_EQ(f.confidence, Confidence::Deterministic);
  EXPECT_TRUE(f.explanation.has_value());
}

TEST(IndexDetectors, ConfiguredSeverityIsLeftToTheDriver) {
  const auto findings = run_check("QN007", "", strict_with("[checks.QN007]\nseverity = \"critical\"\n"));
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].severity, Severity::Low);
}

}  // namespace
}  // namespace quarn
