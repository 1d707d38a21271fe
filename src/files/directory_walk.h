#pragma once

#include <sys/types.h>

#include <expected>
#include <string>
#include <string_view>

#include "base/unique_fd.h"
#include "files/file_safety_error.h"

namespace qs {

// Where an absolute path leads, as the kernel would resolve it: the open directory that holds
// its last component, and that component's name there.
struct WalkedPath {
  UniqueFd directory;
  std::string name;
};

// Walks `path` one component at a time by descriptor, following symbolic links on the way as
// the kernel would (but never the last component's), and refuses a step into a directory that
// someone other than `user` and root could change: one owned by another user, one writable by
// others, or one writable by its group unless root owns it; a sticky bit makes either safe.
// Every directory the path passes through counts, those that hold a link and those a link leads
// to alike: a program that opens the path later then reaches the file that was checked, and
// nobody else can swap it.
[[nodiscard]] std::expected<WalkedPath, FileSafetyError> walk_safe_directories(
    std::string_view path, uid_t user);

}  // namespace qs
