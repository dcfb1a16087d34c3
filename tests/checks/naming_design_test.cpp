// Module-level naming and design detectors, each entered directly as its
// catalog check's detector, over small snippets.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "checks/catalog.h"
#include "checks/catalog_detectors/detectors.h"
#include "config/config.h"
#include "detector_support.h"
#include "parser/parse.h"
#include "checks/source_model.h"

namespace quarn {
namespace {

using Detector = void (*)(DetectorContext&);

using test::detector_findings;
using test::expect_cases;
using test::Lines;
constexpr std::string_view kStrict = test::kStrictProfile;

// ---------------------------------------------------------------------------

TEST(NamingDesign, EveryDetectorIsSilentOnAnEmptyModule) {
  const std::vector<std::pair<std::string_view, Detector>> detectors = {
      {"QN101", detect_inconsistent_function_naming}, {"QN102", detect_inconsistent_class_naming},
      {"QN104", detect_inconsistent_import_style},    {"QN106", detect_inconsistent_test_naming},
      {"QN209", detect_service_object_explosion},     {"QN202", detect_too_many_instance_variables},
      {"QN203", detect_too_many_public_methods},      {"QN208", detect_layer_violation},
      {"QN509", detect_excessive_abstraction},        {"QN510", detect_generic_utility_explosion},
      {"QN505", detect_boilerplate_parameter_docs},   {"QN508", detect_defensive_overengineering},
      {"QN205", detect_dataclass_without_behavior},   {"QN005", detect_unclear_variable_name},
      {"QN110", detect_mixed_return_style},
  };
  for (const auto& [id, detector] : detectors) {
    EXPECT_EQ(detector_findings(id, detector, ""), Lines{}) << id;
    EXPECT_EQ(detector_findings(id, detector, "# only a comment\n", kStrict, "a/domain/infrastructure/x.py"), Lines{}) << id;
  }
}

TEST(NamingDesign, InconsistentFunctionNaming) {
  const std::string mixed = "1:1 module mixes snake_case and non-snake_case function names";
  expect_cases("QN101", detect_inconsistent_function_naming,
               {
                   {"def load_data(): pass\ndef LoadData(): pass\n", {mixed}},
                   // Placed at the first definition even when it is no candidate.
                   {"import os\n\ndef _setup(): pass\ndef load_data(): pass\ndef LoadData(): pass\n",
                    {"3:1 module mixes snake_case and non-snake_case function names"}},
                   {"class K:\n    def Run(self): pass\n    def run_all(self): pass\n",
                    {"2:5 module mixes snake_case and non-snake_case function names"}},
                   {"async def fetch_one(): pass\nasync def fetchAll(): pass\n", {mixed}},
                   {"def outer():\n    def innerOne(): pass\n", {mixed}},
                   {"def café(): pass\ndef load(): pass\n", {mixed}},
                   {"def load_data(): pass\ndef _Private(): pass\n", {}},
                   {"def __init__(self): pass\ndef Main(): pass\n", {}},
                   {"def a(): pass\ndef b_2(): pass\ndef c__3_(): pass\n", {}},
                   {"def A(): pass\ndef bB(): pass\n", {}},
                   {"load = lambda: 0\nLoad = lambda: 0\ndef f(): pass\n", {}},
               });
}

TEST(NamingDesign, InconsistentClassNaming) {
  const std::string mixed = "1:1 module mixes PascalCase and non-PascalCase class names";
  expect_cases("QN102", detect_inconsistent_class_naming,
               {
                   {"class XMLParser: pass\nclass Config: pass\n", {}},
                   {"class XML_PARSER: pass\nclass Config: pass\n", {mixed}},
                   {"class Config: pass\nclass XML_PARSER: pass\n", {mixed}},
                   {"class Config_v2: pass\nclass URL: pass\n", {}},
                   {"class Config_v2: pass\nclass Good: pass\n", {mixed}},
                   {"class _Private: pass\nclass Public: pass\n", {mixed}},
                   {"class Café: pass\nclass Tea: pass\n", {mixed}},
                   {"class A1b: pass\nclass Bb2: pass\n", {}},
                   {"class lower: pass\n", {}},
                   {"def f():\n    class inner: pass\nclass Outer: pass\n",
                    {"2:5 module mixes PascalCase and non-PascalCase class names"}},
               });
}

TEST(NamingDesign, InconsistentImportStyle) {
  expect_cases("QN104", detect_inconsistent_import_style,
               {
                   {"import os\nfrom os.path import join\n",
                    {"1:8 module imports `os` with both `import` and `from ... import` styles"}},
                   {"import os.path\nfrom os import sep\n",
                    {"1:8 module imports `os` with both `import` and `from ... import` styles"}},
                   {"import json\nfrom yaml import load\n", {}},
                   {"from a import b\nfrom c import d\n", {}},
                   {"import a, b\n", {}},
                   // Names sorted by bytes; placed at the first record of any of them.
                   {"import x\nfrom sys import argv\nimport os, sys\nfrom os import sep\n",
                    {"2:17 module imports `os, sys` with both `import` and `from ... import` styles"}},
                   {"import Zeta\nimport alpha\nfrom alpha import x\nfrom Zeta import y\n",
                    {"1:8 module imports `Zeta, alpha` with both `import` and `from ... import` styles"}},
                   // `from . import os` is indexed as `os`; `from re import *` as `re.*`.
                   {"from . import os\nimport os\n",
                    {"1:15 module imports `os` with both `import` and `from ... import` styles"}},
                   {"def f():\n    import re\nfrom re import *\n",
                    {"2:12 module imports `re` with both `import` and `from ... import` styles"}},
               });
}

TEST(NamingDesign, InconsistentTestNaming) {
  const std::string mixed = "1:1 module mixes test_* and should_* function naming styles";
  expect_cases("QN106", detect_inconsistent_test_naming,
               {
                   {"def test_a(): pass\ndef should_b(): pass\n", {mixed}},
                   {"class T:\n    def should_y(self): pass\n\n\ndef f():\n    def test_x(): pass\n", {mixed}},
                   {"def testa(): pass\ndef should_b(): pass\n", {}},
                   {"def Test_a(): pass\ndef should_b(): pass\n", {}},
                   {"def test_a(): pass\ndef test_b(): pass\n", {}},
                   {"test_a = lambda: 0\ndef should_b(): pass\n", {}},
               });
}

TEST(NamingDesign, ServiceObjectExplosion) {
  expect_cases("QN209", detect_service_object_explosion,
               {
                   {"class UserService: pass\n", {}},
                   {"class UserService: pass\nclass OrderManager: pass\n",
                    {"1:1 module defines 2 service-style classes (Service/Manager/Handler)"}},
                   {"class Service: pass\nclass Handler: pass\ndef f():\n    class EventHandler: pass\n",
                    {"1:1 module defines 3 service-style classes (Service/Manager/Handler)"}},
                   {"class UserServices: pass\nclass userservice: pass\nclass OrderManager: pass\n", {}},
               });
}

// A class whose __init__ assigns `count` distinct attributes of self.
std::string class_with_attributes(int count) {
  std::string source = "class Wide:\n    def __init__(self):\n";
  for (int i = 0; i < count; ++i) source += "        self.attr" + std::to_string(i) + " = " + std::to_string(i) + "\n";
  return source;
}

// A class with `public` public and `private` private methods.
std::string class_with_methods(int public_methods, int private_methods = 0) {
  std::string source = "class Wide:\n    pass\n";
  for (int i = 0; i < public_methods; ++i) source += "    def run" + std::to_string(i) + "(self): pass\n";
  for (int i = 0; i < private_methods; ++i) source += "    def _step" + std::to_string(i) + "(self): pass\n";
  return source;
}

TEST(NamingDesign, TooManyInstanceVariablesUsesTheFixedLimit) {
  const std::string nine = class_with_attributes(9);
  const std::string eight = class_with_attributes(8);
  const std::string nested = "def make():\n    " + std::string("class Wide:\n        def __init__(self):\n") +
                             "            self.a = self.b = self.c = self.d = self.e = 0\n" +
                             "            self.f = self.g = self.h = self.i = self.j = 0\n";
  expect_cases("QN202", detect_too_many_instance_variables,
               {
                   {nine, {"1:1 class `Wide` assigns 9 instance variables in `__init__` (max 8)"}},
                   {eight, {}},
                   {nested, {"2:5 class `Wide` assigns 10 instance variables in `__init__` (max 8)"}},
               });
  // max_methods is not a limit of this check.
  EXPECT_EQ(detector_findings("QN202", detect_too_many_instance_variables, nine,
                   "[profile]\nname = \"strict\"\n[checks.QN202]\nmax_methods = 20\n"),
            Lines{"1:1 class `Wide` assigns 9 instance variables in `__init__` (max 8)"});
}

TEST(NamingDesign, TooManyPublicMethodsDefaultLimit) {
  expect_cases("QN203", detect_too_many_public_methods,
               {
                   {class_with_methods(11), {"1:1 class `Wide` defines 11 public methods (max 10)"}},
                   {class_with_methods(10), {}},
                   {class_with_methods(10, 5), {}},
               });
}

TEST(NamingDesign, TooManyPublicMethodsReadsItsOwnMaxMethods) {
  struct ConfigCase {
    std::string_view toml;
    int public_methods;
    Lines expected;
  };
  const std::vector<ConfigCase> cases = {
      {"[profile]\nname = \"strict\"\n[checks.QN203]\nmax_methods = 3\n", 4,
       {"1:1 class `Wide` defines 4 public methods (max 3)"}},
      {"[profile]\nname = \"strict\"\n[checks.QN203]\nmax_methods = 3\n", 3, {}},
      {"[profile]\nname = \"strict\"\n[checks.QN203]\nmax_methods = 0\n", 1,
       {"1:1 class `Wide` defines 1 public methods (max 0)"}},
      {"[profile]\nname = \"strict\"\n[checks.QN203]\nmax_methods = 0\n", 0, {}},
      {"[profile]\nname = \"strict\"\n[checks.QN203]\nmax_methods = 20\n", 15, {}},
      // Another check's limit does not reach it.
      {"[profile]\nname = \"strict\"\n[checks.QN201]\nmax_methods = 1\n", 11,
       {"1:1 class `Wide` defines 11 public methods (max 10)"}},
      {"[profile]\nname = \"tight\"\n[profiles.tight]\nextends = \"strict\"\n"
       "[profiles.tight.checks.QN203]\nmax_methods = 2\n",
       3,
       {"1:1 class `Wide` defines 3 public methods (max 2)"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(detector_findings("QN203", detect_too_many_public_methods, class_with_methods(c.public_methods), c.toml), c.expected)
        << c.toml;
  }
}

TEST(NamingDesign, LayerViolation) {
  struct PathCase {
    std::string path;
    std::string_view source;
    Lines expected;
  };
  const std::vector<PathCase> cases = {
      {"src/Domain/models.py", "import app.infrastructure.db\n",
       {"1:8 domain module imports infrastructure module `app.infrastructure.db`"}},
      {"./domain/models.py", "import os\nfrom ..Infrastructure import db\n",
       {"2:30 domain module imports infrastructure module `Infrastructure.db`"}},
      {"C:\\src\\DOMAIN\\models.py", "import app.infrastructure\n",
       {"1:8 domain module imports infrastructure module `app.infrastructure`"}},
      {"/srv/infrastructure/repo.py", "from app.Domain import User\n",
       {"1:24 infrastructure module imports domain module `app.Domain.User`"}},
      // In both layers one import can break both rules.
      {"a/domain/infrastructure/x.py", "import domain_infrastructure\n",
       {"1:8 domain module imports infrastructure module `domain_infrastructure`",
        "1:8 infrastructure module imports domain module `domain_infrastructure`"}},
      {"/x/domain/\xff.py", "def f():\n    import infrastructure\n",
       {"2:12 domain module imports infrastructure module `infrastructure`"}},
      {"domain.py", "import app.infrastructure.db\n", {}},
      {"domain/models.py", "import app.infrastructure.db\n", {}},
      {"src/domains/models.py", "import app.infrastructure.db\n", {}},
      {"src/domain/models.py", "import app.domain.db\n", {}},
      {"src/app/models.py", "import app.infrastructure.db\nimport app.domain\n", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(detector_findings("QN208", detect_layer_violation, c.source, kStrict, c.path), c.expected) << c.path;
    EXPECT_EQ(test::findings_of("QN208", c.source, kStrict, c.path), c.expected) << c.path;
  }
}

TEST(NamingDesign, ExcessiveAbstraction) {
  expect_cases("QN509", detect_excessive_abstraction,
               {
                   {"class AbstractRepo: pass\n", {}},
                   {"class AbstractRepo: pass\nclass BaseHandler: pass\n",
                    {"1:1 class `AbstractRepo` uses Abstract/Base/Interface naming; consider concrete names",
                     "2:1 class `BaseHandler` uses Abstract/Base/Interface naming; consider concrete names"}},
                   {"class Abstract: pass\nclass Base: pass\nclass Baseline: pass\nclass Interface: pass\n", {}},
                   {"class Interface: pass\nclass Baseline: pass\nclass Plain: pass\n\n\nclass BaseModel:\n"
                    "    class AbstractX: pass\n",
                    {"1:1 class `Interface` uses Abstract/Base/Interface naming; consider concrete names",
                     "6:1 class `BaseModel` uses Abstract/Base/Interface naming; consider concrete names",
                     "7:5 class `AbstractX` uses Abstract/Base/Interface naming; consider concrete names"}},
                   {"class Base1: pass\nclass BaseÉtat: pass\nclass abstractRepo: pass\nclass Interfaces: pass\n", {}},
               });
}

TEST(NamingDesign, GenericUtilityExplosion) {
  const auto total = [](int n) {
    return Lines{"1:1 module has " + std::to_string(n) + " util/helper/common names or imports; consider consolidating"};
  };
  expect_cases("QN510", detect_generic_utility_explosion,
               {
                   {"import app.common\n\ndef string_utils(): pass\n\ndef format_helper(): pass\n", total(3)},
                   {"import app.utils.io\nfrom common import x\nclass UTIL: pass\n", total(3)},
                   {"import Helpers\nimport x.UTILS\nimport COMMON.y\nimport a.helper\n", total(4)},
                   // One record counts once, however many words it holds.
                   {"def common_util_helper(): pass\nclass HelperUtils: pass\n", {}},
                   {"import myutils.x\ndef a_util(): pass\nclass Helper: pass\n", {}},
                   {"import app.utility\nimport commons\nfrom helpers_x import y\nimport a_common\n", {}},
               });
}

TEST(NamingDesign, BoilerplateParameterDocs) {
  const std::string_view docstring =
      "def f(user, x, retries):\n"
      "    \"\"\"Do it.\n"
      "\n"
      "    :param user: The user.\n"
      "    :param x:\n"
      "    :param retries: number of retries\n"
      "    :param Count: count...\n"
      "    :param item: an Item\n"
      "    :param thing: A thing\n"
      "    :param value:value\n"
      "    :param name: the name of the user\n"
      "    :param  spaced : the SPACED .\n"
      "    :paramx: x\n"
      "    :param nocolon\n"
      "    :PARAM y:\n"
      "    \"\"\"\n";
  expect_cases("QN505", detect_boilerplate_parameter_docs,
               {
                   {std::string(docstring),
                    {"4:1 boilerplate :param docs for `user`", "5:1 boilerplate :param docs for `x`",
                     "7:1 boilerplate :param docs for `Count`", "8:1 boilerplate :param docs for `item`",
                     "9:1 boilerplate :param docs for `thing`", "10:1 boilerplate :param docs for `value`"}},
                   {"# :param name: Name.\n", {"1:1 boilerplate :param docs for `name`"}},
                   {"x = 1\n\t## :param ID: id.\r\n", {"2:1 boilerplate :param docs for `ID`"}},
                   // Only the leading run of "#" goes, before the second trim.
                   {"# # :param a:\n", {}},
                   {"def f():\n    ''':param a:'''\n", {}},
                   {"def f():\n    ''':param a:\n    '''\n", {"2:1 boilerplate :param docs for `a`"}},
                   {"s = \":param x: the x\"\n", {}},
                   // Unicode white space is trimmed like ASCII white space.
                   {"#\xE3\x80\x80:param x:\xC2\xA0the x\xC2\xA0\n", {"1:1 boilerplate :param docs for `x`"}},
                   {"# :param\xC2\xA0x: x\n", {}},
                   {"# :param : \n", {"1:1 boilerplate :param docs for ``"}},
                   {"x = 1\n# :param z: Z", {"2:1 boilerplate :param docs for `z`"}},
                   {"x = 1\r\n\r\n\n# :param q:\r\ny = 2\n# :param r: R\n# :param s: s :param s:\n",
                    {"4:1 boilerplate :param docs for `q`", "6:1 boilerplate :param docs for `r`"}},
               });
}

// A statement in every kind of block, so the walk order shows.
constexpr std::string_view kEveryBlock =
    "for x in y:\n"               // 1
    "    class A1Factory: pass\n" // 2
    "else:\n"                     // 3
    "    class A2Factory: pass\n" // 4
    "while x:\n"                  // 5
    "    class B1Factory: pass\n" // 6
    "else:\n"                     // 7
    "    class B2Factory: pass\n" // 8
    "if x:\n"                     // 9
    "    class C1Factory: pass\n" // 10
    "elif y:\n"                   // 11
    "    class C2Factory: pass\n" // 12
    "else:\n"                     // 13
    "    class C3Factory: pass\n" // 14
    "with x:\n"                   // 15
    "    class DFactory: pass\n"  // 16
    "match x:\n"                  // 17
    "    case 1:\n"               // 18
    "        class E1Factory: pass\n" // 19
    "    case _:\n"               // 20
    "        class E2Factory: pass\n" // 21
    "try:\n"                      // 22
    "    class F1Factory: pass\n" // 23
    "except A:\n"                 // 24
    "    class F2Factory: pass\n" // 25
    "except B:\n"                 // 26
    "    class F3Factory: pass\n" // 27
    "else:\n"                     // 28
    "    class F4Factory: pass\n" // 29
    "finally:\n"                  // 30
    "    class F5Factory: pass\n" // 31
    "try:\n"                      // 32
    "    class G1Factory: pass\n" // 33
    "except* A:\n"                // 34
    "    class G2Factory: pass\n" // 35
    "async def h():\n"            // 36
    "    async for x in y:\n"     // 37
    "        class H1Factory: pass\n" // 38
    "    else:\n"                 // 39
    "        class H2Factory: pass\n" // 40
    "    async with x:\n"         // 41
    "        class H3Factory: pass\n" // 42
    "@decorate\n"                 // 43
    "class K(Base):\n"            // 44
    "    class KFactory: pass\n"; // 45

TEST(NamingDesign, DefensiveOverengineeringWalksEveryBlockInOrder) {
  Lines expected;
  const std::vector<std::pair<int, std::string_view>> found = {
      {2, "A1"},  {4, "A2"},  {6, "B1"},  {8, "B2"},  {10, "C1"}, {12, "C2"}, {14, "C3"}, {16, "D"},
      {19, "E1"}, {21, "E2"}, {23, "F1"}, {25, "F2"}, {27, "F3"}, {29, "F4"}, {31, "F5"}, {33, "G1"},
      {35, "G2"}, {38, "H1"}, {40, "H2"}, {42, "H3"}, {45, "K"},
  };
  for (const auto& [line, name] : found) {
    const int column = (line >= 19 && line <= 21) || (line >= 38 && line <= 42) ? 9 : 5;
    expected.push_back(std::to_string(line) + ":" + std::to_string(column) + " class `" + std::string(name) +
                       "Factory` uses defensive suffix `Factory`");
  }
  EXPECT_EQ(detector_findings("QN508", detect_defensive_overengineering, kEveryBlock), expected);
}

TEST(NamingDesign, DefensiveOverengineering) {
  expect_cases("QN508", detect_defensive_overengineering,
               {
                   {"class PaymentStrategy: pass\n", {"1:1 class `PaymentStrategy` uses defensive suffix `Strategy`"}},
                   {"class Factory: pass\nclass UserBuilder: pass\nclass Builders: pass\nclass factory: pass\n",
                    {"1:1 class `Factory` uses defensive suffix `Factory`",
                     "2:1 class `UserBuilder` uses defensive suffix `Builder`"}},
                   {"@decorate\n@other(1)\nclass WidgetFactory: pass\n",
                    {"3:1 class `WidgetFactory` uses defensive suffix `Factory`"}},
                   {"class AFactory:\n    class BBuilder: pass\nclass CStrategy: pass\n",
                    {"1:1 class `AFactory` uses defensive suffix `Factory`",
                     "2:5 class `BBuilder` uses defensive suffix `Builder`",
                     "3:1 class `CStrategy` uses defensive suffix `Strategy`"}},
               });
}

TEST(NamingDesign, DataclassWithoutBehavior) {
  expect_cases("QN205", detect_dataclass_without_behavior,
               {
                   {"@dataclass\nclass Point:\n    pass\n", {"2:1 dataclass `Point` has no behavior beyond pass"}},
                   {"@other\n@dataclass\nclass P:\n    pass\n    pass\n",
                    {"3:1 dataclass `P` has no behavior beyond pass"}},
                   {"def f():\n    @dataclass\n    class Q: pass\n", {"3:5 dataclass `Q` has no behavior beyond pass"}},
                   {"@dataclass\nclass P:\n    \"\"\"A point.\"\"\"\n    pass\n", {}},
                   {"@dataclass(frozen=True)\nclass P:\n    pass\n", {}},
                   {"@dataclasses.dataclass\nclass P:\n    pass\n", {}},
                   {"@Dataclass\nclass P:\n    pass\n", {}},
                   {"@dataclass\nclass P:\n    x: int\n", {}},
                   {"@dataclass\nclass P:\n    ...\n", {}},
                   {"class P:\n    pass\n", {}},
               });
}

TEST(NamingDesign, UnclearVariableName) {
  expect_cases("QN005", detect_unclear_variable_name,
               {
                   {"class C:\n    def m(self):\n        x = 1\n", {"3:9 very short variable name `x`"}},
                   {"for i in r:\n    pass\n(a, b) = t\n", {}},
                   {"a = b = 0\n", {"1:1 very short variable name `a`", "1:1 very short variable name `b`"}},
                   {"abc = 1\nab = 2\nx += 1\ny: int = 2\nobj.x = 1\nd[k] = 1\n[a] = [1]\n"
                    "with f() as g: pass\nif (n := 1): pass\ndef f(a, b): pass\nimport os as o\n",
                    {"2:1 very short variable name `ab`"}},
                   {"x = 1; yy = 2; zzz = 3\n",
                    {"1:1 very short variable name `x`", "1:8 very short variable name `yy`"}},
                   {"_ = f()\n", {"1:1 very short variable name `_`"}},
                   // Lengths are bytes: one two-byte character is short, two are not.
                   {"é = 1\néé = 2\n", {"1:1 very short variable name `é`"}},
                   {"if c:\n    pass\nelse:\n    x = 1\n", {"4:5 very short variable name `x`"}},
               });
}

TEST(NamingDesign, MixedReturnStyle) {
  const auto mixed = [](std::string_view position, std::string_view name) {
    return Lines{std::string(position) + " function `" + std::string(name) + "` mixes `return` and `yield`"};
  };
  expect_cases("QN110", detect_mixed_return_style,
               {
                   {"def gen():\n    yield 1\n    return\n", mixed("1:1", "gen")},
                   {"def gen():\n    yield 1\n    with lock:\n        return\n", {}},
                   {"def f():\n    x = yield 1\n    return x\n", {}},
                   {"def f():\n    await (yield)\n    return\n", {}},
                   {"def f():\n    (yield)\n    return\n", mixed("1:1", "f")},
                   {"def f():\n    yield from g()\n    if x:\n        return 1\n", mixed("1:1", "f")},
                   {"def f():\n    for x in y:\n        yield x\n    else:\n        return\n", {}},
                   {"def f():\n    while x:\n        return\n    yield 1\n", mixed("1:1", "f")},
                   {"def f():\n    if a:\n        pass\n    elif b:\n        yield\n    else:\n        return\n",
                    mixed("1:1", "f")},
                   {"def f():\n    try:\n        yield 1\n    except E:\n        return\n", mixed("1:1", "f")},
                   {"def f():\n    try:\n        yield 1\n    finally:\n        return\n", {}},
                   {"def f():\n    try:\n        yield 1\n    except E:\n        pass\n    else:\n        return\n", {}},
                   {"def f():\n    yield 1\n    try:\n        return\n    except* E:\n        pass\n", {}},
                   {"async def f():\n    yield 1\n    async for x in y:\n        return\n", {}},
                   {"def f():\n    yield 1\n    for x in y:\n        return\n", mixed("1:1", "f")},
                   {"def f():\n    yield 1\n    match x:\n        case _:\n            return\n", {}},
                   {"async def f():\n    await x\n    yield 1\n    return\n", mixed("1:1", "f")},
                   {"@d\ndef f():\n    yield\n    return\n", mixed("2:1", "f")},
                   // Each definition is judged on its own body.
                   {"def outer():\n    yield 1\n    def inner():\n        return 2\n", {}},
                   {"def outer():\n    def inner():\n        yield 1\n        return\n    return inner\n",
                    mixed("2:5", "inner")},
                   {"class C:\n    def m(self):\n        return\n        yield\n", mixed("2:5", "m")},
                   {"def f():\n    yield 1\n    class K:\n        def g(self):\n            return\n", {}},
               });
}

// ---------------------------------------------------------------------------
// Inputs whose trees are deep without deep indentation (kept within the
// tree depth the parser accepts).

std::string long_elif_chain(int branches, std::string_view last_body) {
  std::string source = "def f():\n    if a:\n        pass\n";
  for (int i = 0; i < branches; ++i) source += "    elif a:\n        pass\n";
  source += "    else:\n        ";
  source += last_body;
  source += "\n    yield\n";
  return source;
}

TEST(NamingDesign, LongElifChainsDoNotExhaustTheStack) {
  constexpr int kBranches = 4000;
  EXPECT_EQ(detector_findings("QN110", detect_mixed_return_style, long_elif_chain(kBranches, "return")),
            (Lines{"1:1 function `f` mixes `return` and `yield`"}));
  const Lines short_name = detector_findings("QN005", detect_unclear_variable_name, long_elif_chain(kBranches, "x = 1"));
  ASSERT_EQ(short_name.size(), 1u);
  EXPECT_EQ(short_name[0], std::to_string(5 + 2 * kBranches) + ":9 very short variable name `x`");
}

TEST(NamingDesign, LongExpressionChainsAreNotEntered) {
  std::string source = "x = a";
  for (int i = 0; i < 4000; ++i) source += "+a";
  source += "\n";
  EXPECT_EQ(detector_findings("QN005", detect_unclear_variable_name, source), Lines{"1:1 very short variable name `x`"});
}

}  // namespace
}  // namespace quarn
