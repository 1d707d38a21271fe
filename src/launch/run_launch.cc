#include "launch/run_launch.h"

namespace qs {

std::expected<void, LauncherError> run_launch(const SystemPaths& paths, const BaseDirs&,
                                              std::string_view, const EnvSnapshot&, OutputStream&) {
  // Not built yet: say so plainly instead of pretending to start anything.
  return std::unexpected(LauncherError{
      LauncherError::StartFailed{paths.soffice_program, SystemError::from_errno(ENOSYS)}});
}

}  // namespace qs
