#pragma once

#include <sys/types.h>

#include <expected>
#include <string_view>

#include "files/file_safety_error.h"

namespace qs {

// Makes sure `path` is a directory (not a link to one) owned by `owner` that grants nothing to
// group or others, creating it and its missing ancestors with mode 0700. Nothing that exists
// is ever changed.
[[nodiscard]] std::expected<void, FileSafetyError> ensure_private_dir(std::string_view path,
                                                                      uid_t owner);

}  // namespace qs
