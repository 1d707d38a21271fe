#pragma once

#include <sys/types.h>

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "base/system_error.h"
#include "cli/launcher_error.h"
#include "files/guarded_file.h"

namespace qs {

// Whether a failed look at a process (an errno of its /proc entry or files) is an answer: the
// process has ended, is not ours to read, or the entry is no process at all. Every other failure
// is the launcher's own (no descriptor left, no memory, an I/O error) and no answer: read as "no
// such process" it would let a launch attach to a running LibreOffice, or a stop forget a
// running bridge.
bool means_no_process(int error_code);

// A file of a process (comm, cmdline), read with the bounded read at `relative` in the open /proc
// `proc`. Nothing when means_no_process says so, or when the file is not what a process file is
// (a link, not a regular file, too long): such a process is not one of ours.
[[nodiscard]] std::expected<std::optional<std::string>, SystemError> read_proc_file_at(
    const DirectoryRef& proc, std::string_view relative);

// Whether process `pid` runs `bridge_file` as the launcher starts the bridge: its command line
// ends with `python_program` followed by the file, which is compared as the record gives a path
// back (invalid UTF-8 as U+FFFD, a final carriage return dropped). So a bridge started through
// an interpreter line (/bin/sh /usr/bin/python3 FILE) is one, and a process that merely names
// the file (an editor of it, tail -f) is not: a stop must never signal it. A process that has
// ended or is another user's is a no; a refusal (EACCES, EPERM) to read one of the user's is not,
// since a security module that confines a process refuses its owner too, and the process still
// runs; a failure of the launcher's own to read it is
// ListProcesses, and a process of the user's whose command line is refused (a security module
// confining it) is ProcessCheckFailed: neither is a no, which would forget a running bridge.
[[nodiscard]] std::expected<bool, LauncherError> runs_bridge_file(std::string_view proc_root,
                                                                  std::uint32_t pid,
                                                                  std::string_view python_program,
                                                                  std::string_view bridge_file);

}  // namespace qs
