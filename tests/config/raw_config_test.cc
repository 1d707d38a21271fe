#include "config/raw_config.h"

#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/refusals.h"

#include <functional>

#include "config/key_depth.h"
#include "support/temp_dir.h"

namespace qs {
namespace {

using test::repeat;

std::string at(const char* category, int line, int column) {
  return std::string("the configuration file ") + category + " (line " + std::to_string(line) +
         ", column " + std::to_string(column) + ")";
}
constexpr const char* kUnknown = "has an unknown key or section";
constexpr const char* kWrongType = "has a value of the wrong type";
constexpr const char* kOther = "is not valid TOML or does not match the schema";

TEST(ParseConfig, ReportsCategoryAndPosition) {
  const int kDeep = static_cast<int>(kMaxKeyDepth);
  const std::string deep_header = "[a" + repeat(".a", kDeep) + "]\n";
  const std::string deep_inline = "{" + repeat("a.", kDeep) + "a = 1}";
  const auto roots = [](const std::string& items) {
    return "[security]\nextra_write_roots = [" + items + "]\n";
  };
  struct Case {
    std::string text;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"", "ok"},
      {"# only a comment\n", "ok"},
      {"[hub]\nmax_script_bytes = 2048\nmax_bytes = 1\n", at(kUnknown, 3, 1)},
      {"other = 1\n", at(kUnknown, 1, 1)},
      {"[other]\n", at(kUnknown, 1, 2)},
      {"[apps.gimp]\nport = \"9301\"\n", at(kWrongType, 2, 8)},
      // Breaks what the parser assumes of a key: refused, never undefined behaviour.
      {"[&pps.gimp]\nport = \"9301\"\n", at(kOther, 1, 2)},
      {"[apps.gimp]\nenabled = 1\n", at(kWrongType, 2, 11)},
      {"[apps.gimp]\nhost = 1\n", at(kUnknown, 2, 1)},
      {"[apps]\ngimp = 5\n", at(kWrongType, 2, 8)},
      {"[[apps.gimp]]\n", at(kWrongType, 1, 1)},
      {"hub = 1\n", at(kWrongType, 1, 7)},
      {"[security]\nextra_write_roots = \"/x\"\n", at(kWrongType, 2, 21)},
      {"[security]\nextra_write_roots = [\"/x\", 3]\n", at(kWrongType, 2, 28)},
      {"[security]\naudit_script_text = \"yes\"\n", at(kWrongType, 2, 21)},
      {"[hub]\nmax_line_bytes = 1.5\n", at(kWrongType, 2, 18)},
      {"[hub]\nmax_line_bytes = 1979-05-27\n", at(kWrongType, 2, 18)},
      {"[apps.unknown-app]\nanything = 1\n", at(kUnknown, 2, 1)},
      {"[apps.unknown-app]\nport = 1\n", "ok"},  // the name is the validation's business
      {"a = 1\na = 2\n", at(kOther, 2, 5)},
      {"[hub\n", at(kOther, 1, 5)},
      {"[hub]\nmax_line_bytes = 99999999999999999999\n", at(kOther, 2, 38)},
      {"\xC3\xA9\xC3\xA9x = = 1\n", at(kOther, 1, 7)},  // after two 2-byte characters
      // The first error in the file is reported, whatever the parser's key order.
      {"[hub]\nzz = 1\naa = 2\n", at(kUnknown, 2, 1)},
      // TOML 1.1.0 features are accepted.
      {"[apps]\ngimp = {\n  port = 9301,\n}\n", "ok"},
      {"[security]\nextra_write_roots = [\"/\\e\\x41\"]\n", "ok"},
      // What the parser accepts beyond TOML 1.1.0 is refused.
      {"[apps.gimp]\n\xC3\xA9 = 1\n", at(kOther, 2, 1)},
      {"[apps.gimp]\nport+x = 1\n", at(kOther, 2, 1)},
      {"[apps]\nb+ = 1\na+ = 2\n", at(kOther, 2, 1)},  // the earlier of two
      {"[apps.'x+y']\n", "ok"},                        // quoted, like "x+y"
      {"[hub]\nmax_line_bytes = 0x1.8p1\n", at(kOther, 2, 18)},
      {"[hub]\nmax_line_bytes = -0x1p3\n", at(kOther, 2, 18)},
      {"[apps.\"caf\xC3\xA9\"]\n", "ok"},  // quoted keys may hold any character
      // A byte-order mark is a character of line 1.
      {"\xEF\xBB\xBFother = 1\n", at(kUnknown, 1, 2)},
      // Beyond kMaxKeyDepth keys, a file gets the answer it would get without the bound: its
      // first error, before the deep key or on its path.
      {"[hub]\nmax_line_bytes" + repeat(".x", kDeep - 2) + " = 1\n", at(kWrongType, 2, 1)},
      {"[hub]\nmax_line_bytes" + repeat(".x", kDeep) + " = 1\n", at(kWrongType, 2, 1)},
      {"[apps.gimp" + repeat(" . x", kDeep) + "]\n", at(kUnknown, 1, 14)},
      {"[[apps.gimp" + repeat(".x", kDeep) + "]]\n", at(kUnknown, 1, 13)},
      {"apps = {gimp = [{a" + repeat(".a", kDeep) + " = 1}]}\n", at(kWrongType, 1, 16)},
      {"x = = 1\n" + deep_header, at(kOther, 1, 5)},
      {"[hub]\n[hub]\n" + deep_header, at(kOther, 2, 1)},
      {"other = 1\n" + deep_header, at(kUnknown, 1, 1)},
      {"x = \"C:\\\n[hub]\nmax_line_bytes.x.x = 1\n", at(kOther, 1, 9)},
      // Nested past the parser's own limit before the key gets deep: the parser's answer.
      {"a = [" + repeat("{b = [", 140) + "{c = 1}" + repeat("]}", 140) + "]\n", at(kOther, 1, 773)},
      // What only looks deep, in comments and every kind of string, is no key.
      {"[apps.\"" + repeat("a.", 300) + "\"] # " + deep_header, "ok"},
      {"# " + deep_inline + "\n[apps]\ngimp = {\n  port = 9301, # " + deep_inline +
           "\n  mode = \"cli\",\n}\n",
       "ok"},
      {roots("\"\\\"\\\\" + deep_inline + "\", '" + deep_inline + "'"), "ok"},
      {roots("\"\"\"\n\"" + deep_inline + "\"\\\"\"\"\", '''\n'" + deep_inline + "'''"), "ok"},
      {"apps = {a = {}, b = {mode = \"}\", port = 1}, c = {enabled = true}}\n", "ok"},
      {"x = 1\n\xFF", "the configuration file is not valid UTF-8"},
      {"[[[\n\xC3", "the configuration file is not valid UTF-8"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(test::ok_or_message(parse_config(c.text)), c.expected)
        << testing::PrintToString(c.text);
  }
}

// Full-size files of the shapes the key-depth pass must follow, each parsed on a 1 MiB stack:
// the parser alone would exhaust it on every one; with the pass each ends with one answer.
TEST(ParseConfig, FullSizeDeepShapesEndOnASmallStack) {
  const int n = 200000;
  const std::vector<std::string> shapes = {
      "[a" + repeat(".\"a\"", n) + "]\n",
      "[a" + repeat(".'a'", n) + "]\n",
      "[[a" + repeat(".a", n) + "]]\n",
      "a = {}\nb" + repeat(".b", n) + " = 1\n",
      "a = {s = \"}\", t = '}'}\nb" + repeat(".b", n) + " = 1\n",
      "a = [{x = 1,\n b" + repeat(".b", n) + " = 1}]\n",
  };
  for (const std::string& text : shapes) {
    std::string answer;
    std::function<void()> parse = [&] { answer = test::ok_or_message(parse_config(text)); };
    pthread_attr_t small;
    pthread_attr_init(&small);
    pthread_attr_setstacksize(&small, 1 << 20);
    pthread_t thread;
    ASSERT_EQ(pthread_create(
                  &thread, &small,
                  [](void* work) -> void* {
                    (*static_cast<std::function<void()>*>(work))();
                    return nullptr;
                  },
                  &parse),
              0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&small);
    EXPECT_TRUE(answer.starts_with("the configuration file ")) << text.substr(0, 30);
  }
}

// Code points where the parser asks whether white space may be skipped; under the full
// undefined-behaviour sanitizer these must be answered without reaching unreachable code.
TEST(ParseConfig, NonAsciiWhereWhiteSpaceMayBeSkipped) {
  for (const std::string text :
       {"\xC2\xA1x = 1\n", "\xD2\x99 = 1\n", "[hub]\n\xC3\x80 = 1\n",
        "s = \"\"\"a\\\n\xC2\xA1\"\"\"\n", "s = \"\"\"a\\\n  \xD0\x96 b\"\"\"\n"}) {
    const auto parsed = parse_config(text);
    EXPECT_FALSE(parsed.has_value()) << testing::PrintToString(text);
  }
}

TEST(ParseConfig, MapsEveryField) {
  const auto parsed = parse_config(
      "[hub]\nmax_script_bytes = 1\nmax_output_bytes = 2\nmax_line_bytes = 3\n"
      "default_timeout_s = 4\nmax_timeout_s = -5\n"
      "[security]\nallow_dangerous_scripts = true\naudit_script_text = false\n"
      "extra_write_roots = [\"/a\", \"\"]\n"
      "[apps.libreoffice-calc]\nenabled = true\nmode = \"uno\"\nuno_port = 1\nbridge_port = 2\n"
      "port = 3\n[apps.gimp]\n");
  ASSERT_TRUE(parsed) << message_of(parsed.error());
  ASSERT_TRUE(parsed->hub && parsed->security && parsed->apps);
  EXPECT_EQ(parsed->hub->max_script_bytes, 1);
  EXPECT_EQ(parsed->hub->max_timeout_s, -5);
  EXPECT_EQ(parsed->security->allow_dangerous_scripts, true);
  EXPECT_EQ(parsed->security->extra_write_roots, (std::vector<std::string>{"/a", ""}));
  ASSERT_EQ(parsed->apps->size(), 2u);
  EXPECT_EQ((*parsed->apps)[0].first, "libreoffice-calc");
  EXPECT_EQ((*parsed->apps)[0].second.mode, "uno");
  EXPECT_EQ((*parsed->apps)[0].second.bridge_port, 2);
  EXPECT_EQ((*parsed->apps)[1].first, "gimp");
  EXPECT_FALSE((*parsed->apps)[1].second.enabled);
}

// Many keys must not cost a scan of the text each: a hostile file of this shape once kept the
// launcher busy for minutes. CTest's timeout for the unit tests catches a regression.
TEST(ParseConfig, ManyKeysAreMappedInLinearTime) {
  std::string text = "[apps]\n";
  for (int i = 0; i < 60000; ++i)
    // Appended piece by piece: g++ 12 at -O3 warns (falsely, -Wrestrict) on "a" + to_string(i).
    text.append("a").append(std::to_string(i)).append(" = {}\n");
  text += "[apps.z]\nhost = 1\n";
  EXPECT_EQ(test::ok_or_message(parse_config(text)), at(kUnknown, 60003, 1));
}

TEST(LoadConfig, ReadsThePrivateFileOrNothing) {
  test::TempDir dir;
  const std::string path = dir / "config.toml";
  EXPECT_EQ(test::ok_or_message(load_config(dir.path(), ::geteuid())), "ok");  // missing
  const auto empty = load_config(dir.path(), ::geteuid());
  ASSERT_TRUE(empty);
  EXPECT_FALSE(empty->hub || empty->security || empty->apps);

  struct Case {
    std::string contents;
    unsigned mode;
    std::string expected;
  };
  const std::string at_limit = "#" + std::string(1048574, 'x') + "\n";
  const std::vector<Case> cases = {
      {"", 0600, "ok"},
      {"[hub]\n", 0400, "ok"},
      {"[hub]\n", 0640, "configuration file refused: " + test::wrong_mode(path, 0640, 0600)},
      {at_limit, 0600, "ok"},
      {at_limit + "x", 0600, "configuration file refused: " + test::too_large(path, 1048576)},
  };
  for (const Case& c : cases) {
    test::write_file(path, c.contents, c.mode);
    EXPECT_EQ(test::ok_or_message(load_config(dir.path(), ::geteuid())), c.expected)
        << c.contents.size();
  }
  test::write_file(dir / "real.toml", "");
  ::unlink(path.c_str());
  ASSERT_EQ(::symlink((dir / "real.toml").c_str(), path.c_str()), 0);
  EXPECT_EQ(test::ok_or_message(load_config(dir.path(), ::geteuid())),
            "configuration file refused: refusing to follow a symbolic link: " + path);
}

}  // namespace
}  // namespace qs
