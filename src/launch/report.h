#pragma once

#include <expected>
#include <string_view>

#include "base/output_stream.h"
#include "cli/launcher_error.h"

namespace qs {

// Writes one report line and its line feed; a failure ends the action with ReportFailed.
[[nodiscard]] std::expected<void, LauncherError> write_report_line(OutputStream& out,
                                                                   std::string_view line);

}  // namespace qs
