// Extraction of real archives through the real unrar.dll: routing, records, progress, failures.
#include "rar_extraction.h"

#include <algorithm>
#include <climits>
#include <thread>

#include <gtest/gtest.h>

#include "e2e_support.h"
#include "entry_writer.h"
#include "path_macros.h"
#include "path_utils.h"
#include "rar5_writer.h"
#include "registry.h"
#include "registry_names.h"
#include "setup_error.h"
#include "setup_settings.h"
#include "test_utils.h"
#include "text_compare.h"

namespace {
// The content the archive script gives a file: the word on repeated lines, cut to the size.
std::string Repeated(const std::string& word, size_t size) {
  std::string text;
  while (text.size() < size) text += word + "\n";
  text.resize(size);
  return text;
}
// Each file holds the script's content for its word and size.
void ExpectRepeated(const std::vector<std::tuple<std::string, const char*, size_t>>& files) {
  for (const auto& [path, word, size] : files) EXPECT_TRUE(ReadFileBytes(path) == Repeated(word, size)) << path;
}

std::string ArchiveFromScript(const std::string& name) {
  return WindowsPathFromUnix(EnvironmentValue("ORV_TEST_ARCHIVES")) + "\\" + name;
}

// The library's own extraction of every entry into the folder, nothing routed.
void ExtractWithTheLibrary(const std::string& archive, const std::string& destination) {
  UniqueRarArchive handle(OpenRarArchive(archive, RAR_OM_EXTRACT));
  ASSERT_TRUE(handle.valid());
  RARHeaderData header;
  while (ReadRarHeader(handle.get(), header) == ERAR_SUCCESS)
    EXPECT_EQ(ProcessRarFile(handle.get(), RAR_EXTRACT, destination, ""), ERAR_SUCCESS) << RarEntryPath(header);
}

// Every file and folder below the folder with its attributes; files also with their size, time of the last change
// and bytes.
std::string TreeState(const std::string& folder) {
  std::string state;
  for (const std::string& entry : ListFolderTree(folder)) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    EXPECT_TRUE(GetFileAttributesExA((folder + entry).c_str(), GetFileExInfoStandard, &data)) << entry;
    state += FormatText("%s %lx", entry.c_str(), data.dwFileAttributes);
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
      state += FormatText(" %lu %08lx%08lx ", data.nFileSizeLow, data.ftLastWriteTime.dwHighDateTime,
                          data.ftLastWriteTime.dwLowDateTime) +
               std::to_string(std::hash<std::string>()(ReadFileBytes(folder + entry)));
    state += "\n";
  }
  return state;
}

// Counts its calls; the second one throws.
int callbackCalls = 0;
int CountingCallback(const RARHeaderData&, std::string&, std::string&) {
  if (++callbackCalls == 2) throw SetupError("stopped by the callback");
  return RAR_EXTRACT;
}

// The entries of routing.rar in archive order, with their sizes.
const Texts kRoutingNames = {"uninstall.exe",  "readme.txt",     "Units\\alpha.pas", "Units\\Deep\\beta.pas",
                             "Help\\prod.hlp", "Docs\\PROD.CHM", "Docs\\prod.hlp",   "System\\orvrartest.dll",
                             "Empty"};
const std::vector<long long> kRoutingSizes = {3000, 120, 70000, 512, 2048, 4096, 1500, 777, 0};
constexpr long long kRoutingTotal = 3000 + 120 + 70000 + 512 + 2048 + 4096 + 1500 + 777;

class RarExtractionTest : public IsolatedTest {
 protected:
  void SetUp() override {
    LoadUnrarLibrary(WindowsPathFromUnix(EnvironmentValue("ORV_UNRAR_DLL")));
    RarTotalSize = 0;
    RarDoneSize = 0;
    callbackCalls = 0;
    SetupSettings = TSetupSettings();
    systemFile_ = SystemDir() + "orvrartest.dll";
    DeleteFileA(systemFile_.c_str());
  }
  void TearDown() override {
    RarProgressDialog = nullptr;
    UnloadUnrarLibrary();
    DeleteFileA(systemFile_.c_str());
  }

