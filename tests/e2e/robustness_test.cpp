// Robustness end to end: archives that cannot be extracted whole, and an uninstaller run twice after the user
// deleted the installation. Each run may change nothing outside the product's own files and keys.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "e2e_fixture.h"
#include "rar5_writer.h"
#include "registry.h"
#include "string_list.h"
#include "text_compare.h"

namespace {
// Everything a run could touch outside the product's own files and keys, as text: every other Add/Remove Programs
// entry, the IDE's keys, the files below the test's folder, the Start menu and the system folder except those below
// ownFolder, and the names at the drive's root, where an absolute archive entry would land. The product's own keys
// (its entry, the maker's key) are in EndToEndTest::RegistrySnapshot.
std::string OutsideState(const std::string& testFolder, const std::string& ownEntry, const std::string& ownFolder) {
  std::string state;
  for (const std::string& entry : RegistryKey::Open(HKEY_LOCAL_MACHINE, kUninstallKeyPath, KEY_READ).SubKeyNames())
    if (!SameTextLocale(entry, ownEntry)) state += ExportRegistryTree(HKEY_LOCAL_MACHINE, UninstallEntryPath(entry));
  state += ExportRegistryTree(HKEY_CURRENT_USER, "Software\\Borland");
  state += ExportRegistryTree(HKEY_LOCAL_MACHINE, "Software\\Borland");
  const std::string own = UpperCaseLocale(AddTrailingBackslash(ownFolder));
  for (const std::string& folder : {testFolder, ProgramsFolder(), SystemDir()}) {
    for (const std::string& entry : ListFolderTree(folder)) {
      const std::string path = AddTrailingBackslash(folder) + entry;
      if (UpperCaseLocale(AddTrailingBackslash(path)).compare(0, own.size(), own) != 0) state += path + "\n";
    }
  }
  const std::string drive = ExtractFileDrive(SystemDir()) + "\\";
  WIN32_FIND_DATAA data;
  UniqueFind find(FindFirstFileA((drive + "*").c_str(), &data));
  while (find) {
    state += drive + data.cFileName + "\n";
    if (!FindNextFileA(find.get(), &data)) break;
  }
  return state;
}

// The lines only one of two states has, marked "-" (before only) and "+" (after only); "" when they are equal.
std::string StateDifference(const std::string& before, const std::string& after) {
  StringList beforeLines, afterLines;
  beforeLines.SetText(before);
  afterLines.SetText(after);
  const std::set<std::string> beforeSet(beforeLines.begin(), beforeLines.end());
  const std::set<std::string> afterSet(afterLines.begin(), afterLines.end());
  std::string difference;
  for (const std::string& line : beforeLines)
    if (afterSet.count(line) == 0) difference += "- " + line + "\n";
  for (const std::string& line : afterLines)
    if (beforeSet.count(line) == 0) difference += "+ " + line + "\n";
  return difference;
}

std::string CraftedArchive(const std::string& name) {
  return AddTrailingBackslash(WindowsPathFromUnix(EnvironmentValue("ORV_ROBUSTNESS_ARCHIVES"))) + name;
}

std::string Flipped(std::string bytes, size_t offset) {
  bytes[offset] = static_cast<char>(bytes[offset] ^ 0x55);
  return bytes;
}

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

// Any archive the library cannot extract whole (missing, not an archive, cut short anywhere, a byte changed in a
// header or in the data, encrypted) ends the installation with the "Setup" box and exit code 0: nothing is recorded
// or registered, and nothing outside the destination changes. What was extracted before the damage stays in the
// destination, unrecorded.
TEST_F(RobustnessTest, DamagedArchivesAreReportedAndRecordNothing) {
  const std::string compressed = ReadFileBytes(CraftedArchive("compressed.rar"));
  ASSERT_FALSE(compressed.empty());
  const std::string stored = Rar5Archive(
      {StoredFile("first.txt", std::string(3000, 'a')), StoredFile("docs/second.txt", std::string(3000, 'b'))});
  Rar5Entry badCrc = StoredFile("first.txt", "stored data with the wrong checksum");
  badCrc.corruptDataCrc = true;
  const size_t firstName = stored.find("first.txt");
  const size_t firstData = stored.find(std::string(3000, 'a'));
  // The names the archives hold, and the one the flipped header gives: nothing else may appear in the destination.
  const std::vector<std::string> archiveNames = {"docs\\",    "docs\\first.txt", "docs\\second.txt", "third.txt",
                                                 "first.txt", "fi'st.txt",       "secret.txt"};
  const struct {
    const char* name;
    std::optional<std::string> bytes;  // nullopt: no archive at all
  } variants[] = {
      {"missing", std::nullopt},
      {"text file", std::string("This is not an archive.\r\n")},
      {"empty file", std::string()},
      {"signature only", compressed.substr(0, 8)},
      {"cut in the main header", compressed.substr(0, 12)},
      {"cut in the first file header", compressed.substr(0, 40)},
      {"cut in the middle", compressed.substr(0, compressed.size() / 2)},
      {"cut in the end block", compressed.substr(0, compressed.size() - 3)},
      {"cut before the end block", compressed.substr(0, compressed.size() - 8)},
      {"compressed data flipped", Flipped(compressed, compressed.size() / 2)},
      {"main header flipped", Flipped(stored, 10)},
      {"file header flipped", Flipped(stored, firstName + 2)},
      {"stored data flipped", Flipped(stored, firstData + 100)},
      {"data checksum wrong", Rar5Archive({badCrc})},
      {"data encrypted", ReadFileBytes(CraftedArchive("password.rar"))},
      {"headers encrypted", ReadFileBytes(CraftedArchive("headers.rar"))},
  };
  const std::string destination = Folder() + "Dest\\";
  WriteConfiguration(destination);
  for (const auto& variant : variants) {
    SCOPED_TRACE(variant.name);
    DeleteFileA((Folder() + "Data.rar").c_str());
    if (variant.bytes) WriteFileBytes(Folder() + "Data.rar", *variant.bytes);
    const std::string registryBefore = RegistrySnapshot();
    const std::string outsideBefore = OutsideState(Folder(), AppName(), destination);

    SetupRun run = RunSetup({Welcome(IDOK), Answer::Press(IDOK).Caption("Setup")});
    ASSERT_TRUE(run.record.Clean()) << FormatRunRecord(run.record);
    ASSERT_EQ(run.Questions().size(), 2u) << FormatRunRecord(run.record);
    ExpectMessageBox(run.Questions()[1], "Setup", kInstallFailedText, IconKind::Warning, {IDOK});
    EXPECT_EQ(run.record.exitCode, 0u);
    EXPECT_EQ(StateDifference(registryBefore, RegistrySnapshot()), "");
    EXPECT_EQ(StateDifference(outsideBefore, OutsideState(Folder(), AppName(), destination)), "");
    for (const std::string& entry : ListFolderTree(destination))
      EXPECT_NE(std::find(archiveNames.begin(), archiveNames.end(), entry), archiveNames.end()) << entry;
    DeleteFolderTree(destination);
  }
}

// The user deleted the installation folder, uninstaller included: the entry's command no longer works, and the
// uninstaller started by hand removes every record. A second run finds nothing and changes nothing.
TEST_F(RobustnessTest, UninstallerAfterTheFolderWasDeletedAndRunTwice) {
  const std::string installDir = Folder() + "Gone\\";
  const std::string registryBefore = RegistrySnapshot();
  CopyPayload("sample\\Data.rar", Folder() + "Data.rar");
  WriteConfiguration(installDir);
  SetupRun run = RunSetup({Welcome(IDOK)});
  ASSERT_TRUE(run.record.Clean()) << FormatRunRecord(run.record);
  ASSERT_TRUE(RegistryKeyExists(HKEY_CURRENT_USER, kInstalledFilesKey));
  const std::string outsideBefore = OutsideState(Folder(), AppName(), installDir);
  DeleteFolderTree(installDir);
  ASSERT_FALSE(FolderExists(installDir));

  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE(round);
    RunRecord record = Run(CommandLine(UninstallPath(), {AppName()}), {ConfirmRemoval(AppName())});
    ASSERT_TRUE(record.Clean()) << FormatRunRecord(record);
    EXPECT_EQ(record.WindowsOfKind(WindowKind::MessageBox).size(), 1u) << FormatRunRecord(record);
    EXPECT_EQ(record.exitCode, 0u);
    EXPECT_EQ(StateDifference(registryBefore, RegistrySnapshot()), "");
    RestoreOwnUninstaller();
    EXPECT_EQ(StateDifference(outsideBefore, OutsideState(Folder(), AppName(), installDir)), "");
  }
}
}  // namespace
