// The uninstaller's removal steps against an isolated registry and scratch folders.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <future>
#include <vector>

#include "file_deletions.h"
#include "help_contents.h"
#include "install_records.h"
#include "library_path.h"
#include "message_box.h"
#include "path_macros.h"
#include "path_utils.h"
#include "registry.h"
#include "registry_names.h"
#include "removal_steps.h"
#include "scratch_registry.h"
#include "setup_error.h"
#include "uninstall_entry.h"
#include "uninstaller.h"
#include "test_utils.h"
#include "unique_handle.h"

namespace {
int answer = IDNO;
int boxes = 0;
int Answer(const std::string&, const std::string&, UINT) {
  ++boxes;
  return answer;
}

class RemovalTest : public IsolatedTest {
 protected:
  void SetUp() override {
    previous_ = SetMessageBoxHandler(Answer);
    boxes = 0;
    AppName = "Removal Test";
  }
  void TearDown() override { SetMessageBoxHandler(previous_); }

  // Records an installation of the files (one a line) under appName, as the setup program leaves it.
  void Install(const std::string& appName, const std::string& files, const std::string& product = "",
               const std::string& subProducts = "") {
    StringList list;
    list.SetText(files);
    SetUninstallValue(appName, kFilesValue, files);
    SetUninstallValue(appName, kProductNameValue, product);
    SetUninstallValue(appName, kSubProductNameValue, subProducts);
    CountInstalledFiles(list);
    if (!product.empty()) RecordInstalledProduct(product, subProducts, "1.0", list, folder_.path());
  }

  static bool KeyExists(HKEY root, const std::string& path) { return RegistryKey::Open(root, path).valid(); }

  MessageBoxHandler previous_ = nullptr;
};

TEST_F(RemovalTest, SharedFilesStayUntilTheirLastInstallationGoes) {
  // Among them a name outside ASCII.
  const std::string shared = folder_.Write("shared.dll", "s"), own = folder_.Write("\xD6wn \xE9t\xE9.txt", "o"),
                    readOnly = folder_.Write("ro.txt", "r"), zero = folder_.Write("zero.txt", "z"),
                    twice = folder_.Write("twice.txt", "t");
  SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
  Install("First", shared + "\r\n" + own + "\r\n" + twice + "\r\n" + twice + "\r\n" + readOnly + "\r\n" +
                       folder_.path() + "never-counted.txt\r\n" + zero + "\r\n" + folder_.path() + "gone.txt\r\n");
  Install("Second", shared);
  RegistryKey counters = RegistryKey::Open(HKEY_CURRENT_USER, kInstalledFilesKey);
  counters.DeleteValue(folder_.path() + "never-counted.txt");
  counters.WriteDword(zero, 0);
  counters.WriteDword(twice, 1);
  counters.Close();

  // A counter already at zero keeps its file and goes, instead of wrapping round; a missing file is passed over. A
  // file listed twice with one count goes at its first listing and finds no counter at its second.
  AppName = "First";
  StringList kept;
  RemoveInstalledFiles(kept);
  EXPECT_TRUE(FileExists(shared));
  EXPECT_FALSE(FileExists(own));
  EXPECT_FALSE(FileExists(readOnly));  // read-only files go too
  EXPECT_TRUE(FileExists(zero));
  EXPECT_FALSE(FileExists(twice));
  EXPECT_EQ(kept.Lines(), (std::vector<std::string>{shared, twice, folder_.path() + "never-counted.txt", zero}));
  EXPECT_EQ(RegistryKey::Open(HKEY_CURRENT_USER, kInstalledFilesKey).ValueNames(), std::vector<std::string>{shared});
  EXPECT_EQ(GetInstalledFileCount(shared), 1);

  AppName = "Second";
  StringList keptAgain;
  RemoveInstalledFiles(keptAgain);
  EXPECT_FALSE(FileExists(shared));
  EXPECT_TRUE(keptAgain.Empty());
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kInstalledFilesKey));  // the last counter took the key along
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kCompanyKey));         // and the maker's key, now empty
}

