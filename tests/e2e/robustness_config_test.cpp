// Robustness end to end: the setup program given configuration files that are empty, binary, with huge lines,
// values at the reader's limit, sections repeated or missing, an unknown edition and every form of a Boolean.
#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "robustness_checks.h"
#include "setup_error.h"

namespace {
const char* kWelcomeText =
    "This program will install %s onto your computer.\r\nPress the OK button to start the installation.\r\n"
    "You can press the Cancel button if you do not want to install this software.";

std::string Welcome(const std::string& title) { return FormatText(kWelcomeText, title.c_str()); }

// Bytes of every value, CR, LF, NUL, "[" and "=" among them; the same on every run.
std::string Garbage(size_t size) {
  std::mt19937 random(20261207);
  std::string bytes;
  for (size_t i = 0; i < size; ++i) bytes += static_cast<char>(random() & 0xFF);
  return bytes;
}

class ConfigRobustnessTest : public RobustnessTest {
 protected:
  void SetUp() override {
    RobustnessTest::SetUp();
    CopyInto(PayloadPath("sample\\Data.rar"), Folder() + "Data.rar");
    installDir_ = Folder() + "Dest\\";
  }

  std::string EntryPath() const { return std::string(kUninstallKeyPath) + "\\" + AppName(); }
  std::string Outside() const {
    return OutsideState({Folder(), ProgramsFolder(), SystemDir()}, AppName(), installDir_);
  }

  std::string installDir_;
};

// Whatever the file holds, the setup program reads what it can, greets with the title it found and, refused,
// ends with exit code 0 having written nothing.
TEST_F(ConfigRobustnessTest, MalformedFilesAreReadWithoutHarm) {
  const std::string longValue(100000, 'x');
  const std::string name2047(2047, 'a');
  struct Case {
    const char* name;
    std::string content;
    std::string title;
    // Where profile readers differ (Wine's trims blanks inside the brackets and skips a UTF-8 byte order mark),
    // the other title that is just as right.
    std::string otherTitle = std::string();
  };
  const std::vector<Case> cases = {
      {"empty file", "", "Application Version 1.0"},
      {"binary garbage", Garbage(5000), "Application Version 1.0"},
      {"garbage before the section", Garbage(2000) + "\r\n[Application]\r\nAppName=" + AppName() + "\r\nVersion=2\r\n",
       AppName() + " Version 2"},
      {"lines of 100000 characters",
       "[Application]\r\nAppName=" + AppName() + "\r\n" + longValue + "=1\r\nVersion=" + longValue + "\r\n[" +
           longValue + "]\r\n[System_Files]\r\n" + longValue + "\r\n[Links]\r\n" + longValue + "=" + longValue + "\r\n",
       AppName() + " Version " + std::string(2047, 'x')},
      {"values of 2047 and 2048 characters",
       "[Application]\r\nAppName=" + name2047 + "\r\nVersion=" + std::string(2048, 'v') + "\r\n",
       name2047 + " Version " + std::string(2047, 'v')},
      {"section repeated",
       "[Application]\r\nAppName=" + AppName() +
           "\r\n[System_Files]\r\na.dll\r\n[Application]\r\nAppName=Second\r\n"
           "Version=2\r\n[System_Files]\r\nb.dll\r\n",
       AppName() + " Version 1.0"},
      {"section missing", "AppName=Loose\r\n[System_Files]\r\na.dll\r\n", "Application Version 1.0"},
      {"header with blanks and another case", " [ APPLICATION ] \r\nAppName=Spaced\r\n", "Application Version 1.0",
       "Spaced Version 1.0"},
      {"byte order mark", "\xEF\xBB\xBF[Application]\r\nAppName=" + AppName() + "\r\nVersion=3\r\n",
       "Application Version 1.0", AppName() + " Version 3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile("OrvSetup.ini", c.content);
    const std::string registryBefore = RegistrySnapshot();
    const std::string outsideBefore = Outside();
    RunRecord run = RunSetup({WelcomeAnswer(IDCANCEL)});
    ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
    ASSERT_EQ(Questions(run).size(), 1u) << FormatRunRecord(run);
    const std::string title =
        !c.otherTitle.empty() && Questions(run)[0].text == Welcome(c.otherTitle) ? c.otherTitle : c.title;
    ExpectMessageBox(Questions(run)[0], "Welcome!", Welcome(title), IconKind::Information, {IDOK, IDCANCEL});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(StateDifference(registryBefore, RegistrySnapshot()), "");
    EXPECT_EQ(StateDifference(outsideBefore, Outside()), "");
  }

  // No file at all: the error names it, nothing else is shown.
  ASSERT_TRUE(DeleteFileA((Folder() + "OrvSetup.ini").c_str()));
  RunRecord run = RunSetup(WithFailureBoxes({}));
  ExpectSetupError(run, "Cannot open file " + Folder() + "OrvSetup.ini");
  EXPECT_EQ(Questions(run).size(), 2u);
}

// An unknown edition code installs for Delphi 5, and list sections with huge or repeated lines install what they
// can: the first [System_Files] section alone counts, a name of 100000 characters matches nothing.
TEST_F(ConfigRobustnessTest, UnknownEditionAndHugeListLinesInstall) {
  RemoveAfterTest(SystemDir() + "orvmarlin.dll");
  RemoveAfterTest(SystemDir() + "OrvTools50.bpl");
  const std::string longName(100000, 'n');
  WriteFile("OrvSetup.ini", "[Application]\r\nAppName=" + AppName() +
                                "\r\nDelphiVer= d7 \r\nCheckPrevVersion=0\r\nPromptInstallDir=0\r\nDefaultDir=" +
                                installDir_ + "\r\n[System_Files]\r\n" + longName + "\r\norvmarlin.dll\r\n" +
                                "[System_Files]\r\nOrvTools50.bpl\r\n[Links]\r\n" + longName + "=readme.txt\r\n" +
                                "[Packages]\r\n" + longName + "=" + longName + "\r\n");
  const std::string outsideBefore = Outside();
  RunRecord run = RunSetup({WelcomeAnswer(IDOK)});
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  EXPECT_EQ(Questions(run).size(), 1u) << FormatRunRecord(run);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, EntryPath(), kDelphiVerValue), "D5");
  EXPECT_TRUE(FileExists(installDir_ + "readme.txt"));
  EXPECT_TRUE(FileExists(installDir_ + "bin\\OrvTools50.bpl"));
  EXPECT_FALSE(FileExists(installDir_ + "bin\\orvmarlin.dll"));
  // The system file is the one change outside the destination.
  EXPECT_EQ(StateDifference(outsideBefore, Outside()), "+ " + SystemDir() + "orvmarlin.dll\n");
}

