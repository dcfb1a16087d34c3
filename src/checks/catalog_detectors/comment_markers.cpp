#include "checks/catalog_detectors/detectors.h"

namespace quarn {

void detect_commented_out_code(DetectorContext&) {}
void detect_placeholder_generated_code(DetectorContext&) {}
void detect_generated_comment_pattern(DetectorContext&) {}

}  // namespace quarn
