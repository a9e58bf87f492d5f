// Robustness end to end: the setup program given archives that are not archives, cut short, damaged, encrypted,
// with entries that climb out of the destination, with targets in use or read-only, and with names outside ASCII.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "rar5_writer.h"
#include "rar_extraction.h"
#include "robustness_checks.h"
#include "string_list.h"
#include "text_compare.h"

namespace {
class ArchiveRobustnessTest : public RobustnessTest {
 protected:
  void SetUp() override {
    RobustnessTest::SetUp();
    destination_ = Folder() + "Dest\\";
  }

  // Installs without a destination dialog into Dest\ of the test's folder.
  void WriteConfiguration(const std::string& destination) const {
    WriteFile("OrvSetup.ini",
              "[Application]\r\nAppName=" + AppName() +
                  "\r\nVersion=1.0\r\nCheckPrevVersion=0\r\nPromptInstallDir=0\r\nDefaultDir=" + destination + "\r\n");
  }

  // What a run may not change, whatever the archive holds: all but the product's entry and the destination.
  std::string Outside() const {
    return OutsideState({Folder(), ProgramsFolder(), SystemDir()}, AppName(), destination_);
  }

  std::string EntryPath() const { return std::string(kUninstallKeyPath) + "\\" + AppName(); }

  std::string destination_;
};

std::string ReadArchive(const std::string& path) {
  std::string bytes = ReadFileBytes(path);
  EXPECT_FALSE(bytes.empty()) << path;
  return bytes;
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

// A RAR 5.0 archive must close with its end-of-archive block; the older format is not judged.
TEST(ArchiveEnd, OnlyAnArchiveThatClosesWithItsEndBlockIsWhole) {
  ScratchFolder folder;
  const std::string whole = Rar5Archive({StoredFile("a.txt", "a")});
  const std::string compressed = ReadArchive(CraftedArchive("compressed.rar"));
  struct Case {
    const char* name;
    std::string bytes;
    bool whole;
  };
  const std::vector<Case> cases = {
      {"written here", whole, true},
      {"made by rar", compressed, true},
      {"no entries", Rar5Archive({}), true},
      {"older format without end block", std::string("Rar!\x1A\x07\x00", 7) + std::string(40, 'x'), true},
      {"end block cut", whole.substr(0, whole.size() - 1), false},
      {"end block's checksum flipped", Flipped(whole, whole.size() - 8), false},
      {"signature only", whole.substr(0, 8), false},
      {"nothing", "", true},
  };
  for (const Case& c : cases) {
    WriteFileBytes(folder.path() + "a.rar", c.bytes);
    EXPECT_EQ(RarArchiveEndsWithEndBlock(folder.path() + "a.rar"), c.whole) << c.name;
  }
  EXPECT_FALSE(RarArchiveEndsWithEndBlock(folder.path() + "missing.rar"));
}

// Any archive the library cannot extract whole (missing, not an archive, cut short anywhere, a byte changed in a
// header or in the data, encrypted) ends the installation with the "Setup" box and exit code 0: nothing is recorded
// or registered, and nothing outside the destination changes. What was extracted before the damage stays in the
// destination, unrecorded.
TEST_F(ArchiveRobustnessTest, DamagedArchivesAreReportedAndRecordNothing) {
  const std::string compressed = ReadArchive(CraftedArchive("compressed.rar"));
  const std::string stored = Rar5Archive(
      {StoredFile("first.txt", std::string(3000, 'a')), StoredFile("docs/second.txt", std::string(3000, 'b'))});
  Rar5Entry badCrc = StoredFile("first.txt", "stored data with the wrong checksum");
  badCrc.corruptDataCrc = true;
  const size_t firstName = stored.find("first.txt");
  const size_t firstData = stored.find(std::string(3000, 'a'));
  ASSERT_NE(firstName, std::string::npos);
  ASSERT_NE(firstData, std::string::npos);
  // The names the archives hold, and the one the flipped header gives: nothing else may appear in the destination.
  const std::vector<std::string> archiveNames = {"docs\\",    "docs\\first.txt", "docs\\second.txt", "third.txt",
                                                 "first.txt", "fi'st.txt",       "secret.txt"};

  struct Variant {
    const char* name;
    std::optional<std::string> bytes;  // nullopt: no archive at all
  };
  const std::vector<Variant> variants = {
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
      {"data encrypted", ReadArchive(CraftedArchive("password.rar"))},
      {"headers encrypted", ReadArchive(CraftedArchive("headers.rar"))},
  };
  WriteConfiguration(destination_);
  for (const Variant& variant : variants) {
    SCOPED_TRACE(variant.name);
    DeleteFileA((Folder() + "Data.rar").c_str());
    if (variant.bytes) WriteFileBytes(Folder() + "Data.rar", *variant.bytes);
    const std::string registryBefore = RegistrySnapshot();
    const std::string outsideBefore = Outside();

    RunRecord run = RunSetup({WelcomeAnswer(IDOK), Answer::Press(IDOK).Caption("Setup")});
    ExpectExtractionFailure(run);
    EXPECT_EQ(StateDifference(registryBefore, RegistrySnapshot()), "");
    EXPECT_EQ(StateDifference(outsideBefore, Outside()), "");
    for (const std::string& entry : ListFolderTree(destination_))
      EXPECT_NE(std::find(archiveNames.begin(), archiveNames.end(), entry), archiveNames.end()) << entry;
    DeleteFolderTree(destination_);
  }
}

// The recorded files relative to the destination, sorted; a recorded file outside it fails the test.
std::vector<std::string> RecordedBelow(const std::string& files, const std::string& destination) {
  StringList lines;
  lines.SetText(files);
  std::vector<std::string> relative;
  for (const std::string& line : lines) {
    EXPECT_TRUE(SameTextLocale(line.substr(0, destination.size()), destination)) << line;
    relative.push_back(line.substr(std::min(line.size(), destination.size())));
  }
  std::sort(relative.begin(), relative.end(),
            [](const std::string& a, const std::string& b) { return CompareTextLocale(a, b) < 0; });
  return relative;
}

// The files (not folders) below a folder, relative to it, in ListFolderTree's order.
std::vector<std::string> FilesBelow(const std::string& folder) {
  std::vector<std::string> files;
  for (const std::string& entry : ListFolderTree(folder))
    if (entry.back() != '\\') files.push_back(entry);
  return files;
}

// Entries that name a place outside the destination (absolute, drive-qualified, climbing with "..", with either
// separator) never leave it: the walk skips what would climb out, and the library turns the separators and colons
// of the rest into plain characters. Everything extracted is recorded under the name it got on disk.
TEST_F(ArchiveRobustnessTest, EntriesEscapingTheDestinationStayInside) {
  const std::vector<std::string> escaping = {
      "../up-slash.txt",      "..\\up-backslash.txt",   "sub/../../climb-slash.txt", "sub\\..\\..\\climb-back.txt",
      "/rooted-slash.txt",    "\\rooted-backslash.txt", "C:\\drive-backslash.txt",   "C:/drive-slash.txt",
      "C:drive-relative.txt", "sub/.. /dots-blank.txt", "sub/.../three-dots.txt",    "//server/share/unc.txt"};
  std::vector<Rar5Entry> entries;
  for (const std::string& name : escaping) entries.push_back(StoredFile(name, "escaped " + name));
  entries.push_back(StoredFile("inside.txt", "inside"));
  entries.push_back(StoredFile("sub/nested.txt", "nested"));
  WriteRar5Archive(Folder() + "Data.rar", entries);
  WriteConfiguration(destination_);
  const std::string outsideBefore = Outside();

  RunRecord run = RunSetup({WelcomeAnswer(IDOK)});
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  EXPECT_EQ(Questions(run).size(), 1u) << FormatRunRecord(run);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(StateDifference(outsideBefore, Outside()), "");
  EXPECT_EQ(ReadFileBytes(destination_ + "inside.txt"), "inside");
  EXPECT_EQ(ReadFileBytes(destination_ + "sub\\nested.txt"), "nested");
  const std::vector<std::string> onDisk = FilesBelow(destination_);
  EXPECT_EQ(RecordedBelow(ReadRegistryString(HKEY_LOCAL_MACHINE, EntryPath(), kFilesValue).value_or(""), destination_),
            onDisk);
  for (const char* climbed : {"up-slash.txt", "climb-slash.txt", "rooted-slash.txt", "dots-blank.txt"})
    for (const std::string& file : onDisk) EXPECT_EQ(file.find(climbed), std::string::npos) << file;
}

// A file at the destination that is held open keeps its content and the installation goes on; a read-only one is
// replaced. Both are recorded as installed.
TEST_F(ArchiveRobustnessTest, TargetsInUseOrReadOnlyDoNotStopTheInstallation) {
  CopyInto(CraftedArchive("compressed.rar"), Folder() + "Data.rar");
  WriteConfiguration(destination_);
  const std::string held = WriteFile("Dest\\docs\\first.txt", "the user's own text");
  const std::string readOnly = WriteFile("Dest\\third.txt", "an older third");
  ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
  const std::string outsideBefore = Outside();
  RunRecord run;
  {
    UniqueFile handle(CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(handle.valid());
    run = RunSetup({WelcomeAnswer(IDOK)});
  }
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  EXPECT_EQ(Questions(run).size(), 1u) << FormatRunRecord(run);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(ReadFileBytes(held), "the user's own text");
  EXPECT_EQ(ReadFileBytes(readOnly).substr(0, 12), "third\nthird\n");
  EXPECT_EQ(ReadFileBytes(destination_ + "docs\\second.txt").substr(0, 8), "1\n2\n3\n4\n");
  EXPECT_EQ(RecordedBelow(ReadRegistryString(HKEY_LOCAL_MACHINE, EntryPath(), kFilesValue).value_or(""), destination_),
            (std::vector<std::string>{"docs\\first.txt", "docs\\second.txt", "third.txt"}));
  EXPECT_EQ(StateDifference(outsideBefore, Outside()), "");
  SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Letters outside ASCII in the destination and in the archive's names: installed, counted and removed again, leaving
// the machine as it was.
TEST_F(ArchiveRobustnessTest, NamesOutsideAsciiInstallAndUninstall) {
  CopyInto(CraftedArchive("names.rar"), Folder() + "Data.rar");
  // "\xEF" i diaeresis, "\xC4"/"\xE4" A/a umlaut, "\xD6" O umlaut, "\xDC"/"\xFC" U/u umlaut, "\xDF" sharp s.
  destination_ = Folder() +
                 "Z\xEF"
                 "el \xC4\\";
  WriteConfiguration(destination_);
  const std::string registryBefore = RegistrySnapshot();
  const std::string outsideBefore = Outside();

  RunRecord run = RunSetup({WelcomeAnswer(IDOK)});
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  EXPECT_EQ(run.exitCode, 0u);
  const std::vector<std::string> installed = {"\xD6rdner\\\xC4pfel & Birnen.txt",
                                              "\xDCnits\\gr\xFC\xDF"
                                              "e.txt",
                                              "\xDCnits\\h\xFClfe.hlp"};
  EXPECT_EQ(FilesBelow(destination_), installed);
  EXPECT_EQ(RecordedBelow(ReadRegistryString(HKEY_LOCAL_MACHINE, EntryPath(), kFilesValue).value_or(""), destination_),
            installed);
  EXPECT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, kInstalledFilesKey, destination_ + installed[1]), 1u);

  run = RunUninstaller(AppName(), {ConfirmRemoval(AppName())});
  ASSERT_TRUE(run.Clean()) << FormatRunRecord(run);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_FALSE(FolderExists(destination_)) << ::testing::PrintToString(ListFolderTree(destination_));
  EXPECT_EQ(StateDifference(registryBefore, RegistrySnapshot()), "");
  // The test's copy of the uninstaller deletes itself: no installation counts it.
  EXPECT_TRUE(WaitFor([&] { return !FileExists(UninstallPath()) && !FileExists(Folder() + "$delme.bat"); }, 20000));
  WriteFile(
      "uninstall.exe",
      ReadFileBytes(AddTrailingBackslash(WindowsPathFromUnix(EnvironmentValue("ORV_BUILD_DIR"))) + "uninstall.exe"));
  EXPECT_EQ(StateDifference(outsideBefore, Outside()), "");
}
}  // namespace
