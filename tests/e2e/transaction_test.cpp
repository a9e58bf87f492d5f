// End-to-end: an installation that fails, is cancelled or is killed leaves the machine as it was; a removal that is
// killed, or meets an installation folder the user deleted, finishes when run again.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "e2e_fixture.h"
#include "install_journal.h"
#include "text_file.h"

namespace {
using expected::kFailureCaption;
using expected::kInstallFailedText;
constexpr const char* kUserUnit = "the user's own edit of orvmarlin.pas";
// A 2 MB drive that ctest mounts around this program (tests/support/small-drive.sh).
constexpr const char* kSmallDrive = "X:\\";

std::string FileBytes(const std::string& path) {
  std::optional<std::string> bytes = ReadFileContent(path);
  return bytes ? *bytes : std::string("(missing)");
}

// Size and hash: a listing of the bytes stays short enough to read when two differ.
std::string Fingerprint(const std::string& bytes) {
  return FormatText("%u bytes, %llx", static_cast<unsigned>(bytes.size()),
                    static_cast<unsigned long long>(std::hash<std::string>{}(bytes)));
}

class TransactionTest : public SetupEndToEndTest {
 protected:
  void SetUp() override {
    SetupEndToEndTest::SetUp();
    ide_.emplace(MakeFakeDelphi5());
    for (const char* name : {"OrvSetup.ini", "Data.rar"}) CopyPayload(std::string("sample\\") + name, Folder() + name);
    // The sample product without questions beyond the welcome box, into the test's folder.
    WriteFile("OrvSetup.ini", "[Application]\r\nAppName=" + AppName() +
                                  "\r\nProductName=Marlin\r\nSubProductName=Grid;Charts\r\nVersion=2.1\r\n"
                                  "DelphiVer=D5\r\nDefaultDir=" +
                                  Destination() +
                                  "\r\nCheckPrevVersion=0\r\nCheckDelphi=0\r\nSuccessMessage=1\r\n"
                                  "PromptInstallDir=0\r\n\r\n[System_Files]\r\norvmarlin.dll\r\n\r\n[Help_Files]\r\n"
                                  "orvmarlin.hlp=Marlin Components Help\r\n\r\n[Packages]\r\n"
                                  "OrvTools50.bpl=Quillmark Marlin Tools\r\n\r\n[Build_Packages]\r\n"
                                  "OrvMarlin50.dpk=Quillmark Marlin Components\r\n\r\n[Links]\r\n" +
                                  LinkName() + "=readme.txt\r\n");
    for (const char* name : {"orvmarlin.dll", "OrvMarlin50.bpl"}) RemoveAfterTest(SystemDir() + name);
    RemoveAfterTest(ProgramsFolder() + LinkName() + ".lnk");
    // A user's edited copy of a unit that the archive would replace.
    WriteFile("dest\\units\\orvmarlin.pas", kUserUnit);
    DeleteFolderTree(JournalParent());
  }

  std::string Destination() const { return Folder() + "dest\\"; }
  bool EntryExists() const {
    return RegistryKey::Open(HKEY_LOCAL_MACHINE, UninstallEntryKeyPath(AppName()), KEY_READ).valid();
  }
  std::string LinkName() const { return AppName() + " Readme"; }

  // Everything an installation may change: the records and the IDE's keys, every file in the folders of the test's
  // folder (the destination and the fake IDE with its help contents) with its bytes, the system files, the shortcut,
  // the journal.
  std::string BytesState() const {
    std::string state = RegistrySnapshot();
    for (const std::string& folder : {Folder(), std::string(kSmallDrive)})
      for (const std::string& entry : ListFolderTree(folder)) {
        // The setup's own files beside the folders, and the fake tools' record of their runs.
        if (folder == Folder() && (entry.find('\\') == std::string::npos || entry == "Delphi5\\Bin\\tools.log"))
          continue;
        state += folder + entry + (entry.back() == '\\' ? "" : " = " + Fingerprint(FileBytes(folder + entry))) + "\n";
      }
    for (const std::string& path : {SystemDir() + "orvmarlin.dll", SystemDir() + "OrvMarlin50.bpl",
                                    ProgramsFolder() + LinkName() + ".lnk", JournalParent()})
      state += path + (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES ? " exists\n" : " absent\n");
    return state;
  }
  // The folder the journal's folder is made in: neither stays once a program is done with them.
  static std::string JournalParent() { return ExtractFilePath(StripTrailingBackslash(JournalFolder())); }

