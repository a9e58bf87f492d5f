// End-to-end: the sample product installed by the real setup program into a fake Delphi 5 and removed by the
// uninstaller started as Windows starts it, from the command line of its Add/Remove Programs entry: shared
// installations, a counter of another type, refusals and an unknown name. (The single round trip is part of the
// sample product's installation test.)
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "e2e_fixture.h"
#include "process_runner.h"
#include "registry.h"

namespace {
const char* kProductName = "Marlin";

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

class UninstallTest : public SetupEndToEndTest {
 protected:
  void SetUp() override {
    SetupEndToEndTest::SetUp();
    if (HasFatalFailure()) return;
    CopyPayload("sample\\Data.rar", Folder() + "Data.rar");

    ide_ = std::make_unique<FakeIde>(MakeFakeDelphi5("Delphi 5"));
    for (const char* name : {"OrvMarlin50.bpl", "orvmarlin.dll"}) RemoveAfterTest(system_ + name);
  }

  std::string ContentsFile() const { return ide_->root() + "HELP\\delphi5.cnt"; }
  std::string ProductKey() const { return std::string(kInstalledProductsKey) + "\\" + kProductName; }

  // The sample product's configuration: no questions but the welcome, the destination folder (with a trailing
  // backslash) as default.
  void WriteConfig(const std::string& appName, const std::string& folder, const std::string& subProducts) const {
    WriteFile("OrvSetup.ini", "[Application]\r\nAppName=" + appName + "\r\nProductName=" + kProductName +
                                  "\r\nSubProductName=" + subProducts +
                                  "\r\nVersion=2.1\r\nDelphiVer=D5\r\nDefaultDir=" + folder +
                                  "\r\nCheckPrevVersion=1\r\nCheckDelphi=0\r\nSuccessMessage=0\r\n"
                                  "PromptInstallDir=0\r\n\r\n"
                                  "[System_Files]\r\norvmarlin.dll\r\n\r\n"
                                  "[Help_Files]\r\norvmarlin.hlp=Marlin Components Help\r\norvmarlin.cnt\r\n\r\n"
                                  "[Packages]\r\nOrvTools50.bpl=Quillmark Marlin Tools\r\n\r\n"
                                  "[Build_Packages]\r\nOrvMarlin50.dpk=Quillmark Marlin Components\r\n\r\n"
                                  "[Links]\r\n" +
                                  LinkName() + "=readme.txt\r\n");
  }

  // Runs the real setup program on the configuration; the installation must end cleanly.
  void Install(const std::string& appName, const std::string& folder, const std::string& subProducts) {
    WriteConfig(appName, folder, subProducts);
    SetupRun run = RunSetup({Welcome(IDOK)});
    ASSERT_TRUE(run.record.Clean()) << FormatRunRecord(run.record);
    ASSERT_EQ(run.record.exitCode, 0u) << FormatRunRecord(run.record);
    ASSERT_TRUE(FileExists(folder + "uninstall.exe")) << FormatRunRecord(run.record);
    // The fake compiler's log is no part of the installation.
    ide_->ClearRuns();
  }

  std::string LinkName() const { return AppName() + " Readme"; }
  std::string LinkFile() const { return ProgramsFolder() + LinkName() + ".lnk"; }

  std::string UninstallString(const std::string& appName) const {
    return ReadRegistryString(HKEY_LOCAL_MACHINE, UninstallEntryPath(appName), kUninstallStringValue).value_or("");
  }

  // Runs the entry's command line as Windows does (no application name), from the folder given.
  RunRecord RunEntry(const std::string& appName, const std::vector<Answer>& script,
                     const std::string& workingFolder) const {
    return RunProgram(UninstallString(appName), workingFolder, script, kRunTimeLimitMs);
  }

  // Confirms, then lets the removal run; the run must end cleanly with exit code 0.
  void Uninstall(const std::string& appName, const std::string& workingFolder) {
    const std::string question = "Are you sure you want to completely remove the " + appName + "?";
    RunRecord record = RunEntry(appName, {ConfirmRemoval(appName)}, workingFolder);
    ASSERT_TRUE(record.Clean()) << FormatRunRecord(record);
    EXPECT_EQ(record.exitCode, 0u) << FormatRunRecord(record);
    std::vector<WindowRecord> boxes = record.WindowsOfKind(WindowKind::MessageBox);
    ASSERT_EQ(boxes.size(), 1u) << FormatRunRecord(record);
    ExpectMessageBox(boxes[0], "Uninstall", question, IconKind::Question, {IDYES, IDNO});
    // The progress dialog is up for a few milliseconds only: the driver may not see it.
    for (const WindowRecord& window : record.WindowsOfKind(WindowKind::Passive))
      EXPECT_EQ(window.caption, "Remove files");
  }

