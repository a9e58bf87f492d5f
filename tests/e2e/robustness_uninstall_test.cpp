// Robustness end to end: the uninstaller run twice, after the user deleted the installation, on an entry with values
// missing and counters at zero, and both programs deleting themselves from folders with awkward names or while a
// file cannot be deleted.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "robustness_checks.h"
#include "setup_error.h"

namespace {
// The self-deleting batch tries about once a second.
constexpr DWORD kBatchWaitMs = 20000;

// A counter as ExportRegistryTree shows it.
std::string CounterLine(const std::string& path, DWORD count) {
  std::string escaped;
  for (char c : path) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return "\"" + escaped + "\"=dword:" + FormatText("%08lx", static_cast<unsigned long>(count)) + "\n";
}

class UninstallRobustnessTest : public RobustnessTest {
 protected:
  std::string EntryPath(const std::string& appName) const { return std::string(kUninstallKeyPath) + "\\" + appName; }

  // The sample archive installed without questions into the folder (with a trailing backslash) under the name; the
  // setup program and its files are in setupFolder (the test's folder by default).
  void Install(const std::string& appName, const std::string& folder, const std::string& extraKeys = std::string(),
               const std::vector<Answer>& laterAnswers = {}) {
    WriteFile("OrvSetup.ini", "[Application]\r\nAppName=" + appName +
                                  "\r\nProductName=Robust\r\nVersion=1.0\r\nCheckPrevVersion=0\r\n"
                                  "PromptInstallDir=0\r\nDefaultDir=" +
                                  folder + "\r\n" + extraKeys);
    CopyInto(PayloadPath("sample\\Data.rar"), Folder() + "Data.rar");
    std::vector<Answer> script = {WelcomeAnswer(IDOK)};
    script.insert(script.end(), laterAnswers.begin(), laterAnswers.end());
    RunRecord run = RunSetup(script);
    ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
    ASSERT_EQ(run.exitCode, 0u);
    ASSERT_TRUE(FileExists(folder + "uninstall.exe"));
  }

  // Confirms and expects an orderly end: the question alone, exit code 0.
  void Uninstall(const std::string& appName, const std::string& program = std::string()) const {
    RunRecord run = RunUninstaller(appName, {ConfirmRemoval(appName)}, program);
    ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
    EXPECT_EQ(Questions(run).size(), 1u) << FormatRunRecord(run);
    EXPECT_EQ(run.exitCode, 0u);
  }

  // The test's copy of the uninstaller deletes itself when no installation counts it: waits for that and puts it
  // back for the next run.
  void RestoreOwnUninstaller() const {
    EXPECT_TRUE(
        WaitFor([&] { return !FileExists(UninstallPath()) && !FileExists(Folder() + "$delme.bat"); }, kBatchWaitMs));
    const std::string built = AddTrailingBackslash(WindowsPathFromUnix(EnvironmentValue("ORV_BUILD_DIR")));
    CopyInto(built + "uninstall.exe", UninstallPath());
  }

  std::string Outside(const std::string& ownFolder) const {
    return OutsideState({Folder(), ProgramsFolder(), SystemDir()}, AppName(), ownFolder);
  }
};

// The user deleted the installation folder, uninstaller included: the entry's command no longer works, and the
// uninstaller started by hand removes every record. A second run finds nothing and changes nothing.
TEST_F(UninstallRobustnessTest, AfterTheFolderWasDeletedAndRunTwice) {
  const std::string installDir = Folder() + "Gone\\";
  const std::string registryBefore = RegistrySnapshot();
  Install(AppName(), installDir);
  ASSERT_FALSE(HasFatalFailure());
  const std::string outsideBefore = Outside(installDir);
  ASSERT_TRUE(RegistryKeyExists(HKEY_CURRENT_USER, kInstalledFilesKey));
  DeleteFolderTree(installDir);
  ASSERT_FALSE(FolderExists(installDir));

  Uninstall(AppName());
  EXPECT_EQ(StateDifference(registryBefore, RegistrySnapshot()), "");
  RestoreOwnUninstaller();
  EXPECT_EQ(StateDifference(outsideBefore, Outside(installDir)), "");

  Uninstall(AppName());
  EXPECT_EQ(StateDifference(registryBefore, RegistrySnapshot()), "");
  RestoreOwnUninstaller();
  EXPECT_EQ(StateDifference(outsideBefore, Outside(installDir)), "");
}

// An entry with nothing but "Files", naming a file whose counter is already zero, a shared file, a file of this
// installation alone and one that no longer exists: the files this installation alone used go, the rest stay, every
// counter of the entry is settled (a zero one no longer wraps round) and the entry goes.
TEST_F(UninstallRobustnessTest, EntryWithValuesMissingAndCountersAtZero) {
  const std::string zero = WriteFile("Product\\zero.txt", "counter at zero");
  const std::string shared = WriteFile("Product\\shared.txt", "shared");
  const std::string own = WriteFile("Product\\own.txt", "own");
  const std::string gone = Folder() + "Product\\gone.txt";
  WriteRegistryDword(HKEY_CURRENT_USER, kInstalledFilesKey, zero, 0);
  WriteRegistryDword(HKEY_CURRENT_USER, kInstalledFilesKey, shared, 2);
  WriteRegistryDword(HKEY_CURRENT_USER, kInstalledFilesKey, own, 1);
  WriteRegistryDword(HKEY_CURRENT_USER, kInstalledFilesKey, gone, 1);
  WriteRegistryString(HKEY_LOCAL_MACHINE, EntryPath(AppName()), kFilesValue,
                      zero + "\r\n" + shared + "\r\n" + own + "\r\n" + gone + "\r\n");
  const std::string outsideBefore = Outside(Folder() + "Product");

  Uninstall(AppName());
  EXPECT_TRUE(FileExists(zero));
  EXPECT_TRUE(FileExists(shared));
  EXPECT_FALSE(FileExists(own));
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, EntryPath(AppName())));
  EXPECT_EQ(ExportRegistryTree(HKEY_CURRENT_USER, kInstalledFilesKey),
            "[HKEY_CURRENT_USER\\" + std::string(kInstalledFilesKey) + "]\n" + CounterLine(shared, 1));
  RestoreOwnUninstaller();
  EXPECT_EQ(StateDifference(outsideBefore, Outside(Folder() + "Product")), "");

  // The file whose counter was zero is counted afresh by a later installation and removed with it.
  WriteRegistryDword(HKEY_CURRENT_USER, kInstalledFilesKey, zero, 1);
  WriteRegistryString(HKEY_LOCAL_MACHINE, EntryPath(AppName()), kFilesValue, zero + "\r\n" + shared + "\r\n");
  Uninstall(AppName());
  EXPECT_FALSE(FileExists(zero));
  EXPECT_FALSE(FileExists(shared));
  EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, "Software\\Quillmark"));
  RestoreOwnUninstaller();
}

