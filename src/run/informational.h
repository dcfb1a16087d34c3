#pragma once

#include <string_view>

#include "run/command.h"

namespace quarn {

extern const std::string_view STARTER_CONFIG_DEFAULT;
extern const std::string_view STARTER_CONFIG_STRICT;

RunResult explain_check(std::string_view id);
RunResult list_checks();
RunResult write_starter_config(bool strict);

}  // namespace quarn
