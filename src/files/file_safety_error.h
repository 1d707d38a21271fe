#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/system_error.h"

namespace qs {

enum class FileOperation { Inspect, Open, Read, Write, Remove, CreateDirectory };

// A refusal of the file-safety layer. Every kind carries its own copy of the path so that the
// error outlives the caller's buffers; the fields a kind does not use stay at their defaults.
struct FileSafetyError {
  enum class Kind {
    CannotAccess,  // operation, error
    NotFound,
    AlreadyExists,
    SymbolicLink,
    NotRegularFile,
    NotPlainDirectory,
    NotOwned,
    WrongMode,         // mode, expected_mode
    WritableByOthers,  // mode
    TooLarge,          // limit
    InvalidPath,
    LineFeedInPath,   // a path the launch record, one entry per line, cannot hold
    TooLongToRecord,  // limit: a path whose record would exceed what the record's reader takes
    // A directory on the way to a file that someone else could change, and so replace the file.
    DirectoryNotOwned,
    DirectoryWritableByOthers,  // mode
  };

  Kind kind = Kind::CannotAccess;
  std::string path;
  FileOperation operation = FileOperation::Inspect;
  SystemError error;
  std::uint32_t mode = 0;
  std::uint32_t expected_mode = 0;
  std::uint64_t limit = 0;

  static FileSafetyError of(Kind kind, std::string_view path) {
    FileSafetyError e;
    e.kind = kind;
    e.path = std::string(path);
    return e;
  }
  static FileSafetyError cannot(FileOperation operation, std::string_view path, SystemError error) {
    FileSafetyError e = of(Kind::CannotAccess, path);
    e.operation = operation;
    e.error = error;
    return e;
  }
  static FileSafetyError cannot(FileOperation operation, std::string_view path, int code) {
    return cannot(operation, path, SystemError::from_errno(code));
  }
  static FileSafetyError wrong_mode(std::string_view path, std::uint32_t mode,
                                    std::uint32_t expected) {
    FileSafetyError e = of(Kind::WrongMode, path);
    e.mode = mode;
    e.expected_mode = expected;
    return e;
  }
  static FileSafetyError writable_by_others(std::string_view path, std::uint32_t mode) {
    FileSafetyError e = of(Kind::WritableByOthers, path);
    e.mode = mode;
    return e;
  }
  static FileSafetyError directory_writable_by_others(std::string_view path, std::uint32_t mode) {
    FileSafetyError e = of(Kind::DirectoryWritableByOthers, path);
    e.mode = mode;
    return e;
  }
  static FileSafetyError too_large(std::string_view path, std::uint64_t limit) {
    FileSafetyError e = of(Kind::TooLarge, path);
    e.limit = limit;
    return e;
  }
  static FileSafetyError too_long_to_record(std::string_view path, std::uint64_t limit) {
    FileSafetyError e = too_large(path, limit);
    e.kind = Kind::TooLongToRecord;
    return e;
  }
};

std::string message_of(const FileSafetyError& error);

}  // namespace qs
