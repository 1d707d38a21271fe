#include "config/text_position.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

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

}  // namespace
}  // namespace qs
