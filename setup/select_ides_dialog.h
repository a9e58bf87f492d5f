// The dialog that lets the user choose the IDE editions to install into.
#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

#include "ide_editions.h"
#include "resource_dialog.h"

// Template IDD_SELECT_IDES: one check box per listed edition, in the listed order; the boxes left over are hidden and
// the dialog shrinks to the boxes shown.
class TSelectIdesDialog : public TOrvResDialog {
 public:
  // An installed edition's box is enabled, and checked when the edition is in checked. Any other edition's box is
  // disabled and unchecked, its name followed by " (not installed)".
  TSelectIdesDialog(const std::vector<IdeEdition>& listed, const std::vector<IdeEdition>& installed,
                    const std::vector<IdeEdition>& checked);

  // The checked editions in the listed order.
  std::vector<IdeEdition> CheckedEditions() const;

 private:
  HWND Box(std::size_t index) const;
  void HideUnusedBoxes();

  std::vector<IdeEdition> listed_;
};

// Shows the dialog with the installed editions checked. OK with nothing checked warns and shows the dialog again as
// the user left it. Returns false on Cancel, chosen then empty; true on OK, chosen then the checked editions in the
// listed order.
bool SelectIdes(const std::vector<IdeEdition>& listed, const std::vector<IdeEdition>& installed,
                std::vector<IdeEdition>& chosen);
