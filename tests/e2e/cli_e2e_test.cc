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
  };
  for (const Case& c : cases) {
    const RunResult r = run_binary({.args = c.args, .env = c.env});
    EXPECT_EQ(r.status, c.status) << testing::PrintToString(c.args);
    EXPECT_EQ(r.out, c.out) << testing::PrintToString(c.args);
    EXPECT_EQ(r.err, c.err) << testing::PrintToString(c.args);
  }
}

TEST(CliEndToEnd, HelpSucceedsWhateverHappensToItsOutput) {
  for (StdoutKind kind : {StdoutKind::Closed, StdoutKind::BrokenPipe, StdoutKind::DevFull}) {
    const RunResult r = run_binary({.args = {"--help"}, .stdout_kind = kind});
    EXPECT_EQ(r.status, 0) << static_cast<int>(kind);
    EXPECT_EQ(r.err, "");
  }
}

// Memory short anywhere after the loader: our one line and status 1, never std::terminate
// ("terminate called without an active exception", status 134) or a signal.
TEST(CliEndToEnd, AnAllocationThatFailsHasOurMessage) {
#ifdef QS_SANITIZED
  GTEST_SKIP() << "the sanitizers' runtime reserves more address space than any limit here";
#endif
  RunOptions stop{.args = {"libreoffice", "--stop"}, .env = {"HOME=/nonexistent"}};
  const RunResult unlimited = run_binary(stop);
  int short_of_memory = 0;
  for (rlim_t limit = 2 << 20; limit <= 16 << 20; limit += 128 << 10) {
    stop.in_child = [limit] {
      const rlimit as{limit, limit};
      ::setrlimit(RLIMIT_AS, &as);
    };
    const RunResult r = run_binary(stop);
    if (r.status == 127 && r.err.find("error while loading") != r.err.npos) continue;  // not ours
    const bool starved = r.err == "quantelspire-launch: out of memory\n";
    short_of_memory += starved;
    EXPECT_EQ(r.status, starved ? 1 : unlimited.status) << limit << ": " << r.err;
    EXPECT_EQ(r.err, starved ? r.err : unlimited.err) << limit;
  }
  EXPECT_GT(short_of_memory, 0) << "no limit left the launcher short of memory";
}

}  // namespace
}  // namespace qs::test
