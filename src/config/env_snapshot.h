#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qs {

// The launcher's environment, captured once at start: raw (name, value) byte strings in the
// order the operating system lists them.
using EnvSnapshot = std::vector<std::pair<std::string, std::string>>;

// Splits "NAME=value" entries; an entry without '=' after its first byte is not a variable and
// is left out.
EnvSnapshot capture_environment(const char* const* environ_entries);

// The value of the first entry named `name`, as getenv would find it.
std::optional<std::string_view> find_variable(const EnvSnapshot& env, std::string_view name);

}  // namespace qs
