#pragma once

#include <expected>
#include <string_view>

#include "base/output_stream.h"
#include "cli/launcher_error.h"
#include "config/base_dirs.h"
#include "config/env_snapshot.h"
#include "launch/system_paths.h"

namespace qs {

[[nodiscard]] std::expected<void, LauncherError> run_launch(const SystemPaths& paths,
                                                            const BaseDirs& dirs,
                                                            std::string_view bridge_file,
                                                            const EnvSnapshot& env,
                                                            OutputStream& out);

}  // namespace qs