  bool Extract(const std::string& archive, const std::string& destination,
               TRarEntryCallback callback = ExtractRarEntry) {
    return ExtractRarArchive(archive, destination, callback, &SetupSettings.Files, &SetupSettings.Folders,
                             &SetupSettings.SystemFiles);
  }
  // A copy of a script-made archive inside the scratch folder, which the test may delete.
  std::string CopyOfArchive(const std::string& name, const std::string& relativePath) {
    std::string copy = folder_.path() + relativePath;
    CreateDirectoryA(ExtractFilePath(copy).c_str(), nullptr);
    EXPECT_TRUE(CopyFileA(ArchiveFromScript(name).c_str(), copy.c_str(), FALSE)) << copy;
    return copy;
  }
  std::string HelpFolder(const std::string& name = "Ide Help\\") {
    std::string help = folder_.path() + name;
    CreateDirectoryA(help.c_str(), nullptr);
    return help;
  }

  std::string systemFile_;
};

TEST_F(RarExtractionTest, RoutesSystemHelpAndOtherEntriesAndRecordsThem) {
  std::string destination = folder_.path() + "Prog\\Prod\\";
  std::string help = HelpFolder();
  std::string system = SystemDir();
  SetupSettings.HelpDir = help;
  SetupSettings.HelpFiles.SetText("prod.hlp=Product Help\r\nprod.chm\r\norvrartest.dll");
  SetupSettings.SystemFiles.Add("ORVRARTEST.DLL");  // named in both lists: the system folder wins

  ASSERT_TRUE(Extract(ArchiveFromScript("routing.rar"), destination));
  EXPECT_EQ(SetupSettings.Files.Lines(),
            (Texts{destination + "uninstall.exe", destination + "readme.txt", destination + "Units\\alpha.pas",
                   destination + "Units\\Deep\\beta.pas", help + "prod.hlp", help + "PROD.CHM", help + "prod.hlp",
                   system + "orvrartest.dll"}));
  // Missing parents outermost first; the help file's archive folder is made even though the file goes elsewhere;
  // neither the system file's folder nor the folder entry is recorded.
  EXPECT_EQ(SetupSettings.Folders.Lines(),
            (Texts{folder_.path() + "Prog", folder_.path() + "Prog\\Prod", destination + "Units",
                   destination + "Units\\Deep", destination + "Help", destination + "Docs"}));
  // The later of the two help entries lands last.
  ExpectRepeated({{destination + "Units\\alpha.pas", "alpha", 70000},
                  {help + "prod.hlp", "help-two", 1500},
                  {help + "PROD.CHM", "chm", 4096},
                  {systemFile_, "system", 777}});
  EXPECT_FALSE(FileExists(destination + "Help\\prod.hlp"));
  EXPECT_FALSE(FolderExists(destination + "System"));
  EXPECT_TRUE(FolderExists(destination + "Empty"));

  // Without a help folder of the IDE, help files stay below the destination; no system files listed, none routed.
  SetupSettings = TSetupSettings();
  SetupSettings.HelpFiles.Add("prod.hlp=Product Help");
  ASSERT_TRUE(Extract(ArchiveFromScript("routing.rar"), folder_.path()));
  EXPECT_EQ(SetupSettings.Files[4] + "|" + SetupSettings.Files[7],
            folder_.path() + "Help\\prod.hlp|" + folder_.path() + "System\\orvrartest.dll");
  ExpectRepeated({{folder_.path() + "Help\\prod.hlp", "help-one", 2048}});
}

