// End-to-end: how the setup program starts (no configuration, the welcome), where it stops or warns before it
// installs, how it fails, and how it settles the destination folder and the names it writes.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "e2e_fixture.h"
#include "registry.h"

namespace {
// Hidden top-level windows of the classes that together mark a running IDE, owned by the test process.
class FakeIdeWindows {
 public:
  explicit FakeIdeWindows(const std::vector<const char*>& classNames) {
    for (const char* className : classNames) {
      WNDCLASSA windowClass = {};
      windowClass.lpfnWndProc = DefWindowProcA;
      windowClass.hInstance = GetModuleHandleA(nullptr);
      windowClass.lpszClassName = className;
      RegisterClassA(&windowClass);
      windows_.emplace_back(CreateWindowExA(0, className, "", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr,
                                            GetModuleHandleA(nullptr), nullptr));
      EXPECT_TRUE(windows_.back().valid()) << "cannot create a window of class " << className;
    }
  }

 private:
  std::vector<UniqueWindow> windows_;
};

struct WindowSearch {
  HWND window;
  DWORD processId;
  int count;
};

BOOL CALLBACK CountOtherVisibleWindow(HWND other, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  DWORD processId = 0;
  GetWindowThreadProcessId(other, &processId);
  if (other != search->window && processId == search->processId && IsWindowVisible(other)) ++search->count;
  return TRUE;
}

// The visible top-level windows of the process that shows the window, other than the window itself.
int OtherVisibleWindows(HWND window) {
  WindowSearch search = {window, 0, 0};
  GetWindowThreadProcessId(window, &search.processId);
  EnumWindows(CountOtherVisibleWindow, reinterpret_cast<LPARAM>(&search));
  return search.count;
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

  // Everything an installation could touch, to compare before and after a run that must leave no trace.
  std::string State() const {
    std::string state = RegistrySnapshot();
    for (const std::string& folder : {Folder(), ProgramsFolder()})
      for (const std::string& entry : ListFolderTree(folder)) state += folder + entry + "\n";
    return state;
  }
};

TEST_F(SetupChecksTest, SetupWithoutConfigurationFileReportsTheFileAndFails) {
  SetupRun run =
      RunSetup({Answer::Press(IDOK).Caption(kFailureCaption), Answer::Press(IDOK).Caption("Application Error")});
  ASSERT_TRUE(run.record.Clean()) << FormatRunRecord(run.record);
  ASSERT_EQ(run.record.windows.size(), 2u) << FormatRunRecord(run.record);
  ExpectMessageBox(run.record.windows[0], kFailureCaption, "Installation failed.", IconKind::Warning, {IDOK});
  ExpectMessageBox(run.record.windows[1], "Application Error", "Cannot open file " + Folder() + "OrvSetup.ini",
                   IconKind::Error, {IDOK});
  EXPECT_EQ(run.record.exitCode, 1u);
}

TEST_F(SetupChecksTest, WelcomeNamesProductAndVersionAndCancelEndsWithoutChanges) {
  for (const std::string version : {"2.5", ""}) {
    WriteFile("OrvSetup.ini", "[Application]\r\nAppName=" + AppName() + "\r\nVersion=" + version + "\r\n");
    const std::string before = State();
    SetupRun run = RunSetup({Welcome(IDCANCEL)});
    ASSERT_TRUE(run.record.Clean()) << FormatRunRecord(run.record);
    ASSERT_EQ(run.record.windows.size(), 1u) << FormatRunRecord(run.record);
    // Configured empty, the version is left out of the title.
    ExpectMessageBox(run.record.windows[0], "Welcome!",
                     WelcomeText(AppName() + (version.empty() ? "" : " Version " + version)), IconKind::Information,
                     {IDOK, IDCANCEL});
    EXPECT_EQ(run.record.exitCode, 0u);
    EXPECT_EQ(State(), before);
  }
}

// Both warnings of a previous version (a product record of another version while the settings are read, an entry
// of the same name after the welcome) and the running IDE's: refused at any question, the setup ends with exit
// code 0 and leaves no trace.
TEST_F(SetupChecksTest, RefusalAtEveryQuestionLeavesNoTrace) {
  const std::string productKey = std::string(kInstalledProductsKey) + "\\" + AppName();
  WriteRegistryString(HKEY_CURRENT_USER, productKey, kVersionValue, "0.9");
  WriteRegistryString(HKEY_CURRENT_USER, productKey, kFolderNameValue, Folder() + "Old");
  WriteRegistryString(HKEY_LOCAL_MACHINE, UninstallEntryPath(AppName()), kDisplayNameValue, AppName());
  WriteConfiguration("ProductName=" + AppName() + "\r\nCheckDelphi=1\r\nDefaultDir=" + Folder() + "Small\r\n");
  FakeIdeWindows ide({"TAlignPalette", "TPropertyInspector", "TAppBuilder"});
  const std::string before = State();
  const std::vector<Answer> questions = {Answer::Press(IDOK).Caption("Installation Error"), Welcome(IDOK),
                                         Answer::Press(IDOK).Caption("Installation Error"),
                                         Answer::Press(IDOK).Caption("Installation Warning"),
                                         Destination(IDOK, Folder() + "Elsewhere")};
  SetupRun run;
  for (size_t refused = 0; refused < questions.size(); ++refused) {
    SCOPED_TRACE(refused);
    std::vector<Answer> script(questions.begin(), questions.begin() + refused + 1);
    script.back().button = IDCANCEL;
    run = RunSetup(script);
    ASSERT_TRUE(run.record.Clean()) << FormatRunRecord(run.record);
    ASSERT_EQ(run.Questions().size(), script.size()) << FormatRunRecord(run.record);
    EXPECT_EQ(run.record.exitCode, 0u);
    EXPECT_TRUE(run.progress.dialogs.empty());
    EXPECT_EQ(State(), before);
  }
  // The questions in full, as the last run showed them. The folder of the other version is not proposed.
  ExpectMessageBox(run.Questions()[0], "Installation Error", PreviousVersionText(AppName()), IconKind::Error,
                   {IDOK, IDCANCEL});
  ExpectMessageBox(run.Questions()[1], "Welcome!", WelcomeText(AppName() + " Version 1.0"), IconKind::Information,
                   {IDOK, IDCANCEL});
  ExpectMessageBox(run.Questions()[2], "Installation Error", PreviousVersionText(AppName()), IconKind::Error,
                   {IDOK, IDCANCEL});
  ExpectMessageBox(run.Questions()[3], "Installation Warning", RunningIdeText(AppName()), IconKind::Error,
                   {IDOK, IDCANCEL});
  ASSERT_NE(run.Questions()[4].Control(1000), nullptr);
  EXPECT_EQ(run.Questions()[4].Control(1000)->text, "");
}

TEST_F(SetupChecksTest, RunningIdeNeedsAllThreeWindows) {
  WriteConfiguration("CheckDelphi=1\r\n");
  for (const std::vector<const char*>& classes : {std::vector<const char*>{"TAlignPalette", "TPropertyInspector"},
                                                  std::vector<const char*>{"TPropertyInspector", "TAppBuilder"},
                                                  std::vector<const char*>{"TAlignPalette", "TAppBuilder"}}) {
    SCOPED_TRACE(std::string(classes[0]) + " and " + classes[1]);
    FakeIdeWindows ide(classes);
    SetupRun run = RunSetup({Welcome(IDOK), Destination(IDCANCEL, "")});
    EXPECT_TRUE(run.record.Clean()) << FormatRunRecord(run.record);
  }
  // Without CheckDelphi nothing is looked for.
  WriteConfiguration("");
  FakeIdeWindows ide({"TAlignPalette", "TPropertyInspector", "TAppBuilder"});
  SetupRun run = RunSetup({Welcome(IDOK), Destination(IDCANCEL, "")});
  EXPECT_TRUE(run.record.Clean()) << FormatRunRecord(run.record);
}

TEST_F(SetupChecksTest, MissingArchiveIsReportedAndRecordsNothing) {
  WriteConfiguration("RarFile=Missing.rar\r\n");
  const std::string before = State();
  SetupRun run = RunSetup({Welcome(IDOK), Destination(IDOK, Folder() + "Small"), Answer::Press(IDOK).Caption("Setup")});
  ASSERT_TRUE(run.record.Clean()) << FormatRunRecord(run.record);
  ASSERT_EQ(run.Questions().size(), 3u) << FormatRunRecord(run.record);
  EXPECT_EQ(run.progress.dialogs, std::vector<std::string>{"Installing files"});
  ExpectMessageBox(run.Questions()[2], "Setup", kInstallFailedText, IconKind::Warning, {IDOK});
  EXPECT_EQ(run.record.exitCode, 0u);
  EXPECT_EQ(State(), before);

  // Asked to, it deletes the setup files all the same; the archive it did not find is not touched.
  WriteConfiguration("RarFile=Missing.rar\r\nRunAfterInstall=1\r\n");
  run = RunSetup({Welcome(IDOK), Destination(IDOK, Folder() + "Small"), Answer::Press(IDOK).Caption("Setup")});
  ASSERT_TRUE(run.record.Clean()) << FormatRunRecord(run.record);
  ASSERT_EQ(run.Questions().size(), 3u) << FormatRunRecord(run.record);
  WaitFor([&] { return !FileExists(SetupPath()) && !FileExists(Folder() + "$delme.bat"); }, kBatchWaitMs);
  EXPECT_EQ(ListFolderTree(Folder()), std::vector<std::string>{"Data.rar"});
}

TEST_F(SetupChecksTest, MissingLibraryEndsWithTheErrorBeforeAnythingIsWritten) {
  WriteConfiguration("");
  ASSERT_TRUE(DeleteFileA((Folder() + "unrar.dll").c_str()));
  const std::string before = State();
  SetupRun run =
      RunSetup({Welcome(IDOK), Destination(IDOK, Folder() + "Small"), Answer::Press(IDOK).Caption(kFailureCaption),
                Answer::Press(IDOK).Caption("Application Error")});
  ASSERT_TRUE(run.record.Clean()) << FormatRunRecord(run.record);
  ASSERT_EQ(run.Questions().size(), 4u) << FormatRunRecord(run.record);
  ExpectMessageBox(run.Questions()[2], kFailureCaption, "Installation failed.", IconKind::Warning, {IDOK});
  ExpectMessageBox(run.Questions()[3], "Application Error", "Can not load unrar.dll", IconKind::Error, {IDOK});
  EXPECT_TRUE(run.progress.dialogs.empty());
  EXPECT_EQ(run.record.exitCode, 1u);
  EXPECT_EQ(State(), before);
}

TEST_F(SetupChecksTest, EmptyDestinationIsAskedForAgain) {
  WriteConfiguration("DefaultDir=" + Folder() + "Small\r\n");
  const std::string before = State();
  int windowsUnderTheBox = -1;
  SetupRun run = RunSetup({Welcome(IDOK), Destination(IDOK, "  \"  \"  "),
                           Answer::Press(IDOK).Caption("Setup").WhileShown(
                               [&](HWND box, const WindowRecord&) { windowsUnderTheBox = OtherVisibleWindows(box); }),
                           Destination(IDCANCEL, "")});
  ASSERT_TRUE(run.record.Clean()) << FormatRunRecord(run.record);
  ASSERT_EQ(run.Questions().size(), 4u) << FormatRunRecord(run.record);
  ExpectMessageBox(run.Questions()[2], "Setup", "Please enter the destination directory.", IconKind::Warning, {IDOK});
  // The dialog is gone while the box is up, and comes back with what was typed.
  EXPECT_EQ(windowsUnderTheBox, 0);
  EXPECT_EQ(run.Questions()[3].caption, "Select Destination Directory");
  ASSERT_NE(run.Questions()[3].Control(1000), nullptr);
  EXPECT_EQ(run.Questions()[3].Control(1000)->text, "  \"  \"  ");
  EXPECT_EQ(run.record.exitCode, 0u);
  EXPECT_EQ(State(), before);
}

TEST_F(SetupChecksTest, TypedDestinationIsTrimmedUnquotedAndMadeAbsolute) {
  // Without a folder to install to, the dialog is shown although the configuration asks not to prompt.
  WriteConfiguration("PromptInstallDir=0\r\n");
  SetupRun run = RunSetup({Welcome(IDOK), Destination(IDOK, "  \" typed//dest\\\\small \"  ")});
  ASSERT_TRUE(run.record.Clean()) << FormatRunRecord(run.record);
  ASSERT_EQ(run.Questions().size(), 2u) << FormatRunRecord(run.record);
  ASSERT_NE(run.Questions()[1].Control(1000), nullptr);
  EXPECT_EQ(run.Questions()[1].Control(1000)->text, "");
  const std::string installDir = Folder() + "typed\\dest\\small\\";
  EXPECT_TRUE(FileExists(installDir + "readme.txt"));
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, UninstallEntryPath(AppName()), kUninstallStringValue),
            "\"" + installDir + "uninstall.exe\" \"" + AppName() + "\"");
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, UninstallEntryPath(AppName()), kInstalledPathsValue),
            installDir + "units");
}

