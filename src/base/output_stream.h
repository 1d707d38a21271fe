#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "base/system_error.h"

namespace qs {

// Where reports, usage text and error messages go. The launcher writes to its standard streams
// through this interface only, so that tests can capture output or make it fail.
class OutputStream {
 public:
  virtual ~OutputStream() = default;
  [[nodiscard]] virtual std::expected<void, SystemError> write(std::string_view bytes) = 0;
};

// Writes straight to a descriptor it does not own, with no buffering: every line reaches the
// descriptor before the next step of the launcher runs.
class FdOutputStream final : public OutputStream {
 public:
  explicit FdOutputStream(int fd) : fd_(fd) {}
  [[nodiscard]] std::expected<void, SystemError> write(std::string_view bytes) override;

 private:
  int fd_;
};

// Writes all of `bytes` to `fd`, continuing short writes and retrying EINTR.
[[nodiscard]] std::expected<void, SystemError> write_all(int fd, std::string_view bytes);

}  // namespace qs
