#pragma once

#include <string>
#include <string_view>

namespace qs {

// Where the hub keeps its token: beside config.toml. The launcher passes this path to the
// bridge and never opens the file.
std::string token_path(std::string_view config_dir);

}  // namespace qs
