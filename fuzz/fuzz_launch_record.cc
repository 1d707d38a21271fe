// Launch record bytes (any process of the user may have rewritten the file) through the reader,
// and every accepted record through the writer and back.
#include <cstdint>
#include <string_view>

#include "fuzz/fuzz_checks.h"
#include "launch/launch_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto record = qs::parse_launch_record(text);
  if (!record) {
    qs::fuzz::check_message(qs::message_of(qs::LauncherError{
        qs::LauncherError::BadRecord{"/run/user/1000/quantelspire-mcp/launch/libreoffice.pids"}}));
    return 0;
  }
  if (record->bridge) {
    const std::string& path = record->bridge->bridge_file;
    if (path.empty() || path[0] != '/') qs::fuzz::fail("accepted a relative bridge path", text);
    // A final carriage return cannot be written back: the reader takes it for half of a CR LF
    // terminator. The identity check compares command lines the same way.
    if (path.find('\n') != std::string::npos || path.ends_with('\r')) return 0;
  }
  const std::string written = qs::format_launch_record(*record);
  const auto back = qs::parse_launch_record(written);
  if (!back || *back != *record) qs::fuzz::fail("the record does not read back", text);
  return 0;
}
