// The observer of the machine's changes and the question about a file in use.
#include "change_observer.h"

#include "message_box.h"
#include "setup_error.h"

namespace {
ChangeObserver* activeObserver = nullptr;
}  // namespace

ChangeObserver* ActiveChangeObserver() { return activeObserver; }
void SetActiveChangeObserver(ChangeObserver* observer) { activeObserver = observer; }

void PrepareFileForWriting(const std::string& path) {
  if (activeObserver == nullptr) return;
  while (!activeObserver->FileWillBeWritten(path)) {
    const std::string text = FormatText(
        "The file %s is used by another program.\r\nClose that program and press Retry, or press Cancel to undo the "
        "installation.",
        path.c_str());
    if (ShowMessageBox(text, "Setup", MB_ICONWARNING | MB_RETRYCANCEL, IDCANCEL) != IDRETRY)
      throw InstallationCancelled();
  }
}

void PrepareFolderCreation(const std::string& path) {
  if (activeObserver != nullptr) activeObserver->FolderWillBeCreated(path);
}

void PrepareKeyCreation(HKEY root, const std::string& keyPath) {
  if (activeObserver != nullptr) activeObserver->KeyWillBeCreated(root, keyPath);
}

void PrepareValueChange(HKEY root, const std::string& keyPath, const std::string& name) {
  if (activeObserver != nullptr) activeObserver->ValueWillChange(root, keyPath, name);
}

void PrepareTextRewrite(const std::string& path) {
  if (activeObserver != nullptr) activeObserver->TextWillBeRewritten(path);
}

void PrepareToolRun(const std::string& folder) {
  if (activeObserver != nullptr) activeObserver->ToolWillRun(folder);
}
