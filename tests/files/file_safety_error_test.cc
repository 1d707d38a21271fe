#include "files/file_safety_error.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace qs {
namespace {

TEST(FileSafetyErrorMessage, RendersModesAndFixedTexts) {
  struct Case {
    FileSafetyError error;
    std::string message;
  };
  const std::vector<Case> cases = {
      {FileSafetyError{"/c", FileSafetyError::WrongMode{0644, 0600}},
       "/c has mode 0644; expected 0600 (chmod 600)"},
      {FileSafetyError{"/d", FileSafetyError::WrongMode{0755, 0700}},
       "/d has mode 0755; expected 0700 (chmod 700)"},
      {FileSafetyError{"/s", FileSafetyError::WrongMode{04755, 0700}},
       "/s has mode 4755; expected 0700 (chmod 700)"},
      {FileSafetyError{"/b", FileSafetyError::WritableByOthers{0775}},
       "/b has mode 0775 and can be changed by the group or by others (chmod go-w)"},
      {FileSafetyError{"/r", FileSafetyError::TooLarge{4096}}, "/r is larger than 4096 bytes"},
      {FileSafetyError{"/n", FileSafetyError::NotFound{}}, "/n does not exist"},
      {FileSafetyError{"/e", FileSafetyError::AlreadyExists{}}, "/e already exists"},
      {FileSafetyError{"/l", FileSafetyError::SymbolicLink{}},
       "refusing to follow a symbolic link: /l"},
      {FileSafetyError{"/f", FileSafetyError::NotRegularFile{}}, "not a regular file: /f"},
      {FileSafetyError{"/p", FileSafetyError::NotPlainDirectory{}}, "not a plain directory: /p"},
      {FileSafetyError{"/o", FileSafetyError::NotOwned{}}, "/o is not owned by the current user"},
      {FileSafetyError::cannot(FileOperation::Inspect, std::string("/a\0b", 4),
                               SystemError::nul_in_path()),
       std::string("cannot inspect /a\0b: file name contained an unexpected NUL byte", 63)},
      {FileSafetyError::cannot(FileOperation::CreateDirectory, "/x", EEXIST),
       "cannot create directory /x: File exists (os error 17)"},
      {FileSafetyError::cannot(FileOperation::Write, "/w", SystemError::short_write()),
       "cannot write /w: failed to write whole buffer"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(message_of(c.error), c.message);
}

}  // namespace
}  // namespace qs
