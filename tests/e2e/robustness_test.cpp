// Robustness end to end: an archive that cannot be extracted whole, and an uninstaller run twice after the user
// deleted the installation. Each run may change nothing outside the product's own files and keys.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_fixture.h"
#include "rar5_writer.h"
#include "registry.h"
#include "string_list.h"

namespace {
Rar5Entry StoredFile(const std::string& name, const std::string& data) {
  Rar5Entry entry;
  entry.name = name;
  entry.data = data;
  return entry;
}

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

// An archive cut short in its data (the extraction tests show every kind of damage; the missing archive runs in
// e2e_setup_checks_test) ends the installation with the "Setup" box and exit code 1, and the machine is as it was:
// the file extracted before the cut is gone again.
TEST_F(RobustnessTest, ArchiveCutShortIsReportedAndRecordsNothing) {
  const std::string whole = Rar5Archive(
      {StoredFile("first.txt", std::string(3000, 'a')), StoredFile("docs/second.txt", std::string(3000, 'b'))});
  WriteFileBytes(Folder() + "Data.rar", whole.substr(0, whole.size() - 2000));
  const std::string destination = Folder() + "Dest\\";
  WriteConfiguration(destination);
  const std::string before = MachineState();

  RunRecord run = RunSetup({Welcome(IDOK), Answer::Press(IDOK).Caption("Setup")});
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  ASSERT_EQ(Questions(run).size(), 2u) << FormatRunRecord(run);
  ExpectMessageBox(Questions(run)[1], "Setup", kInstallFailedText, IconKind::Warning, {IDOK});
  EXPECT_EQ(run.exitCode, 1u);  // a failed installation, reported as one
  EXPECT_EQ(StateDifference(before, MachineState()), "");
}

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
