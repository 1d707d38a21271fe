#include "cli/entry.h"

#include "base/program.h"
#include "cli/command_line.h"
#include "cli/launcher_error.h"
#include "config/base_dirs.h"
#include "launch/run_launch.h"
#include "launch/run_stop.h"

namespace qs {
namespace {

// Output failures of usage, help and error messages are ignored: there is nowhere left to
// report them, and the exit status already tells the outcome.
void write_ignoring_failure(OutputStream& stream, std::string_view text) {
  (void)stream.write(text);
}

// A line of standard error, in the form every message of the launcher takes.
std::string prefixed(std::string_view message) {
  return std::string(kProgramName) + ": " + std::string(message) + "\n";
}

int report(const LauncherError& error, OutputStream& err) {
  write_ignoring_failure(err, prefixed(message_of(error)));
  return exit_status_of(error);
}

struct Dispatch {
  // cppcheck-suppress uninitMemberVarNoCtor ; references are bound where a Dispatch is made
  const EnvSnapshot& env;
  const SystemPaths& paths;
  OutputStream& out;
  OutputStream& err;

  int operator()(const LauncherCommand::Help&) const {
    write_ignoring_failure(out, usage_text());
    return 0;
  }
  int operator()(const LauncherCommand::Usage&) const {
    write_ignoring_failure(err, usage_text());
    return 2;
  }
  int operator()(const LauncherCommand::ManualApp& app) const {
    write_ignoring_failure(err, prefixed(app.name + ": start the bridge by hand, see " +
                                         std::string(kModulesDocs) + app.name + ".md"));
    return 2;
  }
  int operator()(const LauncherCommand::Launch& launch) const {
    return with_base_dirs([&](const BaseDirs& dirs) {
      return run_launch(paths, dirs, launch.bridge_file, env, out);
    });
  }
  int operator()(const LauncherCommand::Stop&) const {
    return with_base_dirs([&](const BaseDirs& dirs) { return run_stop(paths, dirs, out); });
  }

  template <typename Action>
  int with_base_dirs(Action action) const {
    const auto dirs = resolve_base_dirs(env);
    if (!dirs) {
      write_ignoring_failure(err, prefixed("error: " + message_of(dirs.error())));
      return 1;
    }
    const auto outcome = action(*dirs);
    return outcome ? 0 : report(outcome.error(), err);
  }
};

}  // namespace

int run_entry(std::span<const std::string> args, const EnvSnapshot& env, const SystemPaths& paths,
              OutputStream& out, OutputStream& err) {
  return std::visit(Dispatch{env, paths, out, err}, parse_command_line(args).action);
}

}  // namespace qs
