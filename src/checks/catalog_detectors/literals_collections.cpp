#include "checks/catalog_detectors/detectors.h"

namespace quarn {

void detect_repeated_literal(DetectorContext&) {}
void detect_mixed_collection_style(DetectorContext&) {}
void detect_mixed_quote_style(DetectorContext&) {}
void detect_filter_none(DetectorContext&) {}
void detect_sort_for_top_k(DetectorContext&) {}

}  // namespace quarn
