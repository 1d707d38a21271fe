#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <vector>

#include "config/known_apps.h"
#include "support/temp_dir.h"

namespace qs {
namespace {

// A readable summary of a parse, so that one table covers every form.
std::string summary(const LauncherCommand& command) {
  struct Show {
    std::string operator()(const LauncherCommand::Help&) const { return "help"; }
    std::string operator()(const LauncherCommand::Usage&) const { return "usage"; }
    std::string operator()(const LauncherCommand::ManualApp& a) const { return "manual " + a.name; }
    std::string operator()(const LauncherCommand::Launch& l) const {
      return "launch [" + l.bridge_file + "]";
    }
    std::string operator()(const LauncherCommand::Stop&) const { return "stop"; }
  };
  return std::visit(Show{}, command.action);
}

TEST(CommandLine, ParsesEveryForm) {
  struct Case {
    std::vector<std::string> args;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {{}, "usage"},
      {{"-h"}, "help"},
      {{"--help", "extra", "words"}, "help"},
      {{"libreoffice", "--help"}, "help"},
      {{"libreoffice", "-h"}, "usage"},
      {{"gimp"}, "manual gimp"},
      {{"gimp", "--stop", "x"}, "manual gimp"},
      {{"krita"}, "manual krita"},
      {{"blender"}, "manual blender"},
      {{"inkscape"}, "manual inkscape"},
      {{"GIMP"}, "usage"},
      {{"LibreOffice", "--stop"}, "usage"},
      {{"\xff"}, "usage"},
      {{"libreoffice\xc3"}, "usage"},
      {{"other"}, "usage"},
      {{"libreoffice"}, "usage"},
      {{"libreoffice", "--stop"}, "stop"},
      {{"libreoffice", "--stop", "more"}, "usage"},
      {{"libreoffice", "--bridge-file", "/a/b.py"}, "launch [/a/b.py]"},
      {{"libreoffice", "--bridge-file=/a/b.py"}, "launch [/a/b.py]"},
      {{"libreoffice", "--bridge-file"}, "usage"},
      {{"libreoffice", "--bridge-file="}, "usage"},
      {{"libreoffice", "--bridge-file", "/a/b.py", "x"}, "usage"},
      {{"libreoffice", "--bridge-file", ""}, "launch []"},
      {{"libreoffice", "--bridge-file", "--stop"}, "launch [--stop]"},
      {{"libreoffice", "--bridge-file", "/a/\xff\xfe.py"}, "launch [/a/\xff\xfe.py]"},
      {{"libreoffice", "--bridge-file=\x80"}, "launch [\x80]"},
      {{"libreoffice", "--bridge", "/a"}, "usage"},
      {{"libreoffice", "--stop", "--bridge-file"}, "usage"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"quantelspire-launch"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(summary(parse_command_line(args)), c.expected)
        << "arguments: " << testing::PrintToString(c.args);
  }
}

// The bash completion offers the applications of the command line, in the order of the table
// that defines them.
TEST(Completion, OffersTheKnownApplications) {
  const std::string text = test::read_file(QS_COMPLETION_FILE);
  const std::string list = "compgen -W \"";
  const std::size_t start = text.find(list) + list.size();
  ASSERT_GE(start, list.size());
  // Appended piece by piece: g++ 12 at -O3 warns (falsely, -Wrestrict) on "x " + name.
  std::string expected = "libreoffice";
  for (const KnownApp& app : kKnownApps) {
    if (!app.libreoffice) expected.append(" ").append(app.name);
  }
  expected.append(" --help");
  EXPECT_EQ(text.substr(start, text.find('"', start) - start), expected);
}

}  // namespace
}  // namespace qs
