#pragma once

#include <string>
#include <string_view>

#include <toml++/toml.h>

#include "base/error.h"

namespace quarn {

// A TOML syntax or decoding error: its message, preceded by the line and
// column of `where` and the source line with the region underlined, the
// source line and the message escaped for the terminal (the caret counts
// the escapes):
//
//   TOML parse error at line 3, column 11
//     |
//   3 | enabled = 1
//     |           ^
//   invalid type: integer `1`, expected a boolean
Error render_toml_error(std::string_view text, const toml::source_region& where, std::string_view message);

}  // namespace quarn
