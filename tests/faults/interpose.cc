#include "faults/interpose.h"

#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace qs::test::faults {
namespace {

Faults* armed = nullptr;
bool interrupt_next_read = true;
bool interrupt_next_write = true;

// Whether the armed fault `error` (an errno) answers this call; errno is set when it does.
bool fails(int Faults::*error) {
  if (armed == nullptr || armed->*error == 0) return false;
  errno = armed->*error;
  return true;
}

// Every other call is interrupted while `every_other` is armed.
bool interrupted(bool Faults::*every_other, bool& next) {
  if (armed == nullptr || !(armed->*every_other)) return false;
  next = !next;
  if (!next) errno = EINTR;
  return !next;
}

}  // namespace

Armed::Armed(Faults faults) {
  armed = new Faults(std::move(faults));
  interrupt_next_read = interrupt_next_write = true;
}

Armed::~Armed() {
  delete armed;
  armed = nullptr;
}

}  // namespace qs::test::faults

using qs::test::faults::armed;
using qs::test::faults::fails;
using qs::test::faults::Faults;
using qs::test::faults::interrupted;

extern "C" ssize_t read(int fd, void* buffer, size_t size) {
  if (interrupted(&Faults::interrupt_every_other_read, qs::test::faults::interrupt_next_read) ||
      fails(&Faults::read_error)) {
    return -1;
  }
  if (armed != nullptr && armed->before_read) armed->before_read();
  return syscall(SYS_read, fd, buffer, size);
}

extern "C" ssize_t write(int fd, const void* buffer, size_t size) {
  if (interrupted(&Faults::interrupt_every_other_write, qs::test::faults::interrupt_next_write)) {
    return -1;
  }
  if (armed != nullptr) {
    if (armed->writes_accept_nothing) return 0;
    if (armed->max_write != 0 && size > armed->max_write) size = armed->max_write;
  }
  return syscall(SYS_write, fd, buffer, size);
}

extern "C" int openat(int dir_fd, const char* path, int flags, ...) {
  va_list rest;
  va_start(rest, flags);
  const mode_t mode = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE
                          ? static_cast<mode_t>(va_arg(rest, int))
                          : 0;
  va_end(rest);
  if (armed != nullptr && armed->openat_error) {
    if (const int error = armed->openat_error(path, flags); error != 0) {
      errno = error;
      return -1;
    }
  }
  const std::string instead =
      armed != nullptr && armed->openat_path ? armed->openat_path(path) : "";
  return static_cast<int>(
      syscall(SYS_openat, dir_fd, instead.empty() ? path : instead.c_str(), flags, mode));
}

extern "C" int sigprocmask(int how, const sigset_t* set, sigset_t* old) noexcept {
  using Sigprocmask = int (*)(int, const sigset_t*, sigset_t*);
  static const auto real = reinterpret_cast<Sigprocmask>(::dlsym(RTLD_NEXT, "sigprocmask"));
  if (fails(&Faults::sigprocmask_error)) return -1;
  return real(how, set, old);
}

extern "C" int mkdir(const char* path, mode_t mode) {
  const int result = static_cast<int>(syscall(SYS_mkdir, path, mode));
  if (result == 0 && armed != nullptr && armed->after_mkdir) armed->after_mkdir(path);
  return result;
}

extern "C" int unlink(const char* path) {
  const int result = static_cast<int>(syscall(SYS_unlink, path));
  if (result == 0 && armed != nullptr && armed->after_unlink) armed->after_unlink(path);
  return result;
}

extern "C" int unlinkat(int dir_fd, const char* name, int flags) {
  if (armed != nullptr && armed->before_unlink) armed->before_unlink(name);
  if (fails(&Faults::unlink_error)) return -1;
  const int result = static_cast<int>(syscall(SYS_unlinkat, dir_fd, name, flags));
  if (result == 0 && armed != nullptr && armed->after_unlink) armed->after_unlink(name);
  return result;
}

extern "C" int linkat(int from_dir, const char* from, int to_dir, const char* to, int flags) {
  if (armed != nullptr && armed->before_linkat) armed->before_linkat();
  if (fails(&Faults::linkat_error)) return -1;
  return static_cast<int>(syscall(SYS_linkat, from_dir, from, to_dir, to, flags));
}

extern "C" int renameat2(int from_dir, const char* from, int to_dir, const char* to,
                         unsigned int flags) noexcept {
  if ((flags & RENAME_NOREPLACE) != 0 && fails(&Faults::rename_noreplace_error)) return -1;
  return static_cast<int>(syscall(SYS_renameat2, from_dir, from, to_dir, to, flags));
}

extern "C" int bind(int fd, const sockaddr* address, socklen_t length) noexcept {
  if (fails(&Faults::bind_error)) return -1;
  return static_cast<int>(syscall(SYS_bind, fd, address, length));
}

extern "C" int pidfd_open(pid_t pid, unsigned int flags) noexcept {
  if (fails(&Faults::pidfd_open_error)) return -1;
  return static_cast<int>(syscall(SYS_pidfd_open, pid, flags));
}

extern "C" int pidfd_send_signal(int fd, int signal, siginfo_t* info, unsigned int flags) noexcept {
  if (armed != nullptr && armed->before_pidfd_signal) armed->before_pidfd_signal(signal);
  if (fails(&Faults::pidfd_send_signal_error)) return -1;
  return static_cast<int>(syscall(SYS_pidfd_send_signal, fd, signal, info, flags));
}

extern "C" int nanosleep(const timespec* pause, timespec* remaining) {
  if (armed != nullptr && armed->before_nanosleep) armed->before_nanosleep(*pause);
  return static_cast<int>(syscall(SYS_nanosleep, pause, remaining));
}

extern "C" dirent* readdir(DIR* dir) {
  using Readdir = dirent* (*)(DIR*);
  static const auto real = reinterpret_cast<Readdir>(::dlsym(RTLD_NEXT, "readdir"));
  static DIR* listed = nullptr;  // the listing whose first entry has been given
  if (listed == dir && fails(&Faults::readdir_error)) return nullptr;
  listed = dir;
  return real(dir);
}

extern "C" int socket(int domain, int type, int protocol) {
  if (fails(&Faults::socket_error)) return -1;
  return static_cast<int>(syscall(SYS_socket, domain, type, protocol));
}