// What a removal killed half-way leaves, and the second run that finishes it.
TEST_F(RemovalTest, ARemovalRunAgainAfterAKillFinishesWithoutTakingAnotherInstallationsCount) {
  const std::string first = folder_.Write("a.txt", "a"), shared = folder_.Write("shared.dll", "s"),
                    sharedMarked = folder_.Write("marked.dll", "m"), last = folder_.Write("b.txt", "b");
  Install(AppName, first + "\r\n" + shared + "\r\n" + sharedMarked + "\r\n" + last + "\r\n");
  Install("Other", shared + "\r\n" + sharedMarked + "\r\n");
  // Killed after a.txt went with its counter, shared.dll was released (marked, down to 1), and marked.dll was marked
  // but its count not yet lowered; a file of its own was deleted before its counter.
  ASSERT_TRUE(DeleteFileA(first.c_str()));
  ASSERT_TRUE(RegistryKey::Open(HKEY_CURRENT_USER, kInstalledFilesKey).DeleteValue(first));
  RegistryKey::Open(HKEY_CURRENT_USER, kInstalledFilesKey).WriteDword(shared, 1);
  RegistryKey::Open(HKEY_LOCAL_MACHINE, UninstallEntryKeyPath(AppName)).WriteDword(kFilesReleasedValue, 3);
  ASSERT_TRUE(DeleteFileA(last.c_str()));

  StringList kept;
  RemoveInstalledFiles(kept);
  EXPECT_EQ(GetInstalledFileCount(shared), 1);
  EXPECT_EQ(GetInstalledFileCount(sharedMarked), 2);  // one too many rather than a file lost
  EXPECT_EQ(GetInstalledFileCount(last), -1);         // its counter found again and gone
  EXPECT_TRUE(FileExists(shared) && FileExists(sharedMarked));
}

TEST_F(RemovalTest, FileStepKeepsItsDialogCurrentAndServesPendingMessages) {
  StringList files;
  for (int i = 0; i < 40; ++i) files.Add(folder_.Write("f" + std::to_string(i) + ".txt", "x"));
  Install(AppName, files.Text());
  // A message waiting for this thread: only message processing during the step takes it from the queue.
  UniqueWindow window(CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr));
  ASSERT_TRUE(window);
  ASSERT_TRUE(PostMessageA(window.get(), WM_APP, 0, 0));
  Sleep(100);  // past the pause between two rounds of message processing
  StringList kept;
  std::vector<std::pair<std::string, long long>> updates;
  {
    ProgressTraffic traffic;
    RemoveInstalledFiles(kept);
    ASSERT_TRUE(traffic.Pairs(updates)) << ::testing::PrintToString(traffic.lines());
    EXPECT_EQ(traffic.lines()[0], "range 0 40");
  }
  MSG message;
  EXPECT_FALSE(PeekMessageA(&message, window.get(), WM_APP, WM_APP, PM_REMOVE));
  // Pairs of a file and its index in list order, ending with the last file.
  ASSERT_FALSE(updates.empty());
  long long lastPosition = -1;
  for (const auto& update : updates) {
    EXPECT_GT(update.second, lastPosition);
    ASSERT_LT(update.second, 40);
    EXPECT_EQ(update.first, files[update.second]);
    lastPosition = update.second;
  }
  EXPECT_EQ(lastPosition, 39);
  EXPECT_FALSE(FileExists(files[39]));
}

