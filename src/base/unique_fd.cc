#include "base/unique_fd.h"

#include <unistd.h>

namespace qs {

void UniqueFd::reset() {
  // close is not retried on EINTR: on Linux the descriptor is released either way.
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace qs
