#pragma once

#include <expected>
#include <functional>
#include <string>
#include <string_view>

#include "files/guarded_file.h"
#include "launch/launch_record.h"

namespace qs::test {

// A private temporary directory, removed with everything in it when the test ends.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

// A set-up step failed: the test fails and stops here (GoogleTest reports the exception), so
// that it never runs on against a world it did not make. The message adds errno's description.
[[noreturn]] void setup_failed(const std::string& what);

// Small helpers for building file trees in tests; each stops the test on error.
void write_file(const std::string& path, std::string_view contents, unsigned mode = 0600);
std::string read_file(const std::string& path);
void make_dir(const std::string& path, unsigned mode = 0700);
unsigned mode_of(const std::string& path);  // permission bits, without following a link
bool exists(const std::string& path);       // without following a link
void remove_tree(const std::string& path);

// A bridge file of `length` bytes of path under `base`, its names made of `byte`, in folders as
// deep as a name's 255 bytes require.
std::string long_bridge_file(const std::string& base, std::size_t length, char byte);

// `runtime_dir` and its launch directory, made private where missing; the launch directory's
// path.
std::string make_launch_dir(const std::string& runtime_dir);

// Asks `holds` every 10 ms until it says yes, for up to `seconds`; its last answer. For what a
// process brings about on its own time: a test fails on the answer, never on the time.
bool eventually(const std::function<bool()>& holds, double seconds = 10);

// `piece`, `count` times over (the deep texts of the configuration's tests).
std::string repeat(std::string_view piece, std::size_t count);

// The directory of `path` (which must exist), open, and the name of `path` in it: how the code
// under test reaches a file.
struct ParentOf {
  explicit ParentOf(const std::string& path);
  ~ParentOf();
  ParentOf(const ParentOf&) = delete;
  ParentOf& operator=(const ParentOf&) = delete;
  DirectoryRef dir() const { return {fd, path}; }

  int fd = -1;
  std::string path;
  std::string name;
};

// read_launch_record and remove_file_at for the file at `path`.
std::expected<std::optional<LaunchRecord>, LauncherError> read_record(const std::string& path);
std::expected<void, FileSafetyError> remove_at(const std::string& path);

// write_private_file and write_launch_record at `path`, through a room of just their contents
// made in the parent directory (which must exist).
std::expected<void, FileSafetyError> write_private_at(const std::string& path,
                                                      std::string_view contents);
std::expected<void, FileSafetyError> write_record_at(const std::string& path,
                                                     const LaunchRecord& record);

}  // namespace qs::test
