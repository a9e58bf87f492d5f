// Dialog windows made from the program's own dialog-template resources, driven by one shared dialog procedure.
#pragma once

#include <windows.h>

#include <vector>

#include "unique_handle.h"

// Owns a dialog window created from a template of the running program. The window is shown only when its template
// says so; OK and Cancel (BN_CLICKED of IDOK or IDCANCEL) close a modal run.
class TOrvResDialog {
 public:
  // Creates the window (no owner). A template that cannot be created leaves Handle() null; Execute reports it.
  explicit TOrvResDialog(int templateId);
  // Forgets the object, then destroys the window.
  virtual ~TOrvResDialog();
  TOrvResDialog(const TOrvResDialog&) = delete;
  TOrvResDialog& operator=(const TOrvResDialog&) = delete;

  // The dialog window; callers send messages to its controls through it.
  HWND Handle() const { return window_.get(); }
  // OK or Cancel was pressed.
  bool Closed() const { return closed_; }
  // The dialog was ended with OK.
  bool Accepted() const { return accepted_; }

  // Shows the dialog and runs a modal loop until OK, Cancel or WM_QUIT; returns Accepted(). An error raised while
  // the loop dispatched a message to any dialog of this thread ends the loop and is rethrown here. Throws SetupError
  // when the window could not be created.
  bool Execute();

 protected:
  // WM_INITDIALOG. It does not reach the object during creation: the window is known to the object only once
  // CreateDialogParamA has returned.
  virtual void InitializeDialog() {}
  // WM_COMMAND: OK and Cancel clicks close the dialog; other commands are left to subclasses.
  virtual void HandleCommand(WPARAM wParam, LPARAM lParam);

 private:
  friend INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // Routes a window message to its handler by number; messages without a handler are ignored.
  void Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

  int templateId_;
  UniqueWindow window_;
  bool closed_ = false;
  bool accepted_ = false;
};

// Every live dialog object in creation order; the dialog procedure finds a window's object here.
std::vector<TOrvResDialog*>& DialogList();

// The dialog procedure of every TOrvResDialog window. Always returns FALSE so the default dialog processing applies
// (focus, keyboard navigation, Esc and Enter). Errors never leave it into the system's frames: they wait for
// Execute to rethrow them.
INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
