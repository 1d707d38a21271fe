#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "support/fake_report.h"
#include "support/run_binary.h"
#include "support/temp_dir.h"

namespace qs::test {

// A scratch world for the built launcher: its own configuration and runtime directories, a
// HOME where the fake children report, and a private mount namespace per run in which fake
// programs stand at /usr/bin/soffice and /usr/bin/python3. Nothing outside the namespace is
// created or changed, and every process the launches caused is killed at the end.
class Sandbox {
 public:
  Sandbox();
  ~Sandbox();

  // Empty when runs in a private mount namespace work here; otherwise why they do not.
  static std::string unavailable_reason();

  std::string home() const { return dir_ / "home"; }
  std::string config_dir() const { return dir_ / "config/quantelspire-mcp"; }
  std::string runtime_dir() const { return dir_ / "run/quantelspire-mcp"; }
  std::string record_path() const { return runtime_dir() + "/launch/libreoffice.pids"; }
  std::string bridge_file() const { return bridge_file_; }
  std::string path(std::string_view name) const { return dir_ / name; }

  void write_config(const std::string& toml);
  // The launch directory made afresh, holding `record` as its record; its path.
  std::string write_record(const std::string& record);
  void enable_writer() { write_config("[apps.libreoffice-writer]\nenabled = true\n"); }
  // Makes /usr/bin/python3 missing inside the namespace.
  void hide_python();
  // A bridge script at another path (for instance one that is not UTF-8).
  std::string add_bridge_file(const std::string& name);

  std::vector<std::string> environment() const;
  RunResult run(std::vector<std::string> args, StdoutKind stdout_kind = StdoutKind::Capture,
                int stdout_fd = -1);
  // `launcher` as the last argument of `wrapper` (a program and its options), then `args`.
  RunResult run_under(std::vector<std::string> wrapper, const std::string& launcher,
                      std::vector<std::string> args);
  RunResult launch(StdoutKind stdout_kind = StdoutKind::Capture) {
    return run({"libreoffice", "--bridge-file", bridge_file_}, stdout_kind);
  }
  RunResult stop(StdoutKind stdout_kind = StdoutKind::Capture) {
    return run({"libreoffice", "--stop"}, stdout_kind);
  }

  // The two children of a launch, once they have reported.
  FakeReport soffice_report() const { return read_report(home() + "/soffice.report"); }
  FakeReport bridge_report() const { return read_report(home() + "/bridge.report"); }

  // Kills and reaps every process the launches started.
  void kill_our_processes();
  // The same, and removes what the children wrote, for the next launch of a test.
  void end_launches();

 private:
  TempDir dir_;
  std::string bridge_file_;
};

}  // namespace qs::test
