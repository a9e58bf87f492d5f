// The installation's journal: every change the setup program makes is recorded before it is made, so that a
// failed, cancelled or killed installation can be undone in reverse order and the machine is as it was.
//
// The journal is a text file in a per-user folder, one record a line, each written through to the system before the
// change it describes (a killed process loses no record). A file the installation replaces is moved
// aside next to itself (same volume, no copy of the data) and moved back on undo; a text file it rewrites has its old
// content kept beside the journal; a registry value keeps its old type and data in its record. Commit renames the
// journal, then removes what was kept aside and the journal; a commit that was interrupted (a renamed journal) is
// finished, never undone, by the next start.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <unordered_set>

#include "change_observer.h"
#include "registry.h"
#include "unique_handle.h"

class InstallJournal : public ChangeObserver {
 public:
  // Starts a new journal for the product in the folder (created when missing). A journal left there by another
  // installation must be undone first (UndoInterruptedInstallation).
  InstallJournal(const std::string& folder, const std::string& appName);
  InstallJournal(const InstallJournal&) = delete;
  InstallJournal& operator=(const InstallJournal&) = delete;
  // The journal stays on disk unless Commit or Undo ran: the next start undoes it.
  ~InstallJournal() override;

  // Before a file is written: a missing file is recorded as created; an existing one is moved aside. False when it
  // exists and cannot be moved because a program holds it open; raises "Cannot create file %s" on other failures.
  bool FileWillBeWritten(const std::string& path) override;
  // Keeps the names of the folder's files: undo deletes the files the tool added.
  void ToolWillRun(const std::string& folder) override;
  // Before a folder is created: records every folder of the path that does not exist yet, outermost first.
  void FolderWillBeCreated(const std::string& path) override;
  void KeyWillBeCreated(HKEY root, const std::string& keyPath) override;
  // Before a registry value is set or deleted: records its key when missing, and the value's type and data or that
  // it had none.
  void ValueWillChange(HKEY root, const std::string& keyPath, const std::string& name) override;
  // Before a text file is rewritten: keeps its old content (or that there was none).
  void TextWillBeRewritten(const std::string& path) override;

  // The installation succeeded: the journal is renamed as committed, then what was kept aside and the journal go.
  // Raises "Cannot create file %s" when the journal cannot be renamed (nothing has changed then).
  void Commit();
  // The installation failed: every recorded change is undone in reverse order, then the journal goes.
  void Undo();

 private:
  void Append(const std::string& record, bool flush);

  std::string folder_;
  std::string journalPath_;
  UniqueFile file_;
  unsigned keptCount_ = 0;
  // Lower case: the folders and keys this installation created.
  std::unordered_set<std::string> createdFolders_;
  std::unordered_set<std::string> createdKeys_;
  HKEY lastRoot_ = nullptr;
  std::string lastPath_;
  RegistryKey lastKey_;
};

// The per-user folder of the journal: <Local Application Data>\Quillmark\OrvSetup\.
std::string JournalFolder();
// The product named by a journal that an installation left in the folder, or nullopt when there is none or the
// setup that writes it is still running.
std::optional<std::string> InterruptedInstallation(const std::string& folder);
// Undoes the journal left in the folder and removes it; false when its commit had begun, which is finished instead.
bool UndoInterruptedInstallation(const std::string& folder);
// At a program's start: undoes what an installation that did not finish left in the user's journal folder and tells
// the user in a box with the caption given (information icon); a commit that was cut short is finished silently.
void UndoInterruptedInstallationAtStart(const std::string& caption);
