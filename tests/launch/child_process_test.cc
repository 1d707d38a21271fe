#include "launch/child_process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/fake_report.h"
#include "support/temp_dir.h"

namespace qs {
namespace {

TEST(ChildSpecs, SofficeGetsTheFourArgumentsAndOurEnvironmentWithoutOurVariables) {
  const EnvSnapshot env = {{"QUANTELSPIRE_CONFIG_DIR", "/c"}, {"DISPLAY", ":0"},
                           {"QUANTELSPIRE_TOKEN_PATH", "/t"}, {"QUANTELSPIRE", "kept"},
                           {"quantelspire_x", "kept"},        {"HOME", "/h"}};
  const ChildSpec spec = make_soffice_spec("/usr/bin/soffice", 2002, env);
  EXPECT_EQ(spec.program, "/usr/bin/soffice");
  EXPECT_EQ(spec.arguments,
            (std::vector<std::string>{"--accept=socket,host=127.0.0.1,port=2002;urp;",
                                      "--norestore", "--nologo", "--nodefault"}));
  EXPECT_EQ(spec.working_directory, "/");
  const EnvSnapshot expected = {
      {"DISPLAY", ":0"}, {"QUANTELSPIRE", "kept"}, {"quantelspire_x", "kept"}, {"HOME", "/h"}};
  EXPECT_EQ(spec.environment, expected);
}

TEST(ChildSpecs, BridgeGetsItsScriptAndAnAllowListedEnvironment) {
  const EnvSnapshot env = {{"PATH", "/bin"},
                           {"PYTHONPATH", "/opt/x"},
                           {"LC_CTYPE", "C.UTF-8"},
                           {"LD_LIBRARY_PATH", "/evil"},
                           {"HOME", "/h"},
                           {"XDG_RUNTIME_DIR", "/run/user/0"},
                           {"LANG", "C"},
                           {"LC_ALL", "C"},
                           {"QUANTELSPIRE_UNO_PORT", "1"},
                           {"path", "/lower"}};
  const BridgeSettings settings{.bridge_file = "/srv/a b/uno_bridge.py\xff",
                                .token_path = "/h/.config/quantelspire-mcp/token",
                                .uno_port = 2002,
                                .bridge_port = 9304};
  const ChildSpec spec = make_bridge_spec("/usr/bin/python3", settings, env);
  EXPECT_EQ(spec.program, "/usr/bin/python3");
  EXPECT_EQ(spec.arguments, (std::vector<std::string>{"/srv/a b/uno_bridge.py\xff"}));
  const EnvSnapshot expected = {
      {"PATH", "/bin"},
      {"HOME", "/h"},
      {"LANG", "C"},
      {"LC_ALL", "C"},
      {"LD_LIBRARY_PATH", "/usr/lib/libreoffice/program"},
      {"PYTHONPATH", "/usr/lib/python3/dist-packages"},
      {"QUANTELSPIRE_UNO_PORT", "2002"},
      {"QUANTELSPIRE_BRIDGE_PORT", "9304"},
      {"QUANTELSPIRE_TOKEN_PATH", "/h/.config/quantelspire-mcp/token"},
  };
  EXPECT_EQ(spec.environment, expected);
}

class SpawnChild : public testing::Test {
 protected:
  test::TempDir dir;
  std::string report_path = dir / "report";

  test::FakeReport spawn_and_report(ChildSpec spec) {
    spec.environment.emplace_back("QS_REPORT", report_path);
    const auto pid = spawn_child(spec);
    EXPECT_TRUE(pid.has_value()) << (pid ? "" : message_of(LauncherError{pid.error()}));
    if (!pid) return {};
    int status = 0;
    EXPECT_EQ(::waitpid(static_cast<pid_t>(*pid), &status, 0), static_cast<pid_t>(*pid));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    test::FakeReport report = test::read_report(report_path);
    EXPECT_EQ(report.pid, static_cast<pid_t>(*pid));
    return report;
  }
};

TEST_F(SpawnChild, StartsTheProgramExactlyAsSpecified) {
  // A descriptor of ours without close-on-exec must not reach the child either.
  const int leaked = ::open("/dev/zero", O_RDONLY);
  ASSERT_GE(leaked, 3);
  // Nor a SIGPIPE we ignore: a bridge that writes to a closed socket must be able to die of it.
  struct sigaction ignore {
  }, old{};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, &old);
  ChildSpec spec{QS_FAKE_PROGRAM,
                 {"--accept=socket,host=127.0.0.1,port=2002;urp;", "a b", ""},
                 "/",
                 {{"A", "1"}, {"B", "2"}, {"A", "3"}}};
  const test::FakeReport report = spawn_and_report(spec);
  ::sigaction(SIGPIPE, &old, nullptr);
  ::close(leaked);
  EXPECT_EQ(report.argv,
            (std::vector<std::string>{QS_FAKE_PROGRAM,
                                      "--accept=socket,host=127.0.0.1,port=2002;urp;", "a b", ""}));
  EXPECT_EQ(report.env, (std::vector<std::string>{"A=3", "B=2", "QS_REPORT=" + report_path}));
  EXPECT_EQ(report.cwd, "/");
  EXPECT_EQ(report.pgid, report.pid);  // its own process group
  EXPECT_EQ(report.sid, ::getsid(0));  // but not a new session
  EXPECT_EQ(report.sigpipe, "default");
  EXPECT_EQ(report.fds,
            (std::map<int, std::string>{{0, "/dev/null"}, {1, "/dev/null"}, {2, "/dev/null"}}));
}

TEST_F(SpawnChild, ReportsAProgramThatCannotBeExecuted) {
  test::write_file(dir / "not-executable", "#!/bin/sh\n", 0600);
  struct Case {
    std::string program;
    int error;
  };
  const std::vector<Case> cases = {
      {dir / "missing", ENOENT}, {dir / "not-executable", EACCES}, {dir.path(), EACCES}};
  for (const Case& c : cases) {
    const auto pid = spawn_child({c.program, {}, "/", {}});
    ASSERT_FALSE(pid.has_value()) << c.program;
    EXPECT_EQ(pid.error().error, SystemError::from_errno(c.error)) << c.program;
    EXPECT_EQ(pid.error().program, c.program);
  }
}

}  // namespace
}  // namespace qs