  std::unique_ptr<FakeIde> ide_;
  const std::string system_ = SystemDir();
};

TEST_F(UninstallTest, SharedInstallationKeepsFilesUntilTheLastProductGoes) {
  // The first product's entry as earlier setups wrote it, the path unquoted; the second's as written now.
  const std::string first = AppName();
  const std::string second = AppName() + " Z";
  ResetUninstallEntry(second);
  const std::string root = Folder() + "Shared 100% Tools";
  const std::string installDir = root + "\\Marlin\\";
  const std::string temp = GetTempDir();
  const std::vector<std::string> batchesBefore = BatchFiles(temp);
  Install(first, installDir, "X;Y");
  ASSERT_FALSE(HasFatalFailure());
  Install(second, installDir, "Z");
  ASSERT_FALSE(HasFatalFailure());
  const std::string readme = installDir + "readme.txt";
  const std::string uninstaller = installDir + "uninstall.exe";
  ASSERT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, kInstalledFilesKey, readme), 2u);
  ASSERT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, kInstalledFilesKey, uninstaller), 2u);
  const std::string secondEntry = ExportRegistryTree(HKEY_LOCAL_MACHINE, UninstallEntryPath(second));
  const std::string contentsInstalled = ReadFileBytes(ContentsFile());
  WriteRegistryString(HKEY_LOCAL_MACHINE, UninstallEntryPath(first), kUninstallStringValue,
                      uninstaller + " " + Quoted(first));

  Uninstall(first, Folder());
  ASSERT_FALSE(HasFatalFailure());
  // A batch started by mistake would delete the uninstaller within about a second of its end.
  Sleep(2000);
  for (const std::string& file : {readme, uninstaller, installDir + "units\\orvprod.inc",
                                  ide_->root() + "HELP\\orvmarlin.hlp", system_ + "orvmarlin.dll", LinkFile()})
    EXPECT_TRUE(FileExists(file)) << file;
  EXPECT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, kInstalledFilesKey, readme), 1u);
  EXPECT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, kInstalledFilesKey, uninstaller), 1u);
  EXPECT_TRUE(BatchFiles(installDir).empty());
  EXPECT_EQ(BatchFiles(temp), batchesBefore);
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallEntryPath(first)));
  EXPECT_EQ(ExportRegistryTree(HKEY_LOCAL_MACHINE, UninstallEntryPath(second)), secondEntry);
  std::vector<std::string> recordValues = RegistryKey::Open(HKEY_CURRENT_USER, ProductKey(), KEY_READ).ValueNames();
  std::sort(recordValues.begin(), recordValues.end());
  EXPECT_EQ(recordValues, (std::vector<std::string>{"FolderName", "Version", "Z"}));
  // The help file and the units folder are still the other installation's: their IDE entries stay.
  EXPECT_EQ(ReadFileBytes(ContentsFile()), contentsInstalled);
  EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, kDelphiLibraryKey, "Search Path"),
            installDir + "units;" + kDelphiSearchPath);

  Uninstall(second, Folder());
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_TRUE(WaitFor([&] { return !FileExists(uninstaller); }, kBatchWaitMs));
  EXPECT_TRUE(WaitFor([&] { return BatchFiles(installDir).empty(); }, kBatchWaitMs));
  // Only recorded folders go: the folders were the first installation's and the second one created none, so they
  // stay, empty.
  EXPECT_EQ(ListFolderTree(root), (std::vector<std::string>{"Marlin\\", "Marlin\\bin\\", "Marlin\\demo\\",
                                                            "Marlin\\source\\", "Marlin\\units\\"}));
  for (const std::string& file : {ide_->root() + "HELP\\orvmarlin.hlp", system_ + "orvmarlin.dll", LinkFile()})
    EXPECT_FALSE(FileExists(file)) << file;
  EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, kCompanyKey));
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallEntryPath(second)));
  EXPECT_EQ(ReadFileBytes(ContentsFile()), kDelphiHelpLines);
}

