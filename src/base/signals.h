#pragma once

#include <signal.h>

namespace quarn {

// Ignores SIGXFSZ, so that a write past the file-size limit fails with EFBIG
// instead of ending the process, and gives an ignored SIGCHLD its default
// action back, without which a child could not be waited for. Called once at
// start, before any thread.
void set_up_signals();

// The signals a child must get back to their default action so that it
// starts with the dispositions quarn started with.
sigset_t signals_to_default_in_children();

}  // namespace quarn
