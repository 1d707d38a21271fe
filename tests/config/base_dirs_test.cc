#include "config/base_dirs.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

TEST(BaseDirs, ResolvesFromOverridesXdgAndHome) {
  struct Case {
    const char* what;
    EnvSnapshot env;
    std::string config, state;
    std::optional<std::string> runtime;
  };
  const std::vector<Case> cases = {
      {"home fallbacks",
       {{"HOME", "/home/u"}},
       "/home/u/.config/quantelspire-mcp",
       "/home/u/.local/state/quantelspire-mcp",
       std::nullopt},
      {"empty override behaves as unset",
       {{"QUANTELSPIRE_CONFIG_DIR", ""}, {"XDG_CONFIG_HOME", "/xdg"}, {"HOME", "/h"}},
       "/xdg/quantelspire-mcp",
       "/h/.local/state/quantelspire-mcp",
       std::nullopt},
      {"relative XDG ignored",
       {{"XDG_CONFIG_HOME", "conf"}, {"HOME", "/home/u"}},
       "/home/u/.config/quantelspire-mcp",
       "/home/u/.local/state/quantelspire-mcp",
       std::nullopt},
      {"override names the base",
       {{"QUANTELSPIRE_CONFIG_DIR", "/etc/x"}, {"HOME", "/h"}},
       "/etc/x/quantelspire-mcp",
       "/h/.local/state/quantelspire-mcp",
       std::nullopt},
      {"no home needed",
       {{"QUANTELSPIRE_CONFIG_DIR", "/c"}, {"XDG_STATE_HOME", "/s"}},
       "/c/quantelspire-mcp",
       "/s/quantelspire-mcp",
       std::nullopt},
      {"trailing slash and root",
       {{"XDG_CONFIG_HOME", "/"},
        {"QUANTELSPIRE_STATE_DIR", "/s/"},
        {"XDG_RUNTIME_DIR", "/run/user/1000/"}},
       "/quantelspire-mcp",
       "/s/quantelspire-mcp",
       "/run/user/1000/quantelspire-mcp"},
      {"runtime override wins over XDG",
       {{"HOME", "/h"}, {"QUANTELSPIRE_RUNTIME_DIR", "/r"}, {"XDG_RUNTIME_DIR", "/x"}},
       "/h/.config/quantelspire-mcp",
       "/h/.local/state/quantelspire-mcp",
       "/r/quantelspire-mcp"},
      {"relative XDG runtime ignored, HOME never used",
       {{"HOME", "/h"}, {"XDG_RUNTIME_DIR", "run"}},
       "/h/.config/quantelspire-mcp",
       "/h/.local/state/quantelspire-mcp",
       std::nullopt},
      {"bytes carried unchanged",
       {{"HOME", "/h\xff"}},
       "/h\xff/.config/quantelspire-mcp",
       "/h\xff/.local/state/quantelspire-mcp",
       std::nullopt},
  };
  for (const Case& c : cases) {
    const auto dirs = resolve_base_dirs(c.env);
    ASSERT_TRUE(dirs.has_value()) << c.what << ": " << message_of(dirs.error());
    EXPECT_EQ(dirs->config_dir, c.config) << c.what;
    EXPECT_EQ(dirs->state_dir, c.state) << c.what;
    EXPECT_EQ(dirs->runtime_dir, c.runtime) << c.what;
  }
}

TEST(BaseDirs, RefusesWithTheFirstFailure) {
  struct Case {
    EnvSnapshot env;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{}, "cannot determine the home directory"},
      {{{"HOME", ""}}, "cannot determine the home directory"},
      {{{"HOME", "home/u"}}, "the home directory must be an absolute path"},
      {{{"QUANTELSPIRE_CONFIG_DIR", "conf"}, {"XDG_CONFIG_HOME", "/ok"}, {"HOME", "/h"}},
       "QUANTELSPIRE_CONFIG_DIR must be an absolute path"},
      {{{"HOME", "/h"}, {"QUANTELSPIRE_STATE_DIR", "s"}},
       "QUANTELSPIRE_STATE_DIR must be an absolute path"},
      {{{"HOME", "/h"}, {"QUANTELSPIRE_RUNTIME_DIR", "run"}},
       "QUANTELSPIRE_RUNTIME_DIR must be an absolute path"},
      // The configuration base is resolved first, so its failure hides the state's.
      {{{"QUANTELSPIRE_STATE_DIR", "s"}}, "cannot determine the home directory"},
      // The state base needs HOME even when the configuration base does not.
      {{{"QUANTELSPIRE_CONFIG_DIR", "/c"}}, "cannot determine the home directory"},
  };
  for (const Case& c : cases) {
    const auto dirs = resolve_base_dirs(c.env);
    ASSERT_FALSE(dirs.has_value()) << c.message;
    EXPECT_EQ(message_of(dirs.error()), c.message);
  }
}

}  // namespace
}  // namespace qs
