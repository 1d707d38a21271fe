#include "files/private_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <sstream>

#include "support/refusals.h"

#include "support/as_user.h"
#include "support/temp_dir.h"

namespace qs {
namespace {

using test::TempDir;
using namespace std::string_literals;

std::string ensure(const std::string& path) {
  return test::ok_or_message(ensure_private_dir(path, ::geteuid()));
}

// Mode 0700 whatever the umask: 0277 would leave 0500 (no later launch could write there), 0477
// leaves even the owner no read permission. Run as an ordinary user, for whom both bite.
TEST(EnsurePrivateDir, CreatesMissingDirectoriesPrivate) {
  const bool root = test::running_as_root();
  const uid_t user = root ? test::kNobody : ::geteuid();
  for (const mode_t mask : {022, 0277, 0477}) {
    SCOPED_TRACE(mask);
    TempDir dir;
    ::chmod(dir.path().c_str(), 01777);  // a shared ancestor is taken as it is
    const auto body = [&] {
      std::ostringstream answer;
      const mode_t old_umask = ::umask(mask);
      answer << ensure(dir / "a/b/c/quantelspire-mcp") << " "
             << ensure(dir / "a/b/c/quantelspire-mcp/launch");
      ::umask(old_umask);
      for (const char* created :
           {"a", "a/b", "a/b/c", "a/b/c/quantelspire-mcp", "a/b/c/quantelspire-mcp/launch"}) {
        answer << " " << std::oct << test::mode_of(dir / created);
      }
      answer << " " << ensure(dir / "a/b/c/quantelspire-mcp") << " " << ensure(dir / "trailing/");
      return answer.str();
    };
    EXPECT_EQ(root ? test::as_user(user, body) : body(), "ok ok 700 700 700 700 700 ok ok");
  }
}

TEST(EnsurePrivateDir, RefusesWithoutRepairing) {
  TempDir dir;
  test::make_dir(dir / "loose", 0755);
  test::make_dir(dir / "group-readable", 0750);
  test::make_dir(dir / "group-writable", 0770);
  test::make_dir(dir / "private", 0700);
  test::make_dir(dir / "owner-only", 0500);
  ASSERT_EQ(::symlink((dir / "private").c_str(), (dir / "link").c_str()), 0);
  test::write_file(dir / "file", "x");
  test::make_dir(dir / "base");
  test::write_file(dir / "base/runtime", "not a directory");
  struct Case {
    std::string path;
    std::string expected;
  };
  std::vector<Case> cases = {
      {dir / "loose", test::wrong_mode(dir / "loose", 0755, 0700)},
      {dir / "group-readable", test::wrong_mode(dir / "group-readable", 0750, 0700)},
      {dir / "group-writable", test::wrong_mode(dir / "group-writable", 0770, 0700)},
      {dir / "owner-only", "ok"},
      {dir / "link", test::refused<FileSafetyError::NotPlainDirectory>(dir / "link")},
      {dir / "file", test::refused<FileSafetyError::NotPlainDirectory>(dir / "file")},
      // A file where the parent belongs: the message names the parent with its mkdir's error.
      {dir / "file/launch",
       "cannot create directory " + dir / "file" + ": File exists (os error 17)"},
      {dir / "file/sub/launch",
       "cannot create directory " + dir / "file/sub" + ": Not a directory (os error 20)"},
      {dir / "base/runtime/quantelspire-mcp/launch", "cannot create directory " +
                                                         dir / "base/runtime/quantelspire-mcp" +
                                                         ": Not a directory (os error 20)"},
      {dir / "file/", "cannot inspect " + dir / "file/" + ": Not a directory (os error 20)"},
      {dir / "missing/parent-file-sibling", "ok"},
      {std::string("/tmp/x\0y", 8),
       "cannot inspect /tmp/x\0y: file name contained an unexpected NUL byte"s},
  };
  if (test::running_as_root()) {
    test::make_dir(dir / "foreign", 0700);
    ASSERT_EQ(::chown((dir / "foreign").c_str(), test::kOtherUid, test::kOtherUid), 0);
    cases.push_back({dir / "foreign", test::refused<FileSafetyError::NotOwned>(dir / "foreign")});
  }
  for (const Case& c : cases)
    EXPECT_EQ(ensure(c.path), c.expected);
  EXPECT_EQ(test::mode_of(dir / "loose"), 0755u);
  EXPECT_EQ(test::read_file(dir / "file"), "x");
}

}  // namespace
}  // namespace qs
