#include "run/workers.h"
#include "run/workers_detail.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <fmt/format.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <new>
#include <numeric>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

namespace quarn {
namespace {

std::string produce_item(std::size_t i) {
  std::string text(i % 7 == 0 ? 20000 : 10, 'x');
  return std::to_string(i) + ":" + std::to_string(std::accumulate(text.begin(), text.end(), 0));
}

// A starter that gives `limit` threads, then fails as the system does.
detail::ThreadStarter starter_of(unsigned limit, unsigned& started) {
  started = 0;
  return [&started, limit](std::function<void()> body) {
    if (started == limit) throw std::system_error(EAGAIN, std::generic_category(), "no thread");
    ++started;
    return WorkThread(std::move(body));
  };
}

// Where items are produced: nothing runs on a pool thread while an item is
// produced alone, nor after. Counts how often each item is produced in each
// place, and how often that throws.
struct ProducerWatch {
  std::atomic<int> on_workers = 0;
  std::atomic<bool> went_alone = false;
  std::atomic<int> alone = 0;

  struct Tally {
    std::atomic<int> produced[3] = {0, 0, 0};  // by Producer: worker, caller, alone
    std::atomic<int> threw[3] = {0, 0, 0};
  };
  std::vector<Tally> tallies;

  explicit ProducerWatch(std::size_t count) : tallies(count) {}

  template <class Body>
  auto produce(std::size_t i, Producer where, Body body) {
    const auto place = static_cast<std::size_t>(where);
    ++tallies[i].produced[place];
    auto counted = [&] {
      try {
        return body();
      } catch (...) {
        ++tallies[i].threw[place];
        throw;
      }
    };
    if (where == Producer::alone) {
      went_alone = true;
      ++alone;
      EXPECT_EQ(on_workers, 0);
      return counted();
    }
    EXPECT_TRUE(where != Producer::worker || !went_alone);
    if (where != Producer::worker) return counted();
    ++on_workers;
    struct Leave {
      std::atomic<int>& count;
      ~Leave() { --count; }
    } leave{on_workers};
    return counted();
  }

