// The destination-directory dialog and the shell folder browser it opens.
#include "select_dir_dialog.h"

#include <shlobj.h>

#include <cstring>

#include "../resources/resource_ids.h"
#include "path_utils.h"
#include "unique_handle.h"

namespace {
constexpr int kRootFolderIds[] = {
    CSIDL_DESKTOP, CSIDL_BITBUCKET, CSIDL_CONTROLS,  CSIDL_DESKTOP,  CSIDL_DESKTOPDIRECTORY, CSIDL_DRIVES,
    CSIDL_FONTS,   CSIDL_NETHOOD,   CSIDL_NETWORK,   CSIDL_PERSONAL, CSIDL_PRINTERS,         CSIDL_PROGRAMS,
    CSIDL_RECENT,  CSIDL_SENDTO,    CSIDL_STARTMENU, CSIDL_STARTUP,  CSIDL_TEMPLATES};
static_assert(sizeof(kRootFolderIds) / sizeof(kRootFolderIds[0]) == drTemplates + 1, "one folder per root");

constexpr UINT kBrowseFlags[] = {BIF_BROWSEFORCOMPUTER, BIF_BROWSEFORPRINTER, BIF_DONTGOBELOWDOMAIN,
                                 BIF_RETURNFSANCESTORS, BIF_RETURNONLYFSDIRS};
static_assert(sizeof(kBrowseFlags) / sizeof(kBrowseFlags[0]) == dfOnlyDirs + 1, "one browse flag per option");

std::string TextOfBuffer(const char* buffer, size_t size) { return std::string(buffer, strnlen(buffer, size)); }
}  // namespace

std::string TSelectDirDialog::GetDirectory() const {
  LRESULT length = SendDlgItemMessageA(Handle(), IDC_DIRECTORY_EDIT, WM_GETTEXTLENGTH, 0, 0);
  if (length <= 0) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  LRESULT copied =
      SendDlgItemMessageA(Handle(), IDC_DIRECTORY_EDIT, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
  text.resize(copied <= 0 ? 0 : (copied < length ? static_cast<size_t>(copied) : static_cast<size_t>(length)));
  return text;
}

void TSelectDirDialog::SetDirectory(const std::string& text) {
  SendDlgItemMessageA(Handle(), IDC_DIRECTORY_EDIT, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void TSelectDirDialog::HandleCommand(WPARAM wParam, LPARAM lParam) {
  TOrvResDialog::HandleCommand(wParam, lParam);
  if (HIWORD(wParam) != BN_CLICKED || LOWORD(wParam) != IDC_BROWSE) return;
  std::string directory = GetDirectory();
  if (BrowseForFolder("Select the installation folder", directory, Handle())) SetDirectory(directory);
}

int RootFolderId(TOrvPathDialogRoot root) { return kRootFolderIds[root]; }

UINT BrowseFlags(TOrvPathDialogFlags flags) {
  UINT result = 0;
  for (int flag = dfForComputer; flag <= dfOnlyDirs; ++flag) {
    if (flags.Contains(static_cast<TOrvPathDialogFlag>(flag))) result += kBrowseFlags[flag];
  }
  return result;
}

void TOrvPathDialog::SetSelectedItem(const std::string& value) {
  std::string item = value.empty() ? CurrentFolder() : value;
  if (!value.empty() && item.back() == '\\') item.pop_back();
  selectedItem_ = std::move(item);
  if (browseWindow_ != nullptr) {
    SendMessageA(browseWindow_, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(selectedItem_.c_str()));
  }
}

bool TOrvPathDialog::Execute() {
  ComPtr<IMalloc> allocator;
  if (FAILED(SHGetMalloc(reinterpret_cast<IMalloc**>(allocator.put_void())))) return false;
  // Without the root folder's item list the tree starts at the desktop.
  ShellItemList root(allocator.get());
  SHGetSpecialFolderLocation(nullptr, RootFolderId(Root), root.put());

  char displayName[MAX_PATH] = {};
  BROWSEINFOA info = {};
  info.hwndOwner = OwnerWindow;
  info.pidlRoot = root.get();
  info.pszDisplayName = displayName;
  info.lpszTitle = Title.c_str();
  info.ulFlags = BrowseFlags(Flags);
  info.lpfn = BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(this);
  info.iImage = 0;

  callbackError_ = nullptr;
  ShellItemList chosen(allocator.get());
  chosen.reset(SHBrowseForFolderA(&info));
  browseWindow_ = nullptr;
  if (callbackError_) {
    std::exception_ptr error = callbackError_;
    callbackError_ = nullptr;
    std::rethrow_exception(error);
  }
  if (chosen.get() == nullptr) return false;

  // Set directly, not through SetSelectedItem: a chosen drive root keeps its backslash.
  selectedItem_ = TextOfBuffer(displayName, sizeof(displayName));
  char path[MAX_PATH] = {};
  if (SHGetPathFromIDListA(chosen.get(), path)) selectedItem_ = TextOfBuffer(path, sizeof(path));
  return true;
}

int CALLBACK TOrvPathDialog::BrowseCallback(HWND window, UINT message, LPARAM, LPARAM data) {
  if (message != BFFM_INITIALIZED) return 0;
  auto* dialog = reinterpret_cast<TOrvPathDialog*>(data);
  try {
    dialog->browseWindow_ = window;
    dialog->SetSelectedItem(dialog->selectedItem_);
  } catch (...) {
    // Unwinding through the shell's frames is undefined; Execute rethrows once the browser has returned.
    dialog->callbackError_ = std::current_exception();
  }
  return 0;
}

bool BrowseForFolder(const std::string& title, std::string& path, HWND ownerWindow) {
  TOrvPathDialog dialog;
  dialog.SetSelectedItem(path);
  dialog.OwnerWindow = ownerWindow;
  dialog.Title = title;
  if (!dialog.Execute()) return false;
  path = dialog.SelectedItem();
  return true;
}
