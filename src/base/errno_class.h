#pragma once

#include <cerrno>

namespace qs {

// What an error number means to the launcher, named once: the callers decide what each meaning
// asks of them.

// The process or /proc entry asked about is not there (any more).
inline bool means_gone(int code) {
  return code == ENOENT || code == ESRCH;
}

// The kernel or a security module refused the caller: the thing exists, but not for us.
inline bool means_refused(int code) {
  return code == EACCES || code == EPERM;
}

// The kernel or the file system lacks the feature asked for (a flag, a system call), answered in
// each of the ways they answer it.
inline bool means_unsupported(int code) {
  return code == EOPNOTSUPP || code == ENOSYS || code == EINVAL;
}

}  // namespace qs
