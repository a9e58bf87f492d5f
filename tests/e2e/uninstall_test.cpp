// End-to-end: the uninstaller as Windows starts it. Against records written the way the setup program leaves them:
// how it reports an error, a start without a name and an unattended one with a name that is not installed. Against
// installations of the small product: two that share their files, the first one's removal killed and the first
// installed again, and a file held open. (The whole round trip runs in the sample product's installation test; what
// each removal step does, in unit_removal_steps_test.)

#include <gtest/gtest.h>

#include <optional>

#include "e2e_fixture.h"
#include "registry.h"

namespace {
using expected::kDirectCallText;
class UninstallTest : public SetupEndToEndTest {
 protected:
  // The small product's archive and configuration beside the setup program; each installation rewrites the latter.
  void SetUp() override {
    SetupEndToEndTest::SetUp();
    CopyPayload("small\\Data.rar", Folder() + "Data.rar");
    WriteFile("OrvSetup.ini", "");
  }
  std::string Dest() const { return Folder() + "dest\\"; }
  // Unattended, into dest.
  void InstallSmall(const std::string& appName) const {
    WriteFile("OrvSetup.ini", "[Application]\r\nAppName=" + appName +
                                  "\r\nVersion=1.0\r\nCheckPrevVersion=0\r\nDefaultDir=" + Dest() + "\r\n");
    EXPECT_EQ(Run(CommandLine(SetupPath(), {"/VERYSILENT"}), {}).exitCode, 0u);
  }
  // Unattended, by the installed uninstaller, its log into removal.log; the exit code.
  DWORD RemoveSmall(const std::string& appName) const {
    return Run(CommandLine(Dest() + "uninstall.exe", {appName, "/VERYSILENT", "/LOG=removal.log"}), {}).exitCode;
  }
  // Waits for the uninstaller's batch: the machine as before, apart from the lines expected.
  void ExpectStateAfterBatch(const std::string& before, const std::string& difference) const {
    EXPECT_TRUE(WaitFor([&] { return StateDifference(before, MachineState()) == difference; }, kBatchWaitMs))
        << StateDifference(before, MachineState());
  }
};

TEST_F(UninstallTest, CounterOfAnotherTypeEndsTheRemovalWithAnError) {
  const std::string file = WriteFile("Product\\readme.txt", "x");
  WriteRegistryString(HKEY_LOCAL_MACHINE, UninstallEntryKeyPath(AppName()), kFilesValue,
                      file + "\r\n" + UninstallPath() + "\r\n");
  WriteRegistryString(HKEY_CURRENT_USER, kInstalledFilesKey, file, "1");
  const std::string before = MachineState();

  RunRecord record = Run(CommandLine(UninstallPath(), {AppName()}),
                         {ConfirmRemoval(AppName()), Answer::Press(IDOK).Caption("Uninstall")});
  ASSERT_TRUE(record.Clean() && record.exitCode == 1 && Questions(record).size() == 2) << FormatRunRecord(record);
  ExpectMessageBox(Questions(record)[1], "Uninstall", "Invalid data type for '" + file + "'", IconKind::Error, {IDOK});
  // The removal stopped there: the file, the records and the uninstaller stay, and no batch was started.
  EXPECT_EQ(MachineState(), before);
}

// Without a name, or unattended with one that has no entry, nothing changes: asked in person, the box tells how to
// remove an application; unattended, nobody confirms the name, and the run fails with the reason in its log.
TEST_F(UninstallTest, ANameMissingOrNotInstalledChangesNothing) {
  const FakeIde ide = MakeFakeDelphi5();
  const std::string before = MachineState();
  RunRecord record = Run(QuoteArgument(UninstallPath()), {Answer::Press(IDOK).Caption("Uninstall")});
  ASSERT_TRUE(record.Clean() && record.exitCode == 0 && record.windows.size() == 1) << FormatRunRecord(record);
  ExpectMessageBox(record.windows[0], "Uninstall", kDirectCallText, IconKind::Error, {IDOK});
  EXPECT_EQ(MachineState(), before);

  for (const char* mode : {"/VERYSILENT", "/SILENT"}) {
    record = Run(CommandLine(UninstallPath(), {AppName(), mode, "/LOG=typo.log"}), {});
    EXPECT_TRUE(record.Clean() && record.exitCode == 1) << FormatRunRecord(record);
    const std::string log = ReadFileBytes(Folder() + "typo.log");
    EXPECT_NE(log.find(AppName() + " is not installed\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("Registry "), std::string::npos) << log;  // not even a value written back unchanged
    EXPECT_EQ(StateDifference(before, MachineState()), "+ <test>\\typo.log\n") << mode;
  }
}

// Two products share the small product's files, the uninstaller among them. The first one's removal is killed right
// after it lowered a shared counter, and the first is installed again: that installation counts the file again, which
// outlives the first removal and goes with the last, the uninstaller too.
TEST_F(UninstallTest, AReinstallationAfterAKilledRemovalCountsTheReleasedFilesAgain) {
  const std::string other = AppName() + " Other", shared = Dest() + "readme.txt";
  ResetUninstallEntry(other);
  const std::string before = MachineState();
  InstallSmall(other);  // it makes the folders, and its removal takes them away
  InstallSmall(AppName());
  const std::string bytes = ReadFileBytes(shared);
  ASSERT_TRUE(KillAfterLogLine(CommandLine(Dest() + "uninstall.exe", {AppName()}), Folder(), 1,
                               "Kept " + shared + ": 1 other installations count it"));
  InstallSmall(AppName());

  RunRecord record = Run(CommandLine(Dest() + "uninstall.exe", {AppName()}), {ConfirmRemoval(AppName())});
  ASSERT_TRUE(record.Clean() && Questions(record).size() == 1u) << FormatRunRecord(record);
  ExpectMessageBox(Questions(record)[0], "Uninstall",
                   "Are you sure you want to completely remove the " + AppName() + "?", IconKind::Question,
                   {IDYES, IDNO});
  EXPECT_EQ(ReadFileBytes(shared), bytes);
  // A batch would be there from before the program ended until it had deleted the uninstaller.
  EXPECT_TRUE(FileExists(Dest() + "uninstall.exe") && BatchFiles(Dest()).empty());
  EXPECT_EQ(RemoveSmall(other), 0u);
  ExpectStateAfterBatch(before, "+ <test>\\removal.log\n");
}

// A file that a program holds loses its counter as if deleted and is left to the next restart; a missing one is not.
TEST_F(UninstallTest, AFileHeldOpenIsDeletedAtTheNextRestart) {
  const std::string before = MachineState(), held = Dest() + "readme.txt", missing = Dest() + "tools\\ran.bat";
  InstallSmall(AppName());
  ASSERT_TRUE(DeleteFileA(missing.c_str()));
  UniqueFile holder(CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(holder.valid());

  EXPECT_EQ(RemoveSmall(AppName()), 0u);
  const std::string log = ReadFileBytes(Folder() + "removal.log"), reason = Win32ErrorText(ERROR_SHARING_VIOLATION);
  EXPECT_NE(log.find("Could not delete " + held + ": " + reason + "; it will be deleted at the next restart\r\n"),
            std::string::npos)
      << log;
  const std::string listed = PendingDeletions();
  EXPECT_NE(listed.find("\\??\\" + held), std::string::npos) << listed;
  EXPECT_EQ(listed.find(missing), std::string::npos) << listed;
  ExpectStateAfterBatch(before, "+ <test>\\dest\\\n+ <test>\\dest\\readme.txt\n+ <test>\\removal.log\n");
}
}  // namespace
