#pragma once

#include <sys/types.h>

#include <cstdint>
#include <expected>
#include <string_view>
#include <vector>

#include "cli/launcher_error.h"

namespace qs {

// The ids, ascending, of the processes of `user` whose comm is "soffice.bin". Only the process
// table is read: nothing is signalled or written.
[[nodiscard]] std::expected<std::vector<std::uint32_t>, LauncherError> find_soffice_processes(
    std::string_view proc_root, uid_t user);

}  // namespace qs
