#include "run/process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "base/descriptor.h"
#include "base/signals.h"

extern char** environ;

namespace quarn {

namespace {

struct Pipe {
  Descriptor read_end;
  Descriptor write_end;
  bool open() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    read_end = Descriptor(fds[0]);
    write_end = Descriptor(fds[1]);
    return true;
  }
};

// Drains both pipes until each reaches end of file; polling both keeps a
// child that fills one pipe from blocking while we wait on the other. Returns
// the errno of a failed poll or read, else 0.
int drain(int out_fd, int err_fd, std::string& out, std::string& err) {
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  std::string* sinks[2] = {&out, &err};
  int open_count = 2;
  char buffer[1 << 16];
  while (open_count > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0) {
        fds[i].fd = -1;
        --open_count;
      } else if (errno != EINTR) {
        return errno;
      }
    }
  }
  return 0;
}

// The first error of the file actions that set up the child's streams and
// directory (they fail only for want of memory or on a bad descriptor).
int add_file_actions(posix_spawn_file_actions_t& actions, int in_fd, int out_fd, int err_fd,
                     const std::string& working_directory) {
  int rc = posix_spawn_file_actions_adddup2(&actions, in_fd, STDIN_FILENO);
  if (rc == 0) rc = posix_spawn_file_actions_adddup2(&actions, out_fd, STDOUT_FILENO);
  if (rc == 0) rc = posix_spawn_file_actions_adddup2(&actions, err_fd, STDERR_FILENO);
  if (rc == 0 && !working_directory.empty())
    rc = posix_spawn_file_actions_addchdir_np(&actions, working_directory.c_str());
  return rc;
}

}  // namespace

Result<ProcessOutput> run_process(const std::string& program, const std::vector<std::string>& args,
                                  const std::string& working_directory) {
  Pipe out, err;
  if (!out.open() || !err.open()) return fail_os(errno);
  Descriptor null_input(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  if (!null_input.is_open()) return fail_os(errno);

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  // The child starts with the signal dispositions quarn started with.
  posix_spawnattr_t attributes;
  if (int rc = posix_spawnattr_init(&attributes); rc != 0) return fail_os(rc);
  const sigset_t restored = signals_to_default_in_children();
  posix_spawnattr_setsigdefault(&attributes, &restored);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

  posix_spawn_file_actions_t actions;
  int rc = posix_spawn_file_actions_init(&actions);
  pid_t pid = 0;
  if (rc == 0) {
    rc = add_file_actions(actions, null_input.get(), out.write_end.get(), err.write_end.get(), working_directory);
    if (rc == 0) rc = ::posix_spawnp(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
  }
  posix_spawnattr_destroy(&attributes);
  if (rc != 0) return fail_os(rc);

  null_input.close();
  out.write_end.close();
  err.write_end.close();

  ProcessOutput result;
  const int drain_error = drain(out.read_end.get(), err.read_end.get(), result.standard_output, result.standard_error);
  if (drain_error != 0) {
    // A child still writing ends on the closed pipe instead of blocking the wait.
    out.read_end.close();
    err.read_end.close();
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return fail_os(errno);
  }
  if (drain_error != 0) return fail_os(drain_error);
  if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
  return result;
}

}  // namespace quarn
