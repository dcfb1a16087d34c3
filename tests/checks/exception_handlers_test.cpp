#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "detector_support.h"

namespace quarn {
namespace {

using test::detector_findings;
using test::DetectorEntry;
using Findings = std::vector<std::string>;

using Case = test::DetectorCase;

class ExceptionHandlerDetectors : public testing::TestWithParam<Case> {};

TEST_P(ExceptionHandlerDetectors, ReportExactly) {
  const Case& c = GetParam();
  EXPECT_EQ(detector_findings(c.id, c.detect, c.source), c.expected) << c.source;
  EXPECT_EQ(test::findings_of(c.id, c.source), c.expected) << "run on:\n" << c.source;
}

constexpr auto kBroad = detect_broad_except;
constexpr auto kBare = detect_bare_except;
constexpr auto kEmpty = detect_empty_except;
constexpr auto kSilent = detect_silent_exception_swallowing;
constexpr auto kBlanket = detect_blanket_except;
constexpr auto kFallback = detect_silent_fallback;
constexpr auto kGeneric = detect_generic_exception_message;
constexpr auto kRepeated = detect_repeated_try_except;

constexpr std::string_view kBarePass = "try:\n    x()\nexcept:\n    pass\n";
constexpr std::string_view kExceptionPass = "try:\n    x()\nexcept Exception:\n    pass\n";

const Case kCases[] = {
    // Handler types.
    {"BlanketNamed", "QN411", kBlanket, "try:\n    x()\nexcept Exception as exc:\n    log(exc)\n",
     {"3:1 except Exception catches nearly all errors; prefer specific exceptions"}},
    {"BlanketNotTupleOrDotted", "QN411", kBlanket,
     "try:\n    x()\nexcept (Exception, ValueError):\n    a\nexcept builtins.Exception:\n    b\n"
     "except BaseException:\n    c\nexcept exception:\n    d\n",
     {}},
    {"BroadBaseException", "QN401", kBroad,
     "try:\n    x()\nexcept ValueError:\n    a\nexcept BaseException:\n    b\n",
     {"5:1 except BaseException catches system-exiting exceptions"}},
    {"BroadNotException", "QN401", kBroad, kExceptionPass, {}},
    {"BareReported", "QN403", kBare, kBarePass, {"3:1 bare except handler swallows all exceptions"}},
    {"BareTypedNotReported", "QN403", kBare, kExceptionPass, {}},
    {"BareAtAnyDepth", "QN403", kBare,
     "class A:\n    def m(self):\n        def inner():\n            for i in x:\n                try:\n"
     "                    pass\n                except:\n                    try:\n                        pass\n"
     "                    except:\n                        pass\n",
     {"7:17 bare except handler swallows all exceptions", "10:21 bare except handler swallows all exceptions"}},
    {"BareInMatchCaseAndWith", "QN403", kBare,
     "match v:\n    case 1:\n        with c:\n            try:\n                a\n            except:\n                b\n",
     {"6:13 bare except handler swallows all exceptions"}},
    {"BareInTryParts", "QN403", kBare,
     "try:\n    try:\n        a\n    except:\n        b\nexcept E:\n    try:\n        c\n    except:\n        d\n"
     "else:\n    try:\n        e\n    except:\n        f\nfinally:\n    try:\n        g\n    except:\n        h\n",
     {"4:5 bare except handler swallows all exceptions", "9:5 bare except handler swallows all exceptions",
      "14:5 bare except handler swallows all exceptions", "19:5 bare except handler swallows all exceptions"}},
    {"BareExpressionsNotEntered", "QN403", kBare, "f = lambda: 1\nx = [y for y in z]\n", {}},

    // Handlers that only pass.
    {"EmptyBare", "QN402", kEmpty, kBarePass, {"3:1 bare except handler only contains pass"}},
    {"EmptyBareIgnoresTyped", "QN402", kEmpty, kExceptionPass, {}},
    {"EmptyTypedBroad", "QN408", kSilent, kExceptionPass, {"3:1 broad except handler only contains pass"}},
    {"EmptyTypedBaseException", "QN408", kSilent, "try:\n    x()\nexcept BaseException:\n    pass\n",
     {"3:1 broad except handler only contains pass"}},
    {"EmptyTypedIgnoresBare", "QN408", kSilent, kBarePass, {}},
    {"EmptyTypedSpecific", "QN408", kSilent, "try:\n    x()\nexcept ValueError:\n    pass\n    pass\n",
     {"3:1 except handler only contains pass"}},
    {"EmptyTypedTupleIsSpecific", "QN408", kSilent, "try:\n    x()\nexcept (Exception, E):\n    pass\n",
     {"3:1 except handler only contains pass"}},
    {"EmptyEllipsisIsNotPass", "QN408", kSilent, "try:\n    x()\nexcept ValueError: ...\n", {}},
    {"EmptyPassThenCall", "QN408", kSilent, "try:\n    x()\nexcept ValueError:\n    pass\n    log()\n", {}},
    {"EmptyTryStar", "QN408", kSilent, "try:\n    x()\nexcept* ValueError:\n    pass\n",
     {"3:1 except handler only contains pass"}},

    // Handlers that fall back to None.
    {"FallbackReported", "QN413", kFallback,
     "def f():\n    try:\n        a()\n    except A:\n        return None\n    except B:\n        return\n"
     "    except C:\n        log()\n        return None\n    except D:\n        return None\n        pass\n",
     {"4:5 except handler returns None without logging or re-raising",
      "6:5 except handler returns None without logging or re-raising",
      "8:5 except handler returns None without logging or re-raising",
      "11:5 except handler returns None without logging or re-raising"}},
    {"FallbackNotReported", "QN413", kFallback,
     "def f():\n    try:\n        a()\n    except A:\n        return 0\n    except B:\n        return []\n"
     "    except C:\n        raise\n    except:\n        pass\n    except E:\n        return None\n        log()\n",
     {}},
    {"FallbackBareHandler", "QN413", kFallback, "def f():\n    try:\n        a()\n    except:\n        return\n",
     {"4:5 except handler returns None without logging or re-raising"}},

    // Generic messages.
    {"GenericCaseFolded", "QN504", kGeneric, "raise Exception(\"Something Went Wrong\")\n",
     {"1:1 generic exception message `Something Went Wrong`"}},
    {"GenericAllMessages", "QN504", kGeneric,
     "def f():\n    if a:\n        raise Exception('error')\n    raise Exception(\"FAILED\", 42) from e\n"
     "try:\n    pass\nexcept:\n    raise Exception('An error occurred')\n",
     {"3:9 generic exception message `error`", "4:5 generic exception message `FAILED`",
      "8:5 generic exception message `An error occurred`"}},
    {"GenericNotReported", "QN504", kGeneric,
     "raise Exception(\"error.\")\nraise ValueError(\"error\")\nraise Exception(message)\n"
     "raise Exception(f\"failed\")\nraise Exception\nraise Exception(b\"error\")\nraise\n"
     "raise builtins.Exception(\"error\")\nraise Exception(msg=\"error\")\nraise Exception(\" error\")\n",
     {}},
    {"GenericValueNotSourceText", "QN504", kGeneric, "raise Exception(\"err\" 'or')\n",
     {"1:1 generic exception message `error`"}},

    // Repeated try statements.
    {"RepeatedSequential", "QN309", kRepeated,
     "def f():\n    try:\n        a\n    except E:\n        pass\n    try:\n        b\n    finally:\n        c\n",
     {"1:1 function contains 2 try/except blocks; consider consolidating"}},
    {"RepeatedNested", "QN309", kRepeated,
     "def f():\n    try:\n        try:\n            a\n        except E:\n            pass\n    except E:\n        pass\n",
     {"1:1 function contains 2 try/except blocks; consider consolidating"}},
    {"RepeatedNestedFunctionsJudgedAlone", "QN309", kRepeated,
     "def f():\n    try:\n        a\n    except E:\n        pass\n    def g():\n        try:\n            b\n"
     "        except E:\n            pass\n",
     {}},
    {"RepeatedNotCounted", "QN309", kRepeated,
     "async def f():\n    async for x in y:\n        try:\n            a\n        except E:\n            pass\n"
     "        try:\n            b\n        except E:\n            pass\n"
     "def g():\n    try:\n        a\n    except* E:\n        pass\n    try:\n        b\n    except* E:\n        pass\n"
     "def h():\n    match x:\n        case 1:\n            try:\n                a\n            except E:\n"
     "                pass\n            try:\n                a\n            except E:\n                pass\n",
     {}},
    {"RepeatedCountedBlocks", "QN309", kRepeated,
     "class C:\n    @dec\n    def m(self):\n"
     "        for i in x:\n            try:\n                a\n            except E:\n                pass\n"
     "        else:\n            try:\n                a\n            except E:\n                pass\n"
     "        while t:\n            try:\n                a\n            except E:\n                pass\n"
     "        if a:\n            pass\n        elif b:\n            try:\n                a\n            except E:\n"
     "                pass\n        else:\n            try:\n                a\n            except E:\n                pass\n"
     "        with c:\n            try:\n                a\n            except E:\n                pass\n"
     "        try:\n            pass\n        except E:\n            try:\n                a\n"
     "            except E:\n                pass\n        else:\n            try:\n                a\n"
     "            except E:\n                pass\n",
     {"3:5 function contains 8 try/except blocks; consider consolidating"}},
    {"RepeatedOneTry", "QN309", kRepeated, "def f():\n    try:\n        a\n    except E:\n        pass\n", {}},
    {"RepeatedModuleLevelIgnored", "QN309", kRepeated,
     "try:\n    a\nexcept E:\n    pass\ntry:\n    b\nexcept E:\n    pass\n", {}},
};

INSTANTIATE_TEST_SUITE_P(All, ExceptionHandlerDetectors, testing::ValuesIn(kCases),
                         test::CaseName());

}  // namespace
}  // namespace quarn
