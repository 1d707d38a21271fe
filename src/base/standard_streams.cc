#include "base/standard_streams.h"

#include <fcntl.h>

#include "base/eintr.h"

namespace qs {

void occupy_closed_standard_streams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // open() returns the lowest free number, which is this one; without /dev/null there is
    // nothing better to put there.
    (void)retry_on_eintr([] { return ::open("/dev/null", O_RDONLY); });
  }
}

}  // namespace qs
