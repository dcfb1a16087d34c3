// Runs of the check on a machine whose memory or descriptors run out: the
// output is still that of a one-worker run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <thread>

#include "run/parallel_run_support.h"

// Faults as on a machine whose memory or descriptors ran out while the
// workers ran: while `fail_off_main_thread` is set, every allocation of 16 KiB
// or more outside the main thread fails; once each, an allocation of
// `fail_once_on_main_from` bytes or more on the main thread fails (twice with
// `fail_twice_on_main`), and so does
// the main thread's open of a path that ends in `fail_open_on_main_for`, with
// `open_error`. With `fail_after_rename` set, every allocation fails once a
// file was renamed (the prompt put in place), until `failing_everywhere` is
// cleared. With `fail_once_after_output` set, the first allocation after a
// write to standard output fails.
namespace {
std::atomic<bool> fail_after_rename = false;
std::atomic<bool> failing_everywhere = false;
std::atomic<bool> fail_once_after_output = false;
std::atomic<bool> failing_once = false;
std::atomic<bool> fail_off_main_thread = false;
std::atomic<std::size_t> fail_once_on_main_from = 0;
std::atomic<bool> fail_twice_on_main = false;
std::atomic<const char*> fail_open_on_main_for = nullptr;
std::atomic<int> open_error = 0;
const std::thread::id main_thread = std::this_thread::get_id();
}  // namespace

// The replacements pair malloc with free, which the compiler cannot see
// through once they are inlined into a new-expression.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  if (failing_everywhere.load(std::memory_order_relaxed) || (failing_once && failing_once.exchange(false)))
    throw std::bad_alloc();
  const bool on_main = std::this_thread::get_id() == main_thread;
  if (size >= 16384 && fail_off_main_thread.load(std::memory_order_relaxed) && !on_main) throw std::bad_alloc();
  if (on_main && fail_once_on_main_from != 0 && size >= fail_once_on_main_from) {
    if (fail_twice_on_main.exchange(false)) throw std::bad_alloc();
    if (fail_once_on_main_from.exchange(0) != 0) throw std::bad_alloc();
  }
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size == 0 ? 1 : size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
#pragma GCC diagnostic pop

extern "C" int open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list args;
    va_start(args, flags);
    mode = va_arg(args, mode_t);
    va_end(args);
  }
  const char* failing = fail_open_on_main_for;
  if (failing != nullptr && std::this_thread::get_id() == main_thread && std::string_view(path).ends_with(failing) &&
      fail_open_on_main_for.exchange(nullptr) != nullptr) {
    errno = open_error;
    return -1;
  }
  return static_cast<int>(::syscall(SYS_openat, AT_FDCWD, path, flags, mode));
}

extern "C" ssize_t write(int fd, const void* bytes, std::size_t count) {
  const auto written = static_cast<ssize_t>(::syscall(SYS_write, fd, bytes, count));
  if (fd == STDOUT_FILENO && fail_once_after_output.exchange(false)) failing_once = true;
  return written;
}

extern "C" int rename(const char* from, const char* to) {
  const int status = static_cast<int>(::syscall(SYS_renameat, AT_FDCWD, from, AT_FDCWD, to));
  if (status == 0 && fail_after_rename) failing_everywhere = true;
  return status;
}

namespace quarn::test {
namespace {

// Work that fails on the workers is done again on the calling thread alone.
TEST_F(ParallelRun, WorkersOutOfMemoryLeaveTheirWorkToTheCallingThread) {
  const CheckRun one = run_with_workers(root, OutputFormat::Json, 1);
  fail_off_main_thread = true;
  const CheckRun many = run_with_workers(root, OutputFormat::Json, 8);
  fail_off_main_thread = false;
  expect_same_run(many, one, "8 workers");
}

// Memory that runs out once the report has begun leaves it whole: the rest
// is made one finding at a time in the room taken before the first byte.
TEST_F(ParallelRun, AReportBegunIsFinished) {
  const struct {
    OutputFormat format;
    unsigned workers;  // the allocation after the first write: of the pool, or of the second piece
  } cases[] = {{OutputFormat::Json, 1}, {OutputFormat::Json, 8}, {OutputFormat::Sarif, 1},
               {OutputFormat::Sarif, 8}, {OutputFormat::Human, 1}};
  for (const auto& c : cases) {
    const CheckRun one = run_with_workers(root, c.format, 1);
    fail_once_after_output = true;
    const CheckRun starved = run_with_workers(root, c.format, c.workers);
    EXPECT_FALSE(fail_once_after_output || failing_once) << c.workers;
    expect_same_run(starved, one, fmt::format("{} workers", c.workers));
  }
}

// Nothing after the output can fail the run: not even running out of
// memory once the prompt is in place, while the findings are freed.
TEST_F(ParallelRun, NothingAfterThePromptCanFailTheRun) {
  const CheckRun one = run_with_workers(root, OutputFormat::Json, 1);
  for (unsigned workers : {1u, 8u}) {
    fail_after_rename = true;
    const CheckRun starved =
        run_with_workers(root, OutputFormat::Json, workers, [] { failing_everywhere = false; });
    fail_after_rename = false;
    expect_same_run(starved, one, fmt::format("{} workers", workers));
  }
}

// A file read on the calling thread while the workers run (one of 16 MiB or
// more) that meets a shortage there is read again once they stopped.
TEST_F(ParallelRun, ShortagesOnTheCallingThreadWhileWorkersRun) {
  std::ofstream big(root / "pkg3" / "big.py", std::ios::binary);
  for (int i = 0; i < 17 * 1024; ++i) big << "# " << std::string(1022, 'x') << "\n";
  big.close();
  const CheckRun one = run_with_workers(root, OutputFormat::Json, 1);
  // No memory, or an open that fails with one of these.
  for (int shortage : {0, EMFILE, ENFILE, ENOMEM, EAGAIN}) {
    if (shortage == 0) {
      fail_once_on_main_from = std::size_t{16} << 20;
    } else {
      open_error = shortage;
      fail_open_on_main_for = "/big.py";
    }
    const CheckRun many = run_with_workers(root, OutputFormat::Json, 8);
    EXPECT_EQ(fail_once_on_main_from, 0u) << shortage;
    EXPECT_EQ(fail_open_on_main_for, nullptr) << shortage;
    fail_once_on_main_from = 0;
    fail_open_on_main_for = nullptr;
    expect_same_run(many, one, fmt::format("shortage {}", shortage));
  }
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  // Under a limit that leaves malloc its defaults, memory that runs out
  // again once the workers stopped ends the run: there the file lacks room a
  // one-worker run has. (The sanitizers' shadow memory exceeds any limit.)
  struct rlimit old_limit;
  ASSERT_EQ(::getrlimit(RLIMIT_AS, &old_limit), 0);
  struct rlimit loose = old_limit;
  loose.rlim_cur = std::min<rlim_t>(old_limit.rlim_max, rlim_t{1} << 40);
  ASSERT_EQ(::setrlimit(RLIMIT_AS, &loose), 0);
  fail_once_on_main_from = std::size_t{16} << 20;
  fail_twice_on_main = true;
  const CheckRun loose_run = run_with_workers(root, OutputFormat::Json, 8);
  ::setrlimit(RLIMIT_AS, &old_limit);
  fail_once_on_main_from = 0;
  EXPECT_EQ(loose_run.status, -3);
  EXPECT_TRUE(loose_run.out.empty());
#endif
}

}  // namespace
}  // namespace quarn::test
