#pragma once

#include <time.h>

#include <functional>
#include <string>

// A seam for fault injection: this test binary defines read, write, openat, mkdir, unlink,
// unlinkat, linkat, renameat2, readdir, socket, bind, sigprocmask, nanosleep, pidfd_open and
// pidfd_send_signal itself, so the launcher's library, linked into it, calls these instead of the C
// library's. Each does the real system call unless a fault is armed.
namespace qs::test::faults {

struct Faults {
  bool interrupt_every_other_read = false;
  bool interrupt_every_other_write = false;
  std::size_t max_write = 0;           // 0: no limit; otherwise writes are short
  bool writes_accept_nothing = false;  // write returns 0
  int read_error = 0;                  // every read fails with this errno
  int readdir_error = 0;  // every directory listing fails with this errno after its first entry
  int socket_error = 0;   // every socket fails with this errno
  int bind_error = 0;
  int linkat_error = 0;
  int unlink_error = 0;            // every unlinkat fails so (EROFS: a read-only directory)
  int rename_noreplace_error = 0;  // renameat2 with RENAME_NOREPLACE fails so
  int pidfd_open_error = 0;
  int pidfd_send_signal_error = 0;
  int sigprocmask_error = 0;
  std::function<int(const std::string& path, int flags)> openat_error;  // 0: no fault
  std::function<std::string(const std::string& path)> openat_path;  // opened instead; "": as given
  std::function<void()> before_read;
  std::function<void()> before_linkat;
  std::function<void(int signal)> before_pidfd_signal;
  std::function<void(const timespec& pause)> before_nanosleep;
  std::function<void(const std::string&)> after_mkdir;
  std::function<void(const std::string&)> before_unlink;  // the path or name as given
  std::function<void(const std::string&)> after_unlink;
};

// Armed for the lifetime of the object.
class Armed {
 public:
  explicit Armed(Faults faults);
  ~Armed();
  Armed(const Armed&) = delete;
  Armed& operator=(const Armed&) = delete;
};

}  // namespace qs::test::faults
