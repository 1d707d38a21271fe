#include "config/env_snapshot.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

TEST(EnvSnapshot, CapturesEntriesInOrder) {
  const char* entries[] = {"A=1", "B==2", "NOEQUALS", "=C=3", "A=4", nullptr};
  const EnvSnapshot env = capture_environment(entries);
  const EnvSnapshot expected = {{"A", "1"}, {"B", "=2"}, {"=C", "3"}, {"A", "4"}};
  EXPECT_EQ(env, expected);
  EXPECT_EQ(find_variable(env, "A"), "1");
  EXPECT_EQ(find_variable(env, "Z"), std::nullopt);
}

}  // namespace
}  // namespace qs
