// The setup program's decisions before it installs: the destination as typed and the running IDE.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installation.h"
#include "message_box.h"
#include "path_utils.h"
#include "pre_install_checks.h"
#include "scratch_registry.h"
#include "setup_settings.h"
#include "test_utils.h"

namespace {
TEST(NormalizeInstallFolder, TrimmedUnquotedAbsoluteWithOneBackslash) {
  ScratchFolder folder;
  const std::string saved = CurrentFolder();
  ASSERT_TRUE(SetCurrentDirectoryA(folder.path().c_str()));
  const struct {
    const char* typed;
    std::string folder;
  } cases[] = {
      {"  \" typed//dest\\\\small \"  ", folder.path() + "typed\\dest\\small\\"},
      {"relative\\small", folder.path() + "relative\\small\\"},
      {"C:\\Dest\\", "C:\\Dest\\"},
      {"\"C:\\a\\..\\Dest\"", "C:\\Dest\\"},
      {"  \"  \"  ", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(NormalizeInstallFolder(c.typed), c.folder) << c.typed;
  SetCurrentDirectoryA(saved.c_str());
}

TEST(IsIdeRunning, OnlyAllThreeWindowsTogether) {
  const std::vector<std::vector<const char*>> partial = {
      {"TAlignPalette", "TPropertyInspector"}, {"TPropertyInspector", "TAppBuilder"}, {"TAlignPalette", "TAppBuilder"}};
  for (const auto& classes : partial) {
    FakeIdeWindows windows(classes);
    EXPECT_FALSE(IsIdeRunning()) << classes[0] << " and " << classes[1];
  }
  FakeIdeWindows all({"TAlignPalette", "TPropertyInspector", "TAppBuilder"});
  EXPECT_TRUE(IsIdeRunning());
  // Without CheckDelphi nothing is looked for and nobody is asked.
  MessageBoxHandler previous = SetMessageBoxHandler([](const std::string&, const std::string&, UINT) -> int {
    ADD_FAILURE() << "a box was shown";
    return IDCANCEL;
  });
  SetupSettings = TSetupSettings();
  SetupSettings.CheckDelphi = false;
  EXPECT_TRUE(CheckRunningIde());
  SetMessageBoxHandler(previous);
}
}  // namespace
