// The IDE edits (library search path, Known Packages, help contents) against an isolated registry and real files.
#include <windows.h>

#include <map>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "help_contents.h"
#include "ide_editions.h"
#include "known_packages.h"
#include "library_path.h"
#include "registry.h"
#include "scratch_registry.h"
#include "setup_error.h"
#include "string_list.h"
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
  const std::string folder = "C:\\\334bung\\units";  // C:\Übung\units
  SetText(key, "Search Path", "c:\\\374bung\\UNITS;C:\\Ubung\\units;x");
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
  const std::string folder = "C:\\Vendor\\\334bung\\units";
  const std::vector<std::string> sameFolder = {folder, "c:\\vendor\\\374bung\\units", "C:\\VENDOR\\\334BUNG\\UNITS",
                                               "c:\\Vendor\\\374bung\\Units"};
  const std::vector<std::string> others = {"",
                                           "$(DELPHI)\\Lib",
                                           "$(BCB)\\Lib\\Obj",
                                           folder + "\\",
                                           folder + " ",
                                           " " + folder,
                                           folder + "\\x",
                                           "C:\\Vendor\\Ubung\\units",
                                           "D:\\Vendor\\\334bung\\units",
                                           "C:\\Vendor\\\334bung\\unit",
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

namespace {
// Every value of a key: name -> (type, raw data).
using Snapshot = std::map<std::string, std::pair<DWORD, std::string>>;

const std::string kPackage = "C:\\WINNT\\System32\\MyPack50.bpl";

void SetValue(const std::string& keyPath, const std::string& name, DWORD type, const std::string& bytes) {
  WriteRawValue(HKEY_CURRENT_USER, keyPath, name, type, bytes);
}

Snapshot Take(const std::string& keyPath) {
  Snapshot values;
  for (auto& value : RegistryKey::Open(HKEY_CURRENT_USER, keyPath, KEY_READ).Values())
    values[value.name] = {value.type, value.data};
  return values;
}

std::pair<DWORD, std::string> Text(const std::string& text) { return {REG_SZ, text + '\0'}; }

using KnownPackagesTest = IsolatedTest;

TEST_F(KnownPackagesTest, EarlierRegistrationsGoAndUnrelatedValuesStay) {
  const std::string key = KnownPackagesKey(ieCppBuilder5);
  SetText(key, "C:\\Old\\MyPack50.bpl", "My Components");
  SetText(key, "C:\\Older\\MyPack40.bpl", "MY COMPONENTS");
  SetText(key, "C:\\New\\MyPack50.bpl", "Something else");
  // Same file name, another description: not ours.
  SetText(key, "C:\\Other\\MyPack50.bpl", "Other Components");
  SetText(key, "C:\\x.bpl", "My Components Extra");
  SetValue(key, "Number", REG_DWORD, DwordBytes(1));
  Snapshot unrelated = Take(key);
  unrelated.erase("C:\\Old\\MyPack50.bpl");
  unrelated.erase("C:\\Older\\MyPack40.bpl");
  unrelated.erase("C:\\New\\MyPack50.bpl");

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
  SetValue(key, "C:\\Empty.bpl", REG_SZ, std::string());
  SetValue(key, "C:\\Bare.bpl", REG_SZ, "My Components");  // stored without its terminating zero
  SetValue(key, "C:\\Binary.bpl", REG_BINARY, "my components");
  SetText(key, "C:\\Keep.bpl", "My Component");
  RegisterKnownPackage(ieCppBuilder4, "My Components", kPackage);
  Snapshot after = Take(key);
  EXPECT_EQ(after.count("C:\\Bare.bpl"), 0u);
  EXPECT_EQ(after.count("C:\\Binary.bpl"), 0u);
  EXPECT_EQ(after.count("C:\\Empty.bpl"), 1u);  // an empty text is not "my components"
  EXPECT_EQ(after.count("C:\\Keep.bpl"), 1u);
  EXPECT_EQ(after.size(), 3u);

  // The value of size 0 is the empty text, so an empty description finds it.
  RegistryKey opened = RegistryKey::Open(HKEY_CURRENT_USER, key);
  StringList names;
  CollectValuesWithData(opened, names, "");
  EXPECT_EQ(names.Lines(), std::vector<std::string>{"C:\\Empty.bpl"});
}

TEST_F(KnownPackagesTest, CollectAddsEachNameOnce) {
  const std::string key = KnownPackagesKey(ieDelphi5);
  SetText(key, "C:\\A.bpl", "Pack");
  SetText(key, "C:\\B.bpl", "PACK");
  SetText(key, "C:\\C.bpl", "Other");
  RegistryKey opened = RegistryKey::Open(HKEY_CURRENT_USER, key);
  StringList names;
  names.Add("c:\\a.BPL");
  CollectValuesWithData(opened, names, "pack");
  EXPECT_EQ(names.Lines(), (std::vector<std::string>{"c:\\a.BPL", "C:\\B.bpl"}));
  // Nothing was deleted by collecting.
  EXPECT_EQ(Take(key).size(), 3u);

  DeleteValuesWithData(opened, "pACK");
  EXPECT_EQ(Take(key), (Snapshot{{"C:\\C.bpl", Text("Other")}}));
}

// Random Known Packages keys: the product's own values go (every one of them, however many; descriptions compare
// in the user locale, so accents are letters of their own), every other value keeps its name, type and data.
TEST_F(KnownPackagesTest, RandomKeysKeepEveryOtherValue) {
  const std::string description = "Composants \xC9l\xE9gants";
  const std::vector<std::string> sameDescription = {description, "composants \xE9l\xE9gants",
                                                    "COMPOSANTS \xC9L\xC9GANTS", "Composants \xE9L\xC9gants"};
  const std::vector<std::string> otherDescriptions = {"",
                                                      "Composants Elegants",
                                                      "Composants \xC9l\xE9gants ",
                                                      "Composants \xC9l\xE9gant",
                                                      "My Components",
                                                      "Composants \xC9l\xE9gants 2"};
  std::mt19937 random(19990401);
  auto pick = [&random](size_t count) { return std::uniform_int_distribution<size_t>(0, count - 1)(random); };

  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    const auto edition = static_cast<IdeEdition>(ieDelphi3 + pick(kEditionCount - ieDelphi3));
    const auto neighbour = static_cast<IdeEdition>(edition == ieCppBuilder6 ? ieDelphi3 : edition + 1);
    const std::string key = KnownPackagesKey(edition);
    const std::string path = "C:\\Lib\\Pack" + std::to_string(pick(4)) + ".bpl";
    ASSERT_TRUE(DeleteRegistryTree(HKEY_CURRENT_USER, "Software\\Borland"));
    ASSERT_TRUE(RegistryKey::Create(HKEY_CURRENT_USER, key).valid());
    // Another edition's key holding a value that would match: it must not be touched.
    SetText(KnownPackagesKey(neighbour), path, description);
    const Snapshot neighbourBefore = Take(KnownPackagesKey(neighbour));

    Snapshot others;
    for (size_t count = pick(9), index = 0; index < count; ++index) {
      // Names come from a small pool, so the package's own path turns up now and then.
      std::string name = "C:\\Lib\\Pack" + std::to_string(pick(8)) + ".bpl";
      others.erase(name);
      if (pick(3) == 0) {
        std::string data = sameDescription[pick(sameDescription.size())];
        if (pick(4) == 0)
          SetValue(key, name, REG_BINARY, data);
        else
          SetValue(key, name, pick(2) ? REG_SZ : REG_EXPAND_SZ, data + '\0');
        continue;
      }
      DWORD type = REG_DWORD;
      std::string bytes("\x05\x00\x00\x00", 4);
      if (pick(5) != 0) {
        type = pick(4) == 0 ? REG_BINARY : REG_SZ;
        bytes = otherDescriptions[pick(otherDescriptions.size())] + '\0';
      }
      SetValue(key, name, type, bytes);
      if (name != path) others[name] = {type, bytes};
    }

    Snapshot registered = others;
    registered[path] = Text(description);
    RegisterKnownPackage(edition, description, path);
    EXPECT_EQ(Take(key), registered);
    RegisterKnownPackage(edition, description, path);
    EXPECT_EQ(Take(key), registered);
    UnregisterKnownPackage(edition, description, path);
    EXPECT_EQ(Take(key), others);
    EXPECT_EQ(Take(KnownPackagesKey(neighbour)), neighbourBefore);
    if (HasFailure()) break;
  }
}
}  // namespace

