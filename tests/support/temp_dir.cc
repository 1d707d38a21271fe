#include "support/temp_dir.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace qs::test {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/qs-test-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
  path_ = pattern;
}

TempDir::~TempDir() {
  remove_tree(path_);
}

void remove_tree(const std::string& path) {
  // Directories a test made unreadable or unwritable must still go.
  ::nftw(
      path.c_str(),
      [](const char* p, const struct stat* st, int type, FTW*) {
        if (type == FTW_D || type == FTW_DNR) ::chmod(p, 0700);
        (void)st;
        return 0;
      },
      16, FTW_PHYS);
  ::nftw(
      path.c_str(),
      [](const char* p, const struct stat*, int, FTW*) { return ::remove(p) == 0 ? 0 : 0; }, 16,
      FTW_PHYS | FTW_DEPTH);
}

void write_file(const std::string& path, std::string_view contents, unsigned mode) {
  ::unlink(path.c_str());
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0) << "cannot create " << path;
  ASSERT_EQ(::write(fd, contents.data(), contents.size()), static_cast<ssize_t>(contents.size()));
  ASSERT_EQ(::fchmod(fd, mode), 0);
  ::close(fd);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void make_dir(const std::string& path, unsigned mode) {
  ASSERT_EQ(::mkdir(path.c_str(), 0700), 0) << "cannot create " << path;
  ASSERT_EQ(::chmod(path.c_str(), mode), 0);
}

unsigned mode_of(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace qs::test
