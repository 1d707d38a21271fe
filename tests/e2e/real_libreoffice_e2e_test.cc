// The launcher against the real LibreOffice and python3-uno from Debian's packages, with the
// example bridge: proves that the command lines and environments it gives its children work.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <regex>
#include <thread>

#include "support/fake_report.h"
#include "support/run_binary.h"
#include "support/temp_dir.h"

namespace qs::test {
namespace {

using namespace std::chrono_literals;

// A port nobody listens on now; the kernel chooses it, so the defaults (which another program
// may hold) are never used.
std::uint16_t free_port() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

int connect_to(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool listening(std::uint16_t port) {
  const int fd = connect_to(port);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

// One request line, one answer line; nothing when the bridge does not answer.
std::optional<std::string> ask(std::uint16_t port, const std::string& line) {
  const int fd = connect_to(port);
  if (fd < 0) return std::nullopt;
  const timeval timeout{60, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  const std::string request = line + "\n";
  std::string answer;
  if (::write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size())) {
    char buffer[4096];
    ssize_t n;
    while (answer.find('\n') == std::string::npos && (n = ::read(fd, buffer, sizeof buffer)) > 0) {
      answer.append(buffer, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  if (answer.empty() || answer.back() != '\n') return std::nullopt;
  answer.pop_back();
  return answer;
}

class RealLibreOffice : public testing::Test {
 protected:
  void SetUp() override {
    if (::access("/usr/bin/soffice", X_OK) != 0 ||
        ::access("/usr/lib/python3/dist-packages/uno.py", R_OK) != 0) {
      GTEST_SKIP() << "LibreOffice and python3-uno are not installed (scripts/test installs them)";
    }
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    ::chmod(dir.path().c_str(), 0755);
    make_dir(dir / "home");
    make_dir(dir / "config");
    make_dir(dir / "config/quantelspire-mcp");
    bridge_file = dir / "uno_bridge.py";
    write_file(bridge_file, read_file(QS_EXAMPLE_BRIDGE), 0644);
    write_file(dir / "config/quantelspire-mcp/config.toml",
               "[apps.libreoffice-writer]\nenabled = true\nuno_port = " + std::to_string(uno_port) +
                   "\nbridge_port = " + std::to_string(bridge_port) + "\n");
  }

  void TearDown() override {
    if (soffice_pid > 0) ::kill(-soffice_pid, SIGKILL);  // the demo's LibreOffice, by its group
    if (bridge_pid > 0) ::kill(bridge_pid, SIGKILL);
    while (::waitpid(-1, nullptr, 0) > 0 || errno == EINTR) {
    }
  }

  RunResult run(std::vector<std::string> args) {
    return run_binary({.args = std::move(args),
                       .env = {"HOME=" + dir / "home", "PATH=/usr/bin:/bin", "LANG=C.UTF-8",
                               "QUANTELSPIRE_CONFIG_DIR=" + dir / "config",
                               "QUANTELSPIRE_RUNTIME_DIR=" + dir / "run"}});
  }

  TempDir dir;
  std::string bridge_file;
  std::uint16_t uno_port = free_port();
  std::uint16_t bridge_port = [this] {
    std::uint16_t port;
    do
      port = free_port();
    while (port == uno_port);
    return port;
  }();
  pid_t soffice_pid = 0;
  pid_t bridge_pid = 0;
};

TEST_F(RealLibreOffice, LaunchTalkStopAndRefuse) {
  const RunResult launched = run({"libreoffice", "--bridge-file", bridge_file});
  ASSERT_EQ(launched.status, 0) << launched.err;
  std::smatch match;
  ASSERT_TRUE(std::regex_search(
      launched.out, match,
      std::regex("^LibreOffice started \\(process ([0-9]+)\\), listening for UNO on "
                 "127\\.0\\.0\\.1:" +
                 std::to_string(uno_port) +
                 "\nbridge started \\(process ([0-9]+)\\), listening on 127\\.0\\.0\\.1:" +
                 std::to_string(bridge_port) + "\n")))
      << launched.out;
  soffice_pid = std::stoi(match[1]);
  bridge_pid = std::stoi(match[2]);

  std::optional<std::string> pong;
  for (auto deadline = std::chrono::steady_clock::now() + 90s;
       !pong && std::chrono::steady_clock::now() < deadline;) {
    pong = ask(bridge_port, "ping");
    if (!pong) std::this_thread::sleep_for(250ms);
  }
  ASSERT_TRUE(pong) << "the bridge did not answer within 90 s";
  EXPECT_TRUE(pong->starts_with("pong LibreOffice ")) << *pong;
  EXPECT_EQ(ask(bridge_port, "writer h\xC3\xA9llo from the launcher test"),
            "h\xC3\xA9llo from the launcher test");

  const RunResult again = run({"libreoffice", "--bridge-file", bridge_file});
  EXPECT_EQ(again.status, 2);
  EXPECT_TRUE(again.err.find("the bridge of an earlier launch is still running (process " +
                             std::to_string(bridge_pid) + ")") != std::string::npos)
      << again.err;

  const RunResult stopped = run({"libreoffice", "--stop"});
  EXPECT_EQ(stopped.status, 0) << stopped.err;
  EXPECT_EQ(stopped.out, "bridge stopped (process " + std::to_string(bridge_pid) +
                             ")\nLibreOffice (process " + std::to_string(soffice_pid) +
                             ") was left running: close it yourself when you are done\n");
  bool bridge_gone = false;
  for (int tick = 0; tick < 1000 && !bridge_gone; ++tick) {
    bridge_gone = ::waitpid(bridge_pid, nullptr, WNOHANG) == bridge_pid;
    if (!bridge_gone) std::this_thread::sleep_for(10ms);
  }
  EXPECT_TRUE(bridge_gone) << "the bridge did not end on SIGTERM";
  if (bridge_gone) bridge_pid = 0;
  EXPECT_FALSE(process_gone(soffice_pid));
  EXPECT_TRUE(listening(uno_port)) << "LibreOffice stopped listening";

  const RunResult refused = run({"libreoffice", "--bridge-file", bridge_file});
  EXPECT_EQ(refused.status, 2);
  EXPECT_TRUE(refused.err.starts_with("quantelspire-launch: LibreOffice is already running"))
      << refused.err;

  // Closing LibreOffice is the user's business; the test does it by the process group.
  ASSERT_EQ(::kill(-soffice_pid, SIGTERM), 0);
  for (int tick = 0; tick < 3000 && listening(uno_port); ++tick)
    std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(listening(uno_port));
}

}  // namespace
}  // namespace qs::test
