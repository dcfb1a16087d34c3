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

}  // namespace quarn
