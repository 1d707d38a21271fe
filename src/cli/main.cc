#include <signal.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/standard_streams.h"
#include "cli/entry.h"

int main(int argc, char** argv) {
  // A closed standard output must show up as a write error, not end the process.
  (void)::signal(SIGPIPE, SIG_IGN);  // cannot fail for a valid signal number
  qs::occupy_closed_standard_streams();
  const std::vector<std::string> args(argv, argv + argc);
  const qs::EnvSnapshot env = qs::capture_environment(environ);
  qs::FdOutputStream out(STDOUT_FILENO);
  qs::FdOutputStream err(STDERR_FILENO);
  return qs::run_entry(args, env, qs::SystemPaths{}, out, err);
}
