#include "files/directory_walk.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>

#include "base/eintr.h"
#include "base/path.h"

namespace qs {
namespace {

// As many links as the kernel follows in one path before it gives up with ELOOP.
constexpr int kMaxLinks = 40;

[[nodiscard]] std::expected<void, FileSafetyError> check_directory(int fd, const std::string& where,
                                                                   uid_t user) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    return std::unexpected(FileSafetyError::cannot(FileOperation::Inspect, where, errno));
  }
  if (status.st_uid != user && status.st_uid != 0) {
    return std::unexpected(FileSafetyError{where, FileSafetyError::DirectoryNotOwned{}});
  }
  const std::uint32_t mode = status.st_mode & 07777;
  // Others may only add their own names to a sticky directory, never replace ours; root's
  // group-writable directories (/usr/local, root:staff 2775) are the administrator's choice.
  const bool others = (mode & S_IWOTH) != 0 || ((mode & S_IWGRP) != 0 && status.st_uid != 0);
  if (others && (mode & S_ISVTX) == 0) {
    return std::unexpected(
        FileSafetyError{where, FileSafetyError::DirectoryWritableByOthers{mode}});
  }
  return {};
}

// The components of `path` in order; "." stands for a final slash, which asks for a directory.
void push_components(std::deque<std::string>& pending, std::string_view path) {
  std::deque<std::string> components;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t slash = std::min(path.find('/', start), path.size());
    if (slash > start) components.emplace_back(path.substr(start, slash - start));
    start = slash + 1;
  }
  if (path.ends_with('/') && !components.empty()) components.emplace_back(".");
  pending.insert(pending.begin(), components.begin(), components.end());
}

std::string parent_text(const std::string& where) {
  const std::size_t slash = where.rfind('/');
  return slash == 0 || slash == std::string::npos ? "/" : where.substr(0, slash);
}

[[nodiscard]] std::expected<UniqueFd, FileSafetyError> open_root(std::string_view path) {
  UniqueFd root(retry_on_eintr([] { return ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC); }));
  if (!root.valid())
    return std::unexpected(FileSafetyError::cannot(FileOperation::Open, path, errno));
  return root;
}

}  // namespace

[[nodiscard]] std::expected<WalkedPath, FileSafetyError> walk_safe_directories(
    std::string_view path, uid_t user) {
  if (has_nul_byte(path)) {
    return std::unexpected(FileSafetyError::nul_in(FileOperation::Open, path));
  }
  UniqueFd directory;
  std::string where;
  // The walk's start, and an absolute link's: the root counts like every other directory.
  const auto enter_root = [&]() -> std::expected<void, FileSafetyError> {
    auto root = open_root(path);
    if (!root) return std::unexpected(std::move(root.error()));
    directory = std::move(*root);
    where.assign(1, '/');
    return check_directory(directory.get(), where, user);
  };
  if (auto entered = enter_root(); !entered) return std::unexpected(std::move(entered.error()));
  std::deque<std::string> pending;
  push_components(pending, path);
  int links = 0;
  while (!pending.empty()) {
    std::string name = std::move(pending.front());
    pending.pop_front();
    if (name == ".") continue;
    if (pending.empty() && name != "..") {
      return WalkedPath{std::move(directory), std::move(name)};
    }
    // O_PATH: a directory the user may only search is passed through all the same.
    UniqueFd next(retry_on_eintr(
        [&] { return ::openat(directory.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC); }));
    if (!next.valid()) {
      return std::unexpected(FileSafetyError::of_failed_open(path, errno));
    }
    struct stat status {};
    if (::fstat(next.get(), &status) != 0) {
      return std::unexpected(FileSafetyError::cannot(FileOperation::Inspect, path, errno));
    }
    if (S_ISLNK(status.st_mode)) {
      if (++links > kMaxLinks) {
        return std::unexpected(FileSafetyError::cannot(FileOperation::Open, path, ELOOP));
      }
      char target[PATH_MAX];
      const ssize_t length = ::readlinkat(next.get(), "", target, sizeof target);
      if (length < 0 || static_cast<std::size_t>(length) >= sizeof target) {
        return std::unexpected(
            FileSafetyError::cannot(FileOperation::Open, path, length < 0 ? errno : ENAMETOOLONG));
      }
      const std::string_view followed(target, static_cast<std::size_t>(length));
      if (followed.empty()) {
        return std::unexpected(FileSafetyError{std::string(path), FileSafetyError::NotFound{}});
      }
      push_components(pending, followed);
      if (is_absolute_path(followed)) {
        if (auto entered = enter_root(); !entered) {
          return std::unexpected(std::move(entered.error()));
        }
      }
      continue;
    }
    if (!S_ISDIR(status.st_mode)) {
      return std::unexpected(FileSafetyError::cannot(FileOperation::Open, path, ENOTDIR));
    }
    where = name == ".." ? parent_text(where) : join_path(where, name);
    if (auto checked = check_directory(next.get(), where, user); !checked) {
      return std::unexpected(std::move(checked.error()));
    }
    directory = std::move(next);
  }
  // The path ends in a directory ("/", "/a/.", "/a/..", "/a/").
  return std::unexpected(FileSafetyError{std::string(path), FileSafetyError::NotRegularFile{}});
}

}  // namespace qs
