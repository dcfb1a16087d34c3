#pragma once

#include "base/error.h"
#include "findings/finding.h"
#include "run/command.h"

namespace quarn {

// Writes the report of `findings` in `format` and one newline to standard
// output. Workers render it in pieces and this thread writes them in order,
// so the text is the same for any number of workers. After a failed write
// nothing more is written and no further piece is begun (pieces already
// begun are finished), and that first error is returned; a
// JSON report of a path that is not UTF-8 fails before anything is written.
Result<void> print_report(OutputFormat format, const FindingsView& findings, unsigned workers);

}  // namespace quarn
