// The installation's transaction.
#include "install_transaction.h"

#include <optional>

#include "install_journal.h"

namespace {
std::optional<InstallJournal> journal;
}  // namespace

void BeginInstallTransaction(const std::string& appName) {
  journal.emplace(JournalFolder(), appName);
  SetActiveChangeObserver(&*journal);
}

void CommitInstallTransaction() {
  if (!journal) return;
  SetActiveChangeObserver(nullptr);
  journal->Commit();
  journal.reset();
}

void UndoInstallTransaction() {
  if (!journal) return;
  SetActiveChangeObserver(nullptr);
  journal->Undo();
  journal.reset();
}
