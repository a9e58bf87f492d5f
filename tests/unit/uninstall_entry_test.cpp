// The Add/Remove Programs entry, against an isolated registry.
#include <windows.h>

#include <gtest/gtest.h>

#include "registry.h"
#include "scratch_registry.h"
#include "uninstall_entry.h"

namespace {
using UninstallEntryTest = IsolatedTest;

RegistryKey Entry(const std::string& appName) {
  return RegistryKey::Open(HKEY_LOCAL_MACHINE, std::string(UninstallKeyPath) + "\\" + appName);
}

// Type and bytes of a value as stored.
std::string StoredString(const RegistryKey& key, const std::string& name) {
  auto value = key.ReadRaw(name);
  if (!value) return "(absent)";
  if (value->type != REG_SZ) return "(type " + std::to_string(value->type) + ")";
  return value->data;
}
}  // namespace

TEST_F(UninstallEntryTest, ValuesAreStringsWithTheirTerminatorCounted) {
  EXPECT_FALSE(UninstallEntryExists("My Tool"));
  SetUninstallValue("My Tool", "Files", "C:\\Tools\\a.pas\r\nC:\\Tools\\b.pas\r\n");
  SetUninstallValue("My Tool", "RegKeys", "");
  CreateUninstallEntry("My Tool", "C:\\Tools\\uninstall.exe \"My Tool\"");
  EXPECT_TRUE(UninstallEntryExists("My Tool"));
  EXPECT_TRUE(UninstallEntryExists("MY TOOL"));
  EXPECT_FALSE(UninstallEntryExists("My Tool 2"));

  RegistryKey entry = Entry("My Tool");
  EXPECT_EQ(StoredString(entry, "Files"), std::string("C:\\Tools\\a.pas\r\nC:\\Tools\\b.pas\r\n\0", 33));
  EXPECT_EQ(StoredString(entry, "RegKeys"), std::string(1, '\0'));
  EXPECT_EQ(StoredString(entry, "DisplayName"), std::string("My Tool\0", 8));
  EXPECT_EQ(StoredString(entry, "UninstallString"), std::string("C:\\Tools\\uninstall.exe \"My Tool\"\0", 33));
}

TEST_F(UninstallEntryTest, LaterInstallationReplacesWhatItWritesAndKeepsTheRest) {
  SetUninstallValue("App", "Files", "C:\\A\\old.pas\r\n");
  SetUninstallValue("App", "InstalledHelps", "old.hlp\r\n");
  SetUninstallValue("App", "Files", "C:\\A\\new.pas\r\n");
  RegistryKey entry = Entry("App");
  EXPECT_EQ(StoredString(entry, "Files"), std::string("C:\\A\\new.pas\r\n\0", 15));
  EXPECT_EQ(StoredString(entry, "InstalledHelps"), std::string("old.hlp\r\n\0", 10));
  EXPECT_EQ(entry.ValueCount(), 2u);

  UninstallKeys keys = OpenUninstallKey("Other");
  EXPECT_TRUE(keys.root.valid());
  EXPECT_TRUE(keys.product.valid());
  EXPECT_EQ(keys.root.SubKeyCount(), 2u);
}

TEST_F(UninstallEntryTest, EmptyNameNeverStandsForTheWholeList) {
  SetUninstallValue("", "Files", "x\r\n");
  CreateUninstallEntry("", "C:\\uninstall.exe \"\"");
  UninstallKeys keys = OpenUninstallKey("");
  ASSERT_TRUE(keys.root.valid());
  EXPECT_FALSE(keys.product.valid());
  EXPECT_EQ(keys.root.ValueCount(), 0u);
  EXPECT_FALSE(UninstallEntryExists(""));
}

TEST_F(UninstallEntryTest, ListThatCannotBeCreatedIsIgnoredSilently) {
  // A volatile parent refuses the non-volatile list key below it.
  HKEY volatileKey = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", 0, nullptr,
                            REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &volatileKey, nullptr),
            ERROR_SUCCESS);
  RegistryKey owner(volatileKey);
  EXPECT_NO_THROW(SetUninstallValue("App", "Files", "x\r\n"));
  EXPECT_NO_THROW(CreateUninstallEntry("App", "C:\\uninstall.exe \"App\""));
  EXPECT_FALSE(OpenUninstallKey("App").root.valid());
  EXPECT_FALSE(UninstallEntryExists("App"));
}
