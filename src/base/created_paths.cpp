#include "base/created_paths.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <iterator>
#include <string>
#include <vector>

#include <fmt/format.h>

namespace quarn {

namespace {

namespace fs = std::filesystem;

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Who may touch the list of created entries: the writing thread while it
// changes the list (busy), or whoever ends the process (ending), never both.
enum ListState : int { kIdle, kBusy, kEnding };
std::atomic<int> list_state{kIdle};
// The signal that came in, if any; the process ends by it.
std::atomic<int> arrived_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);

struct CreatedEntry {
  std::string path;
  bool directory;
};
// Changed only while busy, read only when ending.
std::vector<CreatedEntry> created_entries;

// Async-signal-safe: no allocation, only unlink and rmdir.
void remove_created_entries() {
  for (auto entry = created_entries.rbegin(); entry != created_entries.rend(); ++entry)
    entry->directory ? ::rmdir(entry->path.c_str()) : ::unlink(entry->path.c_str());
}

void end_on_signal(int signal_number) {
  const int saved_errno = errno;
  arrived_signal.store(signal_number);
  // While the list is busy, the thread changing it ends the process once done.
  int idle = kIdle;
  if (list_state.compare_exchange_strong(idle, kEnding)) {
    remove_created_entries();
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);  // taken with the default action once the handler returns
  }
  errno = saved_errno;
}

// Another thread's handler is ending the process.
[[noreturn]] void wait_for_the_end() {
  for (;;) ::pause();
}

[[noreturn]] void end_by_arrived_signal() {
  int idle = kIdle;
  if (!list_state.compare_exchange_strong(idle, kEnding)) wait_for_the_end();
  const int signal_number = arrived_signal.load();
  remove_created_entries();
  ::signal(signal_number, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal_number);
  ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  ::raise(signal_number);
  ::_exit(128 + signal_number);  // not reached: the default action ends the process
}

// Runs `change` (which must not throw) with the handler held off. A signal
// that arrived ends the process afterwards, or instead when it came first.
template <typename Change>
void change_list(const Change& change) {
  int idle = kIdle;
  if (!list_state.compare_exchange_strong(idle, kBusy)) wait_for_the_end();
  if (arrived_signal.load() == 0) change();
  list_state.store(kIdle);
  if (arrived_signal.load() != 0) end_by_arrived_signal();
}

// Runs `create` (a system call giving -1 with errno on failure) and
// registers `path` once it succeeded; what `create` gave.
template <typename Create>
Result<int> create_entry(const fs::path& path, bool directory, const Create& create) {
  // The grown list is made here, off the list a handler may read, so that
  // registering is a swap that cannot fail.
  std::vector<CreatedEntry> grown = created_entries;
  grown.push_back({path.native(), directory});
  int made = -1;
  int error = 0;
  change_list([&] {
    made = create();
    if (made < 0)
      error = errno;
    else
      created_entries.swap(grown);
  });
  if (made < 0) return fail_os(error);
  return made;
}

}  // namespace

CreatedPaths::CreatedPaths() {
  struct sigaction action {};
  action.sa_handler = end_on_signal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (int signal_number : kEndingSignals) sigaddset(&action.sa_mask, signal_number);
  for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
    installed_[i] = ::sigaction(kEndingSignals[i], nullptr, &previous_[i]) == 0 &&
                    previous_[i].sa_handler != SIG_IGN && ::sigaction(kEndingSignals[i], &action, nullptr) == 0;
  }
}

CreatedPaths::~CreatedPaths() {
  change_list([] {
    remove_created_entries();
    created_entries.clear();
  });
  for (std::size_t i = 0; i < std::size(kEndingSignals); ++i)
    if (installed_[i]) ::sigaction(kEndingSignals[i], &previous_[i], nullptr);
}

Result<void> CreatedPaths::create_directories(const fs::path& path) {
  fs::path prefix;
  for (const fs::path& part : path) {
    if (part.empty()) continue;
    prefix /= part;
    struct stat info;
    if (::stat(prefix.c_str(), &info) == 0) {
      if (!S_ISDIR(info.st_mode)) return fail_os(ENOTDIR);
      continue;
    }
    if (errno != ENOENT) return fail_os(errno);
    if (auto made = create_entry(prefix, true, [&] { return ::mkdir(prefix.c_str(), 0777); }); !made) {
      // Made meanwhile by someone else: theirs, and fine.
      if (made.error().os_error() == EEXIST && ::stat(prefix.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) continue;
      return fail(std::move(made.error()));
    }
  }
  return {};
}

Result<int> CreatedPaths::create_file(const fs::path& path) {
  return create_entry(path, false,
                      [&] { return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666); });
}

Result<void> CreatedPaths::link_file(int fd, const fs::path& path) {
  const std::string unnamed = fmt::format("/proc/self/fd/{}", fd);
  auto linked = create_entry(path, false, [&] {
    return ::linkat(AT_FDCWD, unnamed.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW);
  });
  if (!linked) return fail(std::move(linked.error()));
  return {};
}

void CreatedPaths::remove_newest(const fs::path& path) {
  change_list([&] {
    if (created_entries.empty() || created_entries.back().path != path.native()) return;
    ::unlink(path.c_str());
    created_entries.pop_back();
  });
}

Result<void> CreatedPaths::rename_and_keep(const fs::path& from, const fs::path& to) {
  int error = 0;
  change_list([&] {
    if (::rename(from.c_str(), to.c_str()) != 0)
      error = errno;
    else
      created_entries.clear();
  });
  if (error != 0) return fail_os(error);
  return {};
}

void CreatedPaths::keep() {
  change_list([] { created_entries.clear(); });
}

}  // namespace quarn
