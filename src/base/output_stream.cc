#include "base/output_stream.h"

#include <unistd.h>

#include "base/eintr.h"
#include "base/unique_fd.h"

namespace qs {

[[nodiscard]] std::expected<void, SystemError> write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = retry_on_eintr([&] { return ::write(fd, bytes.data(), bytes.size()); });
    if (written < 0) return std::unexpected(SystemError::from_errno(errno));
    if (written == 0) return std::unexpected(SystemError::short_write());
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return {};
}

[[nodiscard]] std::expected<void, SystemError> FdOutputStream::write(std::string_view bytes) {
  return write_all(fd_, bytes);
}

}  // namespace qs
