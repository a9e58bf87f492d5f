// The destination-directory dialog and the shell folder browser it opens.
#pragma once

#include <windows.h>

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string>

#include "resource_dialog.h"

// Template 103: a folder field with OK, "Cancel" and "Browse...".
class TSelectDirDialog : public TOrvResDialog {
 public:
  using TOrvResDialog::TOrvResDialog;

  // The text of the folder field.
  std::string GetDirectory() const;
  // Replaces the text of the folder field.
  void SetDirectory(const std::string& text);

 protected:
  // "Browse..." (BN_CLICKED only) opens the folder browser at the field's folder and writes the choice back;
  // a cancelled browser leaves the field as it was.
  void HandleCommand(WPARAM wParam, LPARAM lParam) override;
};

// The top of the browser's folder tree.
enum TOrvPathDialogRoot : std::uint8_t {
  drNone,
  drBitBucket,
  drControls,
  drDesktop,
  drDesktopDir,
  drDrives,
  drFonts,
  drNetHood,
  drNetwork,
  drPersonal,
  drPrinters,
  drPrograms,
  drRecent,
  drSendto,
  drStartMenu,
  drStartup,
  drTemplates
};

// Browsing options; each is one bit of TOrvPathDialogFlags.
enum TOrvPathDialogFlag : std::uint8_t { dfForComputer, dfForPrinter, dfOnlyDomains, dfReturnAncest, dfOnlyDirs };

// A set of TOrvPathDialogFlag in one byte.
class TOrvPathDialogFlags {
 public:
  TOrvPathDialogFlags() = default;
  TOrvPathDialogFlags(std::initializer_list<TOrvPathDialogFlag> flags) {
    for (TOrvPathDialogFlag flag : flags) bits_ |= Bit(flag);
  }
  bool Contains(TOrvPathDialogFlag flag) const { return (bits_ & Bit(flag)) != 0; }
  bool operator==(const TOrvPathDialogFlags& other) const { return bits_ == other.bits_; }

 private:
  static std::uint8_t Bit(TOrvPathDialogFlag flag) { return static_cast<std::uint8_t>(1u << flag); }
  std::uint8_t bits_ = 0;
};

// The special folder (CSIDL) at the top of the tree for a root.
int RootFolderId(TOrvPathDialogRoot root);
// The browser's flags (BIF_*): the sum of the mapped values of the flags in the set.
UINT BrowseFlags(TOrvPathDialogFlags flags);

// The shell folder browser: shows the tree under Root, starts at SelectedItem and returns the choice there.
class TOrvPathDialog {
 public:
  TOrvPathDialog() = default;
  TOrvPathDialog(const TOrvPathDialog&) = delete;
  TOrvPathDialog& operator=(const TOrvPathDialog&) = delete;

  // Runs the browser modally; true when the user chose an item. SelectedItem is then the item's file-system path
  // (a drive root keeps its backslash), or its display name when it has none.
  bool Execute();

  // The start folder before Execute, the chosen item after it.
  const std::string& SelectedItem() const { return selectedItem_; }
  // Empty: the process's current folder as the system returns it. Otherwise the value with one trailing backslash
  // removed (so "C:\" becomes "C:"). While the browser is open it is asked to select that folder.
  void SetSelectedItem(const std::string& value);
  // The browser window while it is open, otherwise null.
  HWND BrowseWindow() const { return browseWindow_; }

  TOrvPathDialogFlags Flags = {dfOnlyDirs};
  std::string Title;  // shown above the folder tree
  TOrvPathDialogRoot Root = drNone;
  HWND OwnerWindow = nullptr;

 private:
  static int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM lParam, LPARAM data);

  std::string selectedItem_;
  HWND browseWindow_ = nullptr;
  // An error raised in the browse callback, rethrown once the browser has returned.
  std::exception_ptr callbackError_;
};

// Opens the browser with Title, starting at Path and owned by OwnerWindow; on true Path holds the chosen folder,
// on false (cancelled) it is unchanged.
bool BrowseForFolder(const std::string& title, std::string& path, HWND ownerWindow);
