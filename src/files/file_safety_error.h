#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "base/system_error.h"

namespace qs {

enum class FileOperation { Inspect, Open, Read, Write, Remove, CreateDirectory };

// A refusal of the file-safety layer: the path it concerns, and one kind with the fields that
// kind needs. The path is a copy, so that the error outlives the caller's buffers.
struct FileSafetyError {
  struct CannotAccess {
    FileOperation operation = FileOperation::Inspect;
    SystemError error;
  };
  struct NotFound {};
  struct AlreadyExists {};
  struct SymbolicLink {};
  struct NotRegularFile {};
  struct NotPlainDirectory {};
  struct NotOwned {};
  struct WrongMode {
    std::uint32_t mode = 0;
    std::uint32_t expected = 0;
  };
  struct WritableByOthers {
    std::uint32_t mode = 0;
  };
  struct TooLarge {
    std::uint64_t limit = 0;
  };
  struct InvalidPath {};
  // A directory on the way to a file that someone else could change, and so replace the file.
  struct DirectoryNotOwned {};
  struct DirectoryWritableByOthers {
    std::uint32_t mode = 0;
  };
  using Kind = std::variant<CannotAccess, NotFound, AlreadyExists, SymbolicLink, NotRegularFile,
                            NotPlainDirectory, NotOwned, WrongMode, WritableByOthers, TooLarge,
                            InvalidPath, DirectoryNotOwned, DirectoryWritableByOthers>;

  std::string path;
  Kind kind;

  template <typename K>
  bool is() const {
    return std::holds_alternative<K>(kind);
  }

  static FileSafetyError cannot(FileOperation operation, std::string_view path, SystemError error) {
    return {std::string(path), CannotAccess{operation, error}};
  }
  static FileSafetyError cannot(FileOperation operation, std::string_view path, int code) {
    return cannot(operation, path, SystemError::from_errno(code));
  }
  // The one answer to a path with a NUL byte, which a system call would read shortened.
  static FileSafetyError nul_in(FileOperation operation, std::string_view path) {
    return cannot(operation, path, SystemError::nul_in_path());
  }
  // What a failed open of `path` with O_NOFOLLOW means: missing, a link, or the error itself.
  static FileSafetyError of_failed_open(std::string_view path, int code);
};

std::string message_of(const FileSafetyError& error);

}  // namespace qs
