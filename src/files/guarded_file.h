#pragma once

#include <sys/types.h>

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

#include "base/unique_fd.h"
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

// A private file (mode 0600) that has no name yet: what is written to it stays unseen until
// `put_in_place` names it in one step, so that a reader finds the whole file or none. Its room
// (an inode and the bytes it was made with) is taken when it is made, so that a full file system
// refuses then, not later; a process that ends before naming it leaves nothing behind.
class UnnamedFile {
 public:
  // In the open directory `dir_fd`, which must outlive the file; `path` is the directory's path
  // joined with the name the file will get.
  [[nodiscard]] static std::expected<UnnamedFile, FileSafetyError> create(
      int dir_fd, std::string_view path, std::string_view contents);

  // Changes the contents to `contents`, no longer than those it was made with (the room is
  // already taken), then names the file, replacing whatever but a directory stands at its path.
  [[nodiscard]] std::expected<void, FileSafetyError> put_in_place(std::string_view contents);

 private:
  UnnamedFile(int dir_fd, std::string path, UniqueFd fd, std::size_t size)
      : dir_fd_(dir_fd), path_(std::move(path)), fd_(std::move(fd)), size_(size) {}

  int dir_fd_;
  std::string path_;
  UniqueFd fd_;
  std::size_t size_;
};

// Replaces whatever stands at `path` (but a directory) by a new private file holding `contents`;
// a reader sees the old file, no file, or the whole new one.
[[nodiscard]] std::expected<void, FileSafetyError> write_private_file(std::string_view path,
                                                                      std::string_view contents);

[[nodiscard]] std::expected<void, FileSafetyError> remove_file_if_present(std::string_view path);

// Admits a script that another program will run: absolute, a regular file reached without a
// final symbolic link, owned by the current user or root, writable by nobody else.
[[nodiscard]] std::expected<void, FileSafetyError> check_bridge_script(std::string_view path);

}  // namespace qs
