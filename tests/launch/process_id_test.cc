#include "launch/process_id.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

TEST(ProcessId, FollowsTheDigitsRule) {
  struct Case {
    std::string text;
    std::optional<std::uint32_t> expected;
  };
  const std::vector<Case> cases = {
      {"1", 1},           {"+12", 12},
      {"007", 7},         {"4294967295", 4294967295u},
      {"4294967296", {}}, {"99999999999999999999", {}},
      {"", {}},           {"+", {}},
      {"-5", {}},         {"++1", {}},
      {"1a", {}},         {" 1", {}},
      {"\xd9\xa1", {}},  // an Arabic-Indic digit is no ASCII digit
  };
  for (const Case& c : cases)
    EXPECT_EQ(parse_process_id(c.text), c.expected) << c.text;
}

}  // namespace
}  // namespace qs