  RunRecord Install(std::vector<Answer> script = {}, const std::vector<std::string>& arguments = {}) {
    script.insert(script.begin(), Welcome(IDOK));
    return Run(CommandLine(SetupPath(), arguments), script);
  }
  void ExpectCompleteInstall(const RunRecord& run) {
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.Clean());
    EXPECT_NE(FileBytes(Destination() + "units\\orvmarlin.pas"), kUserUnit);
    EXPECT_TRUE(EntryExists());
    EXPECT_FALSE(FolderExists(JournalParent()));
  }
  // Removes the installation with its uninstaller (its log into the file given) and waits for the batch that
  // deletes the uninstaller: the next installation must not meet that batch.
  bool Uninstall(const std::string& logFile = "removal.log") {
    const std::string uninstaller = Destination() + "uninstall.exe";
    EXPECT_TRUE(Run(CommandLine(uninstaller, {AppName(), "/LOG=" + logFile}), {ConfirmRemoval(AppName())}).Clean());
    return WaitFor([&] { return !FileExists(uninstaller) && BatchFiles(Destination()).empty(); }, kBatchWaitMs);
  }
  // The number of the log's line that holds the text (0 when none does).
  int LineOf(const std::string& logFile, const std::string& text) const {
    const std::string log = FileBytes(Folder() + logFile);
    const size_t at = log.find(text);
    return at == std::string::npos ? 0 : static_cast<int>(std::count(log.begin(), log.begin() + at, '\n')) + 1;
  }
  static Answer Completed() { return Answer::Press(IDOK).Caption("Setup").Text("Installation completed."); }
  static Answer Undone(const std::string& appName, const std::string& caption = "Setup") {
    return Answer::Press(IDOK).Caption(caption).Text("The interrupted installation of " + appName + " was undone.");
  }

  std::optional<FakeIde> ide_;
};

TEST_F(TransactionTest, AFailureAfterFilesWereWrittenIsUndone) {
  // A damaged entry near the end of the archive: the files before it were written, the user's unit replaced.
  const std::string before = BytesState();
  std::string archive = FileBytes(Folder() + "Data.rar");
  archive[archive.size() - 200] ^= 0x55;
  WriteFile("Data.rar", archive);
  RunRecord run = Install({Answer::Press(IDOK).Caption("Setup").Text(kInstallFailedText)});
  EXPECT_TRUE(run.Clean());
  EXPECT_EQ(BytesState(), before);

  // A counter stored with another type: the error reaches the catch-all after the extraction and the IDE steps.
  CopyPayload("sample\\Data.rar", Folder() + "Data.rar");
  WriteRawValue(HKEY_CURRENT_USER, kInstalledFilesKey, Destination() + "readme.txt", REG_SZ, std::string("1\0", 2));
  const std::string withBadCounter = BytesState();
  run = Install({Answer::Press(IDOK).Caption(kFailureCaption), Answer::Press(IDOK).Caption("Application Error")});
  EXPECT_TRUE(run.Clean() && run.exitCode == 1u) << FormatRunRecord(run);
  EXPECT_EQ(BytesState(), withBadCounter);
}

TEST_F(TransactionTest, AReinstallationThatFailsLeavesTheFirstOneCompleteAndRemovable) {
  ExpectCompleteInstall(Install({Completed()}));
  const std::string installed = BytesState();
  std::string archive = FileBytes(Folder() + "Data.rar");
  archive[archive.size() - 200] ^= 0x55;
  WriteFile("Data.rar", archive);
  EXPECT_TRUE(Install({Answer::Press(IDOK).Caption("Setup").Text(kInstallFailedText)}).Clean());
  EXPECT_EQ(BytesState(), installed);

  EXPECT_TRUE(Uninstall());
  EXPECT_FALSE(EntryExists());
  EXPECT_EQ(FileBytes(Destination() + "units\\orvmarlin.pas"), "(missing)");
}

