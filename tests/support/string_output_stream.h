#pragma once

#include <string>
#include <string_view>

#include "base/output_stream.h"

namespace qs::test {

// Collects everything written.
class StringOutputStream final : public OutputStream {
 public:
  std::expected<void, SystemError> write(std::string_view bytes) override {
    text_.append(bytes);
    return {};
  }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace qs::test
