#include "platform/posix/detached_start.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/file_descriptor.h"

extern char** environ;

namespace rk5::platform {
namespace {

// What the forked processes use, made ready before the fork: between fork and exec only
// async-signal-safe calls are allowed, since other threads may hold locks (of malloc,
// say) that never get released in the child.
struct ChildPlan {
  const char* program;
  char* const* argv;
  const char* folder;
  int null_fd;
  int status_fd;  // write end of the status pipe; closes itself on exec
  int open_max;
};

[[noreturn]] void Fail(int status_fd) {
  const int error = errno;
  (void)!::write(status_fd, &error, sizeof error);
  ::_exit(127);
}

// Descriptors this process opened without close-on-exec (or that a library did) must not
// reach the program: the lock files above all, which would otherwise stay locked.
void CloseOnExecAboveStandard(int open_max) {
  if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
  for (int fd = 3; fd < open_max; ++fd) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

[[noreturn]] void RunProgram(const ChildPlan& plan) {
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction defaults {};
  defaults.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig) ::sigaction(sig, &defaults, nullptr);
  if (::dup2(plan.null_fd, STDIN_FILENO) < 0) Fail(plan.status_fd);
  if (::chdir(plan.folder) != 0) Fail(plan.status_fd);
  CloseOnExecAboveStandard(plan.open_max);
  ::execve(plan.program, plan.argv, environ);
  Fail(plan.status_fd);
}

// The first child starts a session and the program's process, then ends at once; the
// program is left to the system's reaper, this process reaps only the first child.
[[noreturn]] void RunIntermediate(const ChildPlan& plan) {
  if (::setsid() < 0) Fail(plan.status_fd);
  const pid_t program = ::_Fork();  // no fork handlers: this process may hold their locks
  if (program < 0) Fail(plan.status_fd);
  if (program == 0) RunProgram(plan);
  ::_exit(0);
}

// The errno a child reported, 0 when the status pipe closed without one (exec succeeded).
int ReadStatus(int fd) {
  int error = 0;
  auto* into = reinterpret_cast<char*>(&error);
  std::size_t got = 0;
  while (got < sizeof error) {
    const ssize_t n = ::read(fd, into + got, sizeof error - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  if (got == 0) return 0;
  return error != 0 ? error : ECHILD;
}

}  // namespace

bool StartDetached(const std::string& program, const std::vector<std::string>& argv,
                   const std::string& folder) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const FileDescriptor null_device(::open("/dev/null", O_RDWR | O_CLOEXEC));
  if (!null_device.valid()) return false;
  int status[2];
  if (::pipe2(status, O_CLOEXEC) != 0) return false;
  const FileDescriptor status_read(status[0]);
  FileDescriptor status_write(status[1]);
  const long open_max = ::sysconf(_SC_OPEN_MAX);
  const ChildPlan plan{program.c_str(), args.data(), folder.c_str(), null_device.get(),
                       status_write.get(), open_max > 0 && open_max < 65536 ? int(open_max) : 65536};

  const pid_t child = ::fork();
  if (child == 0) RunIntermediate(plan);
  status_write.Reset();
  if (child < 0) return false;
  const int error = ReadStatus(status_read.get());
  while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
  return error == 0;
}

}  // namespace rk5::platform
