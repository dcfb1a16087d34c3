#pragma once

#include <optional>
#include <string>

#include "parser/ast.h"

namespace quarn {

// The text of a numeric constant: an integer in decimal digits (any size), a
// float as the shortest digits that read back as the same value written
// without exponent ("1", "2.5", "1000", "0.00001"), "inf" for an infinite
// float. Nothing for any other constant, complex numbers included.
std::optional<std::string> number_literal_to_string(const py::Constant& constant);

// The float part of the above.
std::string float_to_plain_text(double value);

}  // namespace quarn
