#pragma once

#include <string>
#include <string_view>

#include <toml++/toml.h>

namespace quarn {

// The message of a TOML syntax or decoding error, preceded by the line and
// column of `where` and the source line with the region underlined:
//
//   TOML parse error at line 3, column 11
//     |
//   3 | enabled = 1
//     |           ^
//   invalid type: integer `1`, expected a boolean
std::string render_toml_error(std::string_view text, const toml::source_region& where, std::string_view message);

}  // namespace quarn