// Folder names that mean something to the command interpreter: the setup program removes its own files and itself,
// and the uninstaller removes the installation, itself and its folders.
TEST_F(UninstallRobustnessTest, SelfDeletionFromFoldersWithAwkwardNames) {
  const std::string awkward = "Odd %PATH% & ^ ! (x) ;,=";
  const std::string setupFolder = Folder() + "Setup " + awkward + "\\";
  const std::string installDir = Folder() + "Apps " + awkward + "\\Product\\";
  const std::string registryBefore = RegistrySnapshot();
  const std::string outsideBefore = Outside(Folder() + "Apps " + awkward);
  ASSERT_TRUE(CreateDirectoryA(setupFolder.c_str(), nullptr));
  for (const char* name : {"orvsetup.exe", "unrar.dll"}) CopyInto(Folder() + name, setupFolder + name);
  CopyInto(PayloadPath("sample\\Data.rar"), setupFolder + "Data.rar");
  WriteFileBytes(setupFolder + "OrvSetup.ini",
                 "[Application]\r\nAppName=" + AppName() +
                     "\r\nVersion=1.0\r\nCheckPrevVersion=0\r\nPromptInstallDir=0\r\nRunAfterInstall=1\r\n"
                     "DefaultDir=" +
                     installDir + "\r\n");

  // RunAfterInstall=1 also asks for the setup files to be removed.
  RunRecord run =
      RunProgram(CommandLine(setupFolder + "orvsetup.exe", {}), setupFolder,
                 {WelcomeAnswer(IDOK), Answer::Press(IDCANCEL).Caption("Welcome!").Text("run 1")}, kRunTimeLimitMs);
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_TRUE(FileExists(installDir + "uninstall.exe"));
  EXPECT_TRUE(WaitFor([&] { return ListFolderTree(setupFolder).empty(); }, kBatchWaitMs))
      << ::testing::PrintToString(ListFolderTree(setupFolder));
  RemoveDirectoryA(setupFolder.c_str());

  const std::string command =
      ReadRegistryString(HKEY_LOCAL_MACHINE, EntryPath(AppName()), kUninstallStringValue).value_or("");
  run = RunProgram(command, Folder(), {ConfirmRemoval(AppName())}, kRunTimeLimitMs);
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_TRUE(WaitFor([&] { return !FolderExists(Folder() + "Apps " + awkward); }, kBatchWaitMs))
      << ::testing::PrintToString(ListFolderTree(installDir));
  EXPECT_EQ(StateDifference(registryBefore, RegistrySnapshot()), "");
  EXPECT_EQ(StateDifference(outsideBefore, Outside(Folder() + "Apps " + awkward)), "");
}

// A product file held open by another program cannot be deleted, and the uninstaller's own file cannot be deleted
// while it is held either: the uninstaller ends at once all the same, the held product file stays with its folder,
// and the uninstaller's file goes as soon as it is released.
TEST_F(UninstallRobustnessTest, FilesThatCannotBeDeletedDoNotHoldTheUninstaller) {
  const std::string installDir = Folder() + "Held\\";
  Install(AppName(), installDir);
  ASSERT_FALSE(HasFatalFailure());
  const std::string readme = installDir + "readme.txt";
  const std::string readmeText = ReadFileBytes(readme);
  ASSERT_FALSE(readmeText.empty());
  const std::string uninstaller = installDir + "uninstall.exe";
  UniqueFile heldReadme(CreateFileA(readme.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  UniqueFile heldProgram(
      CreateFileA(uninstaller.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(heldReadme.valid());
  ASSERT_TRUE(heldProgram.valid());

  const DWORD start = GetTickCount();
  Uninstall(AppName(), uninstaller);
  EXPECT_LT(GetTickCount() - start, 10000u);
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, EntryPath(AppName())));
  EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, "Software\\Quillmark"));
  Sleep(2000);
  EXPECT_TRUE(FileExists(uninstaller));
  heldProgram.reset();
  EXPECT_TRUE(WaitFor([&] { return !FileExists(uninstaller); }, kBatchWaitMs));
  heldReadme.reset();
  EXPECT_EQ(ReadFileBytes(readme), readmeText);
  EXPECT_EQ(ListFolderTree(installDir), std::vector<std::string>{"readme.txt"});
}
}  // namespace
