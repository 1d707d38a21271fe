#pragma once

#include <sys/types.h>

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

#include "base/path.h"
#include "base/unique_fd.h"
#include "files/file_safety_error.h"

namespace qs {

// Every open here refuses a symbolic link in the last component, does not block on a FIFO or a
// device, and checks type, owner and mode on the open descriptor, never on the path.

// An open directory, and the path that names it in messages. A file reached through it by name
// is the one in that directory, even if another directory has been put at its path since.
struct DirectoryRef {
  int fd = -1;
  std::string_view path;
};

// The whole contents of a private file of at most `limit` bytes: the one at `path`, or the one
// `name` in `dir`.
[[nodiscard]] std::expected<std::string, FileSafetyError> read_private_file(std::string_view path,
                                                                            std::uint64_t limit,
                                                                            uid_t owner);
[[nodiscard]] std::expected<std::string, FileSafetyError> read_private_file_at(
    const DirectoryRef& dir, std::string_view name, std::uint64_t limit, uid_t owner);

inline constexpr std::uint64_t kBoundedFileLimit = 65536;

// The whole contents of a regular file of at most 65536 bytes, whoever owns it (/proc files).
// `relative` may run through subdirectories of `dir` (the /proc scan opens /proc once for all
// its processes).
[[nodiscard]] std::expected<std::string, FileSafetyError> read_bounded_file(std::string_view path);
[[nodiscard]] std::expected<std::string, FileSafetyError> read_bounded_file_at(
    const DirectoryRef& dir, std::string_view relative);

class PendingFile;

// Replaces whatever stands at the path of `room` (but a directory) by the room's file holding
// `contents`, no longer than what the room was made with (its room is taken already); a reader
// sees the old file, no file, or the whole new one.
[[nodiscard]] std::expected<void, FileSafetyError> write_private_file(PendingFile room,
                                                                      std::string_view contents);

// The room of a private file (mode 0600), written where no reader looks: what is written to it
// stays unseen until `write_private_file` names it in one step, so that a reader finds the whole
// file or none. Its room (an inode and the bytes it was made with) is taken when it is made, so
// that a full file system refuses then, not later. It has no name at all where the file system
// allows (O_TMPFILE: a process that ends before naming it leaves nothing behind); elsewhere (NFS,
// most FUSE file systems, older kernels' overlay) it is created exclusively under `temporary_path`,
// which it removes unless it was put in place, and which a killed process leaves for the next one
// to remove.
class PendingFile {
 public:
  // The file `name` of `dir`, whose descriptor must outlive it.
  [[nodiscard]] static std::expected<PendingFile, FileSafetyError> create(
      const DirectoryRef& dir, std::string_view name, std::string_view contents);

  // Where the file stands before it is put in place on a file system without unnamed files: the
  // name, or the path, with ".new" added.
  static std::string temporary_path(std::string_view path) { return std::string(path) + ".new"; }

  // Removes what a writer killed before it named its file `name` left under the temporary name,
  // where something stands there. A failure is no reason to stop: a stop does not need the name,
  // and a launch that does says so when it makes its own room.
  static void remove_leftover(const DirectoryRef& dir, std::string_view name);

  PendingFile(PendingFile&& other) noexcept;
  PendingFile& operator=(PendingFile&&) = delete;
  ~PendingFile();

 private:
  PendingFile(const DirectoryRef& dir, std::string_view name, UniqueFd fd, std::size_t size,
              bool named)
      : dir_fd_(dir.fd),
        name_(name),
        path_(join_path(dir.path, name)),
        fd_(std::move(fd)),
        size_(size),
        named_(named) {}
  [[nodiscard]] std::expected<void, FileSafetyError> rewrite(std::string_view contents);
  [[nodiscard]] std::expected<void, FileSafetyError> name_temporary();
  friend std::expected<void, FileSafetyError> write_private_file(PendingFile room,
                                                                 std::string_view contents);

  int dir_fd_;
  std::string name_;
  std::string path_;  // in messages
  UniqueFd fd_;
  std::size_t size_;
  bool named_;  // it stands at temporary_path(name_)
};

// Removes the file `name` of `dir`; a file already missing is no failure.
[[nodiscard]] std::expected<void, FileSafetyError> remove_file_at(const DirectoryRef& dir,
                                                                  std::string_view name);

// Whether a script that another program will run is safe to run: an absolute path (a relative
// one is walked from the root) whose
// directories nobody else can change (walk_safe_directories), to a regular file reached without
// a final symbolic link, owned by the current user or root, writable by nobody else.
[[nodiscard]] std::expected<void, FileSafetyError> check_bridge_script(std::string_view path);

}  // namespace qs
