#pragma once

#include <cstddef>
#include <functional>
#include <utility>

#include "base/thread_stack.h"
#include "run/producer.h"
#include "run/workers_detail.h"

namespace quarn {

// Calls `produce(i, where)` for i in [0, count) on up to `workers` threads
// and `consume(i, result)` on the calling thread in index order, each as soon
// as every earlier item was consumed. At most `window` results (at least one)
// wait at once, so memory stays bounded when producing is faster than
// consuming. With one worker (or one item) everything runs on the calling
// thread.
//
// The results are those of a one-worker run whatever fails: threads that
// cannot start are done without; an item whose `produce` throws on a pool
// thread stops the pool (no item is claimed any more, every thread is
// joined) and is produced again on the calling thread alone, as is every
// item not yet claimed; one that throws ProduceOnCaller is produced on the
// calling thread without stopping the pool, and again alone if that throws.
// What `produce` throws alone, or `consume` throws, leaves run_in_order
// after every thread was joined.
template <class Produce, class Consume>
void run_in_order(std::size_t count, unsigned workers, std::size_t window, Produce produce, Consume consume) {
  detail::run_in_order(count, workers, window, std::move(produce), std::move(consume),
                       [](std::function<void()> body) { return WorkThread(std::move(body)); });
}

}  // namespace quarn
