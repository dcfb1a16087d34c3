#include "reporters/json_writer.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace quarn {
namespace {

using Json = nlohmann::ordered_json;

// The library's two-space dump has the reports' layout and escaping, so it
// serves as the reference here.
std::string reference(const Json& document) { return document.dump(2, ' ', false); }

TEST(JsonWriter, LayoutMatchesTheReference) {
  std::string out;
  JsonWriter json(out);
  json.begin_object();
  json.member("name", "quarn");
  json.begin_array("empty_array");
  json.end_array();
  json.begin_object("empty_object");
  json.end_object();
  json.begin_array("items");
  json.string("one");
  json.begin_array();
  json.begin_object();
  json.member("deep", "two");
  json.end_object();
  json.end_array();
  json.end_array();
  json.key("last");
  json.string("three");
  json.end_object();

  Json expected = {
      {"name", "quarn"},
      {"empty_array", Json::array()},
      {"empty_object", Json::object()},
      {"items", Json::array({"one", Json::array({Json{{"deep", "two"}}})})},
      {"last", "three"},
  };
  EXPECT_EQ(out, reference(expected));
}

TEST(JsonWriter, TopLevelContainers) {
  const struct {
    void (*write)(JsonWriter&);
    const char* expected;
  } cases[] = {
      {[](JsonWriter& j) { j.begin_array(), j.end_array(); }, "[]"},
      {[](JsonWriter& j) { j.begin_object(), j.end_object(); }, "{}"},
      {[](JsonWriter& j) { j.begin_array(), j.string("a"), j.end_array(); }, "[\n  \"a\"\n]"},
  };
  for (const auto& c : cases) {
    std::string out;
    JsonWriter json(out);
    c.write(json);
    EXPECT_EQ(out, c.expected);
  }
}

TEST(JsonWriter, EveryAsciiByteEscapesLikeTheReference) {
  for (int byte = 0; byte < 128; ++byte) {
    const std::string text = {'a', static_cast<char>(byte), 'b'};
    std::string out;
    append_json_string(out, text);
    EXPECT_EQ(out, Json(text).dump()) << "byte " << byte;
  }
}

TEST(JsonWriter, IllFormedUtf8BecomesReplacementCharacters) {
  const std::pair<std::string, std::string> cases[] = {
      {"a\xff", "\"a\uFFFD\""},
      {"\xe2\x82z", "\"\uFFFDz\""},
      {"\xed\xa0\x80", "\"\uFFFD\uFFFD\uFFFD\""},
      {"\xf0\x9f\x98\x80\xc3", "\"\U0001F600\uFFFD\""},
      {"q\"\xff", "\"q\\\"\uFFFD\""},
  };
  for (const auto& [text, expected] : cases) {
    std::string out;
    append_json_string(out, text);
    EXPECT_EQ(out, expected);
  }
}

}  // namespace
}  // namespace quarn
