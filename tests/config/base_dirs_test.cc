#include "config/base_dirs.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

// The bases of the configuration, the state and the runtime directories, each checked to end in
// the component and shown without it ("-": no runtime directory); or the failure.
std::string bases(const EnvSnapshot& env) {
  const auto dirs = resolve_base_dirs(env);
  if (!dirs) return message_of(dirs.error());
  const auto base = [](std::string dir) {
    return dir.ends_with("/quantelspire-mcp") ? dir.substr(0, dir.size() - 17) : "bad:" + dir;
  };
  return base(dirs->config_dir) + " " + base(dirs->state_dir) + " " +
         (dirs->runtime_dir ? base(*dirs->runtime_dir) : "-");
}

TEST(BaseDirs, ResolvesFromOverridesXdgAndHome) {
  struct Case {
    const char* what;
    EnvSnapshot env;
    std::string bases;
  };
  const std::vector<Case> cases = {
      {"home fallbacks", {{"HOME", "/home/u"}}, "/home/u/.config /home/u/.local/state -"},
      {"empty override behaves as unset",
       {{"QUANTELSPIRE_CONFIG_DIR", ""}, {"XDG_CONFIG_HOME", "/xdg"}, {"HOME", "/h"}},
       "/xdg /h/.local/state -"},
      {"relative XDG ignored",
       {{"XDG_CONFIG_HOME", "conf"}, {"HOME", "/home/u"}},
       "/home/u/.config /home/u/.local/state -"},
      {"override names the base",
       {{"QUANTELSPIRE_CONFIG_DIR", "/etc/x"}, {"HOME", "/h"}},
       "/etc/x /h/.local/state -"},
      {"no home needed", {{"QUANTELSPIRE_CONFIG_DIR", "/c"}, {"XDG_STATE_HOME", "/s"}}, "/c /s -"},
      {"trailing slash and root",
       {{"XDG_CONFIG_HOME", "/"},
        {"QUANTELSPIRE_STATE_DIR", "/s/"},
        {"XDG_RUNTIME_DIR", "/run/user/1000/"}},
       " /s /run/user/1000"},
      {"runtime override wins over XDG",
       {{"HOME", "/h"}, {"QUANTELSPIRE_RUNTIME_DIR", "/r"}, {"XDG_RUNTIME_DIR", "/x"}},
       "/h/.config /h/.local/state /r"},
      {"relative XDG runtime ignored, HOME never used",
       {{"HOME", "/h"}, {"XDG_RUNTIME_DIR", "run"}},
       "/h/.config /h/.local/state -"},
      {"bytes carried unchanged", {{"HOME", "/h\xff"}}, "/h\xff/.config /h\xff/.local/state -"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(bases(c.env), c.bases) << c.what;
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
  for (const Case& c : cases)
    EXPECT_EQ(bases(c.env), c.message);
}

}  // namespace
}  // namespace qs
