#pragma once

// Who produces an item of run_in_order (run/workers.h).

namespace quarn {

// Thrown by `produce` on a pool thread to hand its item to the calling
// thread, which then produces it in its turn while the pool goes on. Not an
// error: the way a worker passes on what it must not do itself.
struct ProduceOnCaller {};

// Where `produce` runs: on a pool thread, on the calling thread while pool
// threads may still run, or on the calling thread with no other thread
// running (as in a one-worker run).
enum class Producer { worker, caller, alone };

}  // namespace quarn
