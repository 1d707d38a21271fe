#include "files/token_path.h"

#include <gtest/gtest.h>

namespace qs {
namespace {

TEST(TokenPath, SitsBesideTheConfiguration) {
  EXPECT_EQ(token_path("/home/u/.config/quantelspire-mcp"),
            "/home/u/.config/quantelspire-mcp/token");
  EXPECT_EQ(token_path("/c/"), "/c/token");
}

}  // namespace
}  // namespace qs
