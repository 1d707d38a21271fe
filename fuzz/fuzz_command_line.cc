// Command lines (arguments separated by NUL bytes) through the parser and, for the commands that
// touch nothing, through the entry with captured output.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "cli/entry.h"
#include "fuzz/fuzz_checks.h"
#include "tests/support/string_output_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> args{"quantelspire-launch"};
  for (std::size_t start = 0; start <= input.size();) {
    const std::size_t nul = input.find('\0', start);
    args.emplace_back(input.substr(start, nul - start));
    if (nul == std::string_view::npos) break;
    start = nul + 1;
  }
  if (size == 0) args.pop_back();

  const qs::LauncherCommand command = qs::parse_command_line(args);
  if (const auto* launch = std::get_if<qs::LauncherCommand::Launch>(&command.action)) {
    // The path is passed on exactly as typed.
    const std::string& last = args.back();
    if (launch->bridge_file != last && "--bridge-file=" + launch->bridge_file != last) {
      qs::fuzz::fail("the bridge path changed", input);
    }
    return 0;
  }
  if (std::holds_alternative<qs::LauncherCommand::Stop>(command.action)) return 0;

  qs::test::StringOutputStream out, err;
  const int status = qs::run_entry(args, {}, qs::SystemPaths{}, out, err);
  if (status != 0 && status != 2) qs::fuzz::fail("unexpected exit status", input);
  // Exactly one of the two streams is written, in whole lines, each a clean message.
  if (out.text().empty() == err.text().empty()) qs::fuzz::fail("not exactly one stream", input);
  std::string_view text = out.text().empty() ? err.text() : out.text();
  if (text.back() != '\n') qs::fuzz::fail("output does not end a line", input);
  while (!text.empty()) {
    const std::size_t feed = text.find('\n');
    qs::fuzz::check_message(text.substr(0, feed));
    text.remove_prefix(feed + 1);
  }
  return 0;
}
