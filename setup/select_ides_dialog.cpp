// The dialog that lets the user choose the IDE editions to install into.
#include "select_ides_dialog.h"

#include <algorithm>
#include <string>

#include "message_box.h"
#include "resource_ids.h"
#include "run_log.h"
#include "setup_texts.h"

namespace {
// The template holds one box per edition.
constexpr std::size_t kBoxCount = kEditionCount;

std::string BoxText(IdeEdition edition, bool installed) {
  return EditionDisplayName(edition) + (installed ? "" : kNotInstalledSuffix);
}

// The editions as their boxes name them, for the log.
std::string EditionList(const std::vector<IdeEdition>& editions, const std::vector<IdeEdition>& installed) {
  std::string list;
  for (IdeEdition edition : editions)
    list += (list.empty() ? "" : ", ") + BoxText(edition, ListsEdition(installed, edition));
  return list;
}

// The window's rectangle in its parent's client coordinates; a window without parent keeps screen coordinates.
RECT PlacementOf(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}
}  // namespace

TSelectIdesDialog::TSelectIdesDialog(const std::vector<IdeEdition>& listed, const std::vector<IdeEdition>& installed,
                                     const std::vector<IdeEdition>& checked)
    : TOrvResDialog(IDD_SELECT_IDES),
      // A list longer than the boxes can only repeat editions.
      listed_(listed.begin(), listed.begin() + std::min(listed.size(), kBoxCount)) {
  for (std::size_t i = 0; i < listed_.size(); ++i) {
    const bool isInstalled = ListsEdition(installed, listed_[i]);
    SetWindowTextA(Box(i), BoxText(listed_[i], isInstalled).c_str());
    EnableWindow(Box(i), isInstalled);
    SendMessageA(Box(i), BM_SETCHECK, isInstalled && ListsEdition(checked, listed_[i]) ? BST_CHECKED : BST_UNCHECKED,
                 0);
  }
  HideUnusedBoxes();
}

std::vector<IdeEdition> TSelectIdesDialog::CheckedEditions() const {
  std::vector<IdeEdition> checked;
  for (std::size_t i = 0; i < listed_.size(); ++i)
    if (SendMessageA(Box(i), BM_GETCHECK, 0, 0) == BST_CHECKED) checked.push_back(listed_[i]);
  return checked;
}

HWND TSelectIdesDialog::Box(std::size_t index) const {
  return GetDlgItem(Handle(), IDC_IDE_FIRST + static_cast<int>(index));
}

void TSelectIdesDialog::HideUnusedBoxes() {
  // OK and Cancel move up by the space of the hidden boxes and the dialog loses it, so no gap is left; measured from
  // the last box, since the pixel pitch of the boxes varies by rounding. An empty list keeps the size.
  const int shift =
      listed_.empty() ? 0 : PlacementOf(Box(kBoxCount - 1)).bottom - PlacementOf(Box(listed_.size() - 1)).bottom;
  for (std::size_t i = listed_.size(); i < kBoxCount; ++i) ShowWindow(Box(i), SW_HIDE);
  for (int id : {IDOK, IDCANCEL}) {
    HWND button = GetDlgItem(Handle(), id);
    const RECT place = PlacementOf(button);
    SetWindowPos(button, nullptr, place.left, place.top - shift, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  // Half of it moves the top down: the dialog stays centred.
  const RECT frame = PlacementOf(Handle());
  SetWindowPos(Handle(), nullptr, frame.left, frame.top + shift / 2, frame.right - frame.left,
               frame.bottom - frame.top - shift, SWP_NOZORDER | SWP_NOACTIVATE);
}

bool SelectIdes(const std::vector<IdeEdition>& listed, const std::vector<IdeEdition>& installed,
                std::vector<IdeEdition>& chosen) {
  chosen.clear();
  LogLine("IDEs offered: " + EditionList(listed, installed));
  std::vector<IdeEdition> checked = installed;
  for (;;) {
    {
      // Destroyed before the box below: its modal loop has ended, and left on the screen it would take no answer.
      TSelectIdesDialog dialog(listed, installed, checked);
      if (!dialog.Execute()) {
        LogLine("IDEs: the selection was cancelled");
        return false;
      }
      checked = dialog.CheckedEditions();
    }
    if (!checked.empty()) break;
    ShowMessageBox(kSelectIdeText, kSetupCaption, MB_ICONWARNING | MB_OK);
  }
  chosen = checked;
  LogLine("IDEs chosen: " + EditionList(chosen, installed));
  return true;
}
