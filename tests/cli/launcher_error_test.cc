#include "cli/launcher_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <set>

namespace qs {
namespace {

// Each kind's status, and what its message computes: whole where the sentence is made of
// others, elsewhere each computed part (a list, a lossy path, an error's text) in its place.
TEST(LauncherError, RendersEveryVariantWithItsStatus) {
  using E = LauncherError;
  const auto no_python = [] {
    return E::StartFailed{"/usr/bin/python3", SystemError::from_errno(ENOENT)};
  };
  const auto full = FileSafetyError::cannot(FileOperation::Write, "/r/l.pids", ENOSPC);
  const std::string instead =
      "; pass the absolute path of uno_bridge.py with --bridge-file: "
      "bridges/generated/uno_bridge.py in a clone, "
      "/usr/share/quantelspire-mcp/bridges/uno_bridge.py from the package";
  struct Case {
    int status;
    LauncherError error;
    std::vector<std::string> parts;  // in this order
    bool whole = false;              // the one part is the whole message
  };
  const std::vector<Case> cases = {
      {2,
       E{E::NoTargetEnabled{}},
       {"under [apps.libreoffice-writer], [apps.libreoffice-calc] or [apps.libreoffice-impress] "
        "in the configuration"}},
      {2,
       E{E::TargetsDisagree{PortKey::UnoPort,
                            {{"libreoffice-writer", 2002}, {"libreoffice-calc", 2003}}}},
       {"the enabled LibreOffice targets disagree on uno_port: apps.libreoffice-writer.uno_port = "
        "2002; apps.libreoffice-calc.uno_port = 2003; one LibreOffice and one bridge serve all of "
        "them, so give them the same value"},
       true},
      {2, E{E::SamePort{9304}}, {"are both 9304: LibreOffice"}},
      // The path is left out of the next two: a line feed or thousands of bytes would break it.
      {2,
       E{E::BridgeFileRefused{FileSafetyError{"uno_bridge.py", FileSafetyError::InvalidPath{}}}},
       {"the bridge file is refused: invalid path: uno_bridge.py" + instead},
       true},
      {2,
       E{E::BridgeFileRefused{E::BridgeFileRefused::LineFeed{}}},
       {"refused: its path contains a line feed", "(rename the file)" + instead}},
      {2,
       E{E::BridgeFileRefused{E::BridgeFileRefused::TooLongToRecord{4096}}},
       {"refused: its path is too long",
        "at most 4096 bytes (move the file to a shorter path)" + instead}},
      {2,
       E{E::AlreadyRunning{2002, {812, 977}}},
       {"already running (process 812, 977). The", "--accept=\"socket,host=127.0.0.1,port=2002;"}},
      {2, E{E::BridgeStillRunning{4250}}, {"still running (process 4250); run"}},
      {1,
       E{E::Config{ConfigError::message("XDG_RUNTIME_DIR is not set")}},
       {"XDG_RUNTIME_DIR is not set"},
       true},
      {1, E{E::File{full}}, {message_of(full)}, true},
      {1, E{E::BadRecord{"/r/\xff/l.pids"}}, {"earlier launch (/r/\xEF\xBF\xBD/l.pids) is not"}},
      {1,
       E{E::ListProcesses{SystemError::from_errno(ENOENT)}},
       {"system: No such file or directory (os error 2)"}},
      {1,
       E{no_python()},
       {"cannot start /usr/bin/python3: No such file or directory (os error 2)"},
       true},
      {1,
       E{E::LeftRunning{4242, no_python()}},
       {"python3: No such file or directory (os error 2). LibreOffice was started (process 4242)"}},
      {1,
       E{E::SignalFailed{7, SystemError::from_errno(EPERM)}},
       {"process 7: Operation not permitted (os error 1)"}},
      {1, E{E::ReportFailed{SystemError::short_write()}}, {"report: failed to write whole buffer"}},
      {2, E{E::PortTaken{2002, PortKey::UnoPort}}, {"port 2002 on", "choose another uno_port"}},
      {1,
       E{E::PortCheckFailed{9304, SystemError::from_errno(EMFILE)}},
       {"port 9304 on 127.0.0.1 is free: Too many open files (os error 24)"}},
      {1, E{E::Busy{"/r/l.pids"}}, {"using /r/l.pids; try"}},
      {1,
       E{E::ProcessCheckFailed{4250, SystemError::from_errno(EMFILE)}},
       {"process 4250: Too many open files (os error 24)"}},
      {1,
       E{E::LeftUnrecorded{full, 4242, 4250}},
       {message_of(full) + ". LibreOffice (process 4242) and the bridge (process 4250)",
        "(kill 4250)"}},
  };
  std::set<std::size_t> kinds;
  for (const Case& c : cases) {
    kinds.insert(c.error.kind.index());
    const std::string message = message_of(c.error);
    EXPECT_EQ(exit_status_of(c.error), c.status) << message;
    if (c.whole) {
      EXPECT_EQ(message, c.parts.front());
    }
    std::size_t at = 0;
    for (const std::string& part : c.parts) {
      at = message.find(part, at);
      EXPECT_NE(at, std::string::npos) << part << "\nnot in: " << message;
    }
  }
  EXPECT_EQ(kinds.size(), std::variant_size_v<decltype(LauncherError::kind)>);
}

}  // namespace
}  // namespace qs
