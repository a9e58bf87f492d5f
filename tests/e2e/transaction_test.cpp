// End-to-end: an installation that fails, is cancelled or is killed leaves the machine as it was; a removal that is
// killed finishes when run again.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "e2e_fixture.h"
#include "install_journal.h"
#include "rar5_writer.h"
#include "text_file.h"

namespace {
constexpr const char* kUserUnit = "the user's own edit of orvmarlin.pas";
// A 2 MB drive that ctest mounts around this program (tools/small-drive.sh).
constexpr const char* kSmallDrive = "X:\\";

std::string FileBytes(const std::string& path) {
  std::optional<std::string> bytes = ReadFileContent(path);
  return bytes ? *bytes : std::string("(missing)");
}

// Size and FNV-1a hash: a listing of the bytes stays short enough to read when two differ.
std::string Fingerprint(const std::string& bytes) {
  unsigned long long hash = 14695981039346656037ull;
  for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
  return FormatText("%u bytes, %016llx", static_cast<unsigned>(bytes.size()), hash);
}

// Ends the process of a window after a delay, from a thread of its own, as Task Manager would.
class DelayedKill {
 public:
  void Arm(HWND window, DWORD delayMs) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    thread_ = std::thread([processId, delayMs] {
      Sleep(delayMs);
      UniqueKernelHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, processId));
      if (process) TerminateProcess(process.get(), 99);
    });
  }
  ~DelayedKill() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::thread thread_;
};

// Runs the program with its log written into a pipe without a buffer, where each line waits until this test has read
// it: read up to the given line and no further, the program stands where it writes the next one and is killed there,
// as Task Manager would. False when it ended before.
bool KillAfterLogLine(std::string commandLine, int line) {
  const std::string pipeName = FormatText("\\\\.\\pipe\\orv-log-%lu", GetCurrentProcessId());
  UniqueFile pipe(CreateNamedPipeA(pipeName.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr));
  commandLine += " /VERYSILENT /LOG=" + pipeName;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!pipe ||
      !CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
    return false;
  UniqueKernelHandle process(started.hProcess), thread(started.hThread);
  ConnectNamedPipe(pipe.get(), nullptr);
  char buffer[4096];
  DWORD got = 0, waiting = 0;
  for (int read = 0; read < line && ReadFile(pipe.get(), buffer, sizeof buffer, &got, nullptr);)
    read += std::count(buffer, buffer + got, '\n');
  while (PeekNamedPipe(pipe.get(), nullptr, 0, nullptr, &waiting, nullptr) && waiting == 0) Sleep(1);
  const bool killed = waiting > 0 && TerminateProcess(process.get(), 99);
  WaitForSingleObject(process.get(), INFINITE);
  return killed;
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
  }

  std::string Destination() const { return Folder() + "dest\\"; }
  bool EntryExists() const {
    return RegistryKey::Open(HKEY_LOCAL_MACHINE, UninstallEntryPath(AppName()), KEY_READ).valid();
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
                                    ProgramsFolder() + LinkName() + ".lnk", JournalFolder() + "install.journal"})
      state += path + (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES ? " exists\n" : " absent\n");
    return state;
  }

  RunRecord Install(std::vector<Answer> script = {}, const std::vector<std::string>& arguments = {}) {
    script.insert(script.begin(), Welcome(IDOK));
    return Run(CommandLine(SetupPath(), arguments), script);
  }
  void ExpectCompleteInstall(const RunRecord& run) {
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.Clean());
    EXPECT_NE(FileBytes(Destination() + "units\\orvmarlin.pas"), kUserUnit);
    EXPECT_TRUE(EntryExists());
  }
  static Answer Completed() { return Answer::Press(IDOK).Caption("Setup").Text("Installation completed."); }
  static Answer Undone(const std::string& appName) {
    return Answer::Press(IDOK).Caption("Setup").Text("The interrupted installation of " + appName + " was undone.");
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
  EXPECT_TRUE(run.Clean());
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_EQ(BytesState(), withBadCounter);
}

