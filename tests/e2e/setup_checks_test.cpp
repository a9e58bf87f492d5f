// End-to-end: how the setup program starts (no configuration, the welcome), where it stops or warns before it
// installs, how it fails, and how it settles the destination folder and the names it writes.
#include <gtest/gtest.h>

#include <optional>

#include "e2e_fixture.h"
#include "registry.h"

namespace {
// The visible top-level windows of the process that shows the window, other than the window itself.
BOOL CALLBACK AddWindow(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}
int OtherVisibleWindows(HWND window) {
  std::vector<HWND> windows;
  EnumWindows(AddWindow, reinterpret_cast<LPARAM>(&windows));
  DWORD process = 0, other = 0;
  GetWindowThreadProcessId(window, &process);
  int count = 0;
  for (HWND candidate : windows)
    count += candidate != window && GetWindowThreadProcessId(candidate, &other) && other == process &&
             IsWindowVisible(candidate);
  return count;
}

// The text of the destination field (1000) as a recorded dialog showed it.
std::string FieldText(const WindowRecord& dialog) {
  return dialog.Control(1000) ? dialog.Control(1000)->text : "(none)";
}

class SetupChecksTest : public SetupEndToEndTest {
 protected:
  void SetUp() override {
    SetupEndToEndTest::SetUp();
    CopyPayload("small\\Data.rar", Folder() + "Data.rar");
  }

