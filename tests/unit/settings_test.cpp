// Loading OrvSetup.ini into the settings record, against real files and an isolated registry.
#include <windows.h>

#include <gtest/gtest.h>

#include <random>

#include "message_box.h"
#include "path_macros.h"
#include "path_utils.h"
#include "registry.h"
#include "registry_names.h"
#include "scratch_registry.h"
#include "setup_settings.h"
#include "test_utils.h"

namespace {
std::vector<std::string> seenCaptions;
int RecordingHandler(const std::string&, const std::string& caption, UINT) {
  seenCaptions.push_back(caption);
  return IDOK;
}

class SettingsTest : public IsolatedTest {
 protected:
  void SetUp() override {
    SetupSettings = TSetupSettings();
    seenCaptions.clear();
    previous_ = SetMessageBoxHandler(RecordingHandler);
  }
  void TearDown() override { SetMessageBoxHandler(previous_); }

  // Writes the configuration and loads it into fresh settings; returns what LoadSetupSettings returned.
  bool Load(const std::string& content) {
    SetupSettings = TSetupSettings();
    SetupSettings.ConfigFileName = folder_.Write("OrvSetup.ini", content);
    return LoadSetupSettings();
  }

  MessageBoxHandler previous_ = nullptr;
};

// Only integers count (decimal, "0x" or "$" hexadecimal, surrounding blanks and quotes dropped by the profile
// reader); anything else leaves the key's default.
TEST_F(SettingsTest, EveryBooleanForm) {
  // The form and its value: 1 on, 0 off, -1 not a number (the default stays).
  const std::pair<const char*, int> forms[] = {
      {"1", 1},           {"0", 0},   {"", -1},         {"true", -1}, {"yes", -1}, {"0x1F", 1},
      {"0X0", 0},         {"$1", 1},  {"$0", 0},        {"-1", 1},    {" 1 ", 1},  {"0x", -1},
      {"2147483648", -1}, {"1a", -1}, {"$FFFFFFFF", 1}, {"00", 0},    {"\"1\"", 1}};
  for (const auto& form : forms) {
    ASSERT_TRUE(Load(std::string("[Application]\r\nCheckDelphi=") + form.first + "\r\nPromptInstallDir=" + form.first +
                     "\r\n"));
    EXPECT_EQ(SetupSettings.CheckDelphi, form.second == 1) << form.first;       // default off
    EXPECT_EQ(SetupSettings.PromptInstallDir, form.second != 0) << form.first;  // default on
  }
}

// Bytes of every value, CR, LF, NUL, "[" and "=" among them; the same on every run.
std::string Garbage(size_t size) {
  std::mt19937 random(20261207);
  std::string bytes;
  for (size_t i = 0; i < size; ++i) bytes += static_cast<char>(random() & 0xFF);
  return bytes;
}

// Whatever the file holds, what can be read is read and the rest takes its defaults.
TEST_F(SettingsTest, MalformedFilesAreReadWithoutHarm) {
  const std::string huge(100000, 'x');
  const struct {
    const char* name;
    std::string content;
    // The title, or where profile readers differ (Wine's trims blanks inside the brackets and skips a UTF-8 byte
    // order mark) the titles that are just as right, between "|".
    std::string appNames, version;
  } cases[] = {
      {"empty file", "", "Application", "1.0"},
      {"binary garbage", Garbage(5000), "Application", "1.0"},
      {"garbage before the section", Garbage(2000) + "\r\n[Application]\r\nAppName=Tool\r\nVersion=2\r\n", "Tool", "2"},
      {"lines of 100000 characters",
       "[Application]\r\nAppName=Tool\r\n" + huge + "=1\r\nVersion=" + huge + "\r\n[" + huge +
           "]\r\n[System_Files]\r\n" + huge + "\r\n[Links]\r\n" + huge + "=" + huge + "\r\n",
       "Tool", std::string(2047, 'x')},
      {"values of 2047 and 2048 characters",
       "[Application]\r\nAppName=" + std::string(2047, 'a') + "\r\nVersion=" + std::string(2048, 'v') + "\r\n",
       std::string(2047, 'a'), std::string(2047, 'v')},
      {"section repeated",
       "[Application]\r\nAppName=Tool\r\n[Links]\r\na=b\r\n[Application]\r\nAppName=Second\r\nVersion=2\r\n", "Tool",
       "1.0"},
      {"section missing", "AppName=Loose\r\n[System_Files]\r\na.dll\r\n", "Application", "1.0"},
      {"header with blanks and another case", " [ APPLICATION ] \r\nAppName=Spaced\r\n", "Application|Spaced", "1.0"},
      {"byte order mark", "\xEF\xBB\xBF[Application]\r\nAppName=Tool\r\n", "Application|Tool", "1.0"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(Load(c.content)) << c.name;
    EXPECT_NE(("|" + c.appNames + "|").find("|" + SetupSettings.AppName + "|"), std::string::npos)
        << c.name << ": " << SetupSettings.AppName.substr(0, 40);
    EXPECT_EQ(SetupSettings.Version, c.version) << c.name;
  }
}

// A version present but empty is not the default, a missing name is; key names match ignoring case, blanks
// dropped; values are cut at 2047 characters. A blank name (which would name the Uninstall key itself) is missing.
// A RunAfterInstall of 1 asks for the setup files' deletion instead.
TEST_F(SettingsTest, TextKeysEmptyMissingAndLimit) {
  ASSERT_TRUE(Load("[application]\r\nversion=\r\nproductname =  Prod  \r\nSubProductName=" + std::string(3000, 'x') +
                   "\r\nRunAfterInstall=demo.exe\r\n"));
  EXPECT_EQ((Texts{SetupSettings.Version, SetupSettings.AppName, SetupSettings.ProductName,
                   SetupSettings.SubProductName, SetupSettings.UnRarDll, SetupSettings.RunAfterInstall}),
            (Texts{"", "Application", "Prod", std::string(2047, 'x'), "UnRar.dll", "demo.exe"}));
  EXPECT_FALSE(SetupSettings.DeleteSetupFiles);

  ASSERT_TRUE(Load("[Application]\r\nAppName=   \r\nRunAfterInstall=1\r\n"));
  EXPECT_EQ(SetupSettings.AppName + "|" + SetupSettings.RunAfterInstall, "Application|1");
  EXPECT_TRUE(SetupSettings.DeleteSetupFiles);
}

TEST_F(SettingsTest, ListSectionsFollowTheLineRules) {
  ASSERT_TRUE(
      Load("[Application]\r\nAppName=X\r\n"
           "[Links]\r\n  Demo = demo.exe  \r\n\r\n;comment=entry\r\n  [Other]  \r\nAfter=1\r\n"
           " [System_Files]\r\nnot.dll\r\n"
           "[help_files]\nA.HLP=Title\rB.chm\n"));
  EXPECT_EQ(SetupSettings.Links.Lines(), (Texts{"Demo = demo.exe", ";comment=entry"}));  // no comment syntax
  EXPECT_TRUE(SetupSettings.SystemFiles.Empty());                               // a header with blanks is not a header
  EXPECT_EQ(SetupSettings.HelpFiles.Lines(), (Texts{"A.HLP=Title", "B.chm"}));  // LF and CR line ends

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

  const std::string current = CurrentFolder();
  SetCurrentDirectoryA(folder_.path().c_str());
  folder_.Write("Here.rar", "x");
  EXPECT_TRUE(Load("[Application]\r\nRarFile=Here.rar\r\n"));
  SetCurrentDirectoryA(current.c_str());
  EXPECT_EQ(SetupSettings.RarFile, "Here.rar");
}

TEST_F(SettingsTest, EditionCodeAndHelpContents) {
  ASSERT_TRUE(Load("[Application]\r\nDelphiVer=C5\r\n"));
  EXPECT_EQ(SetupSettings.HelpContentsFile + SetupSettings.HelpDir, "");  // C++Builder 5 not installed

  std::string root = folder_.path() + "Delphi5";
  folder_.Write("Delphi5\\HELP\\delphi5.cnt", ":Base delphi5.hlp\r\n");
  RegistryKey::Create(HKEY_LOCAL_MACHINE, "Software\\Borland\\Delphi\\5.0").WriteString("RootDir", root);
  ASSERT_TRUE(Load("[Application]\r\nDelphiVer=D5\r\n"));
  EXPECT_EQ((Texts{SetupSettings.HelpContentsFile, SetupSettings.HelpDir}),
            (Texts{root + "\\HELP\\delphi5.cnt", root + "\\HELP\\"}));
}

// No record: DefaultDir with its macros; a record of the same version: its folder, silently. (A record of another
// version, its warning and both answers run end to end in e2e_setup_checks_test.)
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
  ASSERT_TRUE(Load(config));  // 2: same version, its folder, silently
  EXPECT_EQ(SetupSettings.InstallDir, "C:\\Old\\Tool");
  EXPECT_TRUE(seenCaptions.empty());
}

}  // namespace
