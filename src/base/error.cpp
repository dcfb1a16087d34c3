#include "base/error.h"

namespace quarn {

std::string Error::render() const {
  std::string out;
  for (auto it = chain_.rbegin(); it != chain_.rend(); ++it) {
    if (!out.empty() || it != chain_.rbegin()) out += ": ";
    out += *it;
  }
  return out;
}

}  // namespace quarn
