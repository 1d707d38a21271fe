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
  std::vector<Case> cases = {
      {dir / "private", "contents:secret"},
      {dir / "readonly", "contents:ro"},
      {dir / "group-readable", test::wrong_mode(dir / "group-readable", 0640, 0600)},
      {dir / "setuid", test::wrong_mode(dir / "setuid", 04640, 0600)},
      {dir / "others-readable", test::wrong_mode(dir / "others-readable", 0604, 0600)},
      {dir / "others-executable", test::wrong_mode(dir / "others-executable", 0601, 0600)},
      {dir / "link", "refusing to follow a symbolic link: " + dir / "link"},
      {dir / "fifo",
       test::refused<FileSafetyError::NotRegularFile>(dir / "fifo")},  // must not wait for a writer
      {dir / "dir", test::refused<FileSafetyError::NotRegularFile>(dir / "dir")},
      {"/dev/null", test::refused<FileSafetyError::NotRegularFile>("/dev/null")},
      {dir / "missing", test::refused<FileSafetyError::NotFound>(dir / "missing")},
      {dir / "private/below", test::cannot(FileOperation::Open, dir / "private/below", ENOTDIR)},
      {std::string("/tmp/a\0b", 8),
       message_of(FileSafetyError::nul_in(FileOperation::Open, std::string("/tmp/a\0b", 8)))},
  };
  if (test::running_as_root()) {  // another user's file: its owner is tested before its mode
    test::write_file(dir / "foreign", "x", 0644);
    ASSERT_EQ(::chown((dir / "foreign").c_str(), test::kOtherUid, test::kOtherUid), 0);
    cases.push_back({dir / "foreign", test::refused<FileSafetyError::NotOwned>(dir / "foreign")});
    // /proc files belong to other users: the bounded read does not look at the owner.
    EXPECT_EQ(outcome(read_bounded_file(dir / "foreign")), "contents:x");
  }
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
            test::refused<FileSafetyError::NotRegularFile>(dir / "dir"));
  EXPECT_EQ(test::read_file(dir / "dir/inside"), "x");

  // A directory removed since it was opened takes no new file: the room is refused, or (on file
  // systems that still make one) it cannot be put in place.
  test::make_dir(dir / "gone");
  const UniqueFd gone(::open((dir / "gone").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  ASSERT_EQ(::rmdir((dir / "gone").c_str()), 0);
  auto room = PendingFile::create({gone.get(), dir / "gone"}, "record", "x");
  EXPECT_FALSE(room && write_private_file(std::move(*room), "x").has_value());
}

TEST(RemoveFileAt, MissingIsSuccess) {
  TempDir dir;
  EXPECT_TRUE(test::remove_at(dir / "missing"));
  test::write_file(dir / "present", "x");
  EXPECT_TRUE(test::remove_at(dir / "present"));
  EXPECT_FALSE(test::exists(dir / "present"));
}

// In a directory of root's, an ordinary user can neither make a file nor remove one.
TEST(GuardedFile, ReportsWhatThePermissionsRefuse) {
  if (!test::running_as_root()) GTEST_SKIP() << "needs root to prepare a directory for nobody";
  TempDir dir;
  ::chmod(dir.path().c_str(), 0755);
  test::make_dir(dir / "ro", 0755);
  test::write_file(dir / "ro/record", "x");
  const auto as_nobody = [](const auto& act) {
    return test::as_user(test::kNobody, [&] { return test::ok_or_message(act()); });
  };
  EXPECT_EQ(as_nobody([&] { return test::write_private_at(dir / "ro/new", "x"); }),
            test::cannot(FileOperation::Open, dir / "ro/new", EACCES));
  EXPECT_EQ(as_nobody([&] { return test::remove_at(dir / "ro/record"); }),
            test::cannot(FileOperation::Remove, dir / "ro/record", EACCES));
  EXPECT_EQ(test::read_file(dir / "ro/record"), "x");
}

TEST(CheckBridgeScript, AdmitsOnlyScriptsNobodyElseCanChange) {
  TempDir dir;
  ::chmod(dir.path().c_str(), 0755);
  const bool root = test::running_as_root();
  // Rows `as_user` are checked by an ordinary user, the owner of the folders below (nobody where
  // the test runs as root): whoever else may write a folder on the way could swap the file.
  const uid_t user = root ? test::kNobody : ::geteuid();
  struct Made {
    std::string name;  // a folder where it ends with '/', holding b.py
    unsigned mode;
    uid_t owner;
  };
  std::vector<Made> made = {{"ok755", 0755, 0},      {"ok644", 0644, 0},
                            {"g775", 0775, 0},       {"o602", 0602, 0},
                            {"group/", 0775, user},  {"group/sub/", 0755, user},
                            {"others/", 0757, user}, {"sticky/", 01777, user},
                            {"safe/", 0755, user},   {"safe/sub/", 0755, user}};
  if (root) {  // another user's file and folder; root's group-writable one (/usr/local, 2775)
    made.insert(made.end(), {{"foreign", 0755, test::kOtherUid},
                             {"theirs/", 0755, test::kOtherUid},
                             {"staff/", 02775, 0}});
  }
  for (const Made& m : made) {
    const std::string path = dir / m.name;
    if (m.name.ends_with('/')) test::make_dir(path, m.mode);
    test::write_file(m.name.ends_with('/') ? path + "b.py" : path, "",
                     m.name.ends_with('/') ? 0644 : m.mode);
    ASSERT_EQ(m.owner == 0 ? 0 : ::chown(path.c_str(), m.owner, m.owner), 0);
  }
  test::make_dir(dir / "dir");
  ASSERT_EQ(::symlink((dir / "ok755").c_str(), (dir / "link").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "group").c_str(), (dir / "safe/to-group").c_str()), 0);
  ASSERT_EQ(::symlink("../safe", (dir / "group/to-safe").c_str()), 0);
  ASSERT_EQ(::symlink("sub/b.py", (dir / "safe/last-is-link").c_str()), 0);
  const auto open_dir = [&](const std::string& name, std::uint32_t mode) {
    return message_of(
        FileSafetyError{dir / name, FileSafetyError::DirectoryWritableByOthers{mode}});
  };
  struct Case {
    std::string path;
    std::string expected;
    bool as_user = false;
  };
  std::vector<Case> cases = {
      {dir / "ok755", "ok"},
      {dir / "ok644", "ok"},
      {dir / "g775",
       message_of(FileSafetyError{dir / "g775", FileSafetyError::WritableByOthers{0775}})},
      {dir / "o602",
       message_of(FileSafetyError{dir / "o602", FileSafetyError::WritableByOthers{0602}})},
      {dir / "missing", test::refused<FileSafetyError::NotFound>(dir / "missing")},
      {dir / "link", "refusing to follow a symbolic link: " + dir / "link"},
      {dir / "dir", test::refused<FileSafetyError::NotRegularFile>(dir / "dir")},
      {dir / "ok755", "ok", true},  // root's script is fine for an ordinary user
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
       test::refused<FileSafetyError::SymbolicLink>(dir / "safe/last-is-link"), true},
      {dir / "safe/b.py/",
       message_of(FileSafetyError::cannot(FileOperation::Open, dir / "safe/b.py/", ENOTDIR)), true},
  };
  if (root) {
    cases.insert(
        cases.end(),
        {{dir / "foreign", test::refused<FileSafetyError::NotOwned>(dir / "foreign")},
         {dir / "foreign", test::refused<FileSafetyError::NotOwned>(dir / "foreign"), true},
         {dir / "theirs/b.py", test::refused<FileSafetyError::DirectoryNotOwned>(dir / "theirs"),
          true},
         {dir / "staff/b.py", "ok", true}});
  }
  for (const Case& c : cases) {
    const auto check = [&] { return test::ok_or_message(check_bridge_script(c.path)); };
    EXPECT_EQ(c.as_user && root ? test::as_user(user, check) : check(), c.expected) << c.path;
  }
}

}  // namespace
}  // namespace qs
