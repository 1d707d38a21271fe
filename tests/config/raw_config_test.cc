#include "config/raw_config.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "config/text_position.h"
#include "support/temp_dir.h"

namespace qs {
namespace {

std::string outcome(const std::expected<RawConfig, ConfigError>& parsed) {
  return parsed ? "ok" : message_of(parsed.error());
}

std::string at(const char* category, int line, int column) {
  return std::string("the configuration file ") + category + " (line " + std::to_string(line) +
         ", column " + std::to_string(column) + ")";
}
constexpr const char* kUnknown = "has an unknown key or section";
constexpr const char* kWrongType = "has a value of the wrong type";
constexpr const char* kOther = "is not valid TOML or does not match the schema";

std::string repeat(std::string_view piece, int count) {
  std::string text;
  for (int i = 0; i < count; ++i)
    text += piece;
  return text;
}

TEST(ParseConfig, ReportsCategoryAndPosition) {
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
      // Sixteen keys deep get the schema's ordinary answer; the seventeenth key is unknown,
      // wherever it stands: a header, a dotted key, an inline table.
      {"[hub]\nmax_line_bytes" + repeat(".x", 14) + " = 1\n", at(kWrongType, 2, 1)},
      {"[hub]\nmax_line_bytes" + repeat(".x", 15) + " = 1\n", at(kUnknown, 2, 44)},
      {"[a" + repeat(" . a", 16) + "]\n", at(kUnknown, 1, 66)},
      {"[a" + repeat(".a", 14) + "]\nb.c = 1\n", at(kUnknown, 2, 3)},
      {"a = [" + repeat("{b = [", 15) + "{c = 1}" + repeat("]}", 15) + "]\n", at(kUnknown, 1, 97)},
      {"[[a" + repeat(".a", 15) + "]]\n[a" + repeat(".a", 14) + "]\nb = {c = 1}\n",
       at(kUnknown, 3, 6)},
      // Dots inside strings and comments are no keys.
      {"[apps.\"" + repeat("a.", 20) + "\"] # " + repeat("b.", 20) + "\n", "ok"},
      {"[security]\nextra_write_roots = [\"\"\"" + repeat("c.", 20) + "\"\"\"\"]\n", "ok"},
      {"[security]\nextra_write_roots = ['''" + repeat("d.", 20) + "''', '" + repeat("e.", 20) +
           "']\n",
       "ok"},
      {"x = 1\n\xFF", "the configuration file is not valid UTF-8"},
      {"[[[\n\xC3", "the configuration file is not valid UTF-8"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(outcome(parse_config(c.text)), c.expected) << testing::PrintToString(c.text);
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
  EXPECT_EQ(outcome(parse_config(text)), at(kUnknown, 60003, 1));
}

TEST(ParserOffsets, MapsParserPositionsToBytes) {
  const std::string text = "\xEF\xBB\xBF\xC3\xA9x\nab\n";
  const ParserOffsets offsets(text);
  struct Case {
    std::uint32_t line, column;
    std::size_t offset;
  };
  const std::vector<Case> cases = {
      {1, 1, 3},  {1, 2, 5}, {1, 3, 6},  // the mark is skipped, é is two bytes, the line feed
      {1, 4, 10}, {2, 1, 7}, {2, 3, 9}, {3, 1, 10}, {3, 2, 10}, {9, 1, 10},  // beyond: the end
  };
  for (const Case& c : cases) {
    EXPECT_EQ(offsets.offset_of(c.line, c.column), c.offset) << c.line << ":" << c.column;
  }
}

TEST(TextPosition, CountsLineFeedsAndCodePoints) {
  struct Case {
    std::string text;
    std::size_t offset;
    TextPosition expected;
  };
  const std::vector<Case> cases = {
      {"abc", 0, {1, 1}},       {"\xC3\xA9\xC3\xA9x!", 5, {1, 4}},
      {"a\nb\r\nc", 5, {3, 1}}, {"a\nbc", 99, {2, 3}},  // past the end: the end
      {"\xC3\xA9x", 1, {1, 3}},                         // inside a character: the end
      {"", 0, {1, 1}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(position_at(c.text, c.offset), c.expected) << testing::PrintToString(c.text);
  }
}

TEST(LoadConfig, ReadsThePrivateFileOrNothing) {
  test::TempDir dir;
  const std::string path = dir / "config.toml";
  EXPECT_EQ(outcome(load_config(dir.path(), ::geteuid())), "ok");  // missing
  const auto empty = load_config(dir.path(), ::geteuid());
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
      {"[hub]\n", 0640,
       "configuration file refused: " + path + " has mode 0640; expected 0600 (chmod 600)"},
      {at_limit, 0600, "ok"},
      {at_limit + "x", 0600,
       "configuration file refused: " + path + " is larger than 1048576 bytes"},
  };
  for (const Case& c : cases) {
    test::write_file(path, c.contents, c.mode);
    EXPECT_EQ(outcome(load_config(dir.path(), ::geteuid())), c.expected) << c.contents.size();
  }
  test::write_file(dir / "real.toml", "");
  ::unlink(path.c_str());
  ASSERT_EQ(::symlink((dir / "real.toml").c_str(), path.c_str()), 0);
  EXPECT_EQ(outcome(load_config(dir.path(), ::geteuid())),
            "configuration file refused: refusing to follow a symbolic link: " + path);
}

}  // namespace
}  // namespace qs
