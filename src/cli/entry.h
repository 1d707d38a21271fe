#pragma once

#include <span>
#include <string>

#include "base/output_stream.h"
#include "config/env_snapshot.h"
#include "launch/system_paths.h"

namespace qs {

// Runs one command line to completion and returns the exit status (0, 1 or 2). Everything the
// process offers comes in as arguments, so that tests can run it in-process.
int run_entry(std::span<const std::string> args, const EnvSnapshot& env, const SystemPaths& paths,
              OutputStream& out, OutputStream& err);

}  // namespace qs
