#include "base/utf8.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

TEST(Utf8, ValidatesAndReplacesMaximalInvalidRuns) {
  struct Case {
    std::string bytes;
    bool valid;
    std::string lossy;
  };
  const std::string fffd = "\xEF\xBF\xBD";
  const std::vector<Case> cases = {
      {"", true, ""},
      {"plain", true, "plain"},
      {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", true, "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
      {"a\xFF"
       "b",
       false, "a" + fffd + "b"},
      {"\xC0\x80", false, fffd + fffd},                        // overlong NUL
      {"\xE0\x80\x80", false, fffd + fffd + fffd},             // overlong, lead rejects second byte
      {"\xED\xA0\x80", false, fffd + fffd + fffd},             // surrogate
      {"\xF4\x90\x80\x80", false, fffd + fffd + fffd + fffd},  // beyond U+10FFFF
      {"\xE2\x82", false, fffd},  // truncated: one replacement for the run
      {"\xF0\x9F\x98"
       "x",
       false, fffd + "x"},
      {"\x80\x80", false, fffd + fffd},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(is_valid_utf8(c.bytes), c.valid) << testing::PrintToString(c.bytes);
    EXPECT_EQ(lossy_utf8(c.bytes), c.lossy) << testing::PrintToString(c.bytes);
  }
}

}  // namespace
}  // namespace qs
