#include "support/temp_dir.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

#include "base/eintr.h"
#include "base/unique_fd.h"

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
      [](const char* p, const struct stat*, int, FTW*) {
        (void)::remove(p);  // what cannot go is left; the walk goes on
        return 0;
      },
      16, FTW_PHYS | FTW_DEPTH);
}

[[noreturn]] void setup_failed(const std::string& what) {
  throw std::runtime_error("set-up failed: " + what + ": " + std::strerror(errno));
}

void write_file(const std::string& path, std::string_view contents, unsigned mode) {
  ::unlink(path.c_str());
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) setup_failed("cannot create " + path);
  const bool whole =
      ::write(fd, contents.data(), contents.size()) == static_cast<ssize_t>(contents.size()) &&
      ::fchmod(fd, mode) == 0;
  ::close(fd);
  if (!whole) setup_failed("cannot write " + path);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void make_dir(const std::string& path, unsigned mode) {
  if (::mkdir(path.c_str(), 0700) != 0 || ::chmod(path.c_str(), mode) != 0) {
    setup_failed("cannot create " + path);
  }
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

std::string repeat(std::string_view piece, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i)
    text += piece;
  return text;
}

namespace {

template <class Write>
std::expected<void, FileSafetyError> through_room(const std::string& path,
                                                  std::string_view contents, Write write) {
  const std::string parent = path.substr(0, path.rfind('/') + 1);
  const UniqueFd dir(
      retry_on_eintr([&] { return ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
  if (!dir.valid()) setup_failed("open " + parent);
  auto room = PendingFile::create(dir.get(), path, contents);
  if (!room) return std::unexpected(std::move(room.error()));
  return write(std::move(*room));
}

}  // namespace

std::expected<void, FileSafetyError> write_private_at(const std::string& path,
                                                      std::string_view contents) {
  return through_room(path, contents, [&](PendingFile room) {
    return write_private_file(std::move(room), contents);
  });
}

std::expected<void, FileSafetyError> write_record_at(const std::string& path,
                                                     const LaunchRecord& record) {
  return through_room(path, format_launch_record(record), [&](PendingFile room) {
    return write_launch_record(std::move(room), record);
  });
}

}  // namespace qs::test