  // The small product under the test's AppName, with further [Application] keys.
  void WriteConfiguration(const std::string& keys) const {
    WriteFile("OrvSetup.ini", "[Application]\r\nAppName=" + AppName() + "\r\nVersion=1.0\r\n" + keys);
  }
};

TEST_F(SetupChecksTest, SetupWithoutConfigurationFileReportsTheFileAndFails) {
  RunRecord run = RunSetup(
      {Answer::Press(IDOK).Caption(expected::kFailureCaption), Answer::Press(IDOK).Caption("Application Error")});
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  ASSERT_EQ(run.windows.size(), 2u) << FormatRunRecord(run);
  ExpectMessageBox(run.windows[0], expected::kFailureCaption, "Installation failed.", IconKind::Warning, {IDOK});
  ExpectMessageBox(run.windows[1], "Application Error", "Cannot open file " + Folder() + "OrvSetup.ini",
                   IconKind::Error, {IDOK});
  EXPECT_EQ(run.exitCode, 1u);
}

// Both warnings of a previous version (a product record of another version while the settings are read, an entry
// of the same name after the welcome) and the running IDE's: refused at any question, the setup ends with exit
// code 0 and leaves no trace. The version is configured empty: the welcome leaves it out of the title.
TEST_F(SetupChecksTest, RefusalAtEveryQuestionLeavesNoTrace) {
  const std::string productKey = std::string(kInstalledProductsKey) + "\\" + AppName();
  WriteRegistryString(HKEY_CURRENT_USER, productKey, kVersionValue, "0.9");
  WriteRegistryString(HKEY_CURRENT_USER, productKey, kFolderNameValue, Folder() + "Old");
  WriteRegistryString(HKEY_LOCAL_MACHINE, UninstallEntryKeyPath(AppName()), kDisplayNameValue, AppName());
  WriteFile("OrvSetup.ini", "[Application]\r\nAppName=" + AppName() + "\r\nVersion=\r\nProductName=" + AppName() +
                                "\r\nCheckDelphi=1\r\nDefaultDir=" + Folder() + "Small\r\n");
  FakeIdeWindows ide({"TAlignPalette", "TPropertyInspector", "TAppBuilder"});
  const std::string before = MachineState();
  const std::vector<Answer> questions = {Answer::Press(IDOK).Caption("Installation Error"), Welcome(IDOK),
                                         Answer::Press(IDOK).Caption("Installation Error"),
                                         Answer::Press(IDOK).Caption("Installation Warning"),
                                         Destination(IDOK, Folder() + "Elsewhere")};
  RunRecord run;
  for (size_t refused = 0; refused < questions.size(); ++refused) {
    SCOPED_TRACE(refused);
    std::vector<Answer> script(questions.begin(), questions.begin() + refused + 1);
    script.back().button = IDCANCEL;
    run = RunSetup(script);
    ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
    ASSERT_EQ(Questions(run).size(), script.size()) << FormatRunRecord(run);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(MachineState(), before);
  }
  // The questions in full, as the last run showed them. The folder of the other version is not proposed.
  ExpectMessageBox(Questions(run)[0], "Installation Error", expected::PreviousVersionText(AppName()), IconKind::Error,
                   {IDOK, IDCANCEL});
  ExpectMessageBox(Questions(run)[1], "Welcome!", expected::WelcomeText(AppName()), IconKind::Information,
                   {IDOK, IDCANCEL});
  ExpectMessageBox(Questions(run)[2], "Installation Error", expected::PreviousVersionText(AppName()), IconKind::Error,
                   {IDOK, IDCANCEL});
  ExpectMessageBox(Questions(run)[3], "Installation Warning", expected::RunningIdeText(AppName()), IconKind::Error,
                   {IDOK, IDCANCEL});
  EXPECT_EQ(FieldText(Questions(run)[4]), "");
}

TEST_F(SetupChecksTest, MissingArchiveIsReportedAndTheSetupFilesGoAllTheSame) {
  // Asked to, it deletes the setup files all the same; the archive it did not find is not touched. (That it records
  // nothing: the unattended failures.)
  WriteConfiguration("RarFile=Missing.rar\r\nRunAfterInstall=1\r\n");
  RunRecord run =
      RunSetup({Welcome(IDOK), Destination(IDOK, Folder() + "Small"), Answer::Press(IDOK).Caption("Setup")});
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  ASSERT_EQ(Questions(run).size(), 3u) << FormatRunRecord(run);
  ExpectMessageBox(Questions(run)[2], "Setup", expected::kInstallFailedText, IconKind::Warning, {IDOK});
  EXPECT_EQ(run.exitCode, 1u);
  WaitFor([&] { return !FileExists(SetupPath()) && !FileExists(Folder() + "$delme.bat"); }, kBatchWaitMs);
  EXPECT_EQ(ListFolderTree(Folder()), Texts{"Data.rar"});
}

// Without a folder to install to, the dialog is shown although the configuration asks not to prompt; a destination
// of blanks and quotes is asked for again, with the dialog gone while the box is up.
TEST_F(SetupChecksTest, EmptyDestinationIsAskedForAgain) {
  WriteConfiguration("PromptInstallDir=0\r\n");
  const std::string before = MachineState();
  int windowsUnderTheBox = -1;
  RunRecord run = RunSetup({Welcome(IDOK), Destination(IDOK, "  \"  \"  "),
                            Answer::Press(IDOK).Caption("Setup").WhileShown(
                                [&](HWND box, const WindowRecord&) { windowsUnderTheBox = OtherVisibleWindows(box); }),
                            Destination(IDCANCEL, "")});
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  ASSERT_EQ(Questions(run).size(), 4u) << FormatRunRecord(run);
  ExpectMessageBox(Questions(run)[2], "Setup", "Please enter the destination directory.", IconKind::Warning, {IDOK});
  EXPECT_EQ(windowsUnderTheBox, 0);
  // The dialog comes back with what was typed.
  EXPECT_EQ((Texts{FieldText(Questions(run)[1]), Questions(run)[3].caption, FieldText(Questions(run)[3])}),
            (Texts{"", "Select Destination Directory", "  \"  \"  "}));
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(MachineState(), before);
}

TEST_F(SetupChecksTest, WithoutStartMenuFolderNoShortcutIsMadeOrRecorded) {
  // The shell finds no Programs folder when its configured location is on a drive that does not exist.
  const std::string shellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
  std::optional<RegistryValue> saved = RegistryKey::Open(HKEY_CURRENT_USER, shellFolders).ReadRaw("Programs");
  ASSERT_TRUE(saved.has_value());
  auto restore = ScopeExit([&] {
    RegSetValueExA(RegistryKey::Open(HKEY_CURRENT_USER, shellFolders).get(), "Programs", 0, saved->type,
                   reinterpret_cast<const BYTE*>(saved->data.data()), static_cast<DWORD>(saved->data.size()));
  });
  WriteRegistryString(HKEY_CURRENT_USER, shellFolders, "Programs", "Q:\\Missing\\Programs");
  ASSERT_EQ(ProgramsFolder(), "");

  WriteConfiguration("PromptInstallDir=0\r\nDefaultDir=" + Folder() + "Small\r\n[Links]\r\nNotes=readme.txt\r\n");
  RunRecord run = RunSetup({Welcome(IDOK)});
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  const std::string installDir = Folder() + "Small\\";
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, UninstallEntryKeyPath(AppName()), kFilesValue),
            installDir + "readme.txt\r\n" + installDir + "tools\\ran.bat\r\n" + installDir + "uninstall.exe\r\n");
  EXPECT_FALSE(FileExists(Folder() + "Notes.lnk"));
  EXPECT_FALSE(FileExists(installDir + "Notes.lnk"));
}
}  // namespace
