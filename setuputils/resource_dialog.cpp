// Dialog windows made from the program's own dialog-template resources.
#include "resource_dialog.h"

#include <algorithm>
#include <exception>

#include "setup_error.h"

namespace {
// The first error raised inside DialogProc on this thread, until Execute rethrows it.
thread_local std::exception_ptr pendingDialogError;

void RethrowPendingDialogError() {
  if (!pendingDialogError) return;
  std::exception_ptr error = pendingDialogError;
  pendingDialogError = nullptr;
  std::rethrow_exception(error);
}

SetupError DialogCreationError(int templateId) { return SetupError(FormatText("Cannot create dialog %d", templateId)); }
}  // namespace

std::vector<TOrvResDialog*>& DialogList() {
  static std::vector<TOrvResDialog*> dialogs;
  return dialogs;
}

TOrvResDialog::TOrvResDialog(int templateId) : templateId_(templateId) {
  DialogList().push_back(this);
  // Messages sent during creation find no object yet: the window is stored only when the call returns.
  window_.reset(CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), nullptr, DialogProc, 0));
}

TOrvResDialog::~TOrvResDialog() {
  std::vector<TOrvResDialog*>& dialogs = DialogList();
  dialogs.erase(std::remove(dialogs.begin(), dialogs.end(), this), dialogs.end());
}

bool TOrvResDialog::Execute() {
  if (!window_) throw DialogCreationError(templateId_);
  ShowWindow(Handle(), SW_SHOWDEFAULT);
  // Leaves as soon as a click has closed the dialog, not only when the next message arrives.
  MSG message;
  while (!closed_ && !pendingDialogError) {
    BOOL result = GetMessageA(&message, nullptr, 0, 0);
    if (result == 0 || result == -1) break;  // WM_QUIT, or no queue to read
    if (!IsDialogMessageA(Handle(), &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  RethrowPendingDialogError();
  return accepted_;
}

void TOrvResDialog::HandleCommand(WPARAM wParam, LPARAM) {
  if (HIWORD(wParam) != BN_CLICKED) return;
  const WORD id = LOWORD(wParam);
  if (id == IDOK || id == IDCANCEL) {
    closed_ = true;
    accepted_ = id == IDOK;
  }
}

void TOrvResDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      InitializeDialog();
      break;
    case WM_COMMAND:
      HandleCommand(wParam, lParam);
      break;
  }
}

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    for (TOrvResDialog* dialog : DialogList()) {
      if (dialog->Handle() == window) {
        dialog->Dispatch(message, wParam, lParam);
        break;
      }
    }
  } catch (...) {
    // Unwinding through user32 is undefined; keep the first error for Execute.
    if (!pendingDialogError) pendingDialogError = std::current_exception();
  }
  return FALSE;
}
