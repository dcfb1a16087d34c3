#pragma once

// run_in_order with a seam for its tests: how pool threads start.

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "base/thread_stack.h"
#include "run/producer.h"

namespace quarn::detail {

// Starts one pool thread; may throw, as WorkThread does when the system
// has no thread left to give.
using ThreadStarter = std::function<WorkThread(std::function<void()>)>;

// run_in_order (run/workers.h), with its pool threads started by `start`.
template <class Produce, class Consume>
void run_in_order(std::size_t count, unsigned workers, std::size_t window, Produce produce, Consume consume,
                  const ThreadStarter& start) {
  using Produced = decltype(produce(std::size_t{0}, Producer::alone));
  if (workers <= 1 || count <= 1) {
    for (std::size_t i = 0; i < count; ++i) {
      Produced result = produce(i, Producer::alone);
      consume(i, result);
    }
    return;
  }
  window = std::max<std::size_t>(window, 1);
  enum class State { empty, done, on_caller, failed };
  struct Slot {
    State state = State::empty;
    std::optional<Produced> result;
  };
  std::mutex mutex;
  std::condition_variable result_ready;
  std::condition_variable slot_free;
  std::vector<Slot> slots(window);
  std::size_t next_claimed = 0;
  std::size_t consumed = 0;
  bool stopped = false;

  auto work = [&] {
    for (;;) {
      std::size_t i;
      {
        std::unique_lock lock(mutex);
        slot_free.wait(lock, [&] { return stopped || next_claimed >= count || next_claimed < consumed + window; });
        if (stopped || next_claimed >= count) return;
        i = next_claimed++;
      }
      std::optional<Produced> result;
      State state = State::done;
      try {
        result.emplace(produce(i, Producer::worker));
      } catch (const ProduceOnCaller&) {
        state = State::on_caller;
      } catch (...) {
        state = State::failed;
      }
      {
        std::lock_guard lock(mutex);
        slots[i % window].state = state;
        slots[i % window].result.swap(result);
        if (state == State::failed) stopped = true;
      }
      result_ready.notify_one();
      if (state == State::failed) {
        slot_free.notify_all();
        return;
      }
    }
  };

  std::vector<WorkThread> threads;
  bool joined = false;
  auto stop_and_join = [&] {
    if (joined) return;
    {
      std::lock_guard lock(mutex);
      stopped = true;
    }
    slot_free.notify_all();
    for (WorkThread& thread : threads) thread.join();
    joined = true;
  };
  struct JoinOnExit {
    decltype(stop_and_join)& join;
    ~JoinOnExit() { join(); }
  } join_on_exit{stop_and_join};

  try {
    threads.reserve(workers);
    for (unsigned w = 0; w < workers; ++w) threads.push_back(start(work));
  } catch (...) {
    // Go on with the threads that did start, or on this thread alone.
  }
  if (threads.empty()) stop_and_join();

  auto produce_here = [&](std::size_t i) -> Produced {
    if (joined) return produce(i, Producer::alone);
    try {
      return produce(i, Producer::caller);
    } catch (...) {
      stop_and_join();
    }
    return produce(i, Producer::alone);
  };

  for (std::size_t i = 0; i < count; ++i) {
    State state;
    std::optional<Produced> result;
    {
      std::unique_lock lock(mutex);
      Slot& slot = slots[i % window];
      result_ready.wait(lock, [&] { return slot.state != State::empty || (stopped && i >= next_claimed); });
      state = std::exchange(slot.state, State::empty);
      result.swap(slot.result);
      ++consumed;
    }
    // One slot came free, for one worker: waking them all would have the
    // rest wait again, a cost on every item.
    slot_free.notify_one();
    switch (state) {
      case State::done:
        break;
      case State::on_caller:
        result.emplace(produce_here(i));
        break;
      case State::empty:
      case State::failed:
        stop_and_join();
        result.emplace(produce(i, Producer::alone));
        break;
    }
    consume(i, *result);
  }
}

}  // namespace quarn::detail