TEST_F(SetupChecksTest, ConfiguredRelativeDestinationIsTakenFromTheCurrentFolder) {
  WriteConfiguration("PromptInstallDir=0\r\nDefaultDir=relative\\small\r\n");
  SetupRun run = RunSetup({Welcome(IDOK)});
  ASSERT_TRUE(run.record.Clean()) << FormatRunRecord(run.record);
  ASSERT_EQ(run.Questions().size(), 1u) << FormatRunRecord(run.record);
  const std::string installDir = Folder() + "relative\\small\\";
  EXPECT_TRUE(FileExists(installDir + "readme.txt"));
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, UninstallEntryPath(AppName()), kFilesValue),
            installDir + "readme.txt\r\n" + installDir + "tools\\ran.bat\r\n" + installDir + "uninstall.exe\r\n");
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
  SetupRun run = RunSetup({Welcome(IDOK)});
  ASSERT_TRUE(run.record.Clean()) << FormatRunRecord(run.record);
  const std::string installDir = Folder() + "Small\\";
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, UninstallEntryPath(AppName()), kFilesValue),
            installDir + "readme.txt\r\n" + installDir + "tools\\ran.bat\r\n" + installDir + "uninstall.exe\r\n");
  EXPECT_FALSE(FileExists(Folder() + "Notes.lnk"));
  EXPECT_FALSE(FileExists(installDir + "Notes.lnk"));
}
}  // namespace