TEST_F(RemovalTest, SubProductsOfOneProductAndTheLastProduct) {
  Install("XY", "", "Prod", "X;Y;Version");
  Install("Z", "", "Prod", "Z");
  Install("Other", "", "Else", "");
  RegistryKey::Create(HKEY_CURRENT_USER, std::string(kCompanyKey) + "\\Licence");
  const std::string record = std::string(kInstalledProductsKey) + "\\Prod";

  RemoveProductRecord("Prod", "X;Y;Version", {});
  RegistryKey key = RegistryKey::Open(HKEY_CURRENT_USER, record);
  ASSERT_TRUE(key.valid());
  EXPECT_FALSE(key.ValueExists("X"));
  EXPECT_FALSE(key.ValueExists("Y"));
  EXPECT_TRUE(key.ValueExists("Z"));
  EXPECT_TRUE(key.ValueExists("Version"));  // a reserved name is never taken for a sub-product
  EXPECT_TRUE(key.ValueExists("FolderName"));
  key.Close();

  RemoveProductRecord("Prod", "Z", {});
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, record));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kInstalledProductsKey));  // "Else" is still there
  RemoveProductRecord("Else", "", {});
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kInstalledProductsKey));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kCompanyKey));  // it holds something else
  RemoveProductRecord("", "X", {});                        // nothing to do, nothing raised
}

TEST_F(RemovalTest, FoldersGoDeepestFirstAndOnlyWhenEmpty) {
  std::string p = folder_.path() + "P";
  folder_.Write("P\\Sub\\Deep\\x.txt", "x");
  folder_.Write("Q\\kept.txt", "k");
  DeleteFileA((p + "\\Sub\\Deep\\x.txt").c_str());
  SetUninstallValue(AppName, kFoldersValue,
                    p + "\r\n" + folder_.path() + "Q\r\n" + p + "\\Sub\\Deep\r\n" + p + "\\sub\r\n");
  std::vector<std::string> left = RemoveInstalledFolders();
  EXPECT_FALSE(FolderExists(p));
  EXPECT_TRUE(FolderExists(folder_.path() + "Q"));
  EXPECT_TRUE(left.empty());  // none of them holds this program
}

TEST_F(RemovalTest, LibraryPathStaysWhileItsFolderExists) {
  RegistryKey library = RegistryKey::Create(HKEY_CURRENT_USER, "Software\\Borland\\Delphi\\6.0\\Library");
  std::string units = folder_.path() + "units";
  AddLibraryPath(ieDelphi6, units);
  SetUninstallValue(AppName, kInstalledPathsValue, units);
  SetUninstallValue(AppName, kDelphiVerValue, "d6");
  CreateDirectoryA(units.c_str(), nullptr);
  RemoveInstalledPaths();
  EXPECT_EQ(library.ReadStringOrEmpty("Search Path"), units + ";");
  RemoveDirectoryA(units.c_str());
  RemoveInstalledPaths();
  EXPECT_EQ(library.ReadStringOrEmpty("Search Path"), "");
}

TEST_F(RemovalTest, HelpEntriesStayWhileTheirHelpFileIsStillInstalled) {
  RegistryKey::Create(HKEY_LOCAL_MACHINE, "Software\\Borland\\Delphi\\4.0")
      .WriteString("RootDir", folder_.path() + "D4");
  const std::string contents = folder_.Write("D4\\HELP\\delphi4.cnt", ":Include delphi4.cnt\r\n");
  AddHelpToContents("gone.hlp", "Gone Help", contents);
  AddHelpToContents("shared.hlp", "Shared Help", contents);
  folder_.Write("D4\\HELP\\shared.hlp", "h");
  SetUninstallValue(AppName, kInstalledHelpsValue, "gone.hlp\r\nshared.hlp\r\n");
  SetUninstallValue(AppName, kDelphiVerValue, "D4");
  RemoveInstalledHelps();
  EXPECT_EQ(ReadFileBytes(contents),
            ":Include delphi4.cnt\r\n:Include shared.cnt\r\n:Index Shared Help =shared.hlp\r\n");
  DeleteFileA((folder_.path() + "D4\\HELP\\shared.hlp").c_str());
  RemoveInstalledHelps();
  EXPECT_EQ(ReadFileBytes(contents), ":Include delphi4.cnt\r\n");
}

