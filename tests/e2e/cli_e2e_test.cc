// The built binary, run as a user runs it: exact output, exact status.
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

}  // namespace
}  // namespace qs::test
