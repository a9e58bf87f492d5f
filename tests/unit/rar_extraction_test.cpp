// Extraction of real archives through the real unrar.dll: routing, records, progress, failures.
#include "rar_extraction.h"

#include <commctrl.h>

#include <climits>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "path_macros.h"
#include "path_utils.h"
#include "rar5_writer.h"
#include "registry.h"
#include "registry_names.h"
#include "scratch_registry.h"
#include "setup_error.h"
#include "setup_settings.h"

namespace {
// The content the archive script gives a file: the word on repeated lines, cut to the size.
std::string Repeated(const std::string& word, size_t size) {
  std::string text;
  while (text.size() < size) text += word + "\n";
  text.resize(size);
  return text;
}

std::string ArchiveFromScript(const std::string& name) {
  return WindowsPathFromUnix(EnvironmentValue("ORV_TEST_ARCHIVES")) + "\\" + name;
}

std::vector<std::string> Lines(const StringList& list) { return list.Lines(); }

// Messages that reached the progress controls (1000, 1001) and the dialog itself, in order.
struct CapturedMessage {
  int control;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  std::string text;
  bool operator==(const CapturedMessage& other) const {
    return control == other.control && message == other.message && wParam == other.wParam && lParam == other.lParam &&
           text == other.text;
  }
};

std::ostream& operator<<(std::ostream& out, const CapturedMessage& m) {
  return out << "{" << m.control << ", " << m.message << ", " << m.wParam << ", " << m.lParam << ", \"" << m.text
             << "\"}";
}

std::vector<CapturedMessage> captured;

LRESULT CALLBACK CaptureProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  int control = GetDlgCtrlID(window);
  switch (message) {
    case WM_SETTEXT:
      if (control != 0) captured.push_back({control, message, wParam, 0, reinterpret_cast<const char*>(lParam)});
      break;
    case PBM_SETPOS:
    case PBM_SETRANGE32:
    case WM_APP:
      captured.push_back({control, message, wParam, lParam, ""});
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// A stand-in for the progress dialog: a window with the status text and bar controls, logging what they get.
class ProgressCapture {
 public:
  ProgressCapture() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = CaptureProcedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "OrvProgressCapture";
    RegisterClassA(&windowClass);  // fails harmlessly when a previous test registered it
    dialog_.reset(CreateWindowExA(0, windowClass.lpszClassName, "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  windowClass.hInstance, nullptr));
    for (int id : {1000, 1001})
      CreateWindowExA(0, windowClass.lpszClassName, "", WS_CHILD, 0, 0, 1, 1, dialog_.get(),
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), windowClass.hInstance, nullptr);
    captured.clear();
  }
  HWND get() const { return dialog_.get(); }

 private:
  UniqueWindow dialog_;
};

CapturedMessage Range(long long maximum) { return {1000, PBM_SETRANGE32, 0, static_cast<LPARAM>(maximum), ""}; }

int callbackCalls = 0;
int CountingCallback(const RARHeaderData&, std::string&, std::string&) {
  ++callbackCalls;
  return RAR_EXTRACT;
}
int ThrowingCallback(const RARHeaderData&, std::string&, std::string&) {
  if (++callbackCalls == 2) throw SetupError("stopped by the callback");
  return RAR_EXTRACT;
}

// The entries of routing.rar in archive order, with their sizes.
const std::vector<std::pair<std::string, long long>> kRoutingEntries = {
    {"uninstall.exe", 3000},
    {"readme.txt", 120},
    {"Units\\alpha.pas", 70000},
    {"Units\\Deep\\beta.pas", 512},
    {"Help\\prod.hlp", 2048},
    {"Docs\\PROD.CHM", 4096},
    {"Docs\\prod.hlp", 1500},
    {"System\\orvrartest.dll", 777},
    {"Empty", 0},
};
constexpr long long kRoutingTotal = 3000 + 120 + 70000 + 512 + 2048 + 4096 + 1500 + 777;

class RarExtractionTest : public IsolatedTest {
 protected:
  void SetUp() override {
    LoadUnrarLibrary(WindowsPathFromUnix(EnvironmentValue("ORV_UNRAR_DLL")));
    RarTotalSize = 0;
    RarDoneSize = 0;
    callbackCalls = 0;
    SetupSettings.HelpDir.clear();
    SetupSettings.HelpFiles.Clear();
    SetupSettings.SystemFiles.Clear();
    SetupSettings.Files.Clear();
    SetupSettings.Folders.Clear();
    systemFile_ = SystemDir() + "orvrartest.dll";
    DeleteFileA(systemFile_.c_str());
  }
  void TearDown() override {
    RarProgressDialog = nullptr;
    UnloadUnrarLibrary();
    DeleteFileA(systemFile_.c_str());
  }

  bool Extract(const std::string& archive, const std::string& destination) {
    return ExtractRarArchive(archive, destination, ExtractRarEntry, &SetupSettings.Files, &SetupSettings.Folders,
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
  SetupSettings.HelpFiles.Add("prod.hlp=Product Help");
  SetupSettings.HelpFiles.Add("prod.chm");
  SetupSettings.HelpFiles.Add("orvrartest.dll");  // named in both lists: the system folder wins
  SetupSettings.SystemFiles.Add("ORVRARTEST.DLL");

  ASSERT_TRUE(Extract(ArchiveFromScript("routing.rar"), destination));

  EXPECT_EQ(
      Lines(SetupSettings.Files),
      (std::vector<std::string>{destination + "uninstall.exe", destination + "readme.txt",
                                destination + "Units\\alpha.pas", destination + "Units\\Deep\\beta.pas",
                                help + "prod.hlp", help + "PROD.CHM", help + "prod.hlp", system + "orvrartest.dll"}));
  // Missing parents outermost first; the help file's archive folder is made even though the file goes elsewhere;
  // neither the system file's folder nor the folder entry is recorded.
  EXPECT_EQ(Lines(SetupSettings.Folders),
            (std::vector<std::string>{folder_.path() + "Prog", folder_.path() + "Prog\\Prod", destination + "Units",
                                      destination + "Units\\Deep", destination + "Help", destination + "Docs"}));
  EXPECT_EQ(ReadFileBytes(destination + "Units\\alpha.pas"), Repeated("alpha", 70000));
  EXPECT_EQ(ReadFileBytes(destination + "Units\\Deep\\beta.pas"), Repeated("beta", 512));
  EXPECT_EQ(ReadFileBytes(help + "prod.hlp"), Repeated("help-two", 1500)) << "the later entry lands last";
  EXPECT_EQ(ReadFileBytes(help + "PROD.CHM"), Repeated("chm", 4096));
  EXPECT_EQ(ReadFileBytes(systemFile_), Repeated("system", 777));
  EXPECT_FALSE(FileExists(destination + "Help\\prod.hlp"));
  EXPECT_FALSE(FolderExists(destination + "System"));
  EXPECT_TRUE(FolderExists(destination + "Empty"));
}

TEST_F(RarExtractionTest, HelpFilesGoToTheInstallFolderWhenTheIdeHasNoHelpFolder) {
  std::string destination = folder_.path();
  SetupSettings.HelpFiles.Add("prod.hlp=Product Help");
  ASSERT_TRUE(Extract(ArchiveFromScript("routing.rar"), destination));
  EXPECT_EQ(SetupSettings.Files[4], destination + "Help\\prod.hlp");
  EXPECT_EQ(ReadFileBytes(destination + "Help\\prod.hlp"), Repeated("help-one", 2048));
  EXPECT_EQ(SetupSettings.Files[7], destination + "System\\orvrartest.dll") << "no system files listed";
}

// The status and bar updates after the range, as (text, position) pairs; false when they do not come in pairs.
bool EntryUpdates(std::vector<std::pair<std::string, long long>>& updates) {
  updates.clear();
  for (size_t i = 1; i + 1 < captured.size(); i += 2) {
    if (captured[i].control != 1001 || captured[i + 1].control != 1000 || captured[i + 1].message != PBM_SETPOS)
      return false;
    updates.emplace_back(captured[i].text, static_cast<long long>(captured[i + 1].wParam));
  }
  return captured.size() % 2 == 1;
}

TEST_F(RarExtractionTest, ShowsEntriesInOrderAtTheScreensPaceAndEndsOnTheFullBar) {
  ProgressCapture progress;
  RarProgressDialog = progress.get();
  std::string archive = ArchiveFromScript("routing.rar");

  CountRarArchive(archive, folder_.path());
  EXPECT_EQ(RarTotalSize, kRoutingTotal);
  ASSERT_TRUE(Extract(archive, folder_.path()));
  EXPECT_EQ(RarDoneSize, RarTotalSize);

  ASSERT_FALSE(captured.empty());
  EXPECT_EQ(captured[0], Range(kRoutingTotal));
  std::vector<std::pair<std::string, long long>> updates;
  ASSERT_TRUE(EntryUpdates(updates)) << ::testing::PrintToString(captured);
  // Each update names an entry with the bar advanced by the sizes up to and including it, in archive order. The
  // first entry, every entry of a percent of the total or more, and the last entry with the full bar are shown;
  // small entries that follow each other quickly may be left out.
  size_t next = 0;
  long long done = 0;
  for (const auto& entry : kRoutingEntries) {
    done += entry.second;
    const bool mustShow = next == 0 || entry.second * 100 >= kRoutingTotal || entry == kRoutingEntries.back();
    if (next < updates.size() && updates[next] == std::make_pair(entry.first, done)) {
      ++next;
    } else {
      EXPECT_FALSE(mustShow) << entry.first << " was not shown";
    }
  }
  EXPECT_EQ(next, updates.size()) << "updates out of order: " << ::testing::PrintToString(captured);

  // Listing headers only gives the same sum as walking an archive opened for extraction.
  long long listed = RarTotalSize;
  RarTotalSize = 0;
  ExtractRarArchive(archive, folder_.path(), CountRarEntry, nullptr, nullptr, nullptr, RAR_OM_EXTRACT);
  EXPECT_EQ(RarTotalSize, listed);
}

TEST_F(RarExtractionTest, ManySmallEntriesCostFewerUpdatesThanEntries) {
  ProgressCapture progress;
  RarProgressDialog = progress.get();
  std::vector<Rar5Entry> entries(400);
  for (size_t i = 0; i < entries.size(); ++i) {
    entries[i].name = "f" + std::to_string(i) + ".txt";
    entries[i].data = "small";
  }
  std::string archive = folder_.path() + "small.rar";
  WriteRar5Archive(archive, entries);

  CountRarArchive(archive, folder_.path() + "Out\\");
  ASSERT_TRUE(Extract(archive, folder_.path() + "Out\\"));
  EXPECT_EQ(SetupSettings.Files.Count(), entries.size());
  std::vector<std::pair<std::string, long long>> updates;
  ASSERT_TRUE(EntryUpdates(updates));
  ASSERT_FALSE(updates.empty());
  EXPECT_LT(updates.size(), entries.size() / 2) << "every entry repainted the dialog";
  EXPECT_EQ(updates.front(), std::make_pair(std::string("f0.txt"), 5LL));
  EXPECT_EQ(updates.back(), std::make_pair(std::string("f399.txt"), 2000LL));
}

TEST_F(RarExtractionTest, ScalesTotalsBeyondThe31BitRange) {
  ProgressCapture progress;
  RarProgressDialog = progress.get();
  std::vector<Rar5Entry> entries(3);
  for (size_t i = 0; i < entries.size(); ++i) {
    entries[i].name = "big" + std::to_string(i) + ".bin";
    entries[i].data = "x";
    entries[i].declaredSize = 1000000000;
  }
  std::string archive = folder_.path() + "big.rar";
  WriteRar5Archive(archive, entries);

  CountRarArchive(archive, folder_.path());
  ASSERT_EQ(RarTotalSize, 3000000000LL);
  EXPECT_EQ(captured, (std::vector<CapturedMessage>{Range(1500000000)}));
  EXPECT_EQ(RarProgressPosition(1000000000), 500000000);
  EXPECT_EQ(RarProgressPosition(RarTotalSize), 1500000000) << "the full bar is the scaled total";

  RarTotalSize = INT_MAX;
  EXPECT_EQ(RarProgressPosition(INT_MAX), INT_MAX) << "a total that fits is not scaled";
}

TEST_F(RarExtractionTest, RootOnlyArchiveMakesTheDestinationAndItsParentsOnce) {
  std::string destination = folder_.path() + "A\\B\\";
  ASSERT_TRUE(Extract(ArchiveFromScript("rootonly.rar"), destination));
  EXPECT_EQ(Lines(SetupSettings.Files), (std::vector<std::string>{destination + "one.txt", destination + "two.txt"}));
  EXPECT_EQ(Lines(SetupSettings.Folders), (std::vector<std::string>{folder_.path() + "A", folder_.path() + "A\\B"}));
  EXPECT_EQ(ReadFileBytes(destination + "two.txt"), Repeated("two", 20));
}

TEST_F(RarExtractionTest, EmptyArchiveRecordsAndCreatesNothing) {
  ProgressCapture progress;
  RarProgressDialog = progress.get();
  std::string archive = folder_.path() + "empty.rar";
  WriteRar5Archive(archive, {});
  std::string destination = folder_.path() + "Never\\";

  CountRarArchive(archive, destination);
  EXPECT_TRUE(Extract(archive, destination));
  EXPECT_EQ(RarTotalSize, 0);
  EXPECT_EQ(captured, (std::vector<CapturedMessage>{Range(0)}));
  EXPECT_TRUE(SetupSettings.Files.Empty());
  EXPECT_TRUE(SetupSettings.Folders.Empty());
  EXPECT_FALSE(FolderExists(destination));
}

TEST_F(RarExtractionTest, FolderEntriesAreKnownByFlagOrByTheirHostsAttributes) {
  auto entry = [](const char* name, unsigned hostOs, uint64_t attributes, bool directory, const char* data) {
    Rar5Entry result;
    result.name = name;
    result.hostOs = hostOs;
    result.attributes = attributes;
    result.directory = directory;
    result.data = data;
    return result;
  };
  std::string archive = folder_.path() + "folders.rar";
  WriteRar5Archive(archive, {entry("Flagged", 0, 0x20, true, ""), entry("Flagged/inner.txt", 0, 0x20, false, "in"),
                             entry("WinAttr", 0, 0x10, false, ""), entry("UnixMode", 1, 0x41ED, false, ""),
                             entry("Sub/shared.inc", 1, 0x81B4, false, "group-writable"),
                             entry("Sub/plain.txt", 0, 0x20, false, "plain")});
  std::string destination = folder_.path() + "Out\\";
  CreateDirectoryA(destination.c_str(), nullptr);

  ASSERT_TRUE(Extract(archive, destination));
  EXPECT_EQ(Lines(SetupSettings.Files),
            (std::vector<std::string>{destination + "Flagged\\inner.txt", destination + "Sub\\shared.inc",
                                      destination + "Sub\\plain.txt"}));
  // The library made "Flagged" for its folder entry, so the file inside finds it present.
  EXPECT_EQ(Lines(SetupSettings.Folders), (std::vector<std::string>{destination + "Sub"}));
  EXPECT_EQ(ReadFileBytes(destination + "Sub\\shared.inc"), "group-writable");
}

TEST_F(RarExtractionTest, UnsafeEntriesAreSkippedWithoutATrace) {
  auto entry = [](const char* name) {
    Rar5Entry result;
    result.name = name;
    result.data = name;
    return result;
  };
  std::string archive = folder_.path() + "unsafe.rar";
  WriteRar5Archive(archive, {entry("../escape.txt"), entry("/rooted.txt"), entry("Sub/../../climb.txt"),
                             entry("Deep/.. /dots.txt"), entry("C:drive.txt"), entry("keep/ok.txt")});
  std::string destination = folder_.path() + "Dest\\";
  SetupSettings.SystemFiles.Add("escape.txt");

  ASSERT_TRUE(Extract(archive, destination));
  // The library itself turns a drive colon into "_"; that name stays inside the destination.
  EXPECT_EQ(Lines(SetupSettings.Files),
            (std::vector<std::string>{destination + "C_drive.txt", destination + "keep\\ok.txt"}));
  EXPECT_EQ(Lines(SetupSettings.Folders),
            (std::vector<std::string>{StripTrailingBackslash(destination), destination + "keep"}));
  for (const char* name : {"escape.txt", "rooted.txt", "climb.txt", "dots.txt"}) {
    EXPECT_FALSE(FileExists(folder_.path() + name)) << name;
    EXPECT_FALSE(FileExists(destination + name)) << name;
  }
  EXPECT_FALSE(FileExists(SystemDir() + "escape.txt"));
  EXPECT_FALSE(FolderExists(destination + "Sub"));
  EXPECT_FALSE(FolderExists(destination + "Deep"));
  EXPECT_EQ(ReadFileBytes(destination + "keep\\ok.txt"), "keep/ok.txt");

  // Forms the library does not hand out here but another build might.
  for (const char* path : {"C:\\x.txt", "X:", "\\x", "/x", "a\\..", "..", "a/.. /b", "...\\x"})
    EXPECT_TRUE(IsUnsafeRarEntryPath(path)) << path;
  for (const char* path : {"a..b\\c", "..x", ".hidden\\.x", "a\\.\\b"})
    EXPECT_FALSE(IsUnsafeRarEntryPath(path)) << path;
}

TEST_F(RarExtractionTest, NamesOutsideAsciiLandAndAreRecordedAsOnDisk) {
  // ANSI (1252) spellings: "\xC4" A umlaut, "\xCF"/"\xEF" I/i diaeresis, "\xDC"/"\xFC" U/u umlaut, "\xDF" sharp s,
  // "\xD6" O umlaut.
  std::string archive = CopyOfArchive("names.rar", "\xC4rchiv\\names.rar");
  std::string destination = folder_.path() +
                            "Z\xEF"
                            "el\\";
  std::string help = HelpFolder(
      "H\xEF"
      "lfe\\");
  SetupSettings.HelpDir = help;
  SetupSettings.HelpFiles.Add("H\xDCLFE.HLP=Hilfe");

  ASSERT_TRUE(Extract(archive, destination));
  std::string text = destination +
                     "\xDCnits\\gr\xFC\xDF"
                     "e.txt";
  EXPECT_EQ(Lines(SetupSettings.Files), (std::vector<std::string>{text, help + "h\xFClfe.hlp"}));
  EXPECT_EQ(Lines(SetupSettings.Folders),
            (std::vector<std::string>{StripTrailingBackslash(destination), destination + "\xDCnits"}));
  EXPECT_EQ(ReadFileBytes(text), Repeated("gruesse", 300));
  EXPECT_EQ(ReadFileBytes(help + "h\xFClfe.hlp"), Repeated("huelfe", 200));
  EXPECT_TRUE(FolderExists(destination + "\xD6rdner"));
}

TEST_F(RarExtractionTest, DamagedOrEncryptedArchivesFailAndAreClosed) {
  std::vector<Rar5Entry> badData(1);
  badData[0].name = "bad.txt";
  badData[0].data = "damaged";
  badData[0].corruptDataCrc = true;
  std::string badCrc = folder_.path() + "badcrc.rar";
  WriteRar5Archive(badCrc, badData);
  std::vector<std::string> archives = {CopyOfArchive("truncated.rar", "truncated.rar"),
                                       CopyOfArchive("password.rar", "password.rar"),
                                       CopyOfArchive("headers.rar", "headers.rar"), badCrc};
  for (const std::string& archive : archives) {
    EXPECT_FALSE(Extract(archive, folder_.path() + "Out\\")) << archive;
    EXPECT_TRUE(DeleteFileA(archive.c_str())) << archive << " still open";
  }
}

TEST_F(RarExtractionTest, AFileThatCannotBeWrittenIsRecordedAndTheWalkGoesOn) {
  std::string destination = folder_.path();
  std::string blocked = folder_.Write("one.txt", "in use");
  UniqueFile held(CreateFileA(blocked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held.valid());

  EXPECT_TRUE(Extract(ArchiveFromScript("rootonly.rar"), destination));
  held.reset();
  EXPECT_EQ(Lines(SetupSettings.Files), (std::vector<std::string>{destination + "one.txt", destination + "two.txt"}));
  EXPECT_EQ(ReadFileBytes(blocked), "in use");
  EXPECT_EQ(ReadFileBytes(destination + "two.txt"), Repeated("two", 20));
}

TEST_F(RarExtractionTest, ADestinationThatCannotBeCreatedFailsOnlyWhenFilesWereToGoThere) {
  // A fresh prefix maps no drive Q:.
  std::string unreachable = "Q:\\OrvTest\\";
  EXPECT_FALSE(Extract(ArchiveFromScript("rootonly.rar"), unreachable));

  SetupSettings.Files.Clear();
  SetupSettings.HelpDir = HelpFolder();
  SetupSettings.HelpFiles.Add("one.txt");
  SetupSettings.HelpFiles.Add("two.txt");
  EXPECT_TRUE(Extract(ArchiveFromScript("rootonly.rar"), unreachable));
  EXPECT_EQ(SetupSettings.Files.Count(), 2u);
}

TEST_F(RarExtractionTest, FilesThatWereSomeoneElsesFirstAreReplacedButNotRecorded) {
  std::string help = HelpFolder();
  SetupSettings.HelpDir = help;
  SetupSettings.HelpFiles.Add("one.txt");
  SetupSettings.HelpFiles.Add("two.txt");
  folder_.Write("Ide Help\\one.txt", "theirs");
  folder_.Write("Ide Help\\two.txt", "counted before");
  RegistryKey::Create(HKEY_CURRENT_USER, kInstalledFilesKey).WriteDword(help + "two.txt", 1);
  WriteFileBytes(systemFile_, "theirs");
  SetupSettings.SystemFiles.Add("orvrartest.dll");

  ASSERT_TRUE(Extract(ArchiveFromScript("rootonly.rar"), folder_.path()));
  EXPECT_EQ(Lines(SetupSettings.Files), (std::vector<std::string>{help + "two.txt"}));
  EXPECT_EQ(ReadFileBytes(help + "one.txt"), Repeated("one", 10));
  EXPECT_EQ(ReadFileBytes(help + "two.txt"), Repeated("two", 20));

  SetupSettings.Files.Clear();
  ASSERT_TRUE(Extract(ArchiveFromScript("routing.rar"), folder_.path() + "Second\\"));
  EXPECT_EQ(SetupSettings.Files.IndexOf(SystemDir() + "orvrartest.dll"), -1);
  EXPECT_EQ(ReadFileBytes(systemFile_), Repeated("system", 777));
}

TEST_F(RarExtractionTest, MissingLibraryExportOrArchive) {
  UnloadUnrarLibrary();
  std::string destination = folder_.path() + "Dest\\";
  auto extract = [&](const std::string& archive) {
    return ExtractRarArchive(archive, destination, CountingCallback, &SetupSettings.Files, &SetupSettings.Folders,
                             &SetupSettings.SystemFiles);
  };
  // Nothing loaded and no unrar.dll on the search path: the wrappers try "unrar.dll" themselves.
  try {
    extract(ArchiveFromScript("rootonly.rar"));
    ADD_FAILURE() << "no error raised";
  } catch (const SetupError& error) {
    EXPECT_STREQ(error.what(), "Can not load unrar.dll");
  }
  try {
    LoadUnrarLibrary(folder_.path() + "UnRar.dll");
    ADD_FAILURE() << "no error raised";
  } catch (const SetupError& error) {
    EXPECT_STREQ(error.what(), "Can not load unrar.dll");
  }
  EXPECT_FALSE(UnrarLibraryLoaded());

  // A library without the entry points is never called through a null slot.
  LoadUnrarLibrary("version.dll");
  try {
    extract(ArchiveFromScript("rootonly.rar"));
    ADD_FAILURE() << "no error raised";
  } catch (const SetupError& error) {
    EXPECT_STREQ(error.what(), "Can not find RAROpenArchive in unrar.dll");
  }

  LoadUnrarLibrary(WindowsPathFromUnix(EnvironmentValue("ORV_UNRAR_DLL")));
  EXPECT_FALSE(extract(folder_.path() + "missing.rar"));
  EXPECT_EQ(callbackCalls, 0);
  EXPECT_TRUE(SetupSettings.Files.Empty());
  EXPECT_TRUE(SetupSettings.Folders.Empty());
  EXPECT_FALSE(FolderExists(destination));
}

TEST_F(RarExtractionTest, AnErrorFromTheCallbackClosesTheArchiveAndPassesOn) {
  std::string archive = CopyOfArchive("rootonly.rar", "rootonly.rar");
  EXPECT_THROW(ExtractRarArchive(archive, folder_.path(), ThrowingCallback, &SetupSettings.Files, nullptr, nullptr),
               SetupError);
  EXPECT_EQ(Lines(SetupSettings.Files), (std::vector<std::string>{folder_.path() + "one.txt"}));
  EXPECT_TRUE(DeleteFileA(archive.c_str())) << "archive still open";
}

TEST_F(RarExtractionTest, PendingMessagesAreHandledDuringTheWalk) {
  ProgressCapture progress;
  PostMessageA(progress.get(), WM_APP, 0, 0);
  Sleep(50);  // past the pump's interval
  ASSERT_TRUE(Extract(ArchiveFromScript("rootonly.rar"), folder_.path()));
  ASSERT_EQ(captured.size(), 1u);
  EXPECT_EQ(captured[0].message, static_cast<UINT>(WM_APP));
}
}  // namespace
