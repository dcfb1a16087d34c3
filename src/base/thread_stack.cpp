#include "base/thread_stack.h"

#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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
  // The stack is ours, not the C library's, which keeps the stacks of ended
  // threads mapped for threads to come.
  const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  stack_size = (stack_size + page - 1) / page * page;
  void* mapping = ::mmap(nullptr, page + stack_size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK,
                         -1, 0);
  if (mapping == MAP_FAILED) throw std::system_error(errno, std::generic_category(), "start a thread");
  int error = ::mprotect(mapping, page, PROT_NONE) == 0 ? 0 : errno;
  pthread_attr_t attributes;
  if (error == 0) error = ::pthread_attr_init(&attributes);
  if (error == 0) {
    error = ::pthread_attr_setstack(&attributes, static_cast<char*>(mapping) + page, stack_size);
    if (error == 0) error = ::pthread_create(&handle_, &attributes, run_body, owned.get());
    ::pthread_attr_destroy(&attributes);
  }
  if (error != 0) {
    ::munmap(mapping, page + stack_size);
    throw std::system_error(error, std::generic_category(), "start a thread");
  }
  owned.release();
  joinable_ = true;
  mapping_ = mapping;
  mapped_ = page + stack_size;
}

WorkThread::WorkThread(WorkThread&& other) noexcept
    : handle_(other.handle_),
      joinable_(std::exchange(other.joinable_, false)),
      mapping_(std::exchange(other.mapping_, nullptr)),
      mapped_(std::exchange(other.mapped_, 0)) {}

void WorkThread::join() {
  if (!joinable_) return;
  ::pthread_join(handle_, nullptr);
  joinable_ = false;
  ::munmap(mapping_, mapped_);
  mapping_ = nullptr;
}

std::optional<std::size_t> memory_limit() {
  rlim_t smallest = RLIM_INFINITY;
  for (int resource : {RLIMIT_AS, RLIMIT_DATA}) {
    struct rlimit limit;
    if (::getrlimit(resource, &limit) == 0) smallest = std::min(smallest, limit.rlim_cur);
  }
  if (smallest == RLIM_INFINITY) return std::nullopt;
  return static_cast<std::size_t>(smallest);
}

void make_malloc_repeatable() {
  ::mallopt(M_ARENA_MAX, 1);
  // glibc's defaults, now fixed
  ::mallopt(M_MMAP_THRESHOLD, 128 << 10);
  ::mallopt(M_TRIM_THRESHOLD, 128 << 10);
}

void run_on_work_stack(const std::function<void()>& body) {
  // The calling thread serves when its stack may grow that far: a thread of
  // its own would cost glibc's single-threaded malloc path.
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
