#include "checks/catalog_detectors/detectors.h"

namespace quarn {

void detect_broad_except(DetectorContext&) {}
void detect_bare_except(DetectorContext&) {}
void detect_empty_except(DetectorContext&) {}
void detect_blanket_except(DetectorContext&) {}
void detect_silent_fallback(DetectorContext&) {}
void detect_generic_exception_message(DetectorContext&) {}
void detect_repeated_try_except(DetectorContext&) {}

}  // namespace quarn
