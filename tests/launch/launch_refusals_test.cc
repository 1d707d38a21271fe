// The launch's refusals in the test's own process, against a fake process table and ports taken
// on the loopback: they need neither root nor a namespace, so every build runs them. Each one
// comes before anything is started and leaves the record as it found it.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <functional>

#include <gtest/gtest.h>

#include "config/raw_config.h"
#include "config/validated_config.h"
#include "launch/run_launch.h"
#include "launch/run_stop.h"
#include "support/fake_report.h"
#include "support/loopback.h"
#include "support/string_output_stream.h"
#include "support/temp_dir.h"

namespace qs {
namespace {

using namespace std::string_literals;
using E = LauncherError;

class LaunchRefusals : public test::InProcessLaunch {
 protected:
  const std::string bridge = dir / "uno_bridge.py";
  const std::string python_runs_bridge = dir / "python3" + '\0' + bridge + '\0';
};

TEST_F(LaunchRefusals, InTheirOrderBeforeStartingAnything) {
  const std::string writer = "[apps.libreoffice-writer]\nenabled = true\n";
  const std::string bad_hub = "[hub]\nmax_line_bytes = 1\n";
  // Records the reader would refuse: one byte too many, and few bytes written as many (U+FFFD).
  const std::string too_long = test::long_bridge_file(dir / "long", 4096 - 37, 'a');
  const std::string widened = test::long_bridge_file(dir / "wide", 1400, '\xff');
  const std::string line_feed = dir / "b\nbridge 1 " + bridge;
  const auto [uno_socket, uno_taken] = test::listen_on("127.0.0.1", 0);
  const auto [bridge_socket, bridge_taken] = test::listen_on("127.0.0.1", 0);
  const std::string earlier_bridge = "bridge 4250 " + bridge + "\n";
  struct Case {
    std::string what;
    std::string config;  // empty: no configuration file
    std::string bridge_file;
    LauncherError error;
    std::function<void()> prepare = [] {};
    bool runtime_dir = true;
  };
  const std::string launch_dir = dir / "run/launch";
  const auto prepare_record = [&](const std::string& text) {
    return [&, text] {
      test::make_launch_dir(dir / "run");
      test::write_file(record, text);
    };
  };
  int held = -1;
  const std::vector<Case> cases = {
      {"no configuration: nothing is enabled, before the bridge file is looked at", "",
       "relative.py", E{E::NoTargetEnabled{}}, [] {}, false},
      {"bridge ports disagree after the uno ports agree",
       writer + "[apps.libreoffice-calc]\nenabled = true\nbridge_port = 9305\n", bridge,
       E{E::TargetsDisagree{PortKey::BridgePort,
                            {{"libreoffice-writer", 9304}, {"libreoffice-calc", 9305}}}}},
      {"a configuration error", bad_hub, bridge,
       E{E::Config{validate_config(*parse_config(bad_hub)).error()}}},
      {"the bridge file before the runtime directory", writer, "--stop",
       E{E::BridgeFileRefused{FileSafetyError{"--stop", FileSafetyError::InvalidPath{}}}}, [] {},
       false},
      {"a relative bridge file", writer, "uno_bridge.py",
       E{E::BridgeFileRefused{FileSafetyError{"uno_bridge.py", FileSafetyError::InvalidPath{}}}}},
      {"an empty bridge file", writer, "",
       E{E::BridgeFileRefused{FileSafetyError{"", FileSafetyError::InvalidPath{}}}}},
      // The record would read the text after the line feed as a bridge of its own.
      {"a bridge path with a line feed", writer, line_feed,
       E{E::BridgeFileRefused{E::BridgeFileRefused::LineFeed{}}}},
      {"a record too long to read back", writer, too_long,
       E{E::BridgeFileRefused{E::BridgeFileRefused::TooLongToRecord{4096}}}},
      {"a record that invalid UTF-8 makes too long", writer, widened,
       E{E::BridgeFileRefused{E::BridgeFileRefused::TooLongToRecord{4096}}}},
      {"no runtime directory", writer, bridge,
       E{E::Config{ConfigError::message(kNoRuntimeDirMessage)}}, [] {}, false},
      {"a loose runtime directory", writer, bridge,
       E{E::File{FileSafetyError{dir / "run", FileSafetyError::WrongMode{0755, 0700}}}},
       [&] { test::make_dir(dir / "run", 0755); }},
      {"a malformed record", writer, bridge, E{E::BadRecord{record}},
       prepare_record("soffice twelve\n")},
      {"another launch or stop at work", writer, bridge, E{E::Busy{record}},
       [&] {
         test::make_launch_dir(dir / "run");
         held = ::open(launch_dir.c_str(), O_RDONLY | O_CLOEXEC);
         ASSERT_EQ(::flock(held, LOCK_EX), 0);
       }},
      {"the earlier launch's bridge, recognised by what it runs", writer, bridge,
       E{E::BridgeStillRunning{4250}},
       [&, prepare = prepare_record(earlier_bridge)] {
         prepare();
         test::add_fake_process(paths.proc_root, 4250, "python3", python_runs_bridge);
       }},
      // Before the port: the user's own LibreOffice there is named as such.
      {"a LibreOffice of the user", writer + "uno_port = " + std::to_string(uno_taken) + "\n",
       bridge, E{E::AlreadyRunning{uno_taken, {4242, 4243}}},
       [&] {
         test::add_fake_process(paths.proc_root, 4243, "soffice.bin", "soffice.bin\0"s);
         test::add_fake_process(paths.proc_root, 4242, "soffice.bin", "soffice.bin\0"s);
       }},
      {"another program listens on the UNO port",
       writer + "uno_port = " + std::to_string(uno_taken) + "\n", bridge,
       E{E::PortTaken{uno_taken, PortKey::UnoPort}}},
      {"another program listens on the bridge port",
       writer + "bridge_port = " + std::to_string(bridge_taken) + "\n", bridge,
       E{E::PortTaken{bridge_taken, PortKey::BridgePort}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::remove_tree(dir / "run");
    test::remove_tree(paths.proc_root);
    test::make_dir(paths.proc_root);
    ::unlink((dir / "config/config.toml").c_str());
    if (!c.config.empty()) test::write_file(dir / "config/config.toml", c.config);
    c.prepare();
    const std::string before = test::exists(record) ? test::read_file(record) : "none";
    BaseDirs where = dirs;
    if (!c.runtime_dir) where.runtime_dir.reset();
    test::StringOutputStream out;
    const auto launched = run_launch(paths, where, c.bridge_file, env, out);
    if (held >= 0) ::close(std::exchange(held, -1));
    ASSERT_FALSE(launched.has_value());
    EXPECT_EQ(message_of(launched.error()), message_of(c.error));
    EXPECT_EQ(exit_status_of(launched.error()), exit_status_of(c.error));
    EXPECT_EQ(out.text(), "");
    EXPECT_TRUE(nothing_started());
    EXPECT_EQ(test::exists(record) ? test::read_file(record) : "none", before);
  }
  EXPECT_EQ(test::mode_of(dir / "run"), 0700u);
  ::close(uno_socket);
  ::close(bridge_socket);
}

// A recorded id that another process has since taken is not the bridge: nothing is signalled
// (the id here is the test's own), and the launch is forgotten.
TEST_F(LaunchRefusals, AStopNeverSignalsAReusedId) {
  const auto own = static_cast<std::uint32_t>(::getpid());
  for (const std::string& cmdline :
       {"/usr/bin/tail\0-f\0"s + bridge + '\0', "/usr/bin/python3\0/other.py\0"s, bridge + '\0',
        dir / "python3" + '\0' + bridge + '\0' + "--more\0"s}) {
    SCOPED_TRACE(testing::PrintToString(cmdline));
    test::remove_tree(paths.proc_root);
    test::make_dir(paths.proc_root);
    test::add_fake_process(paths.proc_root, own, "tail", cmdline);
    test::remove_tree(dir / "run");
    test::make_launch_dir(dir / "run");
    ASSERT_TRUE(test::write_record_at(record, {7, RecordedBridge{own, bridge}}));
    test::StringOutputStream out;
    ASSERT_TRUE(run_stop(paths, dirs, out));
    EXPECT_EQ(out.text(), "the bridge (process " + std::to_string(own) +
                              ") is no longer running: nothing was signalled\n"
                              "LibreOffice (process 7) was left running: close it yourself "
                              "when you are done\n");
    EXPECT_FALSE(test::exists(record));
  }
}

}  // namespace
}  // namespace qs
