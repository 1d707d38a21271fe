#include "launch/run_stop.h"

namespace qs {

std::expected<void, LauncherError> run_stop(const SystemPaths&, const BaseDirs&, OutputStream&) {
  // Not built yet: say so plainly instead of pretending to stop anything.
  return std::unexpected(
      LauncherError{LauncherError::ReportFailed{SystemError::from_errno(ENOSYS)}});
}

}  // namespace qs
