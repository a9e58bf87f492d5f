// The installation journal where the end-to-end runs cannot reach: a commit cut short, a journal still being written.
#include <gtest/gtest.h>
#include <windows.h>

#include "install_journal.h"
#include "registry.h"
#include "scratch_registry.h"
#include "test_utils.h"

namespace {
class InstallJournalTest : public IsolatedTest {
 protected:
  std::string journalFolder() const { return folder_.path() + "journal\\"; }
};

TEST_F(InstallJournalTest, AKilledCommitIsFinishedARunningJournalIsLeftAlone) {
  const std::string replaced = folder_.Write("dest\\unit.pas", "the user's own edit");
  const std::string created = folder_.path() + "dest\\new.pas";
  {
    InstallJournal journal(journalFolder(), "Product");
    ASSERT_TRUE(journal.FileWillBeWritten(replaced));
    ASSERT_TRUE(journal.FileWillBeWritten(created));
    for (const std::string& path : {replaced, created}) WriteFileBytes(path, "from the archive");
    journal.ValueWillChange(HKEY_CURRENT_USER, "Software\\Quillmark\\Test", "Value");
    RegistryKey::Create(HKEY_CURRENT_USER, "Software\\Quillmark\\Test").WriteString("Value", "new");
    // Written by this process: a second installation cannot start, and the running one is not taken for
    // interrupted.
    EXPECT_EQ(ErrorText([&] { InstallJournal second(journalFolder(), "Other"); }),
              "Cannot create file " + journalFolder() + "install.journal");
    EXPECT_FALSE(InterruptedInstallation(journalFolder()));
  }  // killed: the journal stays
  EXPECT_EQ(InterruptedInstallation(journalFolder()), std::optional<std::string>("Product"));

  // The journal was renamed as committed, the process died before what was kept aside was deleted.
  ASSERT_TRUE(
      MoveFileA((journalFolder() + "install.journal").c_str(), (journalFolder() + "install.committed").c_str()));
  EXPECT_EQ(InterruptedInstallation(journalFolder()), std::optional<std::string>("Product"));
  EXPECT_FALSE(UndoInterruptedInstallation(journalFolder()));  // finished, not undone
  EXPECT_EQ(ReadFileBytes(replaced), "from the archive");
  EXPECT_EQ(ReadFileBytes(created), "from the archive");
  EXPECT_EQ(FilesIn(folder_.path() + "dest"), 2);  // nothing left aside
  EXPECT_EQ(RegistryKey::Open(HKEY_CURRENT_USER, "Software\\Quillmark\\Test").ReadString("Value"),
            std::optional<std::string>("new"));
  EXPECT_FALSE(InterruptedInstallation(journalFolder()));
}
}  // namespace