TEST_F(RemovalTest, AnswerNoTouchesNothingUnknownNameLeavesNoKey) {
  answer = IDNO;
  RunUninstall();
  EXPECT_EQ(boxes, 1);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::string(kUninstallKeyPath) + "\\Removal Test"));

  EXPECT_EQ(ReadUninstallValue(AppName, "Files"), "");
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, std::string(kUninstallKeyPath) + "\\Removal Test"));  // read creates
  DeleteUninstallEntry(AppName);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::string(kUninstallKeyPath) + "\\Removal Test"));

  // Entry values are taken as text whatever their type: a list of strings gives its first one.
  const std::string entry = std::string(kUninstallKeyPath) + "\\Removal Test";
  WriteRawValue(HKEY_LOCAL_MACHINE, entry, kFilesValue, REG_MULTI_SZ, std::string("C:\\a\0C:\\b\0\0", 11));
  WriteRawValue(HKEY_LOCAL_MACHINE, entry, kFoldersValue, REG_EXPAND_SZ, std::string("%P%\0", 4));
  WriteRawValue(HKEY_LOCAL_MACHINE, entry, kDelphiVerValue, REG_BINARY, "C5");
  WriteRawValue(HKEY_LOCAL_MACHINE, entry, kProductNameValue, REG_DWORD, DwordBytes(0x41));
  EXPECT_EQ(ReadUninstallValue(AppName, kFilesValue), "C:\\a");
  EXPECT_EQ(ReadUninstallValue(AppName, kFoldersValue), "%P%");
  EXPECT_EQ(ReadUninstallValue(AppName, kDelphiVerValue), "C5");
  EXPECT_EQ(ReadUninstallValue(AppName, kProductNameValue), "A");
}

TEST(FileDeletionsTest, OutcomesComeInTheOrderTheFilesWereHandedOver) {
  // The first file's deletion is held up until the second's is done and taken.
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::promise<void> secondDone;
  FileDeletions deletions(
      [&](const std::string& path) {
        if (path == "first") released.wait();
        if (path == "second") secondDone.set_value();
        return path + " gone";
      },
      2);
  deletions.Delete("first");
  deletions.Delete("second");
  secondDone.get_future().wait();
  EXPECT_EQ(deletions.TakeOutcome(false), std::nullopt);
  release.set_value();
  EXPECT_EQ(deletions.TakeOutcome(true), "first gone");
  EXPECT_EQ(deletions.TakeOutcome(true), "second gone");
  EXPECT_EQ(deletions.TakeOutcome(true), std::nullopt);
}

TEST(UninstallerSwitches, QuotedUnquotedEmptyAndSwitches) {
  const std::string own = "C:\\Program Files\\My 100% Tool\\uninstall.exe";
  EXPECT_EQ(UninstallerSwitches("\"" + own + "\" \"My Tool\"", own).argument, "My Tool");
  EXPECT_EQ(UninstallerSwitches(own + " \"My Tool\"", own).argument, "My Tool");  // entries of earlier setups
  EXPECT_EQ(UninstallerSwitches("c:\\program files\\my 100% tool\\UNINSTALL.EXE \"X\"", own).argument, "X");
  EXPECT_EQ(UninstallerSwitches(own, own).argument, "");
  EXPECT_EQ(UninstallerSwitches(own + " \"\"", own).argument, "");
  EXPECT_EQ(UninstallerSwitches("uninstall.exe \"\" Name", own).argument, "Name");
  EXPECT_EQ(UninstallerSwitches(own + "x \"Y\"", own).argument, "Files\\My");  // another program: plain splitting
  // The quiet command of the entry: the switch after the name.
  const ProgramSwitches quiet = UninstallerSwitches(own + " \"My Tool\" /SILENT /log=C:\\u.log", own);
  EXPECT_EQ(quiet.argument, "My Tool");
  EXPECT_EQ(quiet.mode, rmSilent);
  EXPECT_EQ(quiet.logFile, "C:\\u.log");
}
}  // namespace
