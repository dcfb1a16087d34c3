#include <gtest/gtest.h>

#include "run/external_detail.h"
#include "run/ruff_json.h"

namespace quarn {
namespace {

struct BadJson {
  const char* text;
  const char* message;
};

TEST(RuffJson, RefusesMalformedDiagnostics) {
  const BadJson cases[] = {
      {R"({"code":"E1"})", "invalid type: map, expected a sequence"},
      {R"([{"message":"m","filename":"f","location":{"row":1,"column":1}}])", "missing field `code`"},
      {R"([{"code":"E","code":"F","message":"m","filename":"f","location":{"row":1,"column":1}}])",
       "duplicate field `code`"},
      {R"([{"code":null,"message":"m","filename":"f","location":{"row":1,"column":1}}])",
       "invalid type: null, expected a string"},
      {R"([{"code":5,"message":"m","filename":"f","location":{"row":1,"column":1}}])",
       "invalid type: integer `5`, expected a string"},
      {R"([{"code":-5,"message":"m","filename":"f","location":{"row":1,"column":1}}])",
       "invalid type: integer `-5`, expected a string"},
      {R"([["E1","m","f"]])", "invalid length 3, expected struct RuffDiagnostic with 4 elements"},
      {R"([["E1","m","f",[1,1],"x"]])", "invalid length 5, expected fewer elements in array"},
      {R"([{"code":"E","message":"m","filename":"f","location":{"row":1}}])", "missing field `column`"},
      {R"([{"code":"E","message":"m","filename":"f","location":{"row":1,"row":2,"column":1}}])",
       "duplicate field `row`"},
      {R"([{"code":"E","message":"m","filename":"f","location":[1]}])",
       "invalid length 1, expected struct RuffLocation with 2 elements"},
      {R"([{"code":"E","message":"m","filename":"f","location":{"row":-1,"column":1}}])",
       "invalid value: integer `-1`, expected u64"},
      {R"([{"code":"E","message":"m","filename":"f","location":{"row":1.5,"column":1}}])",
       "invalid type: floating point `1.5`, expected u64"},
      // Floats show as the configuration shows them: always with a decimal point, never with an exponent.
      {R"([{"code":"E","message":"m","filename":"f","location":{"row":1.0,"column":1}}])",
       "invalid type: floating point `1.0`, expected u64"},
      {R"([{"code":"E","message":"m","filename":"f","location":{"row":1,"column":2.5}}])",
       "invalid type: floating point `2.5`, expected u64"},
      {R"([{"code":"E","message":"m","filename":"f","location":{"row":1e300,"column":1}}])",
       "invalid type: floating point `"
       "1000000000000000052504760255204420248704468581108159154915854115511802457988908195786371375080447864"
       "0437044438328838781769425232353604305756447921847867069828483872009265758037378302337947880900593689"
       "5323497079994508111903896764088007465274278014249457925878882005684283811566947219638686545940054016"
       "0.0`, expected u64"},
      {R"([{"code":"E","message":"m","filename":"f","location":"here"}])",
       "invalid type: string \"here\", expected struct RuffLocation"},
      // A quoted string keeps its JSON escapes: no control character reaches the terminal.
      {R"([{"code":"E","message":"m","filename":"f","location":"\u001b[2J\n"}])",
       "invalid type: string \"\\u001b[2J\\n\", expected struct RuffLocation"},
      {R"([true])", "invalid type: boolean `true`, expected struct RuffDiagnostic"},
      {"\xEF\xBB\xBF[]", "unexpected byte-order mark at line 1, column 1"},
  };
  for (const auto& c : cases) {
    auto parsed = parse_ruff_json(c.text);
    ASSERT_FALSE(parsed.has_value()) << c.text;
    EXPECT_EQ(parsed.error().render(), c.message) << c.text;
  }
}

TEST(RuffJson, RefusesBadSyntaxTrailingDataAndDeepNesting) {
  for (std::string text : {std::string("[] x"), std::string("[{]"), std::string("["), std::string(200, '[') + std::string(200, ']')})
    EXPECT_FALSE(parse_ruff_json(text).has_value()) << text.substr(0, 20);
  // 128 levels are read, one more is refused.
  auto nested = [](std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  EXPECT_EQ(parse_ruff_json(nested(128)).error().render(), "invalid type: sequence, expected a string");
  EXPECT_EQ(parse_ruff_json(nested(129)).error().render(), "recursion limit exceeded");
}

TEST(RuffJson, ReadsObjectsAndArraysSkippingUnknownKeys) {
  auto parsed = parse_ruff_json(R"(  [
    {"cell": null, "code": "E501", "end_location": {"row": 3, "column": 9}, "filename": "/abs/a.py",
     "fix": {"edits": []}, "location": {"row": 3, "column": 0, "extra": [1, {"x": null}]},
     "message": "Line too long", "noqa_row": 3, "url": "https://example.invalid"},
    ["F401", "unused", "b.py", [-0, 7]]
  ]  )");
  ASSERT_TRUE(parsed.has_value()) << parsed.error().render();
  ASSERT_EQ(parsed->size(), 2u);
  Finding a = detail::ruff_diagnostic_to_finding((*parsed)[0]);
  EXPECT_EQ(a.id, "EXT-RUFF-E501");
  EXPECT_EQ(a.title, "ruff:E501");
  EXPECT_EQ(a.message, "Line too long");
  EXPECT_EQ(a.file, "/abs/a.py");
  EXPECT_EQ(a.line, 3u);
  EXPECT_EQ(a.column, 1u);  // column 0 becomes 1
  EXPECT_EQ(a.severity, Severity::High);
  EXPECT_EQ(a.category, Category::Warning);
  EXPECT_EQ(a.source, "ruff");
  EXPECT_EQ(a.confidence, Confidence::ToolReported);
  EXPECT_FALSE(a.explanation || a.remediation);
  Finding b = detail::ruff_diagnostic_to_finding((*parsed)[1]);
  EXPECT_EQ(b.line, 1u);
  EXPECT_EQ(b.column, 7u);
  EXPECT_TRUE(parse_ruff_json("[]")->empty());
}

TEST(RuffSeverity, ByCode) {
  struct Case {
    const char* code;
    Severity severity;
  };
  const Case cases[] = {{"E501", Severity::High},  {"F401", Severity::High},     {"S101", Severity::High},
                        {"B006", Severity::Medium}, {"ASYNC100", Severity::Medium}, {"ASYN1", Severity::Low},
                        {"A001", Severity::Low},    {"W291", Severity::Low},       {"", Severity::Low},
                        {"e501", Severity::Low}};
  for (const auto& c : cases) EXPECT_EQ(detail::ruff_severity_for_code(c.code), c.severity) << c.code;
}

}  // namespace
}  // namespace quarn
