#include "support/temp_dir.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <time.h>
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

std::string make_launch_dir(const std::string& runtime_dir) {
  const std::string launch = runtime_dir + "/launch";
  for (const std::string& dir : {runtime_dir, launch}) {
    if (!exists(dir)) make_dir(dir);
  }
  return launch;
}

bool eventually(const std::function<bool()>& holds, double seconds) {
  for (int tick = 0; tick < seconds * 100; ++tick) {
    if (holds()) return true;
    const timespec pause{0, 10 * 1000 * 1000};
    ::nanosleep(&pause, nullptr);
  }
  return holds();
}

std::string long_bridge_file(const std::string& base, std::size_t length, char byte) {
  std::string path = base;
  for (::mkdir(path.c_str(), 0755); length - path.size() > 201; ::mkdir(path.c_str(), 0755))
    path.append(1, '/').append(200, byte);
  const std::size_t last = length - path.size() - 1;
  path.append(1, '/').append(last, byte);
  write_file(path, "# a bridge\n", 0644);
  return path;
}

namespace {

template <class Write>
std::expected<void, FileSafetyError> through_room(const std::string& path,
                                                  std::string_view contents, Write write) {
  const ParentOf parent(path);
  auto room = PendingFile::create(parent.dir(), parent.name, contents);
  if (!room) return std::unexpected(std::move(room.error()));
  return write(std::move(*room));
}

}  // namespace

ParentOf::ParentOf(const std::string& file)
    : path(file.substr(0, file.rfind('/'))), name(file.substr(file.rfind('/') + 1)) {
  fd = retry_on_eintr([&] { return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  if (fd < 0) setup_failed("open " + path);
}

ParentOf::~ParentOf() {
  ::close(fd);
}

std::expected<std::optional<LaunchRecord>, LauncherError> read_record(const std::string& path) {
  const ParentOf parent(path);
  return read_launch_record(parent.dir(), parent.name);
}

std::expected<void, FileSafetyError> remove_at(const std::string& path) {
  const ParentOf parent(path);
  return remove_file_at(parent.dir(), parent.name);
}

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
