// Library search path edits against an isolated registry: the value's text, type and name per edition.
#include <windows.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ide_editions.h"
#include "library_path.h"
#include "registry.h"
#include "scratch_registry.h"
#include "test_utils.h"
#include "setup_error.h"

namespace {
const std::string kFolder = "C:\\P\\units";

std::string LibraryKey(IdeEdition edition) { return IdeUserKey(edition) + "Library"; }

void SetText(const std::string& keyPath, const std::string& name, const std::string& text, DWORD type = REG_SZ) {
  WriteRawValue(HKEY_CURRENT_USER, keyPath, name, type, text + '\0');
}

std::optional<RegistryValue> Stored(const std::string& keyPath, const std::string& name) {
  return RegistryKey::Open(HKEY_CURRENT_USER, keyPath, KEY_READ).ReadRaw(name);
}

// The value must be a terminated REG_SZ holding exactly the text.
void ExpectText(const std::string& keyPath, const std::string& name, const std::string& text) {
  auto value = Stored(keyPath, name);
  ASSERT_TRUE(value.has_value()) << name;
  EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ)) << name;
  EXPECT_EQ(value->data, text + '\0') << name;
}

bool KeyExists(const std::string& keyPath) { return RegistryKey::Open(HKEY_CURRENT_USER, keyPath, KEY_READ).valid(); }

using LibraryPathTest = IsolatedTest;

// The example table, then the forms an entry may take: the trailing-backslash variant is another entry, empty
// entries stay, line breaks end entries like ";" does (a CR LF pair counting once), an expandable value is read as
// stored. Each folder is added twice: it is there once, at the front.
TEST_F(LibraryPathTest, ExampleTableRowByRow) {
  struct Row {
    std::optional<std::string> before;
    std::string afterAdd;
    std::string afterRemove;
    DWORD type = REG_SZ;
  };
  const std::vector<Row> rows = {
      {std::nullopt, "C:\\P\\units;", ""},
      {"$(DELPHI)\\Lib;$(DELPHI)\\Bin", "C:\\P\\units;$(DELPHI)\\Lib;$(DELPHI)\\Bin;",
       "$(DELPHI)\\Lib;$(DELPHI)\\Bin;"},
      {"$(DELPHI)\\Lib;c:\\p\\UNITS;x", "C:\\P\\units;$(DELPHI)\\Lib;x;", "$(DELPHI)\\Lib;x;"},
      {"a;;b;", "C:\\P\\units;a;;b;", "a;;b;"},
      {"C:\\P\\units\\;b", "C:\\P\\units;C:\\P\\units\\;b;", "C:\\P\\units\\;b;"},
      {";a\r\nb\rc\nd;;", "C:\\P\\units;;a;b;c;d;;", ";a;b;c;d;;"},
      {"%ROOT%\\Lib;c:\\p\\units", "C:\\P\\units;%ROOT%\\Lib;", "%ROOT%\\Lib;", REG_EXPAND_SZ},
  };
  const std::string key = LibraryKey(ieDelphi5);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.before.value_or("(absent)"));
    ASSERT_TRUE(DeleteRegistryTree(HKEY_CURRENT_USER, key));
    ASSERT_TRUE(RegistryKey::Create(HKEY_CURRENT_USER, key).valid());
    if (row.before) SetText(key, "Search Path", *row.before, row.type);
    AddLibraryPath(ieDelphi5, kFolder);
    AddLibraryPath(ieDelphi5, kFolder);
    ExpectText(key, "Search Path", row.afterAdd);
    if (row.type == REG_EXPAND_SZ) SetText(key, "Search Path", *row.before, row.type);  // removal reads it too
    RemoveLibraryPath(ieDelphi5, kFolder);
    ExpectText(key, "Search Path", row.afterRemove);
  }

  // Letter case follows the user locale (code page 1252 here), not ASCII folding; accents are not ignored.
  const std::string folder =
      "C:\\\xDC"
      "bung\\units";  // C:\Übung\units
  SetText(key, "Search Path",
          "c:\\\xFC"
          "bung\\UNITS;C:\\Ubung\\units;x");
  AddLibraryPath(ieDelphi5, folder);
  ExpectText(key, "Search Path", folder + ";C:\\Ubung\\units;x;");
}

