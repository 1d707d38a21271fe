#include "files/file_safety_error.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace qs {
namespace {

TEST(FileSafetyErrorMessage, RendersModesAndFixedTexts) {
  using Kind = FileSafetyError::Kind;
  struct Case {
    FileSafetyError error;
    std::string message;
  };
  const std::vector<Case> cases = {
      {FileSafetyError::wrong_mode("/c", 0644, 0600),
       "/c has mode 0644; expected 0600 (chmod 600)"},
      {FileSafetyError::wrong_mode("/d", 0755, 0700),
       "/d has mode 0755; expected 0700 (chmod 700)"},
      {FileSafetyError::wrong_mode("/s", 04755, 0700),
       "/s has mode 4755; expected 0700 (chmod 700)"},
      {FileSafetyError::writable_by_others("/b", 0775),
       "/b has mode 0775 and can be changed by the group or by others (chmod go-w)"},
      {FileSafetyError::too_large("/r", 4096), "/r is larger than 4096 bytes"},
      {FileSafetyError::of(Kind::NotFound, "/n"), "/n does not exist"},
      {FileSafetyError::of(Kind::AlreadyExists, "/e"), "/e already exists"},
      {FileSafetyError::of(Kind::SymbolicLink, "/l"), "refusing to follow a symbolic link: /l"},
      {FileSafetyError::of(Kind::NotRegularFile, "/f"), "not a regular file: /f"},
      {FileSafetyError::of(Kind::NotPlainDirectory, "/p"), "not a plain directory: /p"},
      {FileSafetyError::of(Kind::NotOwned, "/o"), "/o is not owned by the current user"},
      {FileSafetyError::cannot(FileOperation::Inspect, std::string("/a\0b", 4),
                               SystemError::nul_in_path()),
       std::string("cannot inspect /a\0b: file name contained an unexpected NUL byte", 63)},
      {FileSafetyError::of(Kind::LineFeedInPath, "/a\nbridge 1 /v.py"),
       "its path contains a line feed, which the launch record cannot hold (rename the file)"},
      {FileSafetyError::too_long_to_record("/long", 4096),
       "its path is too long for the launch record, which holds at most 4096 bytes (move the "
       "file to a shorter path)"},
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
