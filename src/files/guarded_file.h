#pragma once

#include <sys/types.h>

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

#include "files/file_safety_error.h"

namespace qs {

// Every open here refuses a symbolic link in the last component, does not block on a FIFO or a
// device, and checks type, owner and mode on the open descriptor, never on the path.

// The whole contents of a private file of at most `limit` bytes.
[[nodiscard]] std::expected<std::string, FileSafetyError> read_private_file(std::string_view path,
                                                                            std::uint64_t limit,
                                                                            uid_t owner);

inline constexpr std::uint64_t kBoundedFileLimit = 65536;

// The whole contents of a regular file of at most 65536 bytes, whoever owns it (/proc files).
[[nodiscard]] std::expected<std::string, FileSafetyError> read_bounded_file(std::string_view path);

// The same, for a path relative to an open directory (the /proc scan, which saves resolving
// the directory again for every process).
[[nodiscard]] std::expected<std::string, FileSafetyError> read_bounded_file_at(
    int dir_fd, std::string_view path);

// Replaces whatever stands at `path` (but a directory) by a new private file holding `contents`.
[[nodiscard]] std::expected<void, FileSafetyError> write_private_file(std::string_view path,
                                                                      std::string_view contents);

[[nodiscard]] std::expected<void, FileSafetyError> remove_file_if_present(std::string_view path);

// Admits a script that another program will run: absolute, a regular file reached without a
// final symbolic link, owned by the current user or root, writable by nobody else.
[[nodiscard]] std::expected<void, FileSafetyError> check_bridge_script(std::string_view path);

}  // namespace qs
