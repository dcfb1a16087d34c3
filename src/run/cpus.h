#pragma once

#include <cstddef>

namespace quarn {

// The number of CPUs this process may run on: its affinity mask, lowered by
// a CPU quota of its control group. At least 1.
unsigned available_cpus();

// Workers for a run over `files` files: the CPUs this process may use, at
// most one per file and one per 256 MiB of a limit of address space. At
// least 1.
unsigned worker_count(std::size_t files);

// Whether a run on `workers` workers calls make_malloc_repeatable
// (base/thread_stack.h) before they start: under a memory limit that gives
// each worker less than twice its budget, and under any on one worker.
bool needs_repeatable_malloc(unsigned workers);

}  // namespace quarn
