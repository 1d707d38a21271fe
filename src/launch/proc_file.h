#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "base/system_error.h"

namespace qs {

// A file of a process (comm, cmdline), relative to `dir_fd`, read with the bounded read.
// Nothing when the process has ended or is not ours to read, or when the file is not what a
// process file is (a link, too long): such a process is not one of ours. The launcher's own
// failures (no descriptor left, no memory, an I/O error) are errors: read as "no such process"
// they would let a launch attach to a running LibreOffice, or a stop forget a running bridge.
[[nodiscard]] std::expected<std::optional<std::string>, SystemError> read_proc_file(
    int dir_fd, std::string_view path);

}  // namespace qs
