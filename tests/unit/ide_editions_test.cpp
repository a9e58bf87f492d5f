// The edition tables and the RootDir lookup.
#include <gtest/gtest.h>

#include "ide_editions.h"
#include "registry.h"
#include "scratch_registry.h"
#include "test_utils.h"
#include "setup_error.h"

namespace {
TEST(IdeEditions, CodesRoundTripAndFallBack) {
  for (int i = 0; i < kEditionCount; ++i)
    EXPECT_EQ(EditionFromCode(EditionCode(static_cast<IdeEdition>(i))), static_cast<IdeEdition>(i)) << i;
  EXPECT_EQ(EditionFromCode(" d5 "), ieDelphi5);
  EXPECT_EQ(EditionFromCode("\tc6\r\n"), ieCppBuilder6);
  EXPECT_EQ(EditionFromCode("D7"), ieDelphi5);
  EXPECT_EQ(EditionFromCode("Delphi 5"), ieDelphi5);
  EXPECT_EQ(EditionFromCode(""), ieDelphi5);
  EXPECT_EQ(IdeUserKey(ieCppBuilder1), "Software\\Borland\\C++Builder\\1.0\\");
  EXPECT_EQ(IdeUserKey(ieDelphi3), "Software\\Borland\\Delphi\\3.0\\");
  EXPECT_EQ(KnownPackagesKey(ieDelphi2), "");
  EXPECT_EQ(KnownPackagesKey(ieCppBuilder1), "");
  EXPECT_EQ(KnownPackagesKey(ieCppBuilder4), "Software\\Borland\\C++Builder\\4.0\\Known Packages");
  EXPECT_EQ(EditionDisplayName(ieCppBuilder1), "C++ Builder");
  EXPECT_EQ(EditionDisplayName(ieCppBuilder5), "C++ Builder 5");
  EXPECT_TRUE(IsCppBuilderEdition(ieCppBuilder3));
  EXPECT_FALSE(IsCppBuilderEdition(ieDelphi6));
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
