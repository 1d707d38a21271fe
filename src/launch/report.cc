#include "launch/report.h"

#include <string>

namespace qs {

[[nodiscard]] std::expected<void, LauncherError> write_report_line(OutputStream& out,
                                                                   std::string_view line) {
  std::string text(line);
  text.push_back('\n');
  // One write per line: a line is either delivered whole or reported as failed.
  if (auto written = out.write(text); !written) {
    return std::unexpected(LauncherError{LauncherError::ReportFailed{written.error()}});
  }
  return {};
}

}  // namespace qs
