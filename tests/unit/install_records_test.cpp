// Install counters, the installed-products record and the Add/Remove Programs entry, against an isolated registry.
#include <windows.h>

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "install_records.h"
#include "registry.h"
#include "registry_names.h"
#include "scratch_registry.h"
#include "setup_error.h"
#include "string_list.h"
#include "test_utils.h"
#include "uninstall_entry.h"

namespace {
using InstallRecordsTest = IsolatedTest;

StringList Lines(const std::string& text) {
  StringList list;
  list.SetText(text);
  return list;
}

DWORD Counter(const std::string& path) {
  return RegistryKey::Open(HKEY_CURRENT_USER, kInstalledFilesKey).ReadDword(path).value_or(0);
}

RegistryKey Record(const std::string& productName) {
  return RegistryKey::Open(HKEY_CURRENT_USER, InstalledProductKeyPath(productName));
}

std::vector<std::string> SortedValueNames(const RegistryKey& key) {
  std::vector<std::string> names = key.ValueNames();
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

// Counters are read only when they may exist: names differing in case, ASCII or not, and lists longer or shorter
// than the key must all end up incremented, never overwritten.
TEST_F(InstallRecordsTest, CountersOfOtherInstallationsAreIncrementedWhateverTheirCase) {
  CountInstalledFiles(Lines("C:\\Prog\\shared.pas\nC:\\PROG\\SHARED.pas"));
  CountInstalledFiles(Lines("c:\\prog\\SHARED.PAS\nC:\\Prog\\\xD6l.pas\nC:\\Prog\\\xF6l.pas\nC:\\Prog\\new.pas"));
  EXPECT_EQ(Counter("C:\\Prog\\shared.pas"), 3u);
  EXPECT_EQ(Counter("C:\\Prog\\\xD6l.pas"), 2u);  // listed twice, "\xD6" and "\xF6"
  EXPECT_EQ(Counter("C:\\Prog\\new.pas"), 1u);
  // Another installation's counter with a non-ASCII name, and a key holding more counters than the list names.
  CountInstalledFiles(Lines("C:\\PROG\\\xF6L.PAS\nC:\\Prog\\a.pas\nC:\\Prog\\b.pas\nC:\\Prog\\c.pas\nC:\\Prog\\d.pas"));
  CountInstalledFiles(Lines("C:\\PROG\\NEW.PAS"));
  EXPECT_EQ(Counter("C:\\Prog\\\xD6l.pas"), 3u);
  EXPECT_EQ(Counter("C:\\Prog\\new.pas"), 2u);
  EXPECT_EQ(RegistryKey::Open(HKEY_CURRENT_USER, kInstalledFilesKey).ValueCount(), 7u);

  // A long list is written by several threads: every counter still gets its own number.
  std::string earlier, many;
  for (int file = 0; file < 300; ++file) {
    const std::string path = "C:\\Prog\\many\\f" + std::to_string(file) + ".pas\n";
    if (file % 3 == 0) earlier += path;
    many += path;
  }
  CountInstalledFiles(Lines(earlier));
  CountInstalledFiles(Lines(many));
  for (int file = 0; file < 300; ++file)
    ASSERT_EQ(Counter("C:\\Prog\\many\\f" + std::to_string(file) + ".pas"), file % 3 == 0 ? 2u : 1u) << file;
}

TEST_F(InstallRecordsTest, CounterOfAnotherTypeOrUnwritableStopsTheCount) {
  RegistryKey::Create(HKEY_CURRENT_USER, kInstalledFilesKey).WriteString("C:\\X\\text.pas", "1");
  EXPECT_EQ(ErrorText([] { CountInstalledFiles(Lines("C:\\X\\first.pas\nC:\\X\\text.pas\nC:\\X\\last.pas")); }),
            "Invalid data type for 'C:\\X\\text.pas'");
  EXPECT_EQ(Counter("C:\\X\\first.pas"), 1u);
  EXPECT_FALSE(RegistryKey::Open(HKEY_CURRENT_USER, kInstalledFilesKey).ValueExists("C:\\X\\last.pas"));

  // A volatile parent refuses the non-volatile counters key: the write reports it.
  DeleteRegistryTree(HKEY_CURRENT_USER, "Software\\Quillmark");
  HKEY volatileKey = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Quillmark", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &volatileKey, nullptr),
            ERROR_SUCCESS);
  RegistryKey owner(volatileKey);
  EXPECT_EQ(ErrorText([] { CountInstalledFiles(Lines("C:\\X\\a.pas")); }), "Failed to set data for 'C:\\X\\a.pas'");
  EXPECT_EQ(ErrorText([] { RecordInstalledProduct("P", "", "1.0", StringList(), "C:\\X\\"); }),
            "Failed to set data for 'Version'");
}

TEST_F(InstallRecordsTest, SecondSetupAddsSubProductsAndRewritesVersionAndFolder) {
  RecordInstalledProduct("Suite", "Core;Extras", "1.0", StringList(), "C:\\Prog\\X\\");
  RecordInstalledProduct("Suite", "Tools", "1.1", StringList(), "C:\\Prog\\Y\\\\");
  RegistryKey record = Record("Suite");
  EXPECT_EQ(SortedValueNames(record), (std::vector<std::string>{"Core", "Extras", "FolderName", "Tools", "Version"}));
  EXPECT_EQ(record.ReadStringOrEmpty(kVersionValue), "1.1");
  EXPECT_EQ(record.ReadStringOrEmpty(kFolderNameValue), "C:\\Prog\\Y\\");  // one backslash removed only
}

TEST_F(InstallRecordsTest, SubProductPiecesAndReservedNames) {
  RecordInstalledProduct("Empty", "", "2.0", StringList(), "C:\\E\\");
  EXPECT_EQ(SortedValueNames(Record("Empty")), (std::vector<std::string>{"FolderName", "Version"}));

  // Untrimmed pieces; the empty middle piece names the default value; a final ";" adds nothing; line breaks split.
  RecordInstalledProduct("Pieces", " A;;B\r\nC;version;FOLDERNAME;", "2.0", StringList(), "C:\\P\\");
  RegistryKey record = Record("Pieces");
  EXPECT_EQ(SortedValueNames(record), (std::vector<std::string>{"", " A", "B", "C", "FolderName", "Version"}));
  EXPECT_EQ(record.ReadStringOrEmpty(kVersionValue), "2.0");
  EXPECT_EQ(record.ReadStringOrEmpty(kFolderNameValue), "C:\\P");

  RecordInstalledProduct("", "Core", "1.0", StringList(), "C:\\X\\");
  EXPECT_FALSE(RegistryKey::Open(HKEY_CURRENT_USER, kInstalledProductsKey).ValueExists("Core"));
  EXPECT_EQ(RegistryKey::Open(HKEY_CURRENT_USER, kInstalledProductsKey).SubKeyCount(), 2u);
}

TEST_F(InstallRecordsTest, RecordingRegeneratesTheIncludeFileOfTheInstalledFiles) {
  std::string include = folder_.Write("Src\\orvprod.inc", "{$DEFINE MARLIN}\r\n{$DEFINE TESSERA}\r\n");
  folder_.Write("Src\\orvtessera.pas", "unit orvtessera;");
  StringList files = Lines(include);

  RecordInstalledProduct("", "", "1.0", files, folder_.path());
  EXPECT_EQ(ReadFileBytes(include), "{$DEFINE MARLIN}\r\n{$DEFINE TESSERA}\r\n");  // no product, no update
  RecordInstalledProduct("Suite", "", "1.0", files, folder_.path());
  EXPECT_EQ(ReadFileBytes(include), "//  {$DEFINE MARLIN}\r\n  {$DEFINE TESSERA}\r\n");
}

TEST_F(InstallRecordsTest, PreviousInstallationBySameOrOtherVersion) {
  std::string folder = "untouched";
  EXPECT_EQ(FindPreviousInstallation("", "1.0", folder), 0);
  EXPECT_EQ(folder, "untouched");
  EXPECT_EQ(FindPreviousInstallation("Suite", "1.0", folder), 0);
  EXPECT_EQ(folder, "");

  RecordInstalledProduct("Suite", "Core", "1.0b", StringList(), "C:\\Prog\\X\\");
  EXPECT_EQ(FindPreviousInstallation("Suite", "1.0B", folder), 2);
  EXPECT_EQ(folder, "C:\\Prog\\X");
  EXPECT_EQ(FindPreviousInstallation("Suite", "1.1", folder), 1);
  EXPECT_EQ(folder, "");
  RecordInstalledProduct("Accents", "", "\xE9t\xE9", StringList(), "C:\\A\\");
  EXPECT_EQ(FindPreviousInstallation("Accents", "\xC9T\xC9", folder), 1);  // only ASCII letters fold

  RegistryKey unversioned = RegistryKey::Create(HKEY_CURRENT_USER, InstalledProductKeyPath("Bare"));
  unversioned.WriteString("Core", "");
  EXPECT_EQ(FindPreviousInstallation("Bare", "", folder), 2);
  EXPECT_EQ(folder, "");
  unversioned.WriteDword(kVersionValue, 1);
  EXPECT_EQ(ErrorText([&] { FindPreviousInstallation("Bare", "", folder); }), "Invalid data type for 'Version'");
}

namespace {
using UninstallEntryTest = IsolatedTest;

RegistryKey Entry(const std::string& appName) {
  return RegistryKey::Open(HKEY_LOCAL_MACHINE, UninstallEntryKeyPath(appName));
}

// Type and bytes of a value as stored.
std::string StoredString(const RegistryKey& key, const std::string& name) {
  auto value = key.ReadRaw(name);
  if (!value) return "(absent)";
  if (value->type != REG_SZ) return "(type " + std::to_string(value->type) + ")";
  return value->data;
}
}  // namespace

// (The stored bytes of every value: the sample product's installation end to end.)
TEST_F(UninstallEntryTest, LaterInstallationReplacesWhatItWritesAndKeepsTheRest) {
  EXPECT_FALSE(UninstallEntryExists("App"));
  SetUninstallValue("App", "Files", "C:\\A\\old.pas\r\n");
  SetUninstallValue("App", "InstalledHelps", "old.hlp\r\n");
  SetUninstallValue("App", "Files", "C:\\A\\new.pas\r\n");
  RegistryKey entry = Entry("App");
  EXPECT_EQ(StoredString(entry, "Files"), std::string("C:\\A\\new.pas\r\n\0", 15));
  EXPECT_EQ(StoredString(entry, "InstalledHelps"), std::string("old.hlp\r\n\0", 10));
  EXPECT_EQ(entry.ValueCount(), 2u);
  EXPECT_TRUE(UninstallEntryExists("APP"));
  EXPECT_FALSE(UninstallEntryExists("App 2"));

  UninstallKeys keys = OpenUninstallKey("Other");
  EXPECT_TRUE(keys.root.valid());
  EXPECT_TRUE(keys.product.valid());
  EXPECT_EQ(keys.root.SubKeyCount(), 2u);
}

TEST_F(UninstallEntryTest, AnEntryThatCannotBeWrittenFailsAndTheListIsNeverWrittenInto) {
  // A volatile parent refuses the non-volatile list key below it.
  HKEY volatileKey = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", 0, nullptr,
                            REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &volatileKey, nullptr),
            ERROR_SUCCESS);
  RegistryKey owner(volatileKey);
  EXPECT_EQ(ErrorText([] { SetUninstallValue("App", "Files", "x\r\n"); }), "Failed to set data for 'Files'");
  EXPECT_FALSE(UninstallEntryExists("App"));
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion");

  // An empty name would stand for the whole list.
  EXPECT_EQ(ErrorText([] { SetUninstallValue("", "Files", "x\r\n"); }), "Failed to set data for 'Files'");
  EXPECT_EQ(ErrorText([] { CreateUninstallEntry("", "C:\\uninstall.exe \"\""); }),
            "Failed to set data for 'DisplayName'");
  EXPECT_EQ(OpenUninstallKey("").root.ValueCount(), 0u);
  EXPECT_FALSE(UninstallEntryExists(""));
}
