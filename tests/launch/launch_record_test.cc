#include "launch/launch_record.h"

#include <gtest/gtest.h>

#include "support/refusals.h"

#include "launch/launch_directory.h"
#include "support/temp_dir.h"

namespace qs {
namespace {

class LaunchRecordFile : public testing::Test {
 protected:
  test::TempDir dir;
  std::string path = dir / "libreoffice.pids";

  std::string read(const std::string& contents, unsigned mode = 0600) {
    test::write_file(path, contents, mode);
    return describe(test::read_record(path));
  }
  static std::string describe(const std::expected<std::optional<LaunchRecord>, LauncherError>& r) {
    if (!r) return message_of(r.error());
    if (!*r) return "none";
    std::string text = "soffice=" + ((*r)->soffice_pid ? std::to_string(*(*r)->soffice_pid) : "-");
    if ((*r)->bridge) {
      text += " bridge=" + std::to_string((*r)->bridge->bridge_pid) + "[" +
              (*r)->bridge->bridge_file + "]";
    }
    return text;
  }
};

TEST_F(LaunchRecordFile, ReadsEveryAcceptedForm) {
  struct Case {
    std::string contents;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"", "soffice=-"},
      {"soffice 12\nbridge 13 /srv/a b/uno_bridge.py\n",
       "soffice=12 bridge=13[/srv/a b/uno_bridge.py]"},
      {"soffice 12\r\nbridge 13 /x.py\r\n", "soffice=12 bridge=13[/x.py]"},
      {"soffice 12\nbridge 13 /x.py", "soffice=12 bridge=13[/x.py]"},
      {"bridge 13 /x.py\nsoffice 12\n", "soffice=12 bridge=13[/x.py]"},
      {"soffice 1\nsoffice 2\n", "soffice=2"},
      {"soffice +7\n", "soffice=7"},
      {"soffice 0\n", "soffice=0"},
      {"soffice 4294967295\n", "soffice=4294967295"},
      {"bridge 13 / \n", "soffice=- bridge=13[/ ]"},
      {"bridge 13 /a\rb\n", "soffice=- bridge=13[/a\rb]"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(read(c.contents), c.expected) << testing::PrintToString(c.contents);
}

TEST_F(LaunchRecordFile, RefusesEveryMalformedForm) {
  const std::string bad = message_of(LauncherError{LauncherError::BadRecord{path}});
  using namespace std::string_literals;
  const std::vector<std::string> malformed = {"soffice 12\n\n",
                                              "\n",
                                              "bridge 13 uno_bridge.py\n",
                                              "bridge 13\n",
                                              "bridge /x\n",
                                              "bridge 13 \n",
                                              "bridge  13 /x\n",
                                              "soffice -5\n",
                                              "soffice 4294967296\n",
                                              "SOFFICE 12\n",
                                              " soffice 12\n",
                                              "soffice\n",
                                              "soffice \n",
                                              "soffice +\n",
                                              "soffice 12 \n",
                                              "soffice 12\r",
                                              "bridge +  /x\n",
                                              "other 1\n",
                                              "soffice 1\n\xff\n",
                                              "soffice 1\0\n"s};
  for (const std::string& contents : malformed) {
    EXPECT_EQ(read(contents), bad) << testing::PrintToString(contents);
  }
}

TEST_F(LaunchRecordFile, RefusesWhatIsNotPrivateOrTooLarge) {
  EXPECT_EQ(describe(test::read_record(path)), "none");
  EXPECT_EQ(read("soffice 1\n", 0644), test::wrong_mode(path, 0644, 0600));
  const std::string at_limit = "soffice 1\nbridge 2 /" + std::string(4096 - 20, 'x');
  ASSERT_EQ(at_limit.size(), 4096u);
  EXPECT_EQ(read(at_limit), "soffice=1 bridge=2[/" + std::string(4076, 'x') + "]");
  EXPECT_EQ(read(at_limit + "x"), test::too_large(path, 4096));
}

TEST_F(LaunchRecordFile, WritesAndReadsBack) {
  // Plain fields here: g++ 12 warns falsely about optionals inside initializer lists.
  struct Case {
    std::uint32_t soffice_pid;
    std::uint32_t bridge_pid;  // 0: no bridge
    std::string bridge_file;
    std::string text;
  };
  const std::vector<Case> cases = {
      {4242, 4250, "/home/u/bridges/uno_bridge.py",
       "soffice 4242\nbridge 4250 /home/u/bridges/uno_bridge.py\n"},
      {4242, 0, "", "soffice 4242\n"},
      {1, 2, "/a b/c d.py", "soffice 1\nbridge 2 /a b/c d.py\n"},
  };
  for (const Case& c : cases) {
    LaunchRecord record{c.soffice_pid, std::nullopt};
    if (c.bridge_pid != 0) record.bridge = RecordedBridge{c.bridge_pid, c.bridge_file};
    ASSERT_TRUE(test::write_record_at(path, record));
    EXPECT_EQ(test::read_file(path), c.text);
    EXPECT_EQ(test::mode_of(path), 0600u);
    const auto back = test::read_record(path);
    ASSERT_TRUE(back && *back);
    EXPECT_EQ(**back, record);
  }
  ASSERT_TRUE(test::write_record_at(path, {1, RecordedBridge{2, "/a\xff.py"}}));
  EXPECT_EQ(test::read_file(path), "soffice 1\nbridge 2 /a\xEF\xBF\xBD.py\n");
  // A path with a line feed makes a record that reads as malformed.
  ASSERT_TRUE(test::write_record_at(path, {1, RecordedBridge{2, "/a\nb.py"}}));
  EXPECT_FALSE(test::read_record(path).has_value());
  EXPECT_EQ(launch_record_path("/run/user/0/quantelspire-mcp"),
            "/run/user/0/quantelspire-mcp/launch/libreoffice.pids");
}

}  // namespace
}  // namespace qs
