// The installation's journal: every change the setup program makes is recorded before it is made, so that a
// failed, cancelled or killed installation can be undone in reverse order and the machine is as it was.
//
// The journal is a text file in a per-user folder, one record a line, each written through to the system before the
// change it describes (a killed process loses no record). A file the installation replaces is moved
// aside next to itself (same volume, no copy of the data) and moved back on undo; a text file it rewrites has its old
// content kept beside the journal; a registry value keeps its old type and data in its record, and what it was set
// to as a hash, so that an undo long after a kill writes back only what still holds what the installation wrote.
// Commit renames the journal, then removes what was kept aside and the journal; a commit that was interrupted (a
// renamed journal) is finished, never undone, by the next start. A record whose undo fails (a program holds the
// file) stays in the journal with what it kept, for the next start to finish.
//
// The folder is locked (JournalLock) by the program that works in it: one installation at a time.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "change_observer.h"
#include "registry.h"
#include "unique_handle.h"

// The journal folder held by one program: from its start to its end for the setup program, while an interrupted
// installation is finished for the uninstaller. Acquiring it creates the folder (and the parent it lives in) when
// missing; releasing it removes both again when empty, the parent only when a program of ours created it.
class JournalLock {
 public:
  // nullopt when another program holds the folder.
  static std::optional<JournalLock> Acquire(const std::string& folder);
  JournalLock(JournalLock&&) = default;
  JournalLock& operator=(JournalLock&&) = delete;
  ~JournalLock();

  // With a trailing backslash.
  const std::string& Folder() const { return folder_; }

 private:
  JournalLock(std::string folder, UniqueFile file) : folder_(std::move(folder)), file_(std::move(file)) {}

  std::string folder_;
  UniqueFile file_;
};

class InstallJournal : public ChangeObserver {
 public:
  // Starts a new journal for the product in the folder, which the caller holds locked. A journal left there by
  // another installation must be finished first (FinishInterruptedInstallation).
  InstallJournal(const std::string& folder, const std::string& appName);
  InstallJournal(const InstallJournal&) = delete;
  InstallJournal& operator=(const InstallJournal&) = delete;
  // The journal stays on disk unless Commit or Undo ran: the next start undoes it.
  ~InstallJournal() override;

  // Before a file is written: a missing file is recorded as created; an existing one is moved aside under a name no
  // other file has. False when it exists and cannot be moved because a program holds it open; raises "Cannot
  // create file %s" with the system's reason on other failures (access denied among them).
  bool FileWillBeWritten(const std::string& path) override;
  // What was moved aside for the file comes back at once (a partial file is deleted first).
  void FileWasNotWritten(const std::string& path) override;
  // Keeps the names of the folder's files before the tool runs and the names it added once it has run: undo
  // deletes only those.
  void ToolWillRun(const std::string& folder) override;
  void ToolHasRun(const std::string& folder) override;
  // Before a folder is created: records every folder of the path that does not exist yet, outermost first.
  void FolderWillBeCreated(const std::string& path) override;
  void KeyWillBeCreated(HKEY root, const std::string& keyPath) override;
  // Before a registry value is set or deleted: records its key when missing, the value's type and data or that it
  // had none, and what it is about to become.
  void ValueWillChange(HKEY root, const std::string& keyPath, const std::string& name,
                       const RegistryValue* newValue) override;
  // The same for values written in a row: their records are appended in one write.
  void ValuesWillChange(HKEY root, const std::string& keyPath, const std::vector<RegistryValue>& newValues,
                        const std::vector<std::optional<RegistryValue>>& oldValues) override;
  // Before a text file is rewritten: keeps its old content (or that there was none) and what it is about to hold.
  void TextWillBeRewritten(const std::string& path, const std::string& newContent) override;

  // The installation succeeded: the journal is renamed as committed, then what was kept aside and the journal go (a
  // kept file that cannot be deleted is scheduled for deletion at the next restart). Raises "Cannot create file
  // %s" when the journal cannot be renamed (nothing has changed then).
  void Commit();
  // The installation failed: every recorded change is undone in reverse order. Returns what could not be restored
  // yet; those records stay in the journal for the next start, the rest of it goes.
  std::vector<std::string> Undo();

 private:
  void Append(const std::string& record, bool flush);
  // What the value holds now (nullopt: none), read unless this installation created its key.
  std::optional<RegistryValue> CurrentValue(HKEY root, const std::string& keyPath, const std::string& name);
  // The record of a value about to change from old.
  std::string ValueRecord(HKEY root, const std::string& keyPath, const std::string& name, const RegistryValue* newValue,
                          const std::optional<RegistryValue>& old);
  std::string AsideName(const std::string& path);

  std::string folder_;
  std::string journalPath_;
  UniqueFile file_;
  unsigned keptCount_ = 0;
  // Lower case: the folders and keys this installation created.
  std::unordered_set<std::string> createdFolders_;
  std::unordered_set<std::string> createdKeys_;
  // Keys found, or about to be created, by KeyWillBeCreated.
  std::unordered_set<std::string> knownKeys_;
  // Lower case path: where the file's old content was moved aside, for a write that does not happen after all.
  std::unordered_map<std::string, std::string> movedAside_;
  // Lower case path: the copy of a text file's old content ("" when it had none), for a write that fails half-way.
  std::unordered_map<std::string, std::string> keptTexts_;
  // Lower case folder: the names in it before a tool ran.
  std::unordered_map<std::string, std::vector<std::string>> namesBeforeTool_;
  HKEY lastRoot_ = nullptr;
  std::string lastPath_;
  RegistryKey lastKey_;
};

// The per-user folder of the journal: <Local Application Data>\Quillmark\OrvSetup\.
std::string JournalFolder();
// True when an installation left its journal in the folder: something to finish once the folder is locked.
bool JournalLeftIn(const std::string& folder);
// The product named by a journal that an installation left in the locked folder, or nullopt when there is none.
std::optional<std::string> InterruptedInstallation(const JournalLock& lock);
// What finishing an interrupted installation came to.
struct FinishedInstallation {
  std::string appName;
  // False when its commit had begun, which was finished instead.
  bool undone = false;
  // What could not be restored yet: it stays in the journal for the next start.
  std::vector<std::string> notRestored;
};
// Undoes the journal left in the locked folder, or finishes its commit; nullopt when there is none.
std::optional<FinishedInstallation> FinishInterruptedInstallation(const JournalLock& lock);
// The box (caption given, warning icon) that names what an undo could not restore yet, and the log's line.
void ReportNotRestored(const std::string& appName, const std::vector<std::string>& notRestored,
                       const std::string& caption);
// At a program's start, with the journal folder locked: finishes what an installation that did not finish left and
// tells the user in a box with the caption given (information icon); a commit that was cut short is finished
// silently. False when something could not be restored yet (the box said so): the program must not go on.
bool FinishInterruptedInstallationAtStart(const JournalLock& lock, const std::string& caption);
