#include "checks/catalog_detectors/detectors.h"

namespace quarn {

void detect_complex_boolean_expression(DetectorContext&) {}
void detect_magic_number(DetectorContext&) {}
void detect_dangerous_eval_exec(DetectorContext&) {}
void detect_length_comparison(DetectorContext&) {}
void detect_print_debugging(DetectorContext&) {}
void detect_redundant_boolean_comparison(DetectorContext&) {}
void detect_identity_map(DetectorContext&) {}
void detect_simplifiable_if_expression(DetectorContext&) {}

}  // namespace quarn
