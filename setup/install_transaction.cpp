// The installation's transaction.
#include "install_transaction.h"

#include <optional>

#include "install_journal.h"
#include "setup_texts.h"
#include "step_timings.h"

namespace {
std::optional<InstallJournal> journal;
std::string journalAppName;
// Starting and committing the journal; the time of its records is tallied where they are made.
long long journalTicks = 0;
}  // namespace

void BeginInstallTransaction(const std::string& appName) {
  TimeTally tally(journalTicks);
  journal.emplace(JournalFolder(), appName);
  journalAppName = appName;
  SetActiveChangeObserver(&*journal);
}

void CommitInstallTransaction() {
  if (!journal) return;
  {
    TimeTally tally(journalTicks);
    SetActiveChangeObserver(nullptr);
    journal->Commit();
    journal.reset();
  }
  // What the transaction cost the installation, all told.
  LogTalliedStep("journal", journalTicks + ObservingTicks());
}

bool UndoInstallTransaction() {
  if (!journal) return true;
  SetActiveChangeObserver(nullptr);
  const std::vector<std::string> notRestored = journal->Undo();
  journal.reset();
  if (notRestored.empty()) return true;
  ReportNotRestored(journalAppName, notRestored, kSetupCaption);
  return false;
}
