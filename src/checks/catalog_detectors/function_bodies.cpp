#include "checks/catalog_detectors/detectors.h"

namespace quarn {

void detect_assert_production(DetectorContext&) {}
void detect_mutable_default_argument(DetectorContext&) {}
void detect_generated_dead_branch(DetectorContext&) {}
void detect_global_mutable_state(DetectorContext&) {}
void detect_unnecessary_else_after_return(DetectorContext&) {}
void detect_identity_passthrough(DetectorContext&) {}
void detect_collapsible_if(DetectorContext&) {}
void detect_duplicate_branch_body(DetectorContext&) {}
void detect_manual_string_join(DetectorContext&) {}
void detect_sort_then_reverse(DetectorContext&) {}
void detect_query_in_loop(DetectorContext&) {}
void detect_extractable_condition(DetectorContext&) {}
void detect_ambiguous_none_return(DetectorContext&) {}
void detect_reject_none(DetectorContext&) {}
void detect_empty_wrapper_function(DetectorContext&) {}

}  // namespace quarn
