#pragma once

#include "base/error.h"
#include "findings/finding.h"
#include "run/command.h"

namespace quarn {

// Writes the report of `findings` in `format` and one newline to standard
// output. Workers render it in pieces, and once the whole text is there this
// thread writes them in order, so the text is the same for any number of
// workers and an error while rendering (running out of memory, a JSON report
// of a path that is not UTF-8) leaves standard output untouched. The first
// failed write ends the writing and is returned.
Result<void> print_report(OutputFormat format, const FindingsView& findings, unsigned workers);

}  // namespace quarn
