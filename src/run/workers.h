#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

namespace quarn {

// Calls `produce(i)` for i in [0, count) on `workers` threads and
// `consume(i, result)` on the calling thread in index order, each as soon as
// every earlier item was consumed. At most `window` results wait at once, so
// memory stays bounded when producing is faster than consuming. With one
// worker (or one item) everything runs on the calling thread.
template <class Produce, class Consume>
void run_in_order(std::size_t count, unsigned workers, std::size_t window, Produce produce, Consume consume) {
  using Produced = decltype(produce(std::size_t{0}));
  if (workers <= 1 || count <= 1) {
    for (std::size_t i = 0; i < count; ++i) {
      Produced result = produce(i);
      consume(i, result);
    }
    return;
  }
  window = std::max<std::size_t>(window, 1);
  std::mutex mutex;
  std::condition_variable result_ready;
  std::condition_variable slot_free;
  std::vector<std::optional<Produced>> slots(window);
  std::size_t next_claimed = 0;
  std::size_t consumed = 0;

  auto work = [&] {
    for (;;) {
      std::size_t i;
      {
        std::unique_lock lock(mutex);
        slot_free.wait(lock, [&] { return next_claimed >= count || next_claimed < consumed + window; });
        if (next_claimed >= count) return;
        i = next_claimed++;
      }
      Produced result = produce(i);
      std::lock_guard lock(mutex);
      slots[i % window].emplace(std::move(result));
      if (i == consumed) result_ready.notify_one();
    }
  };

  std::vector<std::jthread> threads;
  threads.reserve(workers);
  for (unsigned w = 0; w < workers; ++w) threads.emplace_back(work);
  for (std::size_t i = 0; i < count; ++i) {
    std::optional<Produced> result;
    {
      std::unique_lock lock(mutex);
      result_ready.wait(lock, [&] { return slots[i % window].has_value(); });
      result.swap(slots[i % window]);
      ++consumed;
    }
    slot_free.notify_all();
    consume(i, *result);
  }
}

}  // namespace quarn
