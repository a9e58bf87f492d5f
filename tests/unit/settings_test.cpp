// Loading OrvSetup.ini into the settings record, against real files and an isolated registry.
#include <windows.h>

#include <gtest/gtest.h>

#include "message_box.h"
#include "path_macros.h"
#include "registry.h"
#include "registry_names.h"
#include "scratch_registry.h"
#include "setup_error.h"
#include "setup_settings.h"

namespace {
std::vector<std::string> seenCaptions;
int answer = IDOK;
int RecordingHandler(const std::string&, const std::string& caption, UINT) {
  seenCaptions.push_back(caption);
  return answer;
}

class SettingsTest : public IsolatedTest {
 protected:
  void SetUp() override {
    SetupSettings = TSetupSettings();
    seenCaptions.clear();
    answer = IDOK;
    previous_ = SetMessageBoxHandler(RecordingHandler);
  }
  void TearDown() override { SetMessageBoxHandler(previous_); }

  // Writes the configuration and loads it; returns what LoadSetupSettings returned.
  bool Load(const std::string& content) {
    SetupSettings.ConfigFileName = folder_.Write("OrvSetup.ini", content);
    return LoadSetupSettings();
  }

  MessageBoxHandler previous_ = nullptr;
};

TEST_F(SettingsTest, BooleansAcceptOnlyIntegers) {
  ASSERT_TRUE(
      Load("[Application]\r\nCheckDelphi=true\r\nCheckPrevVersion=\r\nSuccessMessage=0x1F\r\nPromptInstallDir=$0\r\n"));
  EXPECT_FALSE(SetupSettings.CheckDelphi);       // words give the default
  EXPECT_TRUE(SetupSettings.CheckPrevVersion);   // empty gives the default
  EXPECT_TRUE(SetupSettings.SuccessMessage);     // 0x prefix read as hexadecimal
  EXPECT_FALSE(SetupSettings.PromptInstallDir);  // $0 is zero

  SetupSettings = TSetupSettings();
  ASSERT_TRUE(
      Load("[Application]\r\nCheckDelphi=yes\r\nCheckPrevVersion=0\r\nSuccessMessage=-1\r\n"
           "PromptInstallDir=0x\r\n"));
  EXPECT_FALSE(SetupSettings.CheckDelphi);
  EXPECT_FALSE(SetupSettings.CheckPrevVersion);
  EXPECT_TRUE(SetupSettings.SuccessMessage);
  EXPECT_TRUE(SetupSettings.PromptInstallDir);  // "0x" alone is no number: default

  EXPECT_EQ(ParseIniInteger("2147483647").value_or(0), 2147483647L);
  EXPECT_FALSE(ParseIniInteger("2147483648").has_value());
  EXPECT_EQ(ParseIniInteger("$FFFFFFFF").value_or(0), -1L);
  EXPECT_FALSE(ParseIniInteger("$100000000").has_value());
  EXPECT_FALSE(ParseIniInteger("1 2").has_value());
  EXPECT_FALSE(ParseIniInteger("").has_value());
}

TEST_F(SettingsTest, RunAfterInstallDoublesAsDeleteSetupFiles) {
  ASSERT_TRUE(Load("[Application]\r\nRunAfterInstall=demo.exe\r\n"));
  EXPECT_EQ(SetupSettings.RunAfterInstall, "demo.exe");
  EXPECT_FALSE(SetupSettings.DeleteSetupFiles);
  SetupSettings = TSetupSettings();
  ASSERT_TRUE(Load("[Application]\r\nRunAfterInstall=1\r\n"));
  EXPECT_EQ(SetupSettings.RunAfterInstall, "1");
  EXPECT_TRUE(SetupSettings.DeleteSetupFiles);
}

TEST_F(SettingsTest, TextKeysEmptyMissingAndLimit) {
  std::string longValue(3000, 'x');
  ASSERT_TRUE(Load("[application]\r\nversion=\r\nproductname =  Prod  \r\nSubProductName=" + longValue + "\r\n"));
  EXPECT_EQ(SetupSettings.Version, "");             // present but empty: not the default
  EXPECT_EQ(SetupSettings.AppName, "Application");  // missing: the default
  EXPECT_EQ(SetupSettings.ProductName, "Prod");     // names match ignoring case, blanks dropped
  EXPECT_EQ(SetupSettings.SubProductName, std::string(2047, 'x'));
  EXPECT_EQ(SetupSettings.UnRarDll, "UnRar.dll");

  SetupSettings = TSetupSettings();
  ASSERT_TRUE(Load("[Application]\r\nAppName=   \r\n"));
  EXPECT_EQ(SetupSettings.AppName, "Application");  // a blank name would name the Uninstall key itself
  SetupSettings = TSetupSettings();
  ASSERT_TRUE(Load("[Application]\r\nAppName=" + std::string(2047, 'a') + "\r\n"));
  EXPECT_EQ(SetupSettings.AppName.size(), 2047u);
}

TEST_F(SettingsTest, ListSectionsFollowTheLineRules) {
  ASSERT_TRUE(
      Load("[Application]\r\nAppName=X\r\n"
           "[Links]\r\n  Demo = demo.exe  \r\n\r\n;comment=entry\r\n  [Other]  \r\nAfter=1\r\n"
           " [System_Files]\r\nnot.dll\r\n"
           "[help_files]\nA.HLP=Title\rB.chm\n"
           "[Packages]\r\nfirst.bpl=One\r\n[Packages]\r\nsecond.bpl=Two\r\n"));
  ASSERT_EQ(SetupSettings.Links.Count(), 2u);
  EXPECT_EQ(SetupSettings.Links[0], "Demo = demo.exe");
  EXPECT_EQ(SetupSettings.Links[1], ";comment=entry");  // no comment syntax
  EXPECT_TRUE(SetupSettings.SystemFiles.Empty());       // a header with blanks is not a header
  ASSERT_EQ(SetupSettings.HelpFiles.Count(), 2u);       // LF and CR line ends
  EXPECT_EQ(SetupSettings.HelpFiles[1], "B.chm");
  ASSERT_EQ(SetupSettings.Packages.Count(), 1u);  // only the first section of a name counts
  EXPECT_EQ(SetupSettings.Packages[0], "first.bpl=One");

  StringList list;
  list.Add("kept");
  EXPECT_FALSE(ReadIniSection("Missing", {"[Other]", "x"}, list));
  EXPECT_EQ(list.Count(), 1u);
}

TEST_F(SettingsTest, ArchiveFallsBackToTheConfigurationFolder) {
  ASSERT_TRUE(Load("[Application]\r\nRarFile=C:\\x\\Payload.rar\r\nUnRarDll=D:\\lib\\my.dll\r\n"));
  EXPECT_EQ(SetupSettings.UnRarDll, "my.dll");
  // Not in the current folder: taken from the folder of the configuration file name as given.
  EXPECT_EQ(SetupSettings.RarFile, folder_.path() + "Payload.rar");

  char current[MAX_PATH];
  ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, current), 0u);
  SetCurrentDirectoryA(folder_.path().c_str());
  folder_.Write("Here.rar", "x");
  SetupSettings = TSetupSettings();
  SetupSettings.ConfigFileName = folder_.path() + "OrvSetup.ini";
  WriteFileBytes(SetupSettings.ConfigFileName, "[Application]\r\nRarFile=Here.rar\r\n");
  EXPECT_TRUE(LoadSetupSettings());
  SetCurrentDirectoryA(current);
  EXPECT_EQ(SetupSettings.RarFile, "Here.rar");
}

