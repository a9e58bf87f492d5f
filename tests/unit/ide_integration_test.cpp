// The IDE edits (library search path, Known Packages, help contents) against an isolated registry and real files.
#include <windows.h>

#include <map>
#include <optional>

#include <gtest/gtest.h>

#include "help_contents.h"
#include "ide_editions.h"
#include "known_packages.h"
#include "library_path.h"
#include "registry.h"
#include "scratch_registry.h"
#include "test_utils.h"
#include "unique_handle.h"

// Letters outside ASCII in code page 1252: "\334" and "\374" are U and u with umlaut (octal, so that the letters
// after them stay letters).
namespace {
const std::string kFolder = "C:\\P\\units";

std::string LibraryKey(IdeEdition edition) { return IdeUserKey(edition) + "Library"; }

void SetText(const std::string& keyPath, const std::string& name, const std::string& text, DWORD type = REG_SZ) {
  WriteRawValue(HKEY_CURRENT_USER, keyPath, name, type, text + '\0');
}

// A value's type and raw data; type 0 and "(missing)" when there is none.
using Raw = std::pair<DWORD, std::string>;
Raw Stored(const std::string& keyPath, const std::string& name) {
  auto value = RegistryKey::Open(HKEY_CURRENT_USER, keyPath, KEY_READ).ReadRaw(name);
  return value ? Raw{value->type, value->data} : Raw{0, "(missing)"};
}
// A terminated REG_SZ holding exactly the text.
Raw Text(const std::string& text) { return {REG_SZ, text + '\0'}; }

bool KeyExists(const std::string& keyPath) { return RegistryKey::Open(HKEY_CURRENT_USER, keyPath, KEY_READ).valid(); }

using LibraryPathTest = IsolatedTest;

// The example table, then the forms an entry may take: the trailing-backslash variant is another entry, empty
// entries stay, line breaks end entries like ";" does (a CR LF pair counting once), an expandable value is read as
// stored. Each folder is added twice: it is there once, at the front.
TEST_F(LibraryPathTest, ExampleTableRowByRow) {
  struct Row {
    std::optional<std::string> before;
    std::string afterAdd, afterRemove;
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
    EXPECT_EQ(Stored(key, "Search Path"), Text(row.afterAdd));
    if (row.type == REG_EXPAND_SZ) SetText(key, "Search Path", *row.before, row.type);  // removal reads it too
    RemoveLibraryPath(ieDelphi5, kFolder);
    EXPECT_EQ(Stored(key, "Search Path"), Text(row.afterRemove));
  }

  // Letter case follows the user locale (code page 1252 here), not ASCII folding; accents are not ignored.
  const std::string folder = "C:\\\334bung\\units";  // C:\Übung\units
  SetText(key, "Search Path", "c:\\\374bung\\UNITS;C:\\Ubung\\units;x");
  AddLibraryPath(ieDelphi5, folder);
  EXPECT_EQ(Stored(key, "Search Path"), Text(folder + ";C:\\Ubung\\units;x;"));
}

TEST_F(LibraryPathTest, ValueNamePerEditionMissingKeysAndOtherTypes) {
  const std::string key = LibraryKey(ieDelphi3);
  SetText(key, "SearchPath", "x");
  SetText(key, "Search Path", "y", REG_EXPAND_SZ);
  AddLibraryPath(ieDelphi3, kFolder);
  EXPECT_EQ(Stored(key, "SearchPath"), Text("C:\\P\\units;x;"));
  EXPECT_EQ(Stored(key, "Search Path"), Raw(REG_EXPAND_SZ, std::string("y", 2)));

  // The edition's settings exist, but without a Library key; another edition's Library key is left alone.
  ASSERT_TRUE(RegistryKey::Create(HKEY_CURRENT_USER, IdeUserKey(ieDelphi6)).valid());
  SetText(LibraryKey(ieDelphi5), "Search Path", "C:\\P\\units");
  AddLibraryPath(ieDelphi6, kFolder);
  RemoveLibraryPath(ieDelphi6, kFolder);
  EXPECT_FALSE(KeyExists(LibraryKey(ieDelphi6)));
  EXPECT_EQ(Stored(LibraryKey(ieDelphi5), "Search Path"), Text("C:\\P\\units"));

  // A value of another type raises and stays unchanged.
  WriteRawValue(HKEY_CURRENT_USER, LibraryKey(ieDelphi5), "Search Path", REG_DWORD, DwordBytes(7));
  for (auto edit : {AddLibraryPath, RemoveLibraryPath})
    EXPECT_EQ(ErrorText([&] { edit(ieDelphi5, kFolder); }), "Invalid data type for 'Search Path'");
  EXPECT_EQ(Stored(LibraryKey(ieDelphi5), "Search Path"), Raw(REG_DWORD, DwordBytes(7)));
}

// Every value of a key: name -> (type, raw data).
using Snapshot = std::map<std::string, Raw>;

const std::string kPackage = "C:\\WINNT\\System32\\MyPack50.bpl";

Snapshot Take(const std::string& keyPath) {
  Snapshot values;
  for (auto& value : RegistryKey::Open(HKEY_CURRENT_USER, keyPath, KEY_READ).Values())
    values[value.name] = {value.type, value.data};
  return values;
}

using KnownPackagesTest = IsolatedTest;

TEST_F(KnownPackagesTest, EarlierRegistrationsGoAndUnrelatedValuesStay) {
  const std::string key = KnownPackagesKey(ieCppBuilder5);
  // Same file name, another description: not ours.
  SetText(key, "C:\\Other\\MyPack50.bpl", "Other Components");
  SetText(key, "C:\\x.bpl", "My Components Extra");
  WriteRawValue(HKEY_CURRENT_USER, key, "Number", REG_DWORD, DwordBytes(1));
  const Snapshot unrelated = Take(key);
  SetText(key, "C:\\Old\\MyPack50.bpl", "My Components");
  SetText(key, "C:\\Older\\MyPack40.bpl", "MY COMPONENTS");
  SetText(key, "C:\\New\\MyPack50.bpl", "Something else");

  RegisterKnownPackage(ieCppBuilder5, "my components", "C:\\New\\MyPack50.bpl");
  Snapshot expected = unrelated;
  expected["C:\\New\\MyPack50.bpl"] = Text("my components");
  EXPECT_EQ(Take(key), expected);

  UnregisterKnownPackage(ieCppBuilder5, "My Components", "C:\\New\\MyPack50.bpl");
  EXPECT_EQ(Take(key), unrelated);
}

TEST_F(KnownPackagesTest, EditionsWithoutPackageSupportTouchNothing) {
  for (IdeEdition edition : {ieDelphi2, ieCppBuilder1}) {
    // Keys where such a registration would plausibly land, each with a value it would delete.
    const std::string guessed = IdeUserKey(edition) + "Known Packages";
    SetText(guessed, kPackage, "Old");
    SetText(guessed, "C:\\Any.bpl", "My Components");
    const Snapshot before = Take(guessed);
    RegisterKnownPackage(edition, "My Components", kPackage);
    UnregisterKnownPackage(edition, "My Components", kPackage);
    EXPECT_EQ(Take(guessed), before) << EditionCode(edition);
  }
}

TEST_F(KnownPackagesTest, KeyIsNeverCreatedButAnEmptyKeyGetsTheValue) {
  const std::string key = KnownPackagesKey(ieDelphi3);
  ASSERT_TRUE(RegistryKey::Create(HKEY_CURRENT_USER, IdeUserKey(ieDelphi3)).valid());
  RegisterKnownPackage(ieDelphi3, "My Components", kPackage);
  EXPECT_FALSE(KeyExists(key));

  // The same path registered twice leaves one value.
  ASSERT_TRUE(RegistryKey::Create(HKEY_CURRENT_USER, key).valid());
  RegisterKnownPackage(ieDelphi3, "My Components", kPackage);
  RegisterKnownPackage(ieDelphi3, "My Components", kPackage);
  EXPECT_EQ(Take(key), (Snapshot{{kPackage, Text("My Components")}}));
}

TEST_F(KnownPackagesTest, EmptyAndUnterminatedDataReadAsTheirText) {
  const std::string key = KnownPackagesKey(ieCppBuilder4);
  WriteRawValue(HKEY_CURRENT_USER, key, "C:\\Empty.bpl", REG_SZ, std::string());
  WriteRawValue(HKEY_CURRENT_USER, key, "C:\\Bare.bpl", REG_SZ,
                "My Components");  // stored without its terminating zero
  WriteRawValue(HKEY_CURRENT_USER, key, "C:\\Binary.bpl", REG_BINARY, "my components");
  SetText(key, "C:\\Keep.bpl", "My Component");
  RegisterKnownPackage(ieCppBuilder4, "My Components", kPackage);
  Texts names;  // an empty text is not "my components"
  for (const auto& value : Take(key)) names.push_back(value.first);
  EXPECT_EQ(names, (Texts{"C:\\Empty.bpl", "C:\\Keep.bpl", kPackage}));
}

const std::string kBase = ":Base delphi5.hlp\r\n:Index Delphi Help =delphi5.hlp\r\n";

using HelpContentsTest = IsolatedTest;

TEST_F(HelpContentsTest, AddAddAgainRemoveInRegistrationOrder) {
  const std::string master = folder_.Write("delphi5.cnt", kBase);
  const std::string mine = ":Include myprod.cnt\r\n:Index My Product =myprod.hlp\r\n";
  AddHelpToContents("myprod.hlp", "My Product", master);
  EXPECT_EQ(ReadFileBytes(master), kBase + mine);
  AddHelpToContents("myprod.hlp", "My Product", master);
  EXPECT_EQ(ReadFileBytes(master), kBase + mine);
  AddHelpToContents("first", "First", master);  // no extension: ".cnt" is appended
  AddHelpToContents("Help\\other.hlp", "Other", master);
  const std::string first = ":Include first.cnt\r\n:Index First =first\r\n";
  EXPECT_EQ(ReadFileBytes(master),
            kBase + mine + first + ":Include Help\\other.cnt\r\n:Index Other =Help\\other.hlp\r\n");
  RemoveHelpFromContents("", master);  // an empty name removes nothing
  RemoveHelpFromContents("myprod.hlp", master);
  RemoveHelpFromContents("other.hlp", master);  // given with a folder, removed by its bare name
  EXPECT_EQ(ReadFileBytes(master), kBase + first);
}

TEST_F(HelpContentsTest, RemovalIsBySubstringInTheUserLocale) {
  const std::string master = folder_.Write(
      "delphi6.cnt",
      "keep 1\r\n:Link xmyprod.hlp\r\nsee MYPROD.CNT here\r\n:Index Vendor's own =MyProd.Hlp\r\nmyprod.hl\r\n"
      "myprod-cnt myprod hlp\r\n:Include \334BUNG.CNT\r\n:Include UBUNG.CNT\r\n");
  RemoveHelpFromContents("myprod.hlp", master);
  RemoveHelpFromContents("\374bung.hlp", master);  // übung.hlp: ü and Ü are one letter in the locale
  EXPECT_EQ(ReadFileBytes(master), "keep 1\r\nmyprod.hl\r\nmyprod-cnt myprod hlp\r\n:Include UBUNG.CNT\r\n");
}

TEST_F(HelpContentsTest, FileErrorsCarryTheirTexts) {
  const std::string missing = folder_.path() + "missing.cnt";
  EXPECT_EQ(ErrorText([&] { AddHelpToContents("myprod.hlp", "T", missing); }), "Cannot open file " + missing);
  EXPECT_EQ(GetFileAttributesA(missing.c_str()), INVALID_FILE_ATTRIBUTES);

  // Another reader that shares only reading lets the read pass and refuses the write.
  const std::string master = folder_.Write("delphi5.cnt", kBase);
  UniqueFile reader(CreateFileA(master.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(reader.valid());
  EXPECT_EQ(ErrorText([&] { RemoveHelpFromContents("myprod.hlp", master); }), "Cannot create file " + master);
  reader.reset();
  EXPECT_EQ(ReadFileBytes(master), kBase);
}

}  // namespace
