#include "files/file_safety_error.h"

#include <cerrno>
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

struct Render {
  using E = FileSafetyError;
  std::string path;
  std::string operator()(const E::CannotAccess& e) const {
    return "cannot " + std::string(operation_word(e.operation)) + " " + path + ": " +
           describe(e.error);
  }
  std::string operator()(const E::NotFound&) const { return path + " does not exist"; }
  std::string operator()(const E::AlreadyExists&) const { return path + " already exists"; }
  std::string operator()(const E::SymbolicLink&) const {
    return "refusing to follow a symbolic link: " + path;
  }
  std::string operator()(const E::NotRegularFile&) const { return "not a regular file: " + path; }
  std::string operator()(const E::NotPlainDirectory&) const {
    return "not a plain directory: " + path;
  }
  std::string operator()(const E::NotOwned&) const {
    return path + " is not owned by the current user";
  }
  std::string operator()(const E::WrongMode& e) const {
    return path + " has mode " + octal(e.mode, 4) + "; expected " + octal(e.expected, 4) +
           " (chmod " + octal(e.expected, 1) + ")";
  }
  std::string operator()(const E::WritableByOthers& e) const {
    return path + " has mode " + octal(e.mode, 4) +
           " and can be changed by the group or by others (chmod go-w)";
  }
  std::string operator()(const E::TooLarge& e) const {
    return path + " is larger than " + std::to_string(e.limit) + " bytes";
  }
  std::string operator()(const E::InvalidPath&) const { return "invalid path: " + path; }
  std::string operator()(const E::DirectoryNotOwned&) const {
    return "its directory " + path +
           " is owned by another user, who could replace the file (move the file to a "
           "directory of your own)";
  }
  std::string operator()(const E::DirectoryWritableByOthers& e) const {
    return "its directory " + path + " has mode " + octal(e.mode, 4) +
           ", so the group or others could replace the file (chmod go-w on the directory, or "
           "move the file)";
  }
};

}  // namespace

FileSafetyError FileSafetyError::of_failed_open(std::string_view path, int code) {
  std::string owned(path);
  switch (code) {
    case ENOENT:
      return {std::move(owned), NotFound{}};
    case ELOOP:
      return {std::move(owned), SymbolicLink{}};
    default:
      return cannot(FileOperation::Open, path, code);
  }
}

std::string message_of(const FileSafetyError& error) {
  return std::visit(Render{lossy_utf8(error.path)}, error.kind);
}

}  // namespace qs
