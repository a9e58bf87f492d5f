// End-to-end: the uninstaller as Windows starts it, against records written the way the setup program leaves them:
// how it reports an error, a refusal and a start without a name, and that it deletes itself only when no
// installation still counts it. (The whole round trip runs in the sample product's installation test; what each
// removal step does, in unit_removal_steps_test.)

#include <gtest/gtest.h>

#include "e2e_fixture.h"
#include "registry.h"

namespace {
using expected::kDirectCallText;
class UninstallTest : public SetupEndToEndTest {
 protected:
  // The entry of AppName listing a product file and the test's uninstaller, as the setup program writes it.
  std::string RecordInstallation() const {
    const std::string file = WriteFile("Product\\readme.txt", "x");
    WriteRegistryString(HKEY_LOCAL_MACHINE, UninstallEntryKeyPath(AppName()), kFilesValue,
                        file + "\r\n" + UninstallPath() + "\r\n");
    return file;
  }
  RunRecord Uninstall(const std::vector<Answer>& script) const {
    return Run(CommandLine(UninstallPath(), {AppName()}), script);
  }
};

TEST_F(UninstallTest, CounterOfAnotherTypeEndsTheRemovalWithAnError) {
  const std::string file = RecordInstallation();
  WriteRegistryString(HKEY_CURRENT_USER, kInstalledFilesKey, file, "1");
  const std::string registryBefore = RegistrySnapshot();
  const Texts filesBefore = ListFolderTree(Folder());

  RunRecord record = Uninstall({ConfirmRemoval(AppName()), Answer::Press(IDOK).Caption("Uninstall")});
  ASSERT_TRUE(record.Clean()) << FormatRunRecord(record);
  EXPECT_EQ(record.exitCode, 1u);
  const std::vector<WindowRecord> boxes = record.WindowsOfKind(WindowKind::MessageBox);
  ASSERT_EQ(boxes.size(), 2u) << FormatRunRecord(record);
  ExpectMessageBox(boxes[1], "Uninstall", "Invalid data type for '" + file + "'", IconKind::Error, {IDOK});
  // The removal stopped there: the file, the records and the uninstaller stay, and no batch was started.
  EXPECT_EQ(RegistrySnapshot(), registryBefore);
  EXPECT_EQ(ListFolderTree(Folder()), filesBefore);
}

TEST_F(UninstallTest, DeletesItselfOnlyWhenNoInstallationCountsIt) {
  const std::string file = RecordInstallation();
  RegistryKey counters = RegistryKey::Create(HKEY_CURRENT_USER, kInstalledFilesKey);
  counters.WriteDword(file, 1);
  counters.WriteDword(UninstallPath(), 2);  // another installation counts the uninstaller too
  counters.Close();
  const std::string registryBefore = RegistrySnapshot();
  const Texts filesBefore = ListFolderTree(Folder());

  // Started without a name: nothing changes.
  RunRecord record = Run(QuoteArgument(UninstallPath()), {Answer::Press(IDOK).Caption("Uninstall")});
  ASSERT_TRUE(record.Clean()) << FormatRunRecord(record);
  ASSERT_EQ(record.windows.size(), 1u) << FormatRunRecord(record);
  ExpectMessageBox(record.windows[0], "Uninstall", kDirectCallText, IconKind::Error, {IDOK});
  EXPECT_EQ(record.exitCode, 0u);
  EXPECT_EQ(RegistrySnapshot(), registryBefore);
  EXPECT_EQ(ListFolderTree(Folder()), filesBefore);

  // Still counted by the other installation, the uninstaller stays. A batch would be there from before the program
  // ended until it had deleted the uninstaller.
  record = Uninstall({ConfirmRemoval(AppName())});
  ASSERT_TRUE(record.Clean()) << FormatRunRecord(record);
  EXPECT_EQ(record.exitCode, 0u);
  ASSERT_EQ(record.WindowsOfKind(WindowKind::MessageBox).size(), 1u) << FormatRunRecord(record);
  ExpectMessageBox(record.WindowsOfKind(WindowKind::MessageBox)[0], "Uninstall",
                   "Are you sure you want to completely remove the " + AppName() + "?", IconKind::Question,
                   {IDYES, IDNO});
  EXPECT_FALSE(FileExists(file));
  EXPECT_TRUE(FileExists(UninstallPath()));
  EXPECT_TRUE(BatchFiles(Folder()).empty());
  EXPECT_EQ(RegistryKey::Open(HKEY_CURRENT_USER, kInstalledFilesKey, KEY_READ).ReadDword(UninstallPath()), 1u);
  EXPECT_FALSE(RegistryKey::Open(HKEY_LOCAL_MACHINE, UninstallEntryKeyPath(AppName()), KEY_READ).valid());

  // The last installation that counts it: it deletes itself once it has ended.
  WriteRegistryString(HKEY_LOCAL_MACHINE, UninstallEntryKeyPath(AppName()), kFilesValue, UninstallPath() + "\r\n");
  record = Uninstall({ConfirmRemoval(AppName())});
  ASSERT_TRUE(record.Clean()) << FormatRunRecord(record);
  EXPECT_TRUE(WaitFor([&] { return !FileExists(UninstallPath()) && BatchFiles(Folder()).empty(); }, kBatchWaitMs));
  EXPECT_FALSE(RegistryKey::Open(HKEY_CURRENT_USER, kCompanyKey, KEY_READ).valid());
}
}  // namespace