  // "w", "c", "a" for each production on a worker, on the caller, alone, in
  // that order; "!" after the places where it threw, once for each throw.
  std::string productions_of(std::size_t i) const {
    const Tally& tally = tallies[i];
    std::string out;
    for (std::size_t place = 0; place < 3; ++place) {
      for (int k = 0; k < tally.produced[place]; ++k) out += "wca"[place];
      for (int k = 0; k < tally.threw[place]; ++k) out += '!';
    }
    return out;
  }
};

// An item is produced once, on a worker or alone; only a production that
// threw on a worker is followed by exactly one more on the calling thread
// (handed over: on the caller while the pool goes on, or alone once it
// stopped), and one that threw on the caller by exactly one alone.
bool produced_once_after_failures(std::string_view productions) {
  for (std::string_view allowed : {"w", "a", "w!c", "w!a", "w!c!a"}) {
    if (productions == allowed) return true;
  }
  return false;
}

// Items of uneven cost, so that workers finish out of order; whatever fails
// on the way, every item is consumed once, in order, with its own result.
TEST(RunInOrder, ConsumesEveryResultInIndexOrderWhateverFails) {
  constexpr unsigned kAll = 1000;
  struct Case {
    std::string_view name;
    unsigned threads;  // how many the starter gives
    bool pooled;       // no item is produced alone when there are threads
    std::function<void(std::size_t, Producer)> fault;
  };
  const Case cases[] = {
      {"nothing fails", kAll, true, [](std::size_t, Producer) {}},
      {"no thread starts", 0, false, [](std::size_t, Producer) {}},
      {"one thread starts", 1, true, [](std::size_t, Producer) {}},
      {"two threads start", 2, true, [](std::size_t, Producer) {}},
      {"out of memory on a worker", kAll, false,
       [](std::size_t i, Producer where) {
         if (where == Producer::worker && (i == 0 || i == 57 || i == 199)) throw std::bad_alloc();
       }},
      {"out of memory on a worker while the others are busy", kAll, false,
       [](std::size_t i, Producer where) {
         if (where != Producer::worker) return;
         std::this_thread::sleep_for(std::chrono::milliseconds(i == 0 ? 5 : 20));
         if (i == 0) throw std::bad_alloc();
       }},
      {"any exception on a worker", 2, false,
       [](std::size_t i, Producer where) {
         if (where == Producer::worker && i % 50 == 5) throw std::runtime_error("worker");
       }},
      {"handed to the caller", kAll, true,
       [](std::size_t i, Producer where) {
         if (where == Producer::worker && i % 10 == 3) throw ProduceOnCaller();
       }},
      {"handed over, then failing on the caller", kAll, false,
       [](std::size_t i, Producer where) {
         if (where == Producer::worker && i % 10 == 3) throw ProduceOnCaller();
         if (where == Producer::caller && i == 33) throw std::bad_alloc();
       }},
  };
  for (const Case& c : cases) {
    for (unsigned workers : {1u, 2u, 7u, 16u}) {
      for (std::size_t window : {0u, 1u, 3u, 1000u}) {
        const std::string where = fmt::format("{}, {} workers, window {}", c.name, workers, window);
        std::vector<std::size_t> consumed;
        ProducerWatch watch(200);
        unsigned started;
        detail::run_in_order(
            200, workers, window,
            [&](std::size_t i, Producer producer) {
              return watch.produce(i, producer, [&] {
                c.fault(i, producer);
                return produce_item(i);
              });
            },
            [&](std::size_t i, std::string& result) {
              EXPECT_EQ(result, produce_item(i));
              consumed.push_back(i);
            },
            starter_of(c.threads, started));
        std::vector<std::size_t> expected(200);
        std::iota(expected.begin(), expected.end(), 0);
        EXPECT_EQ(consumed, expected) << where;
        std::string produced_otherwise;
        for (std::size_t i = 0; i < 200; ++i) {
          const std::string productions = watch.productions_of(i);
          if (!produced_once_after_failures(productions)) produced_otherwise += fmt::format(" {}:{}", i, productions);
        }
        EXPECT_EQ(produced_otherwise, "") << where;
        EXPECT_EQ(started, workers > 1 ? std::min(workers, c.threads) : 0) << where;
        // With threads, an item that failed on one is produced again alone.
        EXPECT_TRUE(workers == 1 || c.threads == 0 || (watch.alone == 0) == c.pooled) << where;
      }
    }
  }
}

// A failure on a worker stops the pool at once, although the item the
// calling thread waits for is still being produced: with two workers, one
// produces item 0 until the other, failing on item 1, has left the pool, and
// nothing more is claimed.
TEST(RunInOrder, AFailureOnAWorkerStopsThePool) {
  std::atomic<int> on_workers = 0;
  std::atomic_flag a_thread_left;
  detail::run_in_order(
      200, 2, 200,
      [&](std::size_t i, Producer where) {
        if (where != Producer::worker) return i;
        ++on_workers;
        if (i == 0) a_thread_left.wait(false);
        if (i == 1) throw std::bad_alloc();
        return i;
      },
      [](std::size_t, std::size_t) {},
      [&](std::function<void()> body) {
        return WorkThread([&, body = std::move(body)] {
          body();
          a_thread_left.test_and_set();
          a_thread_left.notify_all();
        });
      });
  EXPECT_EQ(on_workers, 2);
}

// Pool threads have a stack of the work size, whatever `ulimit -s` gave the
// process.
TEST(RunInOrder, WorkersRunOnWorkStacks) {
  std::vector<std::size_t> left(16);
  run_in_order(
      left.size(), 4, left.size(),
      [&](std::size_t i, Producer where) {
        EXPECT_EQ(where, Producer::worker);
        left[i] = stack_left();
        return 0;
      },
      [](std::size_t, int) {});
  for (std::size_t bytes : left) {
    EXPECT_GT(bytes, kWorkStackSize / 4 * 3);
    EXPECT_LE(bytes, kWorkStackSize);
  }
}

// A joined thread's stack is unmapped, not kept for threads to come, so that
// once the workers stopped the calling thread has the room it had before.
TEST(WorkThread, UnmapsItsStackWhenJoined) {
  std::uintptr_t bottom = 0;
  WorkThread([&] { bottom = stack_bottom(); }).join();
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  unsigned char resident;
  EXPECT_EQ(::mincore(reinterpret_cast<void*>(bottom / page * page), page, &resident), -1);
  EXPECT_EQ(errno, ENOMEM);
}

// One item runs on the calling thread, and no thread is started for it.
TEST(RunInOrder, OneItemRunsAlone) {
  unsigned started;
  std::vector<Producer> seen;
  detail::run_in_order(
      1, 8, 4,
      [&](std::size_t, Producer where) {
        seen.push_back(where);
        return 0;
      },
      [](std::size_t, int) {}, starter_of(8, started));
  EXPECT_EQ(seen, std::vector<Producer>{Producer::alone});
  EXPECT_EQ(started, 0u);
}

// What fails with no thread left to fall back on leaves run_in_order, after
// every thread was joined: no hang, no terminate.
TEST(RunInOrder, PassesOnWhatFailsAlone) {
  for (unsigned workers : {1u, 2u, 16u}) {
    std::size_t consumed = 0;
    EXPECT_THROW(run_in_order(
                     100, workers, 4,
                     [](std::size_t i, Producer) {
                       if (i == 40) throw std::bad_alloc();
                       return i;
                     },
                     [&](std::size_t, std::size_t) { ++consumed; }),
                 std::bad_alloc)
        << workers;
    EXPECT_EQ(consumed, 40u) << workers;
    consumed = 0;
    EXPECT_THROW(run_in_order(
                     100, workers, 100, [](std::size_t i, Producer) { return i; },
                     [&](std::size_t i, std::size_t) {
                       if (i == 10) throw std::runtime_error("consume");
                       ++consumed;
                     }),
                 std::runtime_error)
        << workers;
    EXPECT_EQ(consumed, 10u) << workers;
  }
}

}  // namespace
}  // namespace quarn