TEST_F(UninstallTest, CounterOfAnotherTypeEndsTheRemovalWithAnError) {
  const std::string installDir = Folder() + "Typed\\";
  Install(AppName(), installDir, "Grid");
  ASSERT_FALSE(HasFatalFailure());
  const std::string readme = installDir + "readme.txt";
  WriteRegistryString(HKEY_CURRENT_USER, kInstalledFilesKey, readme, "1");
  const std::string entryBefore = ExportRegistryTree(HKEY_LOCAL_MACHINE, UninstallEntryPath(AppName()));
  const std::string productBefore = ExportRegistryTree(HKEY_CURRENT_USER, ProductKey());
  const std::string contentsBefore = ReadFileBytes(ContentsFile());
  const std::string temp = GetTempDir();
  const std::vector<std::string> batchesBefore = BatchFiles(temp);

  RunRecord record = RunEntry(AppName(),
                              {Answer::Press(IDYES).Caption("Uninstall").Text("Are you sure"),
                               Answer::Press(IDOK).Caption("Uninstall").Text("Invalid data type")},
                              Folder());
  ASSERT_TRUE(record.Clean()) << FormatRunRecord(record);
  EXPECT_EQ(record.exitCode, 1u);
  std::vector<WindowRecord> boxes = record.WindowsOfKind(WindowKind::MessageBox);
  ASSERT_EQ(boxes.size(), 2u) << FormatRunRecord(record);
  ExpectMessageBox(boxes[1], "Uninstall", "Invalid data type for '" + readme + "'", IconKind::Error, {IDOK});

  // Files before the faulty counter are gone, the others and every later step's data are still there.
  EXPECT_FALSE(FileExists(installDir + "bin\\OrvTools50.bpl"));
  EXPECT_FALSE(FileExists(ide_->root() + "HELP\\orvmarlin.hlp"));
  for (const std::string& file : {readme, installDir + "units\\orvmarlin.pas", installDir + "uninstall.exe"})
    EXPECT_TRUE(FileExists(file)) << file;
  EXPECT_EQ(ExportRegistryTree(HKEY_CURRENT_USER, ProductKey()), productBefore);
  EXPECT_EQ(ExportRegistryTree(HKEY_LOCAL_MACHINE, UninstallEntryPath(AppName())), entryBefore);
  EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, kDelphiLibraryKey, "Search Path"),
            installDir + "units;" + kDelphiSearchPath);
  EXPECT_EQ(ReadFileBytes(ContentsFile()), contentsBefore);
  EXPECT_EQ(BatchFiles(temp), batchesBefore);
  EXPECT_TRUE(BatchFiles(installDir).empty());
}

TEST_F(UninstallTest, RefusalsChangeNothingAndAnUnknownNameOnlyDeletesTheUninstaller) {
  const std::string installDir = Folder() + "Kept Product\\";
  Install(AppName(), installDir, "Grid");
  ASSERT_FALSE(HasFatalFailure());
  const std::string unknown = AppName() + " Unknown";
  ResetUninstallEntry(unknown);
  const std::string registryBefore = RegistrySnapshot();
  const std::vector<std::string> filesBefore = ListFolderTree(Folder());
  const std::string contentsBefore = ReadFileBytes(ContentsFile());

  for (const std::string& commandLine :
       {Quoted(installDir + "uninstall.exe"), Quoted(installDir + "uninstall.exe") + " \"\""}) {
    RunRecord record = RunProgram(commandLine, Folder(), {Answer::Press(IDOK).Caption("Uninstall")}, kRunTimeLimitMs);
    ASSERT_TRUE(record.Clean()) << FormatRunRecord(record);
    ASSERT_EQ(record.windows.size(), 1u) << FormatRunRecord(record);
    ExpectMessageBox(record.windows[0], "Uninstall", kDirectCallText, IconKind::Error, {IDOK});
    EXPECT_EQ(record.exitCode, 0u);
  }
  // An empty pair of quotes before the name is skipped.
  RunRecord declined = RunProgram(Quoted(installDir + "uninstall.exe") + " \"\" " + Quoted(AppName()), Folder(),
                                  {Answer::Press(IDNO).Caption("Uninstall").Text(AppName() + "?")}, kRunTimeLimitMs);
  ASSERT_TRUE(declined.Clean()) << FormatRunRecord(declined);
  EXPECT_EQ(declined.exitCode, 0u);
  const std::string lone = Folder() + "uninstall.exe";
  declined = RunProgram(Quoted(lone) + " " + Quoted(unknown), Folder(),
                        {Answer::Press(IDNO).Caption("Uninstall").Text(unknown)}, kRunTimeLimitMs);
  ASSERT_TRUE(declined.Clean()) << FormatRunRecord(declined);
  EXPECT_EQ(declined.exitCode, 0u);
  EXPECT_EQ(RegistrySnapshot(), registryBefore);
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallEntryPath(unknown)));
  EXPECT_EQ(ListFolderTree(Folder()), filesBefore);
  EXPECT_EQ(ReadFileBytes(ContentsFile()), contentsBefore);

  // A name without an entry reads nothing to remove; the uninstaller that no installation counts deletes itself.
  RunRecord record = RunProgram(Quoted(lone) + " " + Quoted(unknown), Folder(),
                                {Answer::Press(IDYES).Caption("Uninstall").Text(unknown)}, kRunTimeLimitMs);
  ASSERT_TRUE(record.Clean()) << FormatRunRecord(record);
  EXPECT_EQ(record.exitCode, 0u);
  EXPECT_TRUE(WaitFor([&] { return !FileExists(lone); }, kBatchWaitMs));
  EXPECT_TRUE(WaitFor([&] { return BatchFiles(Folder()).empty(); }, kBatchWaitMs));
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallEntryPath(unknown)));
  EXPECT_EQ(RegistrySnapshot(), registryBefore);
  std::vector<std::string> filesAfter = filesBefore;
  filesAfter.erase(std::find(filesAfter.begin(), filesAfter.end(), "uninstall.exe"));
  EXPECT_EQ(ListFolderTree(Folder()), filesAfter);
  EXPECT_EQ(ReadFileBytes(ContentsFile()), contentsBefore);
}
}  // namespace
