#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quarn {

// Every piece of `text` between `separator`s, empty ones included.
std::vector<std::string_view> split_text(std::string_view text, char separator);

// A path as text for messages and reports: its bytes, invalid UTF-8 replaced.
std::string path_text(const std::filesystem::path& path);

// Appends `text` as it may reach a terminal: every control character (C0
// with tab, DEL, C1) as a visible escape, `\t`, `\n`, `\r` or `\xHH`, and
// invalid UTF-8 replaced by U+FFFD; the rest unchanged, appended at once when
// nothing needs escaping.
void append_terminal_text(std::string& out, std::string_view text);
std::string terminal_text(std::string_view text);

// A float as messages name a value: the shortest digits that read back as the
// same double, never in exponent form, always with a decimal point ("50.0");
// "NaN", "inf" and "-inf" otherwise.
std::string float_text(double value);

}  // namespace quarn
