// libFuzzer entry point: tokenizes one input, checks the token stream's
// invariants, decodes every literal and parses the input. Any crash,
// sanitizer report or broken invariant is a finding.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "parser/arena.h"
#include "parser/lexer.h"
#include "parser/literals.h"
#include "parser/parse.h"

namespace {

using quarn::py::Tok;

void require(bool condition) {
  if (!condition) __builtin_trap();
}

void check_tokens(std::string_view src, const std::vector<quarn::py::Token>& tokens) {
  require(!tokens.empty() && tokens.back().kind == Tok::EndMarker);
  std::uint32_t previous_end = 0;
  std::vector<bool> raw_stack;
  std::string value;
  for (const auto& t : tokens) {
    require(t.start <= t.end && t.end <= src.size());
    require(t.start >= previous_end);
    previous_end = t.end;
    std::string_view text = src.substr(t.start, t.end - t.start);
    value.clear();
    bool is_bytes = false;
    switch (t.kind) {
      case Tok::String:
        (void)quarn::py::decode_string_token(text, value, is_bytes);
        break;
      case Tok::FStringStart:
        raw_stack.push_back(quarn::py::string_prefix(text).raw);
        break;
      case Tok::FStringMiddle:
        require(!text.empty() && !raw_stack.empty());
        (void)quarn::py::decode_fstring_middle(text, raw_stack.back(), value);
        break;
      case Tok::FStringEnd:
        require(!raw_stack.empty());
        raw_stack.pop_back();
        break;
      case Tok::Number:
        (void)quarn::py::decode_number(text);
        break;
      default:
        break;
    }
  }
  require(raw_stack.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view src(reinterpret_cast<const char*>(data), size);
  if (auto tokens = quarn::py::tokenize(src)) check_tokens(src, *tokens);
  quarn::py::Arena arena;
  (void)quarn::py::parse_python(src, arena);
  return 0;
}
