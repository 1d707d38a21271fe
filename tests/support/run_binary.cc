#include "support/run_binary.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace qs::test {
namespace {

void drain(int out_fd, int err_fd, RunResult& result) {
  struct pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open_count = 0;
  for (auto& p : fds)
    open_count += p.fd >= 0 ? 1 : 0;
  while (open_count > 0) {
    const int ready = ::poll(fds, 2, 30000);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      ADD_FAILURE() << "the program kept its output open for 30 s";
      return;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
}

}  // namespace

RunResult run_binary(const RunOptions& options, const std::string& program) {
  RunResult result;
  int out_pipe[2];
  int err_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(err_pipe, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe failed";
    return result;
  }
  std::vector<std::string> argv_storage{program};
  argv_storage.insert(argv_storage.end(), options.args.begin(), options.args.end());
  std::vector<char*> argv;
  for (auto& a : argv_storage)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env_storage = options.env;
  std::vector<char*> envp;
  for (auto& e : env_storage)
    envp.push_back(e.data());
  envp.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid == 0) {
    switch (options.stdout_kind) {
      case StdoutKind::Capture:
        ::dup2(out_pipe[1], 1);
        break;
      case StdoutKind::DevFull: {
        const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
        ::dup2(full, 1);
        break;
      }
      case StdoutKind::Given:
        ::dup2(options.stdout_fd, 1);
        break;
      case StdoutKind::Closed:  // standard input too: the next two descriptors opened take 0 and 1
        ::close(0);
        ::close(1);
        break;
      case StdoutKind::BrokenPipe: {
        int broken[2];
        if (::pipe(broken) != 0) ::_exit(126);
        ::close(broken[0]);
        ::dup2(broken[1], 1);
        ::close(broken[1]);
        break;
      }
    }
    ::dup2(err_pipe[1], 2);
    ::signal(SIGPIPE, SIG_DFL);
    // The program gets the three standard streams and nothing that the test runner left open.
    ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    if (options.in_child) options.in_child();
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  drain(out_pipe[0], err_pipe[0], result);
  ::close(out_pipe[0]);
  ::close(err_pipe[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

}  // namespace qs::test
