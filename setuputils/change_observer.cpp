// The observer of the machine's changes and the question about a file in use.
#include "change_observer.h"

#include <utility>

#include "message_box.h"
#include "setup_error.h"
#include "shared_texts.h"
#include "step_timings.h"

namespace {
ChangeObserver* activeObserver = nullptr;
// The time the observer's hooks took: what recording the changes costs a run.
long long observingTicks = 0;

// Tells the observer, if there is one, and tallies the time it took.
template <typename Result, typename... Parameters, typename... Arguments>
Result Tell(Result (ChangeObserver::*change)(Parameters...), Arguments&&... arguments) {
  if (activeObserver == nullptr) return Result();
  TimeTally tally(observingTicks);
  return (activeObserver->*change)(std::forward<Arguments>(arguments)...);
}
}  // namespace

ChangeObserver* ActiveChangeObserver() { return activeObserver; }
void SetActiveChangeObserver(ChangeObserver* observer) { activeObserver = observer; }
long long ObservingTicks() { return observingTicks; }

void PrepareFileForWriting(const std::string& path) {
  if (activeObserver == nullptr) return;
  while (!Tell(&ChangeObserver::FileWillBeWritten, path)) {
    if (ShowMessageBox(FileInUseText(path), kFileInUseCaption, MB_ICONWARNING | MB_RETRYCANCEL, IDCANCEL) != IDRETRY)
      throw InstallationCancelled();
  }
}

void RestoreUnwrittenFile(const std::string& path) { Tell(&ChangeObserver::FileWasNotWritten, path); }
void PrepareFolderCreation(const std::string& path) { Tell(&ChangeObserver::FolderWillBeCreated, path); }
void PrepareKeyCreation(HKEY root, const std::string& keyPath) {
  Tell(&ChangeObserver::KeyWillBeCreated, root, keyPath);
}
void PrepareValueChange(HKEY root, const std::string& keyPath, const std::string& name, const RegistryValue* newValue) {
  Tell(&ChangeObserver::ValueWillChange, root, keyPath, name, newValue);
}
void PrepareValueChanges(HKEY root, const std::string& keyPath, const std::vector<RegistryValue>& newValues,
                         const std::vector<std::optional<RegistryValue>>& oldValues) {
  Tell(&ChangeObserver::ValuesWillChange, root, keyPath, newValues, oldValues);
}
void PrepareTextRewrite(const std::string& path, const std::string& newContent) {
  Tell(&ChangeObserver::TextWillBeRewritten, path, newContent);
}
void PrepareToolRun(const std::string& folder) { Tell(&ChangeObserver::ToolWillRun, folder); }
void FinishToolRun(const std::string& folder) { Tell(&ChangeObserver::ToolHasRun, folder); }
