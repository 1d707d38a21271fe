#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "cli/launcher_error.h"

namespace qs {

// What admitting a bridge file yields: the text of the largest record that can name it, the
// room the launch takes before anything starts.
struct AdmittedBridgeFile {
  std::string largest_record;
};

// Every rule a bridge file must meet, in the order a user meets them: an absolute path without a
// line feed (the record holds one entry per line), a file nobody else can change or replace
// (check_bridge_script), and a path whose record the reader takes. BridgeFileRefused otherwise.
[[nodiscard]] std::expected<AdmittedBridgeFile, LauncherError> admit_bridge_file(
    std::string_view path);

}  // namespace qs
