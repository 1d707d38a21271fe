#include "files/file_safety_error.h"

#include <charconv>

#include "base/utf8.h"

namespace qs {
namespace {

const char* operation_word(FileOperation operation) {
  switch (operation) {
    case FileOperation::Inspect:
      return "inspect";
    case FileOperation::Open:
      return "open";
    case FileOperation::Read:
      return "read";
    case FileOperation::Write:
      return "write";
    case FileOperation::Remove:
      return "remove";
    case FileOperation::CreateDirectory:
      return "create directory";
  }
  return "access";
}

std::string octal(std::uint32_t value, std::size_t min_digits) {
  char buffer[16];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, 8);
  std::string digits(buffer, error == std::errc() ? end : buffer);
  if (digits.size() < min_digits) digits.insert(0, min_digits - digits.size(), '0');
  return digits;
}

}  // namespace

std::string message_of(const FileSafetyError& error) {
  using Kind = FileSafetyError::Kind;
  std::string path = lossy_utf8(error.path);
  switch (error.kind) {
    case Kind::CannotAccess:
      return "cannot " + std::string(operation_word(error.operation)) + " " + path + ": " +
             describe(error.error);
    case Kind::NotFound:
      return path + " does not exist";
    case Kind::AlreadyExists:
      return path + " already exists";
    case Kind::SymbolicLink:
      return "refusing to follow a symbolic link: " + path;
    case Kind::NotRegularFile:
      return "not a regular file: " + path;
    case Kind::NotPlainDirectory:
      return "not a plain directory: " + path;
    case Kind::NotOwned:
      return path + " is not owned by the current user";
    case Kind::WrongMode:
      return path + " has mode " + octal(error.mode, 4) + "; expected " +
             octal(error.expected_mode, 4) + " (chmod " + octal(error.expected_mode, 1) + ")";
    case Kind::WritableByOthers:
      return path + " has mode " + octal(error.mode, 4) +
             " and can be changed by the group or by others (chmod go-w)";
    case Kind::TooLarge:
      return path + " is larger than " + std::to_string(error.limit) + " bytes";
    case Kind::DirectoryNotOwned:
      return "its directory " + path +
             " is owned by another user, who could replace the file (move the file to a "
             "directory of your own)";
    case Kind::DirectoryWritableByOthers:
      return "its directory " + path + " has mode " + octal(error.mode, 4) +
             ", so the group or others could replace the file (chmod go-w on the directory, or "
             "move the file)";
    case Kind::InvalidPath:
      return "invalid path: " + path;
    case Kind::LineFeedInPath:
      // The path itself would break the message across lines.
      return "its path contains a line feed, which the launch record cannot hold (rename the "
             "file)";
    case Kind::TooLongToRecord:
      // Thousands of bytes of path would bury the message.
      return "its path is too long for the launch record, which holds at most " +
             std::to_string(error.limit) + " bytes (move the file to a shorter path)";
  }
  return path;
}

}  // namespace qs