// A file in use is asked about. Cancelled while a program also holds a file the setup had already replaced: the
// user's original stays aside, the box says so, and the next start, the file free again, brings it back. Retry
// goes on once the file is free.
TEST_F(TransactionTest, AFileInUseIsAskedAboutAndWhatAnUndoCannotRestoreIsKeptForTheNextStart) {
  const std::string readme = WriteFile("dest\\readme.txt", "the user's own readme");
  const std::string before = BytesState();
  const std::string unit = Destination() + "units\\orvmarlin.pas", inUse = "The file " + unit + " is used";
  auto hold = [](const std::string& path) {
    return UniqueFile(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  };
  UniqueFile heldUnit = hold(unit), heldReadme;
  RunRecord run = Install(
      {Answer::Press(IDCANCEL).Text(inUse).WhileShown([&](HWND, const WindowRecord&) { heldReadme = hold(readme); }),
       Answer::Press(IDOK).Text("could not be undone completely")});
  EXPECT_TRUE(run.Clean() && run.exitCode == 1u) << FormatRunRecord(run);
  ASSERT_EQ(Questions(run).size(), 3u);
  ExpectMessageBox(Questions(run)[1], "Setup",
                   inUse +
                       " by another program.\r\nClose that program and press Retry, or press Cancel to undo the "
                       "installation.",
                   IconKind::Warning, {IDRETRY, IDCANCEL});
  ExpectMessageBox(Questions(run)[2], "Setup",
                   "The installation of " + AppName() +
                       " could not be undone completely. These files could not be restored yet:\r\n\r\n" + readme +
                       "\r\n\r\nPlease close the programs that use them. The next start of the setup or of an "
                       "uninstaller will finish restoring them.",
                   IconKind::Warning, {IDOK});
  heldReadme.reset();
  RunRecord next = Run(CommandLine(SetupPath(), {}), {Undone(AppName()), Welcome(IDCANCEL)});
  EXPECT_TRUE(next.Clean()) << FormatRunRecord(next);
  EXPECT_EQ(BytesState(), before);

  run = Install({Answer::Press(IDRETRY).Text(inUse).WhileShown([&](HWND, const WindowRecord&) { heldUnit.reset(); }),
                 Completed()});
  ExpectCompleteInstall(run);
}

// While a setup runs (here at its first box), a second one says so before anything else and ends.
TEST_F(TransactionTest, OneInstallationAtATime) {
  const std::string before = BytesState();
  RunRecord second, unattended;
  const std::string running =
      "Another installation is running. Please wait until it has finished, then start the setup again.";
  RunRecord first = Run(CommandLine(SetupPath(), {}), {Welcome(IDCANCEL).WhileShown([&](HWND, const WindowRecord&) {
                          second =
                              Run(CommandLine(SetupPath(), {}), {Answer::Press(IDOK).Caption("Setup").Text(running)});
                          unattended = Run(CommandLine(SetupPath(), {"/VERYSILENT", "/LOG=second.log"}), {});
                        })});
  EXPECT_TRUE(first.Clean() && second.Clean() && unattended.Clean());
  ASSERT_EQ(Questions(second).size(), 1u);
  ExpectMessageBox(Questions(second)[0], "Setup", running, IconKind::Warning, {IDOK});
  EXPECT_EQ(std::make_pair(second.exitCode, unattended.exitCode), std::make_pair(1ul, 1ul));
  EXPECT_NE(FileBytes(Folder() + "second.log").find(running), std::string::npos);
  EXPECT_EQ(BytesState(), before);
}

// Files the setup has no right to change (immutable on the Linux side: "access denied" to every Windows program).
TEST_F(TransactionTest, AFileItMayNotReplaceFailsWithTheReasonAPackageItCannotPlaceLeavesTheUsersOwn) {
  const std::string unit = Destination() + "units\\orvmarlin.pas";
  const std::string before = BytesState();
  const std::string problem = SetImmutable(unit, true);
  if (!problem.empty()) GTEST_SKIP() << problem;
  RunRecord run = Install({Answer::Press(IDOK).Caption(kFailureCaption),
                           Answer::Press(IDOK).Caption("Application Error").Text("Cannot create file " + unit + ". ")});
  EXPECT_EQ(SetImmutable(unit, false), "");
  EXPECT_TRUE(run.Clean()) << FormatRunRecord(run);
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_EQ(BytesState(), before);

  // The user's own build of the package is in the system folder, and what the tool built cannot be moved there.
  const std::string package = SystemDir() + "OrvMarlin50.bpl";
  WriteFileBytes(package, "the user's own build");
  const std::string built = WriteFile("dest\\source\\OrvMarlin50.bpl", "left by an earlier build");
  ASSERT_EQ(SetImmutable(built, true), "");
  run = Install({Completed()});
  EXPECT_EQ(SetImmutable(built, false), "");
  ExpectCompleteInstall(run);
  EXPECT_EQ(FileBytes(package), "the user's own build");
}

// The earlier installation's uninstaller is running (its box is open) while the product is installed again: moved
// aside, it cannot be deleted by the commit and is left to the next restart, which the log tells.
TEST_F(TransactionTest, AKeptFileTheCommitCannotDeleteGoesAtTheNextRestart) {
  ExpectCompleteInstall(Install({Completed()}));
  RunRecord again;
  EXPECT_TRUE(
      Run(CommandLine(Destination() + "uninstall.exe", {}),
          {Answer::Press(IDOK).Text("Do not call this program directly").WhileShown([&](HWND, const WindowRecord&) {
            again = Install({Completed()}, {"/LOG=again.log"});
          })})
          .Clean());
  ExpectCompleteInstall(again);
  const std::string log = FileBytes(Folder() + "again.log"), aside = Destination() + "uninstall.exe.orv-";
  const size_t at = log.find("Could not delete " + aside);
  EXPECT_LT(log.find("; it will be deleted at the next restart", at), log.find('\n', at)) << log;
  EXPECT_NE(PendingDeletions().find("\\??\\" + aside), std::string::npos) << PendingDeletions();
}

// Killed at twenty lines of its log spread from the journal's start to the end of the last step: the next start
// undoes it, says so, and the machine is as it was.
TEST_F(TransactionTest, AKilledInstallationIsUndoneByTheNextStart) {
  // A whole installation, removed again, tells where its steps write; what its removal keeps stays.
  ASSERT_EQ(Run(CommandLine(SetupPath(), {"/VERYSILENT", "/LOG=whole.log"}), {}).exitCode, 0u);
  ASSERT_TRUE(Uninstall());
  WriteFile("dest\\units\\orvmarlin.pas", kUserUnit);
  const std::string before = BytesState();
  const int first = LineOf("whole.log", "step space "), last = LineOf("whole.log", "step installation ");
  ASSERT_LT(first + 20, last);
  for (int moment = 0; moment < 20; ++moment) {
    const int line = first + (last - first) * moment / 20;
    ASSERT_TRUE(KillAfterLogLine(CommandLine(SetupPath(), {}), Folder(), line)) << "line " << line;
    // Every fifth time an uninstaller is the next program started: it undoes the installation too.
    RunRecord next = moment % 5 == 4 ? Run(CommandLine(UninstallPath(), {AppName()}),
                                           {Undone(AppName(), "Uninstall"), Answer::Press(IDNO).Caption("Uninstall")})
                                     : Run(CommandLine(SetupPath(), {}), {Undone(AppName()), Welcome(IDCANCEL)});
    EXPECT_TRUE(next.Clean()) << "killed after line " << line << "\n" << FormatRunRecord(next);
    EXPECT_EQ(BytesState(), before) << "killed after line " << line;
  }
  ExpectCompleteInstall(Install({Completed()}));
}

TEST_F(TransactionTest, OnASmallDriveTooLittleSpaceIsAskedAboutAndAFullDriveUndoesTheInstallation) {
  ULARGE_INTEGER size{};
  if (!GetDiskFreeSpaceExA(kSmallDrive, nullptr, &size, nullptr) || size.QuadPart > (8ull << 20))
    GTEST_SKIP() << "no 2 MB drive X: (ctest mounts it): "
                 << FileBytes(WindowsPathFromUnix(EnvironmentValue("ORV_BUILD_DIR")) + "\\small-drive.problem");
  const std::string drive = kSmallDrive, dest = drive + "dest\\", unit = dest + "units\\orvmarlin.pas";
  DeleteFolderTree(drive);
  ScopeExit clear([&] { DeleteFolderTree(drive); });
  ASSERT_TRUE(CreateDirectoryA(dest.c_str(), nullptr) && CreateDirectoryA((dest + "units").c_str(), nullptr));
  WriteFileBytes(unit, kUserUnit);
  // Another program's file that leaves at most this much room.
  auto fill = [&](unsigned long long room) {
    ULARGE_INTEGER free{};
    ASSERT_TRUE(GetDiskFreeSpaceExA(kSmallDrive, &free, nullptr, nullptr));
    WriteFileBytes(drive + "filler", std::string(free.QuadPart - room, 'f'));
  };

  // Less room than the product needs: asked before anything is written; Cancel ends the setup.
  fill(256 * 1024);
  const std::string before = BytesState();
  auto noSpace = [](int button) { return Answer::Press(button).Caption("Setup").Text("free space on drive X:\\."); };
  RunRecord run = Install({noSpace(IDRETRY), noSpace(IDCANCEL)}, {"/DIR=" + dest});
  EXPECT_TRUE(run.Clean() && run.exitCode == 0u) << FormatRunRecord(run);
  ASSERT_EQ(run.WindowsOfKind(WindowKind::MessageBox).size(), 3u);
  const WindowRecord box = run.WindowsOfKind(WindowKind::MessageBox)[1];
  EXPECT_NE(box.text.find(", and 256.0 KB is free."), std::string::npos) << box.text;
  EXPECT_EQ(std::make_pair(IconKindName(box.icon), box.buttons),
            std::make_pair(IconKindName(IconKind::Warning), std::vector<int>{IDRETRY, IDCANCEL}));
  EXPECT_EQ(BytesState(), before);

  // Room at the check; while the user's unit, held open, is asked about, the drive fills up: undone.
  ASSERT_TRUE(DeleteFileA((drive + "filler").c_str()));
  const std::string roomy = BytesState();
  UniqueFile held(CreateFileA(unit.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  run = Install({Answer::Press(IDRETRY).Text("is used by another program").WhileShown([&](HWND, const WindowRecord&) {
                   fill(0);
                   held.reset();
                 }),
                 Answer::Press(IDOK).Caption("Setup").Text(kInstallFailedText)},
                {"/DIR=" + dest});
  EXPECT_TRUE(run.Clean() && run.exitCode == 1u) << FormatRunRecord(run);
  EXPECT_TRUE(DeleteFileA((drive + "filler").c_str()));
  EXPECT_EQ(BytesState(), roomy);
}

TEST_F(TransactionTest, AKilledRemovalRunAgainFinishes) {
  const std::string uninstaller = Destination() + "uninstall.exe";
  // An uninterrupted removal: its log, and the state every killed one run again must end in.
  ExpectCompleteInstall(Install({Completed()}));
  ASSERT_TRUE(Uninstall());
  EXPECT_FALSE(FolderExists(JournalParent()));
  const std::string removed = BytesState(), removedRegistry = RegistrySnapshot();
  EXPECT_FALSE(EntryExists());
  EXPECT_FALSE(RegistryKey::Open(HKEY_CURRENT_USER, kInstalledFilesKey, KEY_READ).valid());
  EXPECT_EQ(ListFolderTree(Destination()), Texts{"units\\"});
  // Killed after every sixth line of that log, from the last one before the entry goes back to the first file.
  const int entryGone = LineOf("removal.log", UninstallEntryKeyPath(AppName()) + " deleted (key)");
  ASSERT_GT(entryGone, 0);
  for (int line = entryGone - 1; line > 2; line -= 6) {
    ExpectCompleteInstall(Install({Completed()}));
    ASSERT_TRUE(KillAfterLogLine(CommandLine(uninstaller, {AppName()}), Folder(), line)) << "line " << line;
    // The entry goes last: without it, the rest is gone too.
    EXPECT_TRUE(EntryExists() || RegistrySnapshot() == removedRegistry) << line << ": " << RegistrySnapshot();
    EXPECT_TRUE(Uninstall()) << "killed after line " << line;
    EXPECT_EQ(BytesState(), removed) << "killed after line " << line;
  }

  // The user deleted the installation folder, uninstaller included: a copy started by hand removes every record, and
  // run a second time it finds nothing and changes nothing.
  ExpectCompleteInstall(Install({Completed()}));
  DeleteFolderTree(Destination());
  std::string afterFirst;
  for (int round = 1; round <= 2; ++round) {
    RunRecord run = Run(CommandLine(UninstallPath(), {AppName()}), {ConfirmRemoval(AppName())});
    EXPECT_TRUE(run.Clean() && run.exitCode == 0) << FormatRunRecord(run);
    RestoreOwnUninstaller();
    if (round == 1) afterFirst = RegistrySnapshot();
  }
  EXPECT_FALSE(EntryExists());
  EXPECT_FALSE(RegistryKey::Open(HKEY_CURRENT_USER, kCompanyKey, KEY_READ).valid());
  EXPECT_EQ(RegistrySnapshot(), afterFirst);
}

}  // namespace