TEST_F(RarExtractionTest, ShowsEntriesInOrderAtTheScreensPaceAndEndsOnTheFullBar) {
  ProgressStandIn dialog;
  RarProgressDialog = dialog.get();
  std::string archive = ArchiveFromScript("routing.rar");
  ProgressTraffic traffic;
  CountRarArchive(archive, folder_.path());
  EXPECT_EQ(RarTotalSize, kRoutingTotal);
  ASSERT_TRUE(Extract(archive, folder_.path()));
  EXPECT_EQ(RarDoneSize, RarTotalSize);

  std::vector<std::pair<std::string, long long>> updates;
  ASSERT_TRUE(traffic.Pairs(updates)) << ::testing::PrintToString(traffic.lines());
  EXPECT_EQ(traffic.lines()[0], "range 0 " + std::to_string(kRoutingTotal));
  // Each update names an entry with the bar advanced by the sizes up to and including it, in archive order. The
  // first entry, every entry of a percent of the total or more, and the last entry with the full bar are shown;
  // small entries that follow each other quickly may be left out.
  size_t next = 0;
  long long done = 0;
  for (size_t i = 0; i < kRoutingNames.size(); ++i) {
    done += kRoutingSizes[i];
    const bool mustShow = next == 0 || kRoutingSizes[i] * 100 >= kRoutingTotal || i + 1 == kRoutingNames.size();
    if (next < updates.size() && updates[next] == std::make_pair(kRoutingNames[i], done))
      ++next;
    else
      EXPECT_FALSE(mustShow) << kRoutingNames[i] << " was not shown";
  }
  EXPECT_EQ(next, updates.size()) << "updates out of order: " << ::testing::PrintToString(traffic.lines());

  // Listing headers only gives the same sum as walking an archive opened for extraction.
  RarTotalSize = 0;
  ExtractRarArchive(archive, folder_.path(), CountRarEntry, nullptr, nullptr, nullptr, RAR_OM_EXTRACT);
  EXPECT_EQ(RarTotalSize, kRoutingTotal);
}

// Files the walk writes itself are the library's own to the byte, time and attribute: archives of Windows (with
// attributes and full-precision times) and of Unix, compressed, solid and stored, names outside ASCII, a file larger
// than the writer's buffer, and names the library changes or that it is left to write itself.
TEST_F(RarExtractionTest, FilesAreWrittenAsTheLibraryWritesThem) {
  constexpr uint64_t kTime = 0x01DB2C3D4E5F6789ull;  // 100-nanosecond precision
  std::string large;
  for (int line = 0; large.size() < (12u << 20); ++line) large += "line " + std::to_string(line) + "\n";
  const std::vector<Rar5Entry> entries = {{"plain.txt", "plain", false, 0, 0x20, 0, false, kTime},
                                          {"Sub/read-only.txt", "kept", false, 0, 0x21, 0, false, kTime + 1},
                                          {"Sub/Deeper/hidden system.txt", "hidden", false, 0, 0x26, 0, false, kTime},
                                          {"no attributes.txt", "none", false, 0, 0x00, 0, false, kTime},
                                          {"empty.txt", "", false, 0, 0x20, 0, false, kTime},
                                          {"unix.txt", "from unix", false, 1, 0100444, 0, false, kTime},
                                          {"Unix Folder", "", true, 1, 040755, 0, false, 0},
                                          {"large.txt", large, false, 0, 0x20, 0, false, kTime},
                                          {"aux.txt", "device", false, 0, 0x20, 0, false, kTime},
                                          {"trailing. ", "trimmed", false, 0, 0x20, 0, false, kTime}};
  const std::string stored = folder_.path() + "stored.rar";
  WriteRar5Archive(stored, entries);
  for (const std::string& archive : {stored, ArchiveFromScript("routing.rar"), ArchiveFromScript("names.rar"),
                                     ArchiveFromScript("compressed.rar")}) {
    SCOPED_TRACE(archive);
    const std::string ours = folder_.path() + "Ours\\", theirs = folder_.path() + "Theirs\\";
    ASSERT_TRUE(ExtractRarArchive(archive, ours, nullptr, nullptr, nullptr, nullptr));
    ExtractWithTheLibrary(archive, theirs);
    EXPECT_EQ(TreeState(ours), TreeState(theirs));
    EXPECT_NE(TreeState(ours), "");
    DeleteFolderTree(ours);
    DeleteFolderTree(theirs);
  }
}

