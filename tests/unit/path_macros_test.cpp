// Edition codes, the RootDir lookup, path macro expansion and the shared folder helpers.
#include <windows.h>

#include <gtest/gtest.h>

#include "ide_editions.h"
#include "path_macros.h"
#include "path_utils.h"
#include "registry.h"
#include "scratch_registry.h"
#include "setup_error.h"
#include "test_utils.h"

namespace {
TEST(IdeEditions, CodesAreTrimmedAndFallBackToDelphi5) {
  EXPECT_EQ(EditionFromCode(" d5 "), ieDelphi5);
  EXPECT_EQ(EditionFromCode("\tc6\r\n"), ieCppBuilder6);
  EXPECT_EQ(EditionFromCode("D7"), ieDelphi5);
  EXPECT_EQ(EditionFromCode("Delphi 5"), ieDelphi5);
  EXPECT_EQ(EditionFromCode(""), ieDelphi5);
}

using IdeDiscoveryTest = IsolatedTest;

TEST_F(IdeDiscoveryTest, RootDirWithAndWithoutBackslash) {
  EXPECT_EQ(IdeRootDir(ieDelphi5), "");
  EXPECT_EQ(IdeHelpContentsFile(ieDelphi5), "HELP\\delphi5.cnt");
  RegistryKey key = RegistryKey::Create(HKEY_LOCAL_MACHINE, "Software\\Borland\\Delphi\\5.0");
  key.WriteString("RootDir", "C:\\Delphi5");
  EXPECT_EQ(IdeRootDir(ieDelphi5), "C:\\Delphi5\\");
  key.WriteString("RootDir", "C:\\Delphi5\\");
  EXPECT_EQ(IdeRootDir(ieDelphi5), "C:\\Delphi5\\");
  EXPECT_EQ(IdeHelpContentsFile(ieDelphi5), "C:\\Delphi5\\HELP\\delphi5.cnt");
  EXPECT_EQ(IdeToolsApiDir(ieDelphi5), "C:\\Delphi5\\Source\\ToolsAPI\\");

  // An expandable string is returned as stored.
  std::string expandable = "%ROOT%\\D5";
  RegSetValueExA(key.get(), "RootDir", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(expandable.c_str()),
                 static_cast<DWORD>(expandable.size() + 1));
  EXPECT_EQ(IdeRootDir(ieDelphi5), "%ROOT%\\D5\\");

  key.WriteDword("RootDir", 5);
  EXPECT_EQ(ErrorText([&] { IdeRootDir(ieDelphi5); }), "Invalid data type for 'RootDir'");
}
}  // namespace

namespace {
using PathMacrosTest = IsolatedTest;

TEST_F(PathMacrosTest, RepeatedUnknownAndUnfinishedMacros) {
  EXPECT_EQ(SystemDir().back(), '\\');
  EXPECT_EQ(ExpandPathMacros("%SYSTEM%%SYSTEM%"), SystemDir() + SystemDir());
  EXPECT_EQ(ExpandPathMacros("%SYSTEM"), "%SYSTEM");
  EXPECT_EQ(ExpandPathMacros("%system%"), "%system%");
  EXPECT_EQ(ExpandPathMacros("%UNKNOWN%\\x"), "%UNKNOWN%\\x");
}

TEST_F(PathMacrosTest, IdeMacrosFollowTheRegistry) {
  EXPECT_EQ(ExpandPathMacros("%D5_HELP%"), "HELP\\");  // not installed: relative
  EXPECT_EQ(ExpandPathMacros("%C5_TOOLSAPI%"), "Source\\ToolsAPI\\");
  RegistryKey::Create(HKEY_LOCAL_MACHINE, "Software\\Borland\\C++Builder\\5.0").WriteString("RootDir", "C:\\CB5");
  EXPECT_EQ(ExpandPathMacros("%C5_SOURCEVCL%x"), "C:\\CB5\\Source\\Vcl\\x");
  EXPECT_EQ(ExpandPathMacros("%C5_HELP%\\a"), "C:\\CB5\\HELP\\a");
}

TEST_F(PathMacrosTest, MonthDayHasNoLeadingZero) {
  std::string text = MonthDayText();
  SYSTEMTIME today;
  GetLocalTime(&today);
  std::string day = std::to_string(today.wDay);
  ASSERT_GT(text.size(), day.size());
  EXPECT_EQ(text.substr(text.size() - day.size()), day);
  EXPECT_FALSE(text[text.size() - day.size() - 1] >= '0' && text[text.size() - day.size() - 1] <= '9');
}

std::string SelfContaining() { return "[%SELF%]"; }
std::string Later() { return "%LATER%"; }
std::string LaterValue() { return "done"; }

TEST(ReplaceMacros, ReplacementContainingItsOwnMacroTerminates) {
  std::vector<TOrvProcessTemplateInfo> table = {{"%SELF%", SelfContaining}};
  EXPECT_EQ(ReplaceMacros("a%SELF%b%SELF%", table), "a[%SELF%]b[%SELF%]");
  // A replacement holding a later macro is expanded by that later entry.
  std::vector<TOrvProcessTemplateInfo> chain = {{"%FIRST%", Later}, {"%LATER%", LaterValue}};
  EXPECT_EQ(ReplaceMacros("%FIRST%/%FIRST%", chain), "done/done");
}

TEST(CollapseDoubleBackslashes, PairsCollapseNetworkPrefixStays) {
  EXPECT_EQ(CollapseDoubleBackslashes("C:\\Program Files\\\\Tools\\"), "C:\\Program Files\\Tools\\");
  EXPECT_EQ(CollapseDoubleBackslashes("a\\\\\\b"), "a\\\\b");
  EXPECT_EQ(CollapseDoubleBackslashes("a\\\\\\\\b"), "a\\\\b");
  EXPECT_EQ(CollapseDoubleBackslashes("\\\\server\\share\\\\x"), "\\\\server\\share\\x");
}

TEST(PathHelpers, TrailingBackslashPositionsAndReplacing) {
  EXPECT_EQ(AddTrailingBackslash(""), "");
  EXPECT_EQ(AddTrailingBackslash("C:"), "C:\\");
  EXPECT_EQ(AddTrailingBackslash("C:\\"), "C:\\");
  EXPECT_EQ(PosFrom("b", "abcb", 3), 4u);
  EXPECT_EQ(PosFrom("", "abc", 1), 0u);
  EXPECT_EQ(PosFrom("abcd", "abc", 1), 0u);
  EXPECT_EQ(PosFrom("c", "abc", 4), 0u);
  std::string text = "x--y--";
  ReplaceAll(text, "--", "-");
  EXPECT_EQ(text, "x-y-");
}
}  // namespace
