#include "base/thread_stack.h"

#include <sys/resource.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <optional>
#include <system_error>
#include <utility>

namespace quarn {

namespace {

constexpr std::size_t kSmallestWorkStack = std::size_t{256} << 10;

void* run_body(void* body) noexcept {
  const std::unique_ptr<std::function<void()>> owned(static_cast<std::function<void()>*>(body));
  (*owned)();
  return nullptr;
}

// Linux grows the main thread's stack up to the soft limit in force when it
// grows, so raising the limit deepens the stack the thread already has. True
// when the limit now allows kWorkStackSize.
bool raise_stack_limit() {
  struct rlimit limit;
  if (::getrlimit(RLIMIT_STACK, &limit) != 0) return false;
  if (limit.rlim_cur >= kWorkStackSize) return true;
  limit.rlim_cur = std::min<rlim_t>(kWorkStackSize, limit.rlim_max);
  return ::setrlimit(RLIMIT_STACK, &limit) == 0 && limit.rlim_cur >= kWorkStackSize;
}

std::uintptr_t find_stack_bottom() {
  pthread_attr_t attributes;
  if (::pthread_getattr_np(::pthread_self(), &attributes) == 0) {
    void* lowest = nullptr;
    std::size_t size = 0;
    const int got = ::pthread_attr_getstack(&attributes, &lowest, &size);
    ::pthread_attr_destroy(&attributes);
    if (got == 0) return reinterpret_cast<std::uintptr_t>(lowest);
  }
  // Only the main thread's lookup can fail (it reads /proc/self/maps). Its
  // arguments and environment take at most a quarter of the limit above
  // main, so half of the limit is left below a frame near main.
  struct rlimit limit;
  const rlim_t size = ::getrlimit(RLIMIT_STACK, &limit) == 0 ? std::min<rlim_t>(limit.rlim_cur, kWorkStackSize)
                                                             : rlim_t{1} << 20;
  return stack_position() - size / 2;
}

}  // namespace

WorkThread::WorkThread(std::function<void()> body, std::size_t stack_size) {
  auto owned = std::make_unique<std::function<void()>>(std::move(body));
  pthread_attr_t attributes;
  int error = ::pthread_attr_init(&attributes);
  if (error == 0) {
    error = ::pthread_attr_setstacksize(&attributes, stack_size);
    if (error == 0) error = ::pthread_create(&handle_, &attributes, run_body, owned.get());
    ::pthread_attr_destroy(&attributes);
  }
  if (error != 0) throw std::system_error(error, std::generic_category(), "start a thread");
  owned.release();
  joinable_ = true;
}

WorkThread::WorkThread(WorkThread&& other) noexcept
    : handle_(other.handle_), joinable_(std::exchange(other.joinable_, false)) {}

void WorkThread::join() {
  if (!joinable_) return;
  ::pthread_join(handle_, nullptr);
  joinable_ = false;
}

void run_on_work_stack(const std::function<void()>& body) {
  // The calling thread serves when its stack may grow that far: a thread of
  // its own would also get a malloc arena of its own, which costs glibc's
  // single-threaded path and, under a limit of address space, 64 MiB of it.
  if (!raise_stack_limit()) {
    // Under a tight limit of address space a smaller stack may still be
    // had; mapped whole at the start, it cannot fail to grow later.
    std::optional<WorkThread> thread;
    for (std::size_t size = kWorkStackSize; !thread && size >= kSmallestWorkStack; size /= 2) {
      try {
        thread.emplace(body, size);
      } catch (const std::exception&) {
        // No thread or no memory for one.
      }
    }
    if (thread) {
      thread->join();
      return;
    }
  }
  // Looked up now, after the limit was raised, while this frame is near the
  // top of the stack.
  (void)stack_bottom();
  body();
}

std::uintptr_t stack_bottom() {
  thread_local const std::uintptr_t bottom = find_stack_bottom();
  return bottom;
}

std::size_t stack_left() {
  const std::uintptr_t here = stack_position();
  const std::uintptr_t bottom = stack_bottom();
  return here > bottom ? here - bottom : 0;
}

}  // namespace quarn
