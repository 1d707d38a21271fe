#include "config/key_depth.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace qs {
namespace {

using test::repeat;

// One row per rule the pass follows: each text lies two keys short of the bound, then crosses
// it (at the key z) or only seems to. Break a rule and its row fails.
TEST(KeyDepth, FollowsTheTextAsTheParserDoes) {
  const std::string near = "[t" + repeat(".t", kMaxKeyDepth - 3) + "]\n";  // two keys short
  struct Case {
    const char* rule;
    std::string text;
    bool deep;               // at the key z
    std::string completion;  // where given: what the text before z is completed with
  };
  const std::vector<Case> cases = {
      {"bare segments", near + "a.b.z = 1\n", true},
      {"quoted segments", near + "\"a\".'b'.z = 1\n", true},
      {"dots in quoted segments", near + "\"a.b.c\" = 1\n", false},
      {"headers", near + "[t]\na.b.c = 1\n", false},
      {"array headers", "[[t" + repeat(".t", kMaxKeyDepth - 1) + ".z]]\n", true},
      {"comments", near + "# a.b.c = 1\n", false},
      {"escapes", near + "a = [\"\\\", {b.c = 1}\"]\n", false},
      {"multi-line basic strings", near + "a = [\"\"\"\n\", {b.c = 1}\n\"\"\"]\n", false},
      {"escapes in them", near + "a = [\"\"\"\\\"\"\", {b.c = 1}\"\"\"]\n", false},
      {"multi-line literal strings", near + "a = ['''\n', {b.c = 1}\n''']\n", false},
      {"inline tables", near + "a = {b.z = 1}\n", true},
      {"inline tables closed", near + "a = {b = {}, c = 1}\nd.e.z = 1\n", true},
      {"commas in them", near + "a = {b = 1, c.z = 1}\n", true},
      {"line feeds in them", near + "a = {\n b.z = 1}\n", true},
      {"arrays", near + "a = [{b.z = 1}]\n", true, "x = 0}]\n"},  // innermost closed first
      {"commas in arrays", near + "a = [{b = 1}, {c.z = 1}]\n", true, "x = 0}]\n"},
      {"arrays closed", near + "a = {b = [1], c.z = 1}\n", true},
      {"empty arrays closed", near + "a = {b = [[]], c.z = 1}\n", true},
  };
  for (const Case& c : cases) {
    const auto deep = first_key_too_deep(c.text);
    EXPECT_EQ(deep.has_value(), c.deep) << c.rule;
    if (deep && c.deep) {
      EXPECT_EQ(deep->key, c.text.find('z')) << c.rule;
      if (!c.completion.empty()) {
        EXPECT_EQ(deep->completion, c.completion) << c.rule;
      }
    }
  }
}

}  // namespace
}  // namespace qs