TEST_F(TransactionTest, AFileInUseIsAskedAboutCancelUndoesRetryCompletes) {
  const std::string before = BytesState();
  const std::string held = Destination() + "units\\orvmarlin.pas";
  UniqueFile handle(CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(handle.valid());
  const std::string inUse = "The file " + held + " is used by another program.";
  RunRecord run = Install({Answer::Press(IDCANCEL).Caption("Setup").Text(inUse)});
  EXPECT_TRUE(run.Clean());
  EXPECT_EQ(run.exitCode, 0u);
  std::vector<WindowRecord> boxes = run.WindowsOfKind(WindowKind::MessageBox);
  ASSERT_EQ(boxes.size(), 2u);
  ExpectMessageBox(boxes[1], "Setup",
                   inUse + "\r\nClose that program and press Retry, or press Cancel to undo the installation.",
                   IconKind::Warning, {IDRETRY, IDCANCEL});
  EXPECT_EQ(BytesState(), before);

  run = Install({Answer::Press(IDRETRY).Caption("Setup").Text(inUse).WhileShown(
                     [&](HWND, const WindowRecord&) { handle.reset(); }),
                 Completed()});
  ExpectCompleteInstall(run);
}

TEST_F(TransactionTest, TooLittleSpaceIsAskedAboutBeforeAnythingIsWritten) {
  // An archive that declares more than any disk here holds (a thousand entries of 4 GB): the counting pass reads
  // its headers only.
  std::vector<Rar5Entry> entries;
  for (int i = 0; i < 1000; ++i)
    entries.push_back({"huge" + std::to_string(i) + ".bin", "tiny", false, 0, 0x20, 0xFFFFFFFFull});
  WriteRar5Archive(Folder() + "Data.rar", entries);
  const std::string before = BytesState();
  auto noSpace = [](int button) {
    return Answer::Press(button).Caption("Setup").Text("There is not enough free space on drive");
  };
  RunRecord run = Install({noSpace(IDRETRY), noSpace(IDCANCEL)});
  EXPECT_TRUE(run.Clean());
  EXPECT_EQ(run.exitCode, 0u);
  std::vector<WindowRecord> boxes = run.WindowsOfKind(WindowKind::MessageBox);
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(std::make_pair(IconKindName(boxes[1].icon), boxes[1].buttons),
            std::make_pair(IconKindName(IconKind::Warning), std::vector<int>{IDRETRY, IDCANCEL}));
  EXPECT_EQ(BytesState(), before);
}

TEST_F(TransactionTest, AReinstallationThatFailsLeavesTheFirstOneCompleteAndRemovable) {
  ExpectCompleteInstall(Install({Completed()}));
  const std::string installed = BytesState();
  std::string archive = FileBytes(Folder() + "Data.rar");
  archive[archive.size() - 200] ^= 0x55;
  WriteFile("Data.rar", archive);
  EXPECT_TRUE(Install({Answer::Press(IDOK).Caption("Setup").Text(kInstallFailedText)}).Clean());
  EXPECT_EQ(BytesState(), installed);

  EXPECT_TRUE(Run(CommandLine(Destination() + "uninstall.exe", {AppName()}), {ConfirmRemoval(AppName())}).Clean());
  EXPECT_TRUE(WaitFor([&] { return !FileExists(Destination() + "uninstall.exe"); }, kBatchWaitMs));
  EXPECT_FALSE(EntryExists());
  EXPECT_EQ(FileBytes(Destination() + "units\\orvmarlin.pas"), "(missing)");
}

TEST_F(TransactionTest, AKilledInstallationIsUndoneByTheNextStart) {
  const std::string before = BytesState();
  int interrupted = 0;
  for (DWORD delay = 0; delay < 20 * 60; delay += 60) {
    {
      DelayedKill kill;
      Run(CommandLine(SetupPath(), {}),
          {Welcome(IDOK).WhileShown([&](HWND window, const WindowRecord&) { kill.Arm(window, delay); }), Completed()});
    }
    const bool left = InterruptedInstallation(JournalFolder()).has_value();
    const bool committing = FileExists(JournalFolder() + "install.committed");
    if (left && !committing) ++interrupted;
    // The next start undoes what the killed one left and says so (a commit cut short it finishes without a word);
    // the welcome box is then refused.
    std::vector<Answer> script;
    if (left && !committing) script.push_back(Undone(AppName()));
    script.push_back(Welcome(IDCANCEL));
    RunRecord next = Run(CommandLine(SetupPath(), {}), script);
    EXPECT_TRUE(next.Clean()) << "killed after " << delay << " ms";
    // A run that got to its commit before the kill is complete, and so are all later ones.
    if (EntryExists()) break;
    EXPECT_EQ(BytesState(), before) << "killed after " << delay << " ms";
  }
  EXPECT_GT(interrupted, 0) << "no kill came while the installation was under way";
  EXPECT_TRUE(Run(CommandLine(SetupPath(), {}), {Welcome(IDOK), Completed()}).Clean());
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
  RunRecord run =
      Install({Answer::Press(IDCANCEL).Caption("Setup").Text("free space on drive X:\\.")}, {"/DIR=" + dest});
  EXPECT_TRUE(run.Clean());
  EXPECT_EQ(run.exitCode, 0u);
  ASSERT_EQ(run.WindowsOfKind(WindowKind::MessageBox).size(), 2u);
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
  EXPECT_TRUE(run.Clean());
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_TRUE(DeleteFileA((drive + "filler").c_str()));
  EXPECT_EQ(BytesState(), roomy);
}

TEST_F(TransactionTest, AKilledRemovalRunAgainFinishes) {
  const std::string uninstaller = Destination() + "uninstall.exe";
  auto uninstall = [&] {
    EXPECT_TRUE(Run(CommandLine(uninstaller, {AppName(), "/LOG=removal.log"}), {ConfirmRemoval(AppName())}).Clean());
    // Its batch deletes it after it ended; the next installation must not meet that batch.
    return WaitFor([&] { return !FileExists(uninstaller) && BatchFiles(Destination()).empty(); }, kBatchWaitMs);
  };
  // An uninterrupted removal: its log, and the state every killed one run again must end in.
  ExpectCompleteInstall(Install({Completed()}));
  ASSERT_TRUE(uninstall());
  const std::string removed = BytesState(), removedRegistry = RegistrySnapshot(),
                    log = FileBytes(Folder() + "removal.log");
  EXPECT_FALSE(EntryExists());
  EXPECT_FALSE(RegistryKey::Open(HKEY_CURRENT_USER, kInstalledFilesKey, KEY_READ).valid());
  EXPECT_EQ(ListFolderTree(Destination()), Texts{"units\\"});
  // Killed after every sixth line of that log, from the last one before the entry goes back to the first file.
  const size_t entryGone = log.find(UninstallEntryPath(AppName()) + " deleted (key)");
  ASSERT_NE(entryGone, std::string::npos) << log;
  for (int line = std::count(log.begin(), log.begin() + entryGone, '\n'); line > 2; line -= 6) {
    ExpectCompleteInstall(Install({Completed()}));
    ASSERT_TRUE(KillAfterLogLine(CommandLine(uninstaller, {AppName()}), line)) << "line " << line;
    // The entry goes last: without it, the rest is gone too.
    EXPECT_TRUE(EntryExists() || RegistrySnapshot() == removedRegistry) << line << ": " << RegistrySnapshot();
    EXPECT_TRUE(uninstall()) << "killed after line " << line;
    EXPECT_EQ(BytesState(), removed) << "killed after line " << line;
  }
}

}  // namespace
