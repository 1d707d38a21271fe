#pragma once

#include <expected>

#include "base/output_stream.h"
#include "cli/launcher_error.h"
#include "config/base_dirs.h"
#include "launch/system_paths.h"

namespace qs {

[[nodiscard]] std::expected<void, LauncherError> run_stop(const SystemPaths& paths,
                                                          const BaseDirs& dirs, OutputStream& out);

}  // namespace qs
