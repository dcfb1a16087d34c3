#pragma once

// Threads on stacks of known size. Parsing recurses as deep as its input
// nests, so a command and its workers run on stacks whose size quarn sets,
// whatever `ulimit -s` gives; recursion checks what is left on the calling
// thread. Under a memory limit tight for the workers, what threads leave
// behind is kept repeatable.

#include <pthread.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

namespace quarn {

// The stack a command and its workers run on. The deepest input the parser
// accepts needs about 3.1 MiB in the sanitizer build and 1.3 MiB in Release.
inline constexpr std::size_t kWorkStackSize = std::size_t{16} << 20;

// A thread running `body` on a stack of `stack_size` bytes, mapped whole at
// its start and unmapped when it is joined, by join() or at the latest when
// it goes away; like std::thread, it ends the process when `body` throws.
class WorkThread {
 public:
  // Throws std::system_error when the system gives no thread or no memory
  // for its stack, std::bad_alloc when there is none for `body`.
  explicit WorkThread(std::function<void()> body, std::size_t stack_size = kWorkStackSize);
  WorkThread(WorkThread&& other) noexcept;
  WorkThread& operator=(WorkThread&&) = delete;
  ~WorkThread() { join(); }

  void join();

 private:
  pthread_t handle_{};
  bool joinable_ = false;
  void* mapping_ = nullptr;  // a guard page, then the stack
  std::size_t mapped_ = 0;
};

// The smallest soft limit of address space or data size; none when both are
// unlimited.
std::optional<std::size_t> memory_limit();

// Makes the room malloc leaves independent of what ran before: every thread
// allocates from the main arena (one of its own keeps its reservation after
// its thread ended), and the mmap and trim thresholds stay put (glibc raises
// them after a large block is freed). So a file checked again on one thread
// once the workers stopped has the room it has in a run that never started
// them. It costs time: workers wait for each other on the one arena, and
// every large block is mapped and unmapped anew; needs_repeatable_malloc
// (run/cpus.h) says when a run pays that. To be called while no other thread
// allocates; a thread that already has an arena of its own keeps it.
void make_malloc_repeatable();

// Runs `body` on a stack of kWorkStackSize bytes: the calling thread's, its
// soft limit raised that far, when the hard limit allows; else a WorkThread's,
// a smaller one when there is no address space for that much. Where no thread
// can start, on the calling thread with the stack it has.
void run_on_work_stack(const std::function<void()>& body);

// The lowest address the calling thread's stack may grow to, looked up once
// per thread.
std::uintptr_t stack_bottom();

// The stack pointer where this is inlined: one instruction on x86-64, where
// taking the frame address would make the caller set up a frame.
inline std::uintptr_t stack_position() {
#if defined(__x86_64__)
  std::uintptr_t pointer;
  asm("movq %%rsp, %0" : "=r"(pointer));
  return pointer;
#else
  return reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
#endif
}

// Bytes of stack left below the caller on this thread.
std::size_t stack_left();

}  // namespace quarn
