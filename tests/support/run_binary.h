#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qs::test {

enum class StdoutKind { Capture, DevFull, Closed, BrokenPipe, Given };

struct RunOptions {
  std::vector<std::string> args;  // after the program name
  std::vector<std::string> env;   // "NAME=value" entries: the whole environment
  StdoutKind stdout_kind = StdoutKind::Capture;
  int stdout_fd = -1;              // for Given
  std::function<void()> in_child;  // runs in the child just before exec
};

struct RunResult {
  int status = -1;  // exit status, or 128 + signal number
  std::string out;
  std::string err;
};

// Everything read from `fd` until its end (or a read error).
std::string read_all(int fd);

// Runs `program` (the launcher by default) and captures what it writes.
RunResult run_binary(const RunOptions& options, const std::string& program = QS_LAUNCHER_BINARY);

}  // namespace qs::test
