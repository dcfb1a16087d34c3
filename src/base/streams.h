#pragma once

#include <string_view>

#include "base/error.h"

namespace quarn {

// Write all of `text` to standard output / standard error, unbuffered by
// stdio so that the two streams keep their relative order. A failed or short
// write of standard output is an error with the context "write standard
// output"; standard error has nowhere left to report its own failure.
[[nodiscard]] Result<void> write_stdout(std::string_view text);
void write_stderr(std::string_view text);

// Takes a standard stream's descriptor that is closed at start with one that
// cannot be written either, so that no file or pipe opened later lands on it
// and receives the report or the warnings.
void hold_closed_standard_streams();

}  // namespace quarn
