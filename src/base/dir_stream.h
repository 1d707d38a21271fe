#pragma once

#include <dirent.h>

#include <utility>

namespace qs {

// Owns an open directory listing and closes it when it goes out of scope.
class DirStream {
 public:
  DirStream() = default;
  explicit DirStream(DIR* dir) : dir_(dir) {}
  DirStream(DirStream&& other) noexcept : dir_(std::exchange(other.dir_, nullptr)) {}
  DirStream& operator=(DirStream&& other) noexcept {
    if (this != &other) {
      if (dir_ != nullptr) ::closedir(dir_);
      dir_ = std::exchange(other.dir_, nullptr);
    }
    return *this;
  }
  DirStream(const DirStream&) = delete;
  DirStream& operator=(const DirStream&) = delete;
  ~DirStream() {
    if (dir_ != nullptr) ::closedir(dir_);
  }

  DIR* get() const { return dir_; }
  explicit operator bool() const { return dir_ != nullptr; }

 private:
  DIR* dir_ = nullptr;
};

}  // namespace qs
