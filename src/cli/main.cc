#include <signal.h>
#include <unistd.h>

#include <new>
#include <string>
#include <vector>

#include "base/standard_streams.h"
#include "cli/entry.h"

namespace {

// Called by every failed allocation before it throws: said in one line, and nothing more is
// started. Written without allocating, and without the emergency pool a throw would need, which
// is empty when memory was short from the start.
[[noreturn]] void out_of_memory() {
  static constexpr char kLine[] = "quantelspire-launch: out of memory\n";
  (void)!::write(STDERR_FILENO, kLine, sizeof kLine - 1);
  ::_exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  std::set_new_handler(out_of_memory);
  // A closed standard output must show up as a write error, and a file-size limit (ulimit -f) as
  // the write's own error (EFBIG), not end the process without a word.
  (void)::signal(SIGPIPE, SIG_IGN);  // cannot fail for a valid signal number
  (void)::signal(SIGXFSZ, SIG_IGN);
  qs::occupy_closed_standard_streams();
  const std::vector<std::string> args(argv, argv + argc);
  const qs::EnvSnapshot env = qs::capture_environment(environ);
  qs::FdOutputStream out(STDOUT_FILENO);
  qs::FdOutputStream err(STDERR_FILENO);
  return qs::run_entry(args, env, qs::SystemPaths{}, out, err);
}
