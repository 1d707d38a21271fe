#include "launch/bridge_file.h"

#include "base/path.h"
#include "files/guarded_file.h"
#include "launch/launch_record.h"

namespace qs {

[[nodiscard]] std::expected<AdmittedBridgeFile, LauncherError> admit_bridge_file(
    std::string_view path) {
  using Refused = LauncherError::BridgeFileRefused;
  if (!is_absolute_path(path)) {
    return fail(Refused{FileSafetyError{std::string(path), FileSafetyError::InvalidPath{}}});
  }
  if (path.find('\n') != std::string_view::npos) return fail(Refused{Refused::LineFeed{}});
  if (auto checked = check_bridge_script(path); !checked) {
    return fail(Refused{std::move(checked.error())});
  }
  // Every later launch and stop must be able to read the record back.
  std::string largest = largest_launch_record(path);
  if (largest.size() > kLaunchRecordLimit) {
    return fail(Refused{Refused::TooLongToRecord{kLaunchRecordLimit}});
  }
  return AdmittedBridgeFile{std::move(largest)};
}

}  // namespace qs
