#include "support/run_binary.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

namespace qs::test {
namespace {

// Pointers to each item's characters, ended by a null pointer, as execve takes them.
std::vector<char*> pointers_to(std::vector<std::string>& items) {
  std::vector<char*> pointers;
  for (std::string& item : items)
    pointers.push_back(item.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

std::string read_all(int fd) {
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
    if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
    if (n < 0 && errno != EINTR) break;
  }
  return text;
}

RunResult run_binary(const RunOptions& options, const std::string& program) {
  RunResult result;
  int out_pipe[2];
  int err_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(err_pipe, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe failed";
    return result;
  }
  std::vector<std::string> args{program}, env = options.env;
  args.insert(args.end(), options.args.begin(), options.args.end());
  const std::vector<char*> argv = pointers_to(args), envp = pointers_to(env);

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
  // Standard output on a thread of its own: a program blocked on one pipe while the test reads
  // the other would never end.
  std::thread out([&] { result.out = read_all(out_pipe[0]); });
  result.err = read_all(err_pipe[0]);
  out.join();
  ::close(out_pipe[0]);
  ::close(err_pipe[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

}  // namespace qs::test