// Every form a Boolean key may take, seen through the windows the three switches show: the previous-version
// warning (CheckPrevVersion, with an entry present), the destination dialog (PromptInstallDir) and the closing box
// (SuccessMessage). Only integers count; anything else leaves the default (on, on, off).
TEST_F(ConfigRobustnessTest, EveryBooleanForm) {
  struct Form {
    const char* text;
    bool on;  // the value when the default does not apply
    bool valid;
  };
  const std::vector<Form> forms = {
      {"1", true, true},         {"0", false, true},  {"", false, false},           {"true", false, false},
      {"yes", false, false},     {"0x1", true, true}, {"0X0", false, true},         {"$1", true, true},
      {"-1", true, true},        {" 1 ", true, true}, {"2147483648", false, false}, {"1a", false, false},
      {"$FFFFFFFF", true, true}, {"00", false, true}, {"\"1\"", true, true},
  };
  for (size_t first = 0; first < forms.size(); first += 3) {
    const Form& previous = forms[first];
    const Form& prompt = forms[first + 1];
    const Form& success = forms[first + 2];
    SCOPED_TRACE(std::string("CheckPrevVersion=") + previous.text + " PromptInstallDir=" + prompt.text +
                 " SuccessMessage=" + success.text);
    const bool previousOn = previous.valid ? previous.on : true;
    const bool promptOn = prompt.valid ? prompt.on : true;
    const bool successOn = success.valid ? success.on : false;
    WriteFile("OrvSetup.ini", "[Application]\r\nAppName=" + AppName() + "\r\nCheckPrevVersion=" + previous.text +
                                  "\r\nPromptInstallDir=" + prompt.text + "\r\nSuccessMessage=" + success.text +
                                  "\r\nDefaultDir=" + installDir_ + "\r\n");
    WriteRegistryString(HKEY_LOCAL_MACHINE, EntryPath(), kDisplayNameValue, AppName());

    std::vector<Answer> script = {WelcomeAnswer(IDOK)};
    std::vector<std::string> captions = {"Welcome!"};
    if (previousOn) {
      script.push_back(Answer::Press(IDOK).Caption("Installation Error"));
      captions.push_back("Installation Error");
    }
    if (promptOn) {
      script.push_back(DestinationAnswer(IDOK, installDir_));
      captions.push_back(kDestinationCaption);
    }
    if (successOn) {
      script.push_back(Answer::Press(IDOK).Caption("Setup").Text("Installation completed."));
      captions.push_back("Setup");
    }
    RunRecord run = RunSetup(script);
    ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
    std::vector<std::string> seen;
    for (const WindowRecord& window : Questions(run)) seen.push_back(window.caption);
    EXPECT_EQ(seen, captions);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(FileExists(installDir_ + "uninstall.exe"));
  }
}
}  // namespace
