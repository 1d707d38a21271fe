// The built binary, run as a user runs it: exact output, exact status.
#include <sys/resource.h>

#include <gtest/gtest.h>

#include "cli/command_line.h"
#include "config/base_dirs.h"
#include "support/run_binary.h"

namespace qs::test {
namespace {

TEST(CliEndToEnd, AnswersWithoutTouchingAnything) {
  const std::string usage = usage_text();
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> env;
    int status;
    std::string out, err;
    StdoutKind kind = StdoutKind::Capture;
  };
  using Args = std::vector<std::string>;
  const std::vector<Case> cases = {
      {{}, {"HOME=/nonexistent"}, 2, "", usage},
      {{"--help", "whatever"}, {}, 0, usage, ""},
      {{"libreoffice", "--help"}, {}, 0, usage, ""},
      {{"libreoffice", "-h"}, {}, 2, "", usage},
      {Args{"gimp", "--stop"}, Args{}, 2, "",
       "quantelspire-launch: gimp: start the bridge by hand, see docs/modules/gimp.md\n"},
      {Args{"libreoffice", "--stop"}, Args{}, 1, "",
       "quantelspire-launch: error: " + message_of(resolve_base_dirs({}).error()) + "\n"},
      {Args{"libreoffice", "--bridge-file", "/a/b.py"}, Args{"HOME=rel"}, 1, "",
       "quantelspire-launch: error: " + message_of(resolve_base_dirs({{"HOME", "rel"}}).error()) +
           "\n"},
      // --help succeeds whatever happens to its output.
      {{"--help"}, {}, 0, "", "", StdoutKind::Closed},
      {{"--help"}, {}, 0, "", "", StdoutKind::BrokenPipe},
      {{"--help"}, {}, 0, "", "", StdoutKind::DevFull},
  };
  for (const Case& c : cases) {
    const RunResult r = run_binary({.args = c.args, .env = c.env, .stdout_kind = c.kind});
    EXPECT_EQ(r.status, c.status) << testing::PrintToString(c.args);
    EXPECT_EQ(r.out, c.out) << testing::PrintToString(c.args);
    EXPECT_EQ(r.err, c.err) << testing::PrintToString(c.args);
  }
}

// Memory short after the loader: our one line and status 1, never std::terminate ("terminate
// called without an active exception", status 134). The answer moves from the loader's failure
// through ours to the normal one as the limit grows: just below the normal one, memory ran out
// in the launcher's own code.
TEST(CliEndToEnd, AnAllocationThatFailsHasOurMessage) {
#ifdef QS_SANITIZED
  GTEST_SKIP() << "the sanitizers' runtime reserves more address space than any limit here";
#endif
  RunOptions stop{.args = {"libreoffice", "--stop"}, .env = {"HOME=/nonexistent"}};
  const RunResult normal = run_binary(stop);
  const auto run_under = [&](rlim_t limit) {
    stop.in_child = [limit] {
      const rlimit as{limit, limit};
      ::setrlimit(RLIMIT_AS, &as);
    };
    return run_binary(stop);
  };
  rlim_t low = 1 << 20, high = 1 << 30;  // short of memory at `low`, never at `high`
  while (high - low > 4096) {
    const rlim_t middle = (low + high) / 2 / 4096 * 4096;
    const RunResult r = run_under(middle);
    (r.status == normal.status && r.err == normal.err ? high : low) = middle;
  }
  const RunResult r = run_under(low);
  EXPECT_EQ(r.err, "quantelspire-launch: out of memory\n") << low;
  EXPECT_EQ(r.status, 1);
}

}  // namespace
}  // namespace qs::test
