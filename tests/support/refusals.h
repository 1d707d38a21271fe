#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "files/file_safety_error.h"

// The messages of the file-safety refusals, for tests that expect one: file_safety_error_test
// pins their wording, once; everyone else builds them from the error.
namespace qs::test {

template <typename Kind>
std::string refused(std::string_view path) {
  return message_of(FileSafetyError{std::string(path), Kind{}});
}
inline std::string wrong_mode(std::string_view path, std::uint32_t mode, std::uint32_t expected) {
  return message_of(FileSafetyError{std::string(path), FileSafetyError::WrongMode{mode, expected}});
}
inline std::string cannot(FileOperation operation, std::string_view path, int code) {
  return message_of(FileSafetyError::cannot(operation, path, code));
}
// "ok", or the message of the failure: one rendering of any result, so a row says only what it
// expects.
template <typename T, typename E>
std::string ok_or_message(const std::expected<T, E>& result) {
  return result ? "ok" : message_of(result.error());
}

inline std::string too_large(std::string_view path, std::uint64_t limit) {
  return message_of(FileSafetyError{std::string(path), FileSafetyError::TooLarge{limit}});
}

}  // namespace qs::test