namespace {
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

TEST_F(HelpContentsTest, LineBreaksAreNormalisedAndLinesKeptInOrder) {
  const std::string master = folder_.Write("delphi4.cnt", "one\rtwo\nthree\r\n\r\n  five  \n\nseven");
  RemoveHelpFromContents("myprod.hlp", master);
  EXPECT_EQ(ReadFileBytes(master), "one\r\ntwo\r\nthree\r\n\r\n  five  \r\n\r\nseven\r\n");

  WriteFileBytes(master, "");
  AddHelpToContents("myprod.hlp", "T", master);
  EXPECT_EQ(ReadFileBytes(master), ":Include myprod.cnt\r\n:Index T =myprod.hlp\r\n");
}

TEST_F(HelpContentsTest, RemovalIsBySubstringInTheUserLocale) {
  const std::string master = folder_.Write("delphi6.cnt",
                                           "keep 1\r\n"
                                           ":Link xmyprod.hlp\r\n"
                                           "see MYPROD.CNT here\r\n"
                                           ":Index Vendor's own =MyProd.Hlp\r\n"
                                           "myprod.hl\r\n"
                                           "myprod-cnt myprod hlp\r\n"
                                           ":Include \334BUNG.CNT\r\n"
                                           ":Include UBUNG.CNT\r\n");
  RemoveHelpFromContents("myprod.hlp", master);
  RemoveHelpFromContents("\374bung.hlp",
                         master);  // übung.hlp: ü and Ü are one letter in the locale
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

// Random master files: the product's lines come and go, every other line keeps its text and order.
TEST_F(HelpContentsTest, RandomMasterFilesKeepEveryOtherLine) {
  const std::string help = "\334bung.hlp";  // Übung.hlp
  const std::vector<std::string> mentionsProduct = {":Include \374bung.cnt", ":Index Old =\334BUNG.HLP",
                                                    "x\374bung.hlpx", "see \334bung.CNT"};
  const std::vector<std::string> others = {"",
                                           ":Base delphi5.hlp",
                                           ":Title Delphi Help",
                                           ":Include delphi5.cnt",
                                           ":Index Delphi Help =delphi5.hlp",
                                           "1 Getting started",
                                           "Ubung.hlp",
                                           "\334bung.hl",
                                           "\334bung hlp",
                                           "\334bung.cn",
                                           "   ",
                                           "\t:Link vcl.hlp"};
  std::mt19937 random(4711);
  auto pick = [&random](size_t count) { return std::uniform_int_distribution<size_t>(0, count - 1)(random); };
  const std::string master = folder_.path() + "bcb6.cnt";

  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    std::vector<std::string> lines;
    std::string kept;
    for (size_t count = pick(10); count > 0; --count) {
      bool own = pick(4) == 0;
      lines.push_back(own ? mentionsProduct[pick(mentionsProduct.size())] : others[pick(others.size())]);
      if (!own) kept += lines.back() + "\r\n";
    }
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
      text += lines[i];
      // An LF right after a lone CR would pair with it; an empty last line needs its break.
      static const char* const breaks[] = {"\r\n", "\r", "\n"};
      bool afterCr = !text.empty() && text.back() == '\r';
      if (i + 1 < lines.size() || lines[i].empty() || pick(2) == 0) text += breaks[pick(afterCr ? 2 : 3)];
    }
    WriteFileBytes(master, text);

    const std::string added = kept + ":Include \334bung.cnt\r\n:Index \334bung Help =" + help + "\r\n";
    AddHelpToContents(help, "\334bung Help", master);
    EXPECT_EQ(ReadFileBytes(master), added);
    AddHelpToContents(help, "\334bung Help", master);
    EXPECT_EQ(ReadFileBytes(master), added);
    RemoveHelpFromContents(help, master);
    EXPECT_EQ(ReadFileBytes(master), kept);
    if (HasFailure()) break;
  }
}
}  // namespace
