#include "support/as_user.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/run_binary.h"

namespace qs::test {

bool running_as_root() {
  return ::geteuid() == 0;
}

bool become(uid_t uid) {
  return ::setgroups(0, nullptr) == 0 && ::setresgid(uid, uid, uid) == 0 &&
         ::setresuid(uid, uid, uid) == 0;
}

std::string as_user(uid_t uid, const std::function<std::string()>& body) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return "pipe failed";
  const pid_t pid = ::fork();
  if (pid < 0) return "fork failed";
  if (pid == 0) {
    ::close(fds[0]);
    const std::string answer = become(uid) ? body() : "cannot change the user";
    (void)!::write(fds[1], answer.data(), answer.size());
    ::_exit(0);
  }
  ::close(fds[1]);
  const std::string answer = read_all(fds[0]);
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return answer;
}

}  // namespace qs::test
