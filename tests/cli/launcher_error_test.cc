#include "cli/launcher_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <set>

namespace qs {
namespace {

LauncherError::StartFailed start_failed_python() {
  return {"/usr/bin/python3", SystemError::from_errno(ENOENT)};
}

TEST(LauncherError, RendersEveryVariantWithItsStatus) {
  struct Case {
    int status;
    LauncherError error;
    std::string message;
  };
  using E = LauncherError;
  std::vector<Case> cases;
  cases.push_back({2, E{E::NoTargetEnabled{}},
                   "no LibreOffice target is enabled: set enabled = true under "
                   "[apps.libreoffice-writer], [apps.libreoffice-calc] or "
                   "[apps.libreoffice-impress] in the configuration"});
  cases.push_back(
      {2,
       E{E::TargetsDisagree{PortKey::UnoPort,
                            {{"libreoffice-writer", 2002}, {"libreoffice-calc", 2003}}}},
       "the enabled LibreOffice targets disagree on uno_port: "
       "apps.libreoffice-writer.uno_port = 2002; apps.libreoffice-calc.uno_port = "
       "2003; one LibreOffice and one bridge serve all of them, so give them the "
       "same value"});
  cases.push_back({2, E{E::SamePort{9304}},
                   "uno_port and bridge_port are both 9304: LibreOffice and the bridge cannot "
                   "listen on the same port"});
  cases.push_back(
      {2, E{E::BridgeFileRefused{FileSafetyError{"uno_bridge.py", FileSafetyError::InvalidPath{}}}},
       "the bridge file is refused: invalid path: uno_bridge.py; pass the absolute path of "
       "uno_bridge.py with --bridge-file: bridges/generated/uno_bridge.py in a clone, "
       "/usr/share/quantelspire-mcp/bridges/uno_bridge.py from the package"});
  // The path is left out of these two: a line feed or thousands of bytes would break the message.
  const std::string pass_instead =
      "; pass the absolute path of uno_bridge.py with --bridge-file: "
      "bridges/generated/uno_bridge.py in a clone, "
      "/usr/share/quantelspire-mcp/bridges/uno_bridge.py from the package";
  cases.push_back({2, E{E::BridgeFileRefused{E::BridgeFileRefused::LineFeed{}}},
                   "the bridge file is refused: its path contains a line feed, which the launch "
                   "record cannot hold (rename the file)" +
                       pass_instead});
  cases.push_back({2, E{E::BridgeFileRefused{E::BridgeFileRefused::TooLongToRecord{4096}}},
                   "the bridge file is refused: its path is too long for the launch record, "
                   "which holds at most 4096 bytes (move the file to a shorter path)" +
                       pass_instead});
  cases.push_back({2, E{E::AlreadyRunning{2002, {812, 977}}},
                   "LibreOffice is already running (process 812, 977). The launcher does not "
                   "attach to an instance that may hold unsaved work and never closes one it did "
                   "not start. Close LibreOffice and run the launcher again, or start it yourself "
                   "with the option --accept=\"socket,host=127.0.0.1,port=2002;urp;\" (see "
                   "docs/modules/libreoffice.md) and start the bridge by hand."});
  cases.push_back({2, E{E::BridgeStillRunning{4250}},
                   "the bridge of an earlier launch is still running (process 4250); run "
                   "'quantelspire-launch libreoffice --stop' first"});
  cases.push_back({1,
                   E{E::Config{ConfigError::message(
                       "XDG_RUNTIME_DIR is not set; refusing to write volatile files elsewhere")}},
                   "XDG_RUNTIME_DIR is not set; refusing to write volatile files elsewhere"});
  cases.push_back({1,
                   E{E::File{FileSafetyError::cannot(FileOperation::Remove,
                                                     "/r/launch/libreoffice.pids", EACCES)}},
                   "cannot remove /r/launch/libreoffice.pids: Permission denied (os error 13)"});
  cases.push_back({1, E{E::BadRecord{"/r/\xff/libreoffice.pids"}},
                   "the record of an earlier launch (/r/\xEF\xBF\xBD/libreoffice.pids) is not in "
                   "the expected form; nothing was signalled. Check the processes yourself, then "
                   "delete the file"});
  cases.push_back({1, E{E::ListProcesses{SystemError::from_errno(ENOENT)}},
                   "cannot list the processes of the system: No such file or directory (os "
                   "error 2)"});
  cases.push_back({1, E{start_failed_python()},
                   "cannot start /usr/bin/python3: No such file or directory (os error 2)"});
  cases.push_back(
      {1, E{E::LeftRunning{4242, start_failed_python()}},
       "cannot start /usr/bin/python3: No such file or directory (os error 2). LibreOffice was "
       "started (process 4242) and is left running: close it yourself"});
  cases.push_back({1, E{E::SignalFailed{7, SystemError::from_errno(EPERM)}},
                   "cannot signal process 7: Operation not permitted (os error 1)"});
  cases.push_back({1, E{E::ReportFailed{SystemError::short_write()}},
                   "cannot write the report: failed to write whole buffer"});
  cases.push_back({2, E{E::PortTaken{2002, PortKey::UnoPort}},
                   "port 2002 on 127.0.0.1 is already in use by another program, so LibreOffice "
                   "could not listen there; choose another uno_port for the enabled LibreOffice "
                   "targets in the configuration"});
  cases.push_back({1, E{E::PortCheckFailed{9304, SystemError::from_errno(EMFILE)}},
                   "cannot check whether port 9304 on 127.0.0.1 is free: Too many open files (os "
                   "error 24)"});
  cases.push_back({1, E{E::Busy{"/r/launch/libreoffice.pids"}},
                   "another launch or stop of yours is using /r/launch/libreoffice.pids; try "
                   "again when it has finished"});
  cases.push_back({1, E{E::ProcessCheckFailed{4250, SystemError::from_errno(EMFILE)}},
                   "cannot look at process 4250: Too many open files (os error 24)"});
  cases.push_back(
      {1,
       E{E::LeftUnrecorded{
           FileSafetyError::cannot(FileOperation::Write, "/r/launch/libreoffice.pids", ENOSPC),
           4242, 4250}},
       "cannot write /r/launch/libreoffice.pids: No space left on device (os error 28). "
       "LibreOffice (process 4242) and the bridge (process 4250) were started and are left "
       "running, but no launch is recorded: end the bridge yourself (kill 4250) and close "
       "LibreOffice when you are done"});
  std::set<std::size_t> kinds;
  for (const Case& c : cases)
    kinds.insert(c.error.kind.index());
  ASSERT_EQ(kinds.size(), std::variant_size_v<decltype(LauncherError::kind)>);
  for (const Case& c : cases) {
    EXPECT_EQ(message_of(c.error), c.message);
    EXPECT_EQ(exit_status_of(c.error), c.status) << c.message;
  }
}

}  // namespace
}  // namespace qs