// Writes into the output only once the gate opens; the file made at createFailsAt (counted from 0) fails.
class GatedOutput : public EntryOutput {
 public:
  DWORD Create(const EntryFile&, OpenEntryFile&) override {
    return created_++ == createFailsAt ? ERROR_ACCESS_DENIED : 0;
  }
  DWORD Write(OpenEntryFile&, const unsigned char* data, size_t size) override {
    WaitForSingleObject(gate.get(), INFINITE);
    bytes.append(reinterpret_cast<const char*>(data), size);
    return 0;
  }
  void Finish(const EntryFile&, OpenEntryFile&, bool complete) override { finished += complete ? "+" : "-"; }
  UniqueKernelHandle gate{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  int createFailsAt = -1;
  std::string bytes, finished;

 private:
  int created_ = 0;
};

// However large an entry, no more data waits than the buffer holds (and the piece that filled it); the entries'
// outcomes come in order, and after a failure the rest are skipped.
TEST(EntryWriterTest, DataWaitsInABoundedBufferAndAFailureSkipsTheEntriesAfterIt) {
  constexpr size_t kLimit = 64 * 1024, kPiece = 16 * 1024, kPieces = 64;
  GatedOutput output;
  output.createFailsAt = 2;
  EntryWriter writer(output, kLimit, 1);  // one writer: the entry after the failed one is surely skipped
  std::thread producer([&] {
    for (int entry = 0; entry < 4; ++entry) {
      writer.Begin(EntryFile());
      for (size_t piece = 0; entry == 0 && piece < kPieces; ++piece)
        writer.Write(
            reinterpret_cast<const unsigned char*>(std::string(kPiece, static_cast<char>('a' + piece % 26)).data()),
            kPiece);
      writer.End(entry != 1);
    }
  });
  // The writer is held at its first piece until the buffer is full.
  while (writer.PeakBufferedBytes() < kLimit) Sleep(1);
  SetEvent(output.gate.get());
  producer.join();
  std::string outcomes;
  while (auto outcome = writer.TakeOutcome(true))
    outcomes += FormatText("%d/%lu ", static_cast<int>(outcome->first), outcome->second);
  auto expected = [](EntryOutcome outcome, DWORD error) {
    return FormatText("%d/%lu ", static_cast<int>(outcome), error);
  };
  EXPECT_EQ(outcomes, expected(EntryOutcome::kWritten, 0) + expected(EntryOutcome::kDiscarded, 0) +
                          expected(EntryOutcome::kNotCreated, ERROR_ACCESS_DENIED) +
                          expected(EntryOutcome::kSkipped, 0));
  EXPECT_LE(writer.PeakBufferedBytes(), kLimit + kPiece);
  EXPECT_EQ(output.finished, "+-");
  ASSERT_EQ(output.bytes.size(), kPiece * kPieces);
  for (size_t piece = 0; piece < kPieces; ++piece)
    EXPECT_EQ(output.bytes[piece * kPiece], static_cast<char>('a' + piece % 26)) << piece;
}

TEST_F(RarExtractionTest, EmptyArchivesAndTotalsBeyondThe31BitRange) {
  ProgressStandIn dialog;
  RarProgressDialog = dialog.get();
  std::vector<Rar5Entry> big;
  for (int i = 0; i < 3; ++i) big.push_back({"big" + std::to_string(i) + ".bin", "x", false, 0, 0x20, 1000000000});
  WriteRar5Archive(folder_.path() + "big.rar", big);
  WriteRar5Archive(folder_.path() + "empty.rar", {});
  {
    // Nothing to show: the range alone, and no destination made.
    ProgressTraffic traffic;
    CountRarArchive(folder_.path() + "empty.rar", folder_.path() + "Never\\");
    EXPECT_TRUE(Extract(folder_.path() + "empty.rar", folder_.path() + "Never\\"));
    EXPECT_EQ(traffic.lines(), Texts{"range 0 0"});
    EXPECT_TRUE(SetupSettings.Files.Empty() && SetupSettings.Folders.Empty());
    EXPECT_FALSE(FolderExists(folder_.path() + "Never"));
  }
  ProgressTraffic traffic;
  RarTotalSize = 0;
  CountRarArchive(folder_.path() + "big.rar", folder_.path());
  ASSERT_EQ(RarTotalSize, 3000000000LL);
  EXPECT_EQ(traffic.lines(), Texts{"range 0 1500000000"});
  EXPECT_EQ(RarProgressPosition(1000000000), 500000000);
  EXPECT_EQ(RarProgressPosition(RarTotalSize), 1500000000) << "the full bar is the scaled total";
  RarTotalSize = INT_MAX;
  EXPECT_EQ(RarProgressPosition(INT_MAX), INT_MAX) << "a total that fits is not scaled";
}

TEST_F(RarExtractionTest, FolderEntriesAreKnownByFlagOrByTheirHostsAttributes) {
  std::string archive = folder_.path() + "folders.rar";
  WriteRar5Archive(archive, {{"Flagged", "", true},
                             {"Flagged/inner.txt", "in"},
                             {"WinAttr", "", false, 0, 0x10},
                             {"UnixMode", "", false, 1, 0x41ED},
                             {"Sub/shared.inc", "group-writable", false, 1, 0x81B4},
                             {"Sub/plain.txt", "plain"}});
  std::string destination = folder_.path() + "Out\\";
  CreateDirectoryA(destination.c_str(), nullptr);

  ASSERT_TRUE(Extract(archive, destination));
  EXPECT_EQ(SetupSettings.Files.Lines(), (Texts{destination + "Flagged\\inner.txt", destination + "Sub\\shared.inc",
                                                destination + "Sub\\plain.txt"}));
  // The library made "Flagged" for its folder entry, so the file inside finds it present.
  EXPECT_EQ(SetupSettings.Folders.Lines(), (Texts{destination + "Sub"}));
  EXPECT_EQ(ReadFileBytes(destination + "Sub\\shared.inc"), "group-writable");
}

// The files below a folder, relative to it, sorted ignoring case.
Texts FilesBelow(const std::string& folder) {
  Texts files;
  for (const std::string& entry : ListFolderTree(folder))
    if (entry.back() != '\\') files.push_back(entry);
  return files;
}

// Entries that name a place outside the destination (absolute, drive-qualified, climbing with "..", with either
// separator) never leave it: what would climb out is skipped without a trace, and the library turns the separators
// and colons of the rest into plain characters. Everything extracted is recorded under the name it got on disk.
TEST_F(RarExtractionTest, EntriesEscapingTheDestinationStayInside) {
  const Texts escaping = {
      "../up-slash.txt",      "..\\up-backslash.txt",   "sub/../../climb-slash.txt", "sub\\..\\..\\climb-back.txt",
      "/rooted-slash.txt",    "\\rooted-backslash.txt", "C:\\drive-backslash.txt",   "C:/drive-slash.txt",
      "C:drive-relative.txt", "sub/.. /dots-blank.txt", "sub/.../three-dots.txt",    "//server/share/unc.txt"};
  std::vector<Rar5Entry> entries;
  for (const std::string& name : escaping) entries.push_back({name, "escaped"});
  entries.push_back({"keep/ok.txt", "inside"});
  const std::string archive = folder_.path() + "unsafe.rar";
  WriteRar5Archive(archive, entries);
  const std::string destination = folder_.path() + "Dest\\";
  SetupSettings.SystemFiles.Add("up-slash.txt");

  ASSERT_TRUE(Extract(archive, destination));
  EXPECT_EQ(ReadFileBytes(destination + "keep\\ok.txt"), "inside");
  const Texts onDisk = FilesBelow(destination);
  Texts recorded = SetupSettings.Files.Lines(), expected;
  for (const std::string& file : onDisk) expected.push_back(destination + file);
  std::sort(recorded.begin(), recorded.end(),
            [](const std::string& a, const std::string& b) { return CompareTextLocale(a, b) < 0; });
  EXPECT_EQ(recorded, expected);
  for (const char* climbed : {"up-slash", "climb-slash", "rooted-slash", "dots-blank"})
    for (const std::string& file : onDisk) EXPECT_EQ(file.find(climbed), std::string::npos) << file;
  EXPECT_FALSE(FolderExists(destination + "sub"));
  EXPECT_EQ(FilesBelow(folder_.path()).size(), onDisk.size() + 1) << "only the archive besides the destination";
  const std::string outside[] = {ExtractFileDrive(SystemDir()) + "\\", SystemDir(),
                                 ExtractFilePath(StripTrailingBackslash(folder_.path())), CurrentFolder() + "\\"};
  for (const std::string& name : escaping)
    for (const std::string& folder : outside)
      EXPECT_FALSE(FileExists(folder + name.substr(name.find_last_of("/\\:") + 1))) << folder << name;

  // Forms the library does not hand out here but another build might.
  for (const char* path : {"C:\\x.txt", "X:", "\\x", "/x", "a\\..", "..", "a/.. /b", "...\\x"})
    EXPECT_TRUE(IsUnsafeRarEntryPath(path)) << path;
  for (const char* path : {"a..b\\c", "..x", ".hidden\\.x", "a\\.\\b"})
    EXPECT_FALSE(IsUnsafeRarEntryPath(path)) << path;
}

TEST_F(RarExtractionTest, NamesOutsideAsciiLandAndAreRecordedAsOnDisk) {
  // ANSI (1252) spellings: "\xC4" A umlaut, "\357" i diaeresis, "\xDC"/"\xFC" U/u umlaut, "\337" sharp s, "\xD6" O
  // umlaut (in octal where a hexadecimal digit follows).
  std::string archive = CopyOfArchive("names.rar", "\xC4rchiv\\names.rar");
  std::string destination = folder_.path() + "Z\357el\\";
  std::string help = HelpFolder("H\357lfe\\");
  SetupSettings.HelpDir = help;
  SetupSettings.HelpFiles.Add("H\xDCLFE.HLP=Hilfe");

  ASSERT_TRUE(Extract(archive, destination));
  std::string text = destination + "\xDCnits\\gr\xFC\337e.txt";
  EXPECT_EQ(SetupSettings.Files.Lines(), (Texts{text, help + "h\xFClfe.hlp"}));
  EXPECT_EQ(SetupSettings.Folders.Lines(), (Texts{StripTrailingBackslash(destination), destination + "\xDCnits"}));
  ExpectRepeated({{text, "gruesse", 300}, {help + "h\xFClfe.hlp", "huelfe", 200}});
  EXPECT_TRUE(FolderExists(destination + "\xD6rdner"));
}

// Any archive the library cannot extract whole (not an archive, cut short anywhere, a byte changed in a header or in
// the data, encrypted) fails and is closed; only names the archive holds (or the flipped header gives) are
// extracted, all inside the destination.
TEST_F(RarExtractionTest, DamagedOrEncryptedArchivesFailAndAreClosed) {
  const std::string compressed = ReadFileBytes(ArchiveFromScript("compressed.rar"));
  ASSERT_FALSE(compressed.empty());
  const std::string stored =
      Rar5Archive({{"first.txt", std::string(3000, 'a')}, {"docs/second.txt", std::string(3000, 'b')}});
  const Rar5Entry badCrc{"first.txt", "stored data with the wrong checksum", false, 0, 0x20, 0, true};
  auto flipped = [](std::string bytes, size_t offset) {
    bytes[offset] = static_cast<char>(bytes[offset] ^ 0x55);
    return bytes;
  };
  const Texts names = {"docs\\",    "docs\\first.txt", "docs\\second.txt", "third.txt",
                       "first.txt", "fi'st.txt",       "secret.txt",       "second.bin"};
  const std::pair<const char*, std::string> variants[] = {
      {"text file", "This is not an archive.\r\n"},
      {"empty file", ""},
      {"cut in the first file header", compressed.substr(0, 40)},
      {"cut in the middle", compressed.substr(0, compressed.size() / 2)},
      {"cut before the end block", compressed.substr(0, compressed.size() - 8)},
      {"compressed data flipped", flipped(compressed, compressed.size() / 2)},
      {"main header flipped", flipped(stored, 10)},
      {"file header flipped", flipped(stored, stored.find("first.txt") + 2)},
      {"stored data flipped", flipped(stored, stored.find(std::string(3000, 'a')) + 100)},
      {"data checksum wrong", Rar5Archive({badCrc})},
      {"truncated in stored data", ReadFileBytes(ArchiveFromScript("truncated.rar"))},
      {"data encrypted", ReadFileBytes(ArchiveFromScript("password.rar"))},
      {"headers encrypted", ReadFileBytes(ArchiveFromScript("headers.rar"))}};
  const std::string archive = folder_.path() + "Data.rar";
  const std::string destination = folder_.path() + "Out\\";
  for (const auto& [name, bytes] : variants) {
    SCOPED_TRACE(name);
    WriteFileBytes(archive, bytes);
    EXPECT_FALSE(Extract(archive, destination));
    EXPECT_TRUE(DeleteFileA(archive.c_str())) << "still open";
    for (const std::string& entry : ListFolderTree(destination))
      EXPECT_NE(std::find(names.begin(), names.end(), entry), names.end()) << entry;
    EXPECT_EQ(FilesBelow(folder_.path()).size(), FilesBelow(destination).size());
    // A file whose data turned out damaged after it was written is gone again.
    if (std::string(name).find("stored data") == 0 || std::string(name) == "data checksum wrong") {
      EXPECT_FALSE(FileExists(destination + "first.txt"));
    }
    DeleteFolderTree(destination);
    SetupSettings = TSetupSettings();
  }

  // A RAR 5.0 archive must close with its end-of-archive block; the older format is not judged.
  const std::string whole = Rar5Archive({{"a.txt", "a"}});
  auto endsWhole = [&](const std::string& bytes) {
    WriteFileBytes(folder_.path() + "a.rar", bytes);
    return RarArchiveEndsWithEndBlock(folder_.path() + "a.rar");
  };
  for (const std::string& bytes : {whole, ReadFileBytes(ArchiveFromScript("rootonly.rar")), Rar5Archive({}),
                                   std::string("Rar!\x1A\x07\x00", 7) + std::string(40, 'x'), std::string()})
    EXPECT_TRUE(endsWhole(bytes)) << bytes.size() << " bytes";
  for (const std::string& bytes :
       {whole.substr(0, whole.size() - 1), flipped(whole, whole.size() - 8), whole.substr(0, 8)})
    EXPECT_FALSE(endsWhole(bytes)) << bytes.size() << " bytes";
  EXPECT_FALSE(RarArchiveEndsWithEndBlock(folder_.path() + "missing.rar"));
}

TEST_F(RarExtractionTest, ReadOnlyTargetsAreReplacedATargetThatCannotBeWrittenFailsTheWalk) {
  std::string readOnly = folder_.Write("one.txt", "older");
  std::string blocked = folder_.Write("two.txt", "in use");
  ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
  UniqueFile held(CreateFileA(blocked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held.valid());

  EXPECT_FALSE(Extract(ArchiveFromScript("rootonly.rar"), folder_.path()));
  held.reset();
  ExpectRepeated({{readOnly, "one", 10}});
  EXPECT_EQ(ReadFileBytes(blocked), "in use");
  SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(RarExtractionTest, ADestinationThatCannotBeCreatedFailsOnlyWhenFilesWereToGoThere) {
  const std::string unreachable = "Q:\\OrvTest\\";  // a fresh prefix maps no drive Q:
  EXPECT_FALSE(Extract(ArchiveFromScript("rootonly.rar"), unreachable));

  SetupSettings.Files.Clear();
  SetupSettings.HelpDir = HelpFolder();
  SetupSettings.HelpFiles.SetText("one.txt\r\ntwo.txt");
  EXPECT_TRUE(Extract(ArchiveFromScript("rootonly.rar"), unreachable));
  EXPECT_EQ(SetupSettings.Files.Count(), 2u);
}

TEST_F(RarExtractionTest, FilesThatWereSomeoneElsesFirstAreReplacedButNotRecorded) {
  std::string help = HelpFolder();
  SetupSettings.HelpDir = help;
  SetupSettings.HelpFiles.SetText("one.txt\r\ntwo.txt");
  folder_.Write("Ide Help\\one.txt", "theirs");
  folder_.Write("Ide Help\\two.txt", "counted before");
  RegistryKey::Create(HKEY_CURRENT_USER, kInstalledFilesKey).WriteDword(help + "two.txt", 1);
  WriteFileBytes(systemFile_, "theirs");
  SetupSettings.SystemFiles.Add("orvrartest.dll");

  ASSERT_TRUE(Extract(ArchiveFromScript("rootonly.rar"), folder_.path()));
  EXPECT_EQ(SetupSettings.Files.Lines(), (Texts{help + "two.txt"}));
  SetupSettings.Files.Clear();
  ASSERT_TRUE(Extract(ArchiveFromScript("routing.rar"), folder_.path() + "Second\\"));
  EXPECT_EQ(SetupSettings.Files.IndexOf(SystemDir() + "orvrartest.dll"), -1);
  ExpectRepeated({{help + "one.txt", "one", 10}, {help + "two.txt", "two", 20}, {systemFile_, "system", 777}});
}

TEST_F(RarExtractionTest, MissingLibraryExportOrArchiveAndCallbackErrors) {
  UnloadUnrarLibrary();
  std::string destination = folder_.path() + "Dest\\";
  auto extract = [&](const std::string& archive) { return Extract(archive, destination, CountingCallback); };
  // Nothing loaded and no unrar.dll beside the program: the wrappers try "unrar.dll" themselves. A bare name is
  // never looked for elsewhere, the system folder included.
  EXPECT_EQ(ErrorText([&] { extract(ArchiveFromScript("rootonly.rar")); }), "Can not load unrar.dll");
  EXPECT_EQ(ErrorText([&] { LoadUnrarLibrary(folder_.path() + "UnRar.dll"); }), "Can not load unrar.dll");
  EXPECT_EQ(ErrorText([&] { LoadUnrarLibrary("version.dll"); }), "Can not load unrar.dll");
  EXPECT_FALSE(UnrarLibraryLoaded());
  // A library without the entry points is never called through a null slot.
  LoadUnrarLibrary(SystemDir() + "version.dll");
  EXPECT_EQ(ErrorText([&] { extract(ArchiveFromScript("rootonly.rar")); }), "Can not find RAROpenArchive in unrar.dll");

  LoadUnrarLibrary(WindowsPathFromUnix(EnvironmentValue("ORV_UNRAR_DLL")));
  EXPECT_FALSE(extract(folder_.path() + "missing.rar"));
  EXPECT_EQ(callbackCalls, 0);
  EXPECT_TRUE(SetupSettings.Files.Empty() && SetupSettings.Folders.Empty());
  EXPECT_FALSE(FolderExists(destination));

  // An error from the callback passes on, the archive closed.
  std::string archive = CopyOfArchive("rootonly.rar", "rootonly.rar");
  EXPECT_THROW(extract(archive), SetupError);
  EXPECT_EQ(SetupSettings.Files.Lines(), (Texts{destination + "one.txt"}));
  EXPECT_TRUE(DeleteFileA(archive.c_str())) << "archive still open";
}
}  // namespace
