#include "base/signals.h"

#include <atomic>

namespace quarn {

namespace {

std::atomic<bool> file_size_signal_was_default{false};

}  // namespace

void set_up_signals() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  struct sigaction previous {};
  if (::sigaction(SIGXFSZ, &ignore, &previous) == 0) file_size_signal_was_default = previous.sa_handler != SIG_IGN;
  if (::sigaction(SIGCHLD, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) ::signal(SIGCHLD, SIG_DFL);
}

sigset_t signals_to_default_in_children() {
  sigset_t signals;
  sigemptyset(&signals);
  if (file_size_signal_was_default) sigaddset(&signals, SIGXFSZ);
  return signals;
}

}  // namespace quarn
