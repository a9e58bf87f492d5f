// Edition codes, the RootDir lookup, path macro expansion and the shared folder helpers.
#include <windows.h>

#include <gtest/gtest.h>

#include "ide_editions.h"
#include "path_macros.h"
#include "path_utils.h"
#include "registry.h"
#include "scratch_registry.h"
#include "test_utils.h"

namespace {
TEST(IdeEditions, CodesAreTrimmedAndFallBackToDelphi5) {
  EXPECT_EQ((std::vector<IdeEdition>{EditionFromCode(" d5 "), EditionFromCode("\tc6\r\n"), EditionFromCode("D7"),
                                     EditionFromCode("Delphi 5"), EditionFromCode("")}),
            (std::vector<IdeEdition>{ieDelphi5, ieCppBuilder6, ieDelphi5, ieDelphi5, ieDelphi5}));
}

using IdeDiscoveryTest = IsolatedTest;

TEST_F(IdeDiscoveryTest, RootDirWithAndWithoutBackslash) {
  EXPECT_EQ(IdeRootDir(ieDelphi5), "");
  EXPECT_EQ(IdeHelpContentsFile(ieDelphi5), "HELP\\delphi5.cnt");
  RegistryKey key = RegistryKey::Create(HKEY_LOCAL_MACHINE, "Software\\Borland\\Delphi\\5.0");
  key.WriteString("RootDir", "C:\\Delphi5");
  EXPECT_EQ(IdeRootDir(ieDelphi5), "C:\\Delphi5\\");
  key.WriteString("RootDir", "C:\\Delphi5\\");
  EXPECT_EQ((Texts{IdeRootDir(ieDelphi5), IdeHelpContentsFile(ieDelphi5), IdeToolsApiDir(ieDelphi5)}),
            (Texts{"C:\\Delphi5\\", "C:\\Delphi5\\HELP\\delphi5.cnt", "C:\\Delphi5\\Source\\ToolsAPI\\"}));

  // An expandable string is returned as stored.
  WriteRawValue(HKEY_LOCAL_MACHINE, "Software\\Borland\\Delphi\\5.0", "RootDir", REG_EXPAND_SZ,
                std::string("%ROOT%\\D5") + '\0');
  EXPECT_EQ(IdeRootDir(ieDelphi5), "%ROOT%\\D5\\");

  key.WriteDword("RootDir", 5);
  EXPECT_EQ(ErrorText([&] { IdeRootDir(ieDelphi5); }), "Invalid data type for 'RootDir'");
}

// Repeated, unknown and unfinished macros; the IDE's follow the registry (relative while it is not installed).
TEST_F(IdeDiscoveryTest, PathMacros) {
  EXPECT_EQ(SystemDir().back(), '\\');
  const auto expand = [](const Texts& texts) {
    Texts expanded;
    for (const std::string& text : texts) expanded.push_back(ExpandPathMacros(text));
    return expanded;
  };
  EXPECT_EQ(expand({"%SYSTEM%%SYSTEM%", "%SYSTEM", "%system%", "%UNKNOWN%\\x", "%D5_HELP%", "%C5_TOOLSAPI%"}),
            (Texts{SystemDir() + SystemDir(), "%SYSTEM", "%system%", "%UNKNOWN%\\x", "HELP\\", "Source\\ToolsAPI\\"}));
  RegistryKey::Create(HKEY_LOCAL_MACHINE, "Software\\Borland\\C++Builder\\5.0").WriteString("RootDir", "C:\\CB5");
  EXPECT_EQ(expand({"%C5_SOURCEVCL%x", "%C5_HELP%\\a"}), (Texts{"C:\\CB5\\Source\\Vcl\\x", "C:\\CB5\\HELP\\a"}));
}

TEST(PathMacros, MonthDayHasNoLeadingZero) {
  EXPECT_EQ((Texts{MonthDayText({2026, 12, 6, 5, 0, 0, 0, 0}), MonthDayText({2027, 1, 6, 23, 0, 0, 0, 0})}),
            (Texts{"Dec5", "Jan23"}));
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

// Pairs of backslashes collapse, the network prefix stays; trailing backslashes, positions and replacing.
TEST(PathHelpers, BackslashesPositionsAndReplacing) {
  EXPECT_EQ((Texts{CollapseDoubleBackslashes("C:\\Program Files\\\\Tools\\"), CollapseDoubleBackslashes("a\\\\\\b"),
                   CollapseDoubleBackslashes("a\\\\\\\\b"), CollapseDoubleBackslashes("\\\\server\\share\\\\x"),
                   AddTrailingBackslash(""), AddTrailingBackslash("C:"), AddTrailingBackslash("C:\\")}),
            (Texts{"C:\\Program Files\\Tools\\", "a\\\\b", "a\\\\b", "\\\\server\\share\\x", "", "C:\\", "C:\\"}));
  EXPECT_EQ((std::vector<size_t>{PosFrom("b", "abcb", 3), PosFrom("", "abc", 1), PosFrom("abcd", "abc", 1),
                                 PosFrom("c", "abc", 4)}),
            (std::vector<size_t>{4, 0, 0, 0}));
  std::string text = "x--y--";
  ReplaceAll(text, "--", "-");
  EXPECT_EQ(text, "x-y-");
}
}  // namespace
