// The installation journal: what undo restores, what commit keeps, a journal left by a killed process.
#include <gtest/gtest.h>
#include <windows.h>

#include "install_journal.h"
#include "registry.h"
#include "scratch_registry.h"
#include "test_utils.h"

namespace {
const char* kKey = "Software\\Quillmark\\JournalTest";

class InstallJournalTest : public IsolatedTest {
 protected:
  std::string journalFolder() const { return folder_.path() + "journal\\"; }

  // A machine with a user's file, a value and a text file the installation will change.
  void MakeMachine() {
    folder_.Write("dest\\unit.pas", "the user's own edit");
    folder_.Write("ide\\help.cnt", ":Base help\r\n");
    WriteRawValue(HKEY_CURRENT_USER, kKey, "Search Path", REG_EXPAND_SZ, std::string("$(DELPHI)\\Lib\0", 14));
  }

  // Every change an installation makes, each recorded first.
  void Install(InstallJournal& journal) {
    const std::string dest = folder_.path() + "dest\\";
    journal.FolderWillBeCreated(dest + "units\\deep");
    ASSERT_TRUE(CreateDirectoryA((dest + "units").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((dest + "units\\deep").c_str(), nullptr));
    for (const char* name : {"unit.pas", "units\\deep\\new.pas"}) {
      ASSERT_TRUE(journal.FileWillBeWritten(dest + name));
      WriteFileBytes(dest + name, "from the archive");
    }
    journal.TextWillBeRewritten(folder_.path() + "ide\\help.cnt");
    WriteFileBytes(folder_.path() + "ide\\help.cnt", ":Base help\r\n:Include prod.cnt\r\n");
    journal.TextWillBeRewritten(dest + "prod.inc");
    WriteFileBytes(dest + "prod.inc", "{$DEFINE PROD}\r\n");
    journal.ValueWillChange(HKEY_CURRENT_USER, kKey, "Search Path");
    RegistryKey::Open(HKEY_CURRENT_USER, kKey).WriteString("Search Path", "$(DELPHI)\\Lib;C:\\dest\\units");
    const std::string newKey = std::string(kKey) + "\\Entry\\Product";
    journal.ValueWillChange(HKEY_LOCAL_MACHINE, newKey, "DisplayName");
    RegistryKey::Create(HKEY_LOCAL_MACHINE, newKey).WriteString("DisplayName", "Product");
  }

  void ExpectMachineAsBefore() {
    EXPECT_EQ(ReadFileBytes(folder_.path() + "dest\\unit.pas"), "the user's own edit");
    EXPECT_EQ(ReadFileBytes(folder_.path() + "ide\\help.cnt"), ":Base help\r\n");
    EXPECT_EQ(GetFileAttributesA((folder_.path() + "dest\\prod.inc").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA((folder_.path() + "dest\\units").c_str()), INVALID_FILE_ATTRIBUTES);
    auto raw = RegistryKey::Open(HKEY_CURRENT_USER, kKey).ReadRaw("Search Path");
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(raw->data, std::string("$(DELPHI)\\Lib\0", 14));
    EXPECT_FALSE(RegistryKey::Open(HKEY_LOCAL_MACHINE, kKey, KEY_READ).valid());
    // Only the user's files are left in the destination: nothing kept aside, no journal.
    EXPECT_EQ(FilesIn(folder_.path() + "dest"), 1);
    EXPECT_FALSE(InterruptedInstallation(journalFolder()));
  }
};

TEST_F(InstallJournalTest, UndoLeavesTheMachineAsItWas) {
  MakeMachine();
  InstallJournal journal(journalFolder(), "Product");
  Install(journal);
  journal.Undo();
  ExpectMachineAsBefore();
}

TEST_F(InstallJournalTest, CommitKeepsTheNewStateAndRemovesWhatWasKeptAside) {
  MakeMachine();
  {
    InstallJournal journal(journalFolder(), "Product");
    Install(journal);
    journal.Commit();
  }
  EXPECT_EQ(ReadFileBytes(folder_.path() + "dest\\unit.pas"), "from the archive");
  EXPECT_EQ(FilesIn(folder_.path() + "dest"), 2);  // unit.pas and prod.inc, nothing aside
  EXPECT_EQ(RegistryKey::Open(HKEY_LOCAL_MACHINE, std::string(kKey) + "\\Entry\\Product").ReadString("DisplayName"),
            "Product");
  EXPECT_FALSE(InterruptedInstallation(journalFolder()));
  EXPECT_EQ(GetFileAttributesA(journalFolder().c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(InstallJournalTest, AJournalLeftByAKilledInstallationIsUndoneByTheNextStart) {
  MakeMachine();
  {
    InstallJournal journal(journalFolder(), "Quillmark Marlin");
    Install(journal);
    // A second installation cannot start while this journal is there, and a running one is not undone.
    EXPECT_EQ(ErrorText([&] { InstallJournal second(journalFolder(), "Other"); }),
              "Cannot create file " + journalFolder() + "install.journal");
    EXPECT_FALSE(InterruptedInstallation(journalFolder()));
  }  // killed: neither commit nor undo
  EXPECT_EQ(InterruptedInstallation(journalFolder()), std::optional<std::string>("Quillmark Marlin"));
  UndoInterruptedInstallation(journalFolder());
  ExpectMachineAsBefore();
}

TEST_F(InstallJournalTest, AKilledCommitIsFinishedNotUndone) {
  MakeMachine();
  {
    InstallJournal journal(journalFolder(), "Product");
    Install(journal);
  }
  // The commit record reached the journal, the process died before anything kept aside was deleted.
  std::string journalPath = journalFolder() + "install.journal";
  WriteFileBytes(journalPath, ReadFileBytes(journalPath) + "commit\r\n");
  UndoInterruptedInstallation(journalFolder());
  EXPECT_EQ(ReadFileBytes(folder_.path() + "dest\\unit.pas"), "from the archive");
  EXPECT_EQ(FilesIn(folder_.path() + "dest"), 2);
  EXPECT_FALSE(InterruptedInstallation(journalFolder()));
}

TEST_F(InstallJournalTest, AFileHeldOpenCannotBeReplacedAndStaysAsItWas) {
  const std::string path = folder_.Write("dest\\held.dll", "in use");
  UniqueFile held(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held.valid());
  InstallJournal journal(journalFolder(), "Product");
  EXPECT_FALSE(journal.FileWillBeWritten(path));
  held.reset();
  EXPECT_TRUE(journal.FileWillBeWritten(path));  // Retry once the program let go
  journal.Undo();
  EXPECT_EQ(ReadFileBytes(path), "in use");
  EXPECT_EQ(FilesIn(folder_.path() + "dest"), 1);
}
}  // namespace
