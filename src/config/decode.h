#pragma once

// Decoding of a parsed quarn.toml document into Config. Only form and type
// are checked here; meaning is validate_config's business.

#include <expected>
#include <string>

#include <toml++/toml.h>

#include "config/config.h"

namespace quarn {

// A decoding failure and the stretch of the document it is about.
struct DecodeError {
  std::string message;
  toml::source_region where;
};

template <class T>
using Decoded = std::expected<T, DecodeError>;

// Decodes the root table. Entries of every table are visited in the order
// their keys first appear in the file, and the first failure ends decoding.
Decoded<Config> decode_config(const toml::table& root);

}  // namespace quarn