TEST_F(SettingsTest, EditionCodeAndHelpContents) {
  ASSERT_TRUE(Load("[Application]\r\nDelphiVer=  c5 \r\n"));
  EXPECT_EQ(SetupSettings.Edition, ieCppBuilder5);
  EXPECT_EQ(SetupSettings.HelpContentsFile, "");  // C++Builder 5 not installed
  EXPECT_EQ(SetupSettings.HelpDir, "");

  std::string root = folder_.path() + "Delphi5";
  folder_.Write("Delphi5\\HELP\\delphi5.cnt", ":Base delphi5.hlp\r\n");
  RegistryKey::Create(HKEY_LOCAL_MACHINE, "Software\\Borland\\Delphi\\5.0").WriteString("RootDir", root);
  SetupSettings = TSetupSettings();
  ASSERT_TRUE(Load("[Application]\r\nDelphiVer=D7\r\n"));
  EXPECT_EQ(SetupSettings.Edition, ieDelphi5);
  EXPECT_EQ(SetupSettings.HelpContentsFile, root + "\\HELP\\delphi5.cnt");
  EXPECT_EQ(SetupSettings.HelpDir, root + "\\HELP\\");
}

TEST_F(SettingsTest, PreviousInstallationChoosesTheDestination) {
  const std::string config =
      "[Application]\r\nAppName=Tool\r\nProductName=Prod\r\nVersion=2.0\r\n"
      "DefaultDir=%PROGRAMFILES%\\Vendor\\\\Tool\r\n";
  ASSERT_TRUE(Load(config));  // 0: no record, DefaultDir with macros
  EXPECT_EQ(SetupSettings.InstallDir, ProgramFilesDir() + "Vendor\\Tool");
  EXPECT_TRUE(seenCaptions.empty());

  RegistryKey record = RegistryKey::Create(HKEY_CURRENT_USER, std::string(kInstalledProductsKey) + "\\Prod");
  record.WriteString("Version", "2.0");
  record.WriteString("FolderName", "C:\\Old\\Tool");
  SetupSettings = TSetupSettings();
  ASSERT_TRUE(Load(config));  // 2: same version, its folder, silently
  EXPECT_EQ(SetupSettings.InstallDir, "C:\\Old\\Tool");
  EXPECT_TRUE(seenCaptions.empty());

  record.WriteString("Version", "1.0");
  SetupSettings = TSetupSettings();
  ASSERT_TRUE(Load(config));  // 1: warned, OK empties the destination
  EXPECT_EQ(SetupSettings.InstallDir, "");
  ASSERT_EQ(seenCaptions.size(), 1u);
  EXPECT_EQ(seenCaptions[0], "Installation Error");

  answer = IDCANCEL;
  SetupSettings = TSetupSettings();
  EXPECT_FALSE(Load(config));  // Cancel ends the setup

  record.WriteDword("Version", 1);  // a version that is not text cannot be compared
  SetupSettings = TSetupSettings();
  EXPECT_THROW(Load(config), SetupError);
}

TEST_F(SettingsTest, MissingFileFailsWithItsResolvedPath) {
  SetupSettings.ConfigFileName = folder_.path() + "absent.ini";
  try {
    LoadSetupSettings();
    FAIL() << "no error raised";
  } catch (const SetupError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + folder_.path() + "absent.ini");
  }
  EXPECT_EQ(SetupSettings.AppName, "Application");  // the keys took their defaults before
}
}  // namespace
