#pragma once

#include <cerrno>
#include <limits>
#include <string>
#include <string_view>

#include "base/output_stream.h"

namespace qs::test {

// Collects everything written; after `good_writes` of them fails every write, as a pipe without
// a reader does.
class StringOutputStream final : public OutputStream {
 public:
  explicit StringOutputStream(int good_writes = std::numeric_limits<int>::max())
      : left_(good_writes) {}
  std::expected<void, SystemError> write(std::string_view bytes) override {
    if (left_ <= 0) return std::unexpected(SystemError::from_errno(EPIPE));
    --left_;
    text_.append(bytes);
    return {};
  }
  const std::string& text() const { return text_; }

 private:
  int left_;
  std::string text_;
};

}  // namespace qs::test
