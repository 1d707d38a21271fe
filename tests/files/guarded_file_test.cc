#include "files/guarded_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/refusals.h"

#include "support/as_user.h"
#include "support/temp_dir.h"

namespace qs {
namespace {

using test::TempDir;
using namespace std::string_literals;

std::string outcome(const std::expected<std::string, FileSafetyError>& read) {
  return read ? "contents:" + *read : message_of(read.error());
}

TEST(ReadPrivateFile, RefusesWhatIsNotAPrivateRegularFile) {
  TempDir dir;
  test::write_file(dir / "private", "secret", 0600);
  test::write_file(dir / "readonly", "ro", 0400);
  test::write_file(dir / "group-readable", "x", 0640);
  test::write_file(dir / "setuid", "x", 04640);
  test::write_file(dir / "others-readable", "x", 0604);
  test::write_file(dir / "others-executable", "x", 0601);
  ASSERT_EQ(::symlink((dir / "private").c_str(), (dir / "link").c_str()), 0);
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  test::make_dir(dir / "dir");
  struct Case {
    std::string path;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {dir / "private", "contents:secret"},
      {dir / "readonly", "contents:ro"},
      {dir / "group-readable", test::wrong_mode(dir / "group-readable", 0640, 0600)},
      {dir / "setuid", test::wrong_mode(dir / "setuid", 04640, 0600)},
      {dir / "others-readable", test::wrong_mode(dir / "others-readable", 0604, 0600)},
      {dir / "others-executable", test::wrong_mode(dir / "others-executable", 0601, 0600)},
      {dir / "link", "refusing to follow a symbolic link: " + dir / "link"},
      {dir / "fifo", test::refused(FileSafetyError::Kind::NotRegularFile,
                                   dir / "fifo")},  // must not wait for a writer
      {dir / "dir", test::refused(FileSafetyError::Kind::NotRegularFile, dir / "dir")},
      {"/dev/null", test::refused(FileSafetyError::Kind::NotRegularFile, "/dev/null")},
      {dir / "missing", test::refused(FileSafetyError::Kind::NotFound, dir / "missing")},
      {dir / "private/below", test::cannot(FileOperation::Open, dir / "private/below", ENOTDIR)},
      {std::string("/tmp/a\0b", 8),
       test::cannot(FileOperation::Open, std::string("/tmp/a\0b", 8), EINVAL)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(outcome(read_private_file(c.path, 4096, ::geteuid())), c.expected);
  }
}

// The bounded read (no limit given) takes any owner and mode: /proc files are other users'.
TEST(ReadPrivateFile, ReadsUpToTheLimitExactly) {
  TempDir dir;
  struct Case {
    std::size_t size;
    std::optional<std::uint64_t> limit;  // none: read_bounded_file
    bool accepted;
    unsigned mode = 0600;
  };
  const std::vector<Case> cases = {
      {0, 4096, true},
      {4096, 4096, true},
      {4097, 4096, false},
      {1048576, 1048576, true},
      {1048577, 1048576, false},
      {1, 0, false},
      {6, std::nullopt, true, 0666},
      {65536, std::nullopt, true},
      {65537, std::nullopt, false},
  };
  for (const Case& c : cases) {
    const std::string path = dir / ("file" + std::to_string(c.size));
    test::write_file(path, std::string(c.size, 'x'), c.mode);
    const auto read =
        c.limit ? read_private_file(path, *c.limit, ::geteuid()) : read_bounded_file(path);
    ASSERT_EQ(read.has_value(), c.accepted) << c.size;
    if (read) {
      EXPECT_EQ(read->size(), c.size);
    } else {
      EXPECT_EQ(message_of(read.error()), test::too_large(path, c.limit.value_or(65536)));
    }
  }
  EXPECT_EQ(outcome(read_bounded_file("/proc/self/comm")), "contents:unit_tests\n");
}

TEST(ReadPrivateFile, OwnerIsTestedBeforeMode) {
  if (!test::running_as_root()) GTEST_SKIP() << "needs root to give a file to another user";
  TempDir dir;
  const std::string path = dir / "foreign";
  test::write_file(path, "x", 0644);
  ASSERT_EQ(::chown(path.c_str(), test::kOtherUid, test::kOtherUid), 0);
  EXPECT_EQ(outcome(read_private_file(path, 10, ::geteuid())),
            test::refused(FileSafetyError::Kind::NotOwned, path));
  // /proc files belong to other users: the bounded read does not look at the owner.
  EXPECT_EQ(outcome(read_bounded_file(path)), "contents:x");
}

TEST(WritePrivateFile, ReplacesFilesAndLinksButNotDirectories) {
  TempDir dir;
  test::write_file(dir / "target", "keep", 0644);
  ASSERT_EQ(::symlink((dir / "target").c_str(), (dir / "record").c_str()), 0);
  ASSERT_TRUE(test::write_private_at(dir / "record", "new\n"));
  EXPECT_EQ(test::read_file(dir / "record"), "new\n");
  EXPECT_EQ(test::mode_of(dir / "record"), 0600u);
  struct stat st {};
  ASSERT_EQ(::lstat((dir / "record").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(test::read_file(dir / "target"), "keep");
  EXPECT_EQ(test::mode_of(dir / "target"), 0644u);

  // An existing loose file is replaced by a private one, of mode 0600 whatever the umask (0477
  // would make it 0200: no later launch or stop could read it).
  for (const mode_t mask : {022, 0477, 0777}) {
    test::write_file(dir / "loose", "old", 0666);
    const mode_t old_umask = ::umask(mask);
    const auto written = test::write_private_at(dir / "loose", "");
    ::umask(old_umask);
    ASSERT_TRUE(written);
    EXPECT_EQ(test::read_file(dir / "loose"), "");
    EXPECT_EQ(test::mode_of(dir / "loose"), 0600u) << mask;
  }

  test::make_dir(dir / "dir");
  test::write_file(dir / "dir/inside", "x");
  const auto refused = test::write_private_at(dir / "dir", "x");
  ASSERT_FALSE(refused);
  EXPECT_EQ(message_of(refused.error()),
            test::refused(FileSafetyError::Kind::NotRegularFile, dir / "dir"));
  EXPECT_EQ(test::read_file(dir / "dir/inside"), "x");

  // A directory removed since it was opened takes no new file: the room is refused, or (on file
  // systems that still make one) it cannot be put in place.
  test::make_dir(dir / "gone");
  const UniqueFd gone(::open((dir / "gone").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  ASSERT_EQ(::rmdir((dir / "gone").c_str()), 0);
  auto room = PendingFile::create(gone.get(), dir / "gone/record", "x");
  EXPECT_FALSE(room && write_private_file(std::move(*room), "x").has_value());
}

TEST(WritePrivateFile, ReportsACreationThePermissionsRefuse) {
  if (!test::running_as_root()) GTEST_SKIP() << "needs root to prepare a directory for nobody";
  TempDir dir;
  ::chmod(dir.path().c_str(), 0755);
  test::make_dir(dir / "ro", 0500);
  ::chown((dir / "ro").c_str(), test::kNobody, test::kNobody);
  const std::string answer = test::as_user(test::kNobody, [&] {
    const auto r = test::write_private_at(dir / "ro/record", "x");
    return r ? std::string("written") : message_of(r.error());
  });
  EXPECT_EQ(answer, test::cannot(FileOperation::Open, dir / "ro/record", EACCES));
}

TEST(RemoveFileIfPresent, MissingIsSuccessAndRefusalIsReported) {
  TempDir dir;
  EXPECT_TRUE(remove_file_if_present(dir / "missing"));
  test::write_file(dir / "present", "x");
  EXPECT_TRUE(remove_file_if_present(dir / "present"));
  EXPECT_FALSE(test::exists(dir / "present"));

  if (!test::running_as_root()) GTEST_SKIP() << "needs root to prepare a directory for nobody";
  ::chmod(dir.path().c_str(), 0755);
  test::make_dir(dir / "ro", 0755);
  test::write_file(dir / "ro/record", "x");
  const std::string answer = test::as_user(test::kNobody, [&] {
    const auto r = remove_file_if_present(dir / "ro/record");
    return r ? std::string("removed") : message_of(r.error());
  });
  EXPECT_EQ(answer, test::cannot(FileOperation::Remove, dir / "ro/record", EACCES));
  EXPECT_TRUE(test::exists(dir / "ro/record"));
}

TEST(CheckBridgeScript, AdmitsOnlyScriptsNobodyElseCanChange) {
  TempDir dir;
  ::chmod(dir.path().c_str(), 0755);
  const bool root = test::running_as_root();
  test::write_file(dir / "ok755", "", 0755);
  test::write_file(dir / "ok644", "", 0644);
  test::write_file(dir / "g775", "", 0775);
  test::write_file(dir / "o602", "", 0602);
  test::make_dir(dir / "dir");
  ASSERT_EQ(::symlink((dir / "ok755").c_str(), (dir / "link").c_str()), 0);
  // The directories on the way, as the user's (nobody's where the test runs as root, since root
  // may change anything anyway): whoever else may write one could swap the file in it.
  const uid_t user = root ? test::kNobody : ::geteuid();
  for (const auto& [name, mode] :
       std::vector<std::pair<std::string, unsigned>>{{"group", 0775},
                                                     {"group/sub", 0755},
                                                     {"others", 0757},
                                                     {"sticky", 01777},
                                                     {"safe", 0755},
                                                     {"safe/sub", 0755}}) {
    test::make_dir(dir / name, mode);
    test::write_file(dir / name + "/b.py", "", 0644);
    ASSERT_EQ(::chown((dir / name).c_str(), user, user), 0);
  }
  ASSERT_EQ(::symlink((dir / "group").c_str(), (dir / "safe/to-group").c_str()), 0);
  ASSERT_EQ(::symlink("../safe", (dir / "group/to-safe").c_str()), 0);
  ASSERT_EQ(::symlink("sub/b.py", (dir / "safe/last-is-link").c_str()), 0);
  const auto open_dir = [&](const std::string& name, std::uint32_t mode) {
    return message_of(FileSafetyError::directory_writable_by_others(dir / name, mode));
  };
  struct Case {
    std::string path;
    std::string expected;
    bool as_user = false;  // checked by `user` rather than by this process
  };
  std::vector<Case> cases = {
      {dir / "ok755", "ok"},
      {dir / "ok644", "ok"},
      {dir / "g775", message_of(FileSafetyError::writable_by_others(dir / "g775", 0775))},
      {dir / "o602", message_of(FileSafetyError::writable_by_others(dir / "o602", 0602))},
      {"uno_bridge.py", test::refused(FileSafetyError::Kind::InvalidPath, "uno_bridge.py")},
      {"", test::refused(FileSafetyError::Kind::InvalidPath, "")},
      {"--stop", test::refused(FileSafetyError::Kind::InvalidPath, "--stop")},
      {dir / "missing", test::refused(FileSafetyError::Kind::NotFound, dir / "missing")},
      {dir / "link", "refusing to follow a symbolic link: " + dir / "link"},
      {dir / "dir", test::refused(FileSafetyError::Kind::NotRegularFile, dir / "dir")},
      {dir / "safe/sub/b.py", "ok", true},
      {dir / "sticky/b.py", "ok", true},
      {dir / "group/b.py", open_dir("group", 0775), true},
      {dir / "group/sub/b.py", open_dir("group", 0775), true},
      {dir / "others/b.py", open_dir("others", 0757), true},
      // The directory a link leads to counts, and so does the one that holds a link.
      {dir / "safe/to-group/b.py", open_dir("group", 0775), true},
      {dir / "group/to-safe/b.py", open_dir("group", 0775), true},
      {dir / "safe/../group/b.py", open_dir("group", 0775), true},
      {dir / "safe/sub/../b.py", "ok", true},
      {dir / "safe/last-is-link",
       test::refused(FileSafetyError::Kind::SymbolicLink, dir / "safe/last-is-link"), true},
      {dir / "safe/b.py/",
       message_of(FileSafetyError::cannot(FileOperation::Open, dir / "safe/b.py/", ENOTDIR)), true},
  };
  if (root) {
    test::write_file(dir / "foreign", "", 0755);
    ASSERT_EQ(::chown((dir / "foreign").c_str(), test::kOtherUid, 0), 0);
    cases.push_back(
        {dir / "foreign", test::refused(FileSafetyError::Kind::NotOwned, dir / "foreign")});
    // Another user's directory; root's group-writable one (Debian's /usr/local, root:staff
    // 2775) is the administrator's.
    test::make_dir(dir / "theirs", 0755);
    test::write_file(dir / "theirs/b.py", "", 0644);
    ASSERT_EQ(::chown((dir / "theirs").c_str(), test::kOtherUid, test::kOtherUid), 0);
    test::make_dir(dir / "staff", 02775);
    test::write_file(dir / "staff/b.py", "", 0644);
    cases.push_back({dir / "theirs/b.py",
                     test::refused(FileSafetyError::Kind::DirectoryNotOwned, dir / "theirs"),
                     true});
    cases.push_back({dir / "staff/b.py", "ok", true});
  }
  for (const Case& c : cases) {
    const auto check = [&] {
      const auto checked = check_bridge_script(c.path);
      return checked ? std::string("ok") : message_of(checked.error());
    };
    EXPECT_EQ(c.as_user && root ? test::as_user(user, check) : check(), c.expected) << c.path;
  }
  if (root) {
    // A script of root's is fine for an ordinary user; another user's is not.
    const std::string answer = test::as_user(test::kNobody, [&] {
      const auto a = check_bridge_script(dir / "ok755");
      const auto b = check_bridge_script(dir / "foreign");
      return std::string(a ? "ok" : message_of(a.error())) + "|" +
             (b ? "ok" : message_of(b.error()));
    });
    EXPECT_EQ(answer, "ok|" + test::refused(FileSafetyError::Kind::NotOwned, dir / "foreign"));
  }
}

}  // namespace
}  // namespace qs
