// libFuzzer entry point for the configuration reader: reads one input as a
// quarn.toml (parse, decode, validate) and resolves a check under it. Any
// crash, hang or sanitizer report is a finding.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "config/config.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto config = quarn::parse_config(text);
  if (!config) return 0;
  (void)quarn::validate_config(*config);
  (void)quarn::resolve_check_config(*config, "QN207", true);
  return 0;
}
