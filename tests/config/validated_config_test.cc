#include "config/validated_config.h"

#include <gtest/gtest.h>

#include "base/join.h"
#include "config/libreoffice_targets.h"

namespace qs {
namespace {

std::string validate(const std::string& toml) {
  const auto raw = parse_config(toml);
  if (!raw) return "parse: " + message_of(raw.error());
  const auto config = validate_config(*raw);
  return config ? "ok" : message_of(config.error());
}

TEST(ValidateConfig, AppliesEachRuleAtItsBoundary) {
  struct Case {
    std::string toml;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"", "ok"},
      {"[hub]\nmax_script_bytes = 1024", "ok"},
      {"[hub]\nmax_script_bytes = 1023", "hub.max_script_bytes must be at least 1024"},
      {"[hub]\nmax_script_bytes = -1", "hub.max_script_bytes must be at least 1024"},
      {"[hub]\nmax_output_bytes = 0", "hub.max_output_bytes must be at least 1024"},
      {"[hub]\nmax_line_bytes = 100", "hub.max_line_bytes must be at least 1024"},
      {"[hub]\ndefault_timeout_s = 0", "hub.default_timeout_s must be at least 1"},
      {"[hub]\ndefault_timeout_s = 1", "ok"},
      {"[hub]\ndefault_timeout_s = 4294967295\nmax_timeout_s = 4294967295", "ok"},
      {"[hub]\ndefault_timeout_s = 4294967296", "hub.default_timeout_s is too large"},
      {"[hub]\nmax_timeout_s = 4294967296", "hub.max_timeout_s is too large"},
      {"[hub]\nmax_timeout_s = -3", "hub.max_timeout_s must be at least 1"},
      {"[hub]\nmax_timeout_s = 30", "ok"},
      {"[hub]\nmax_timeout_s = 29",
       "hub.max_timeout_s must not be smaller than hub.default_timeout_s"},
      {"[hub]\ndefault_timeout_s = 400",
       "hub.max_timeout_s must not be smaller than hub.default_timeout_s"},
      {"[security]\nextra_write_roots = [\"/a\", \"/a\"]", "ok"},
      {"[security]\nextra_write_roots = [\"rel\", \"\"]",
       "security.extra_write_roots must be a list of non-empty strings"},
      {"[security]\nextra_write_roots = [\"\", \"rel\"]",
       "security.extra_write_roots must be a list of non-empty strings"},
      {"[security]\nextra_write_roots = [\"/a\", \"rel\"]",
       "security.extra_write_roots entries must be absolute paths"},
      {"[apps.GIMP]\n",
       "unknown application in [apps]; known applications: gimp, krita, blender, inkscape, "
       "libreoffice-writer, libreoffice-calc, libreoffice-impress"},
      {"[apps.gimp]\nmode = \"UNO\"", "apps.gimp.mode must be one of: tcp, uno, cli"},
      {"[apps.gimp]\nport = 1023", "apps.gimp.port must be between 1024 and 65535"},
      {"[apps.gimp]\nport = 1024", "ok"},
      {"[apps.gimp]\nport = 65535", "ok"},
      {"[apps.gimp]\nport = 65536", "apps.gimp.port must be between 1024 and 65535"},
      {"[apps.krita]\nenabled = false\nuno_port = -1",
       "apps.krita.uno_port must be between 1024 and 65535"},
      {"[apps.libreoffice-impress]\nbridge_port = 70000",
       "apps.libreoffice-impress.bridge_port must be between 1024 and 65535"},
      // Order: mode before ports, port before uno_port, the table's rows in order.
      {"[apps.blender]\nport = 1\nmode = \"x\"", "apps.blender.mode must be one of: tcp, uno, cli"},
      {"[apps.blender]\nuno_port = 1\nport = 2",
       "apps.blender.port must be between 1024 and 65535"},
      {"[apps.krita]\nport = 2\n[apps.gimp]\nport = 1",
       "apps.gimp.port must be between 1024 and 65535"},
      // A bad hub value hides everything after it.
      {"[apps.nope]\n[security]\nextra_write_roots = [\"\"]\n[hub]\nmax_line_bytes = 1",
       "hub.max_line_bytes must be at least 1024"},
      {"[apps.nope]\n[security]\nextra_write_roots = [\"\"]",
       "security.extra_write_roots must be a list of non-empty strings"},
      {"[apps.gimp]\nport = 1\n[apps.nope]\n",
       "unknown application in [apps]; known applications: gimp, krita, blender, inkscape, "
       "libreoffice-writer, libreoffice-calc, libreoffice-impress"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(validate(c.toml), c.expected) << c.toml;
}

TEST(ValidateConfig, DefaultsWhenNothingIsSet) {
  const auto config = validate_config(RawConfig{});
  ASSERT_TRUE(config);
  EXPECT_EQ(config->hub.max_script_bytes, 262144u);
  EXPECT_EQ(config->hub.max_line_bytes, 8388608u);
  EXPECT_EQ(config->hub.max_timeout_s, 300u);
  EXPECT_EQ(config->apps[0].name, "gimp");
  EXPECT_EQ(config->apps[0].port, 9301);
  EXPECT_EQ(config->apps[3].mode, AppMode::Cli);
  EXPECT_EQ(config->apps[6].name, "libreoffice-impress");
  EXPECT_EQ(config->apps[6].bridge_port, 9304);
  for (const AppSettings& app : config->apps)
    EXPECT_FALSE(app.enabled) << app.name;
}

std::string targets(const std::string& toml) {
  const auto raw = parse_config(toml);
  if (!raw) return "parse: " + message_of(raw.error());
  const auto config = validate_config(*raw);
  if (!config) return "invalid: " + message_of(config.error());
  const auto chosen = select_libreoffice_targets(*config);
  if (chosen) {
    return join(
               chosen->names, [](const std::string& name) { return name + " "; }, "") +
           std::to_string(chosen->uno_port) + "/" + std::to_string(chosen->bridge_port);
  }
  if (const auto* same = std::get_if<SamePort>(&chosen.error())) {
    return "same " + std::to_string(same->port);
  }
  const auto* disagree = std::get_if<TargetsDisagree>(&chosen.error());
  if (disagree == nullptr) return "none";
  return "disagree " + std::string(key_name(disagree->key)) + ": " +
         join(
             disagree->entries,
             [](const auto& entry) { return entry.first + "=" + std::to_string(entry.second); },
             " ");
}

TEST(SelectLibreOfficeTargets, ChoosesOnePairOfPorts) {
  struct Case {
    std::string toml;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"", "none"},
      {"[apps.gimp]\nenabled = true\nmode = \"uno\"", "none"},
      {"[apps.libreoffice-writer]\nenabled = true", "libreoffice-writer 2002/9304"},
      {"[apps.libreoffice-writer]\nenabled = true\nmode = \"tcp\"", "none"},
      {"[apps.libreoffice-writer]\nuno_port = 3000\nbridge_port = 3001", "none"},
      {"[apps.libreoffice-calc]\nenabled = true\n[apps.libreoffice-writer]\nenabled = true",
       "libreoffice-writer libreoffice-calc 2002/9304"},
      {"[apps.libreoffice-writer]\nenabled = true\n[apps.libreoffice-calc]\nenabled = true\n"
       "uno_port = 2003\nbridge_port = 9305",
       "disagree uno_port: libreoffice-writer=2002 libreoffice-calc=2003"},
      {"[apps.libreoffice-writer]\nenabled = true\n[apps.libreoffice-calc]\nenabled = true\n"
       "bridge_port = 9305\n[apps.libreoffice-impress]\nenabled = true",
       "disagree bridge_port: libreoffice-writer=9304 libreoffice-calc=9305 "
       "libreoffice-impress=9304"},
      {"[apps.libreoffice-writer]\nenabled = true\nuno_port = 9304", "same 9304"},
      {"[apps.libreoffice-impress]\nenabled = true\nuno_port = 3000\nbridge_port = 3001",
       "libreoffice-impress 3000/3001"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(targets(c.toml), c.expected) << c.toml;
}

}  // namespace
}  // namespace qs
