#include "checks/catalog_detectors/detectors.h"

namespace quarn {

void detect_inconsistent_function_naming(DetectorContext&) {}
void detect_inconsistent_class_naming(DetectorContext&) {}
void detect_inconsistent_import_style(DetectorContext&) {}
void detect_inconsistent_test_naming(DetectorContext&) {}
void detect_service_object_explosion(DetectorContext&) {}
void detect_too_many_instance_variables(DetectorContext&) {}
void detect_too_many_public_methods(DetectorContext&) {}
void detect_layer_violation(DetectorContext&) {}
void detect_excessive_abstraction(DetectorContext&) {}
void detect_generic_utility_explosion(DetectorContext&) {}
void detect_boilerplate_parameter_docs(DetectorContext&) {}
void detect_defensive_overengineering(DetectorContext&) {}
void detect_dataclass_without_behavior(DetectorContext&) {}
void detect_unclear_variable_name(DetectorContext&) {}
void detect_mixed_return_style(DetectorContext&) {}

}  // namespace quarn
