// Robustness end to end: an uninstaller run twice after the user deleted the installation. Each run may change
// nothing outside the product's own files and keys. (A damaged archive end to end: e2e_transaction_test.)
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_fixture.h"
#include "registry.h"

namespace {
class RobustnessTest : public SetupEndToEndTest {
 protected:
  // Installs without questions but the welcome into the folder.
  void WriteConfiguration(const std::string& destination) const {
    WriteFile("OrvSetup.ini",
              "[Application]\r\nAppName=" + AppName() +
                  "\r\nProductName=Robust\r\nVersion=1.0\r\nCheckPrevVersion=0\r\nPromptInstallDir=0\r\n"
                  "DefaultDir=" +
                  destination + "\r\n");
  }
};

// The user deleted the installation folder, uninstaller included: the entry's command no longer works, and the
// uninstaller started by hand removes every record. A second run finds nothing and changes nothing.
TEST_F(RobustnessTest, UninstallerAfterTheFolderWasDeletedAndRunTwice) {
  const std::string installDir = Folder() + "Gone\\";
  const std::string registryBefore = RegistrySnapshot();
  CopyPayload("sample\\Data.rar", Folder() + "Data.rar");
  WriteConfiguration(installDir);
  RunRecord run = RunSetup({Welcome(IDOK)});
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  ASSERT_TRUE(RegistryKey::Open(HKEY_CURRENT_USER, kInstalledFilesKey, KEY_READ).valid());
  DeleteFolderTree(installDir);
  ASSERT_FALSE(FolderExists(installDir));
  const std::string filesBefore = FilesState();

  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE(round);
    RunRecord record = Run(CommandLine(UninstallPath(), {AppName()}), {ConfirmRemoval(AppName())});
    ASSERT_TRUE(record.Clean()) << FormatRunRecord(record);
    EXPECT_EQ(record.WindowsOfKind(WindowKind::MessageBox).size(), 1u) << FormatRunRecord(record);
    EXPECT_EQ(record.exitCode, 0u);
    EXPECT_EQ(StateDifference(registryBefore, RegistrySnapshot()), "");
    RestoreOwnUninstaller();
    EXPECT_EQ(StateDifference(filesBefore, FilesState()), "");
  }
}
}  // namespace
