// clang-format off (the table below is laid out by hand)
// Stands in for LibreOffice and the Python interpreter in tests, and reports how it was started.
// Its part follows its name:
//
//   soffice       writes $HOME/soffice.report, then executes soffice.bin beside itself
//   soffice.bin   stays alive (its comm is soffice.bin) until SIGTERM,
//                 then writes $HOME/soffice.term
//   python3       catches SIGTERM, writes $HOME/bridge.report, stays alive until SIGTERM,
//                 then writes $HOME/bridge.term
//   other names   write the report to $QS_REPORT and exit
//
// Nothing lives longer than $QS_FAKE_LIFETIME seconds (default 120), so a failed test leaves
// nothing behind for long; one that ran out of time exits 4, one that got its SIGTERM 0.
// clang-format on
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

volatile sig_atomic_t terminated = 0;

std::string home_file(const char* name) {
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "/nonexistent") + "/" + name;
}

void write_atomically(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".tmp";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return;
  (void)::fchmod(fd, 0600);  // readable by the test whatever umask it gave (0477, say)
  (void)!::write(fd, text.data(), text.size());
  ::close(fd);
  ::rename(temporary.c_str(), path.c_str());
}

std::string report(int argc, char** argv, char** envp) {
  std::string text;
  for (int i = 0; i < argc; ++i)
    text += std::string("argv\t") + argv[i] + "\n";
  std::vector<std::string> env;
  for (char** e = envp; *e != nullptr; ++e)
    env.emplace_back(*e);
  std::sort(env.begin(), env.end());
  for (const auto& e : env)
    text += "env\t" + e + "\n";
  char cwd[4096];
  text += std::string("cwd\t") + (::getcwd(cwd, sizeof cwd) != nullptr ? cwd : "?") + "\n";
  text += "pid\t" + std::to_string(::getpid()) + "\n";
  text += "pgid\t" + std::to_string(::getpgid(0)) + "\n";
  text += "sid\t" + std::to_string(::getsid(0)) + "\n";
  struct sigaction current {};
  ::sigaction(SIGPIPE, nullptr, &current);
  text += std::string("sigpipe\t") + (current.sa_handler == SIG_IGN ? "ignored" : "default") + "\n";
  sigset_t blocked;
  ::sigprocmask(SIG_BLOCK, nullptr, &blocked);
  text += "blocked\t";
  for (int signal = 1; signal < NSIG; ++signal) {
    if (::sigismember(&blocked, signal) == 1) text += std::to_string(signal) + " ";
  }
  text += "\n";
  DIR* fds = ::opendir("/proc/self/fd");
  const int own = fds != nullptr ? ::dirfd(fds) : -1;
  while (dirent* entry = fds != nullptr ? ::readdir(fds) : nullptr) {
    if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == own) continue;
    char target[4096];
    const std::string link = std::string("/proc/self/fd/") + entry->d_name;
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    text += std::string("fd\t") + entry->d_name + "\t" +
            std::string(target, n > 0 ? static_cast<std::size_t>(n) : 0) + "\n";
  }
  if (fds != nullptr) ::closedir(fds);
  return text;
}

void catch_term() {
  struct sigaction on_term {};
  on_term.sa_handler = [](int) { terminated = 1; };
  ::sigaction(SIGTERM, &on_term, nullptr);
}

int stay_until_terminated(const char* term_file) {
  catch_term();
  const char* lifetime_text = std::getenv("QS_FAKE_LIFETIME");
  const int lifetime = lifetime_text != nullptr ? std::atoi(lifetime_text) : 120;
  for (int tick = 0; tick < lifetime * 20 && terminated == 0; ++tick) {
    const timespec pause{0, 50 * 1000 * 1000};
    ::nanosleep(&pause, nullptr);
  }
  if (terminated == 0) return 4;
  write_atomically(home_file(term_file), "TERM\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv, char** envp) {
  const std::string self = argv[0];
  const std::string name = self.substr(self.rfind('/') + 1);
  if (name == "soffice") {
    write_atomically(home_file("soffice.report"), report(argc, argv, envp));
    const std::string next = self.substr(0, self.rfind('/') + 1) + "soffice.bin";
    argv[0] = const_cast<char*>(next.c_str());
    ::execve(next.c_str(), argv, envp);
    return 3;
  }
  if (name == "soffice.bin") return stay_until_terminated("soffice.term");
  if (name == "python3") {
    catch_term();  // first: once its report is there, a SIGTERM is always seen
    write_atomically(home_file("bridge.report"), report(argc, argv, envp));
    return stay_until_terminated("bridge.term");
  }
  const char* target = std::getenv("QS_REPORT");
  if (target == nullptr) return 2;
  write_atomically(target, report(argc, argv, envp));
  return 0;
}
