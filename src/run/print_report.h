#pragma once

#include "base/error.h"
#include "findings/finding.h"
#include "run/command.h"

namespace quarn {

// Writes the report of `findings` in `format` and one newline to standard
// output. Workers render it in pieces and this thread writes them in order,
// so the text is the same for any number of workers. Whatever may fail
// besides writing (a JSON report of a path that is not UTF-8, no memory for
// the room the rest needs) fails before the first byte, so a report is
// written whole or not at all. After a failed write nothing more is written
// and no further piece is begun (pieces already begun are finished), and that
// first error is returned.
Result<void> print_report(OutputFormat format, const FindingsView& findings, unsigned workers);

}  // namespace quarn