TEST_F(LibraryPathTest, ValueNamePerEdition) {
  const std::string key = LibraryKey(ieDelphi3);
  SetText(key, "SearchPath", "x");
  SetText(key, "Search Path", "y", REG_EXPAND_SZ);
  AddLibraryPath(ieDelphi3, kFolder);
  ExpectText(key, "SearchPath", "C:\\P\\units;x;");
  auto other = Stored(key, "Search Path");
  ASSERT_TRUE(other.has_value());
  EXPECT_EQ(other->type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(other->data, std::string("y", 2));
}

TEST_F(LibraryPathTest, MissingLibraryKeyIsNeverCreated) {
  // The edition's settings exist, but without a Library key; another edition's Library key is left alone.
  ASSERT_TRUE(RegistryKey::Create(HKEY_CURRENT_USER, IdeUserKey(ieDelphi6)).valid());
  SetText(LibraryKey(ieDelphi5), "Search Path", "C:\\P\\units");
  AddLibraryPath(ieDelphi6, kFolder);
  RemoveLibraryPath(ieDelphi6, kFolder);
  EXPECT_FALSE(KeyExists(LibraryKey(ieDelphi6)));
  ExpectText(LibraryKey(ieDelphi5), "Search Path", "C:\\P\\units");
}

TEST_F(LibraryPathTest, ValueOfAnotherTypeRaisesAndStaysUnchanged) {
  const std::string key = LibraryKey(ieDelphi5);
  WriteRawValue(HKEY_CURRENT_USER, key, "Search Path", REG_DWORD, DwordBytes(7));
  for (auto edit : {AddLibraryPath, RemoveLibraryPath}) {
    EXPECT_EQ(ErrorText([&] { edit(ieDelphi5, kFolder); }), "Invalid data type for 'Search Path'");
  }
  auto value = Stored(key, "Search Path");
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(value->data, DwordBytes(7));
}

// Random search paths made of the folder in other spellings and of look-alikes that must survive.
TEST_F(LibraryPathTest, RandomSearchPathsKeepEveryOtherEntry) {
  const std::string folder =
      "C:\\Vendor\\\xDC"
      "bung\\units";
  const std::vector<std::string> sameFolder = {folder,
                                               "c:\\vendor\\\xFC"
                                               "bung\\units",
                                               "C:\\VENDOR\\\xDC"
                                               "BUNG\\UNITS",
                                               "c:\\Vendor\\\xFC"
                                               "bung\\Units"};
  const std::vector<std::string> others = {"",
                                           "$(DELPHI)\\Lib",
                                           "$(BCB)\\Lib\\Obj",
                                           folder + "\\",
                                           folder + " ",
                                           " " + folder,
                                           folder + "\\x",
                                           "C:\\Vendor\\Ubung\\units",
                                           "D:\\Vendor\\\xDC"
                                           "bung\\units",
                                           "C:\\Vendor\\\xDC"
                                           "bung\\unit",
                                           "lib"};
  std::mt19937 random(20240607);
  auto pick = [&random](size_t count) { return std::uniform_int_distribution<size_t>(0, count - 1)(random); };

  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    const auto edition = static_cast<IdeEdition>(pick(kEditionCount));
    const std::string key = LibraryKey(edition);
    const std::string valueName = SearchPathValueName(edition);
    const std::string otherName = edition == ieDelphi3 ? "Search Path" : "SearchPath";
    ASSERT_TRUE(DeleteRegistryTree(HKEY_CURRENT_USER, "Software\\Borland"));
    ASSERT_TRUE(RegistryKey::Create(HKEY_CURRENT_USER, key).valid());
    SetText(key, otherName, folder + ";z");

    // Entries chosen here, then written with mixed separators; the expected results follow from the choice.
    std::vector<std::string> entries;
    std::string kept;
    for (size_t count = pick(7); count > 0; --count) {
      bool own = pick(4) == 0;
      entries.push_back(own ? sameFolder[pick(sameFolder.size())] : others[pick(others.size())]);
      if (!own) kept += entries.back() + ";";
    }
    std::string text;
    for (size_t i = 0; i < entries.size(); ++i) {
      text += entries[i];
      // An LF right after a lone CR would pair with it; an empty last entry needs its separator.
      static const char* const separators[] = {";", "\r\n", "\r", "\n"};
      bool afterCr = !text.empty() && text.back() == '\r';
      if (i + 1 < entries.size() || entries[i].empty() || pick(2) == 0) text += separators[pick(afterCr ? 3 : 4)];
    }
    bool absent = entries.empty() && pick(2) == 0;
    if (!absent) SetText(key, valueName, text, pick(3) == 0 ? REG_EXPAND_SZ : REG_SZ);

    AddLibraryPath(edition, folder);
    ExpectText(key, valueName, folder + ";" + kept);
    AddLibraryPath(edition, folder);
    ExpectText(key, valueName, folder + ";" + kept);
    RemoveLibraryPath(edition, folder);
    ExpectText(key, valueName, kept);
    ExpectText(key, otherName, folder + ";z");
    if (HasFailure()) break;
  }
}
}  // namespace
