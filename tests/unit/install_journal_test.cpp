// The installation journal where the end-to-end runs cannot reach: a commit cut short, an undo long after the kill,
// the names of what is moved aside and a file the setup has no right to replace.
#include <gtest/gtest.h>
#include <windows.h>

#include "e2e_support.h"
#include "change_observer.h"
#include "install_journal.h"
#include "install_records.h"
#include "path_utils.h"
#include "registry.h"
#include "run_log.h"
#include "scratch_registry.h"
#include "setup_error.h"
#include "string_list.h"
#include "test_utils.h"
#include "text_file.h"

namespace {
constexpr const char* kTestKey = "Software\\Quillmark\\Test";

class InstallJournalTest : public IsolatedTest {
 protected:
  std::string journalFolder() const { return folder_.path() + "journal\\"; }
};

TEST_F(InstallJournalTest, OneInstallationAtATimeAndAKilledCommitIsFinished) {
  const std::string replaced = folder_.Write("dest\\unit.pas", "the user's own edit");
  const std::string created = folder_.path() + "dest\\new.pas";
  {
    std::optional<JournalLock> lock = JournalLock::Acquire(journalFolder());
    ASSERT_TRUE(lock);
    EXPECT_FALSE(JournalLock::Acquire(journalFolder()));
    InstallJournal journal(lock->Folder(), "Product");
    ASSERT_TRUE(journal.FileWillBeWritten(replaced));
    ASSERT_TRUE(journal.FileWillBeWritten(created));
    for (const std::string& path : {replaced, created}) WriteFileBytes(path, "from the archive");
  }  // killed: the journal stays, the lock goes with the process
  std::optional<JournalLock> lock = JournalLock::Acquire(journalFolder());
  ASSERT_TRUE(lock);
  EXPECT_EQ(InterruptedInstallation(*lock), std::optional<std::string>("Product"));

  // The journal was renamed as committed, the process died before what was kept aside was deleted.
  ASSERT_TRUE(
      MoveFileA((journalFolder() + "install.journal").c_str(), (journalFolder() + "install.committed").c_str()));
  std::optional<FinishedInstallation> finished = FinishInterruptedInstallation(*lock);
  ASSERT_TRUE(finished);
  EXPECT_FALSE(finished->undone);
  EXPECT_EQ(ReadFileBytes(replaced), "from the archive");
  EXPECT_EQ(ReadFileBytes(created), "from the archive");
  EXPECT_EQ(FilesIn(folder_.path() + "dest"), 2);  // nothing left aside
  EXPECT_FALSE(InterruptedInstallation(*lock));
  lock.reset();
  EXPECT_FALSE(FolderExists(journalFolder()));
}

// Undone at the next start, days later: what the user changed since stays as it is, and the log says so.
TEST_F(InstallJournalTest, AnUndoLongAfterTheKillLeavesWhatChangedSince) {
  const std::string changedText = folder_.Write("dest\\orvprod.inc", "old include"),
                    text = folder_.Write("help\\delphi5.cnt", "old contents"),
                    source = folder_.Write("dest\\source\\Pack.dpk", "package");
  const std::string sourceFolder = folder_.path() + "dest\\source";
  {
    std::optional<JournalLock> lock = JournalLock::Acquire(journalFolder());
    InstallJournal journal(lock->Folder(), "Product");
    RegistryKey key = RegistryKey::Create(HKEY_CURRENT_USER, kTestKey);
    for (const char* name : {"Changed", "Unchanged"}) {
      key.WriteString(name, "old");
      const RegistryValue newValue{name, REG_SZ, std::string("new", 4)};
      journal.ValueWillChange(HKEY_CURRENT_USER, kTestKey, name, &newValue);
      key.WriteString(name, "new");
    }
    for (const std::string& path : {changedText, text}) {
      journal.TextWillBeRewritten(path, "new\r\n");
      WriteTextLines(path, {"new"});
    }
    journal.ToolWillRun(sourceFolder);
    folder_.Write("dest\\source\\Pack.dcu", "the tool's");
    journal.ToolHasRun(sourceFolder);
  }  // killed
  // Meanwhile the user changed a value and a text, and put a file of their own beside the package.
  RegistryKey::Open(HKEY_CURRENT_USER, kTestKey).WriteString("Changed", "the user's");
  WriteFileBytes(changedText, "the user's include");
  const std::string own = folder_.Write("dest\\source\\notes.txt", "the user's notes");

  const std::string logPath = folder_.path() + "undo.log";
  OpenRunLog(logPath);
  std::optional<JournalLock> lock = JournalLock::Acquire(journalFolder());
  std::optional<FinishedInstallation> finished = FinishInterruptedInstallation(*lock);
  CloseRunLog();
  ASSERT_TRUE(finished && finished->undone);
  EXPECT_EQ(finished->notRestored, Texts{});
  const RegistryKey key = RegistryKey::Open(HKEY_CURRENT_USER, kTestKey);
  EXPECT_EQ((Texts{key.ReadStringOrEmpty("Changed"), key.ReadStringOrEmpty("Unchanged"), ReadFileBytes(changedText),
                   ReadFileBytes(text), ReadFileBytes(own), ReadFileBytes(source),
                   ReadFileBytes(sourceFolder + "\\Pack.dcu")}),
            (Texts{"the user's", "old", "the user's include", "old contents", "the user's notes", "package", ""}));
  const std::string log = ReadFileBytes(logPath);
  for (const std::string& line :
       {"Undo: left HKCU\\" + std::string(kTestKey) + "\\Changed as it is: it changed since the installation wrote it",
        "Undo: left " + changedText + " as it is: it changed since",
        "Undo: wrote back HKCU\\" + std::string(kTestKey) + "\\Unchanged", "Undo: restored " + text,
        "Undo: deleted " + sourceFolder + "\\Pack.dcu"})
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

// The counters' old values come from the count's own read: another installation's counters come back as they were.
TEST_F(InstallJournalTest, AnUndoGivesAnotherInstallationsCountersBack) {
  StringList other, ours;
  other.SetText("C:\\P\\shared.pas\r\nC:\\P\\other.pas\r\n");
  ours.SetText("C:\\P\\shared.pas\r\nC:\\P\\new.pas\r\nC:\\P\\SHARED.PAS\r\n");
  CountInstalledFiles(other);
  {
    std::optional<JournalLock> lock = JournalLock::Acquire(journalFolder());
    InstallJournal journal(lock->Folder(), "Product");
    SetActiveChangeObserver(&journal);
    CountInstalledFiles(ours);
    SetActiveChangeObserver(nullptr);
    ASSERT_EQ(GetInstalledFileCount("C:\\P\\shared.pas"), 3);
    EXPECT_EQ(journal.Undo(), Texts{});
  }
  EXPECT_EQ(GetInstalledFileCount("C:\\P\\shared.pas"), 1);
  EXPECT_EQ(GetInstalledFileCount("C:\\P\\other.pas"), 1);
  EXPECT_EQ(GetInstalledFileCount("C:\\P\\new.pas"), -1);
}

TEST_F(InstallJournalTest, MovedAsideUnderAFreeNameThatFitsAPathAndNeverWhereAccessIsDenied) {
  std::optional<JournalLock> lock = JournalLock::Acquire(journalFolder());
  {
    InstallJournal journal(lock->Folder(), "Product");
    // A file of the user's that happens to bear the first name the journal would pick.
    const std::string unit = folder_.Write("dest\\unit.pas", "the user's unit");
    const std::string namesake =
        folder_.Write(FormatText("dest\\unit.pas.orv-1-%lu", GetCurrentProcessId()), "the user's namesake");
    // A destination whose name leaves no room for a suffix within the longest path.
    const std::string folder = folder_.path() + "long\\";
    const std::string longPath = folder_.Write("long\\" + std::string(MAX_PATH - 5 - folder.size(), 'n'), "long");
    ASSERT_TRUE(journal.FileWillBeWritten(unit));
    ASSERT_TRUE(journal.FileWillBeWritten(longPath));
    const Texts moved = ListFolderTree(folder);
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_LT((folder + moved[0]).size(), static_cast<size_t>(MAX_PATH));
    EXPECT_EQ(journal.Undo(), Texts{});
    EXPECT_EQ((Texts{ReadFileBytes(unit), ReadFileBytes(longPath), ReadFileBytes(namesake)}),
              (Texts{"the user's unit", "long", "the user's namesake"}));
  }

  // Not the user's to replace: refused with the system's reason, never asked about as a file in use.
  InstallJournal journal(lock->Folder(), "Product");
  const std::string locked = folder_.Write("dest\\locked.pas", "read only for everybody");
  const std::string problem = SetImmutable(locked, true);
  if (!problem.empty()) GTEST_SKIP() << problem;
  const std::string error = ErrorText([&] { journal.FileWillBeWritten(locked); });
  SetImmutable(locked, false);
  EXPECT_EQ(error.rfind("Cannot create file " + locked + ". ", 0), 0u) << error;
}
}  // namespace
