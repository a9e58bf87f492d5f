// Progress dialog updates at the screen's pace: what is sent, held back and flushed.
#include "progress_updates.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "unique_handle.h"

namespace {
// What reached the stand-in controls: "text <status>" and "position <n>", in order.
std::vector<std::string> sent;

LRESULT CALLBACK RecordingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETTEXT && GetDlgCtrlID(window) == 1001)
    sent.push_back("text " + std::string(reinterpret_cast<const char*>(lParam)));
  if (message == PBM_SETPOS) sent.push_back("position " + std::to_string(wParam));
  return DefWindowProcA(window, message, wParam, lParam);
}

// A window with a status control (1001) and a bar control (1000) that record what they get.
class RecordingDialog {
 public:
  RecordingDialog() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = RecordingProcedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "OrvProgressRecording";
    RegisterClassA(&windowClass);  // a previous test may have registered it
    dialog_.reset(CreateWindowExA(0, windowClass.lpszClassName, "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  windowClass.hInstance, nullptr));
    for (int id : {1000, 1001})
      CreateWindowExA(0, windowClass.lpszClassName, "", WS_CHILD, 0, 0, 1, 1, dialog_.get(),
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), windowClass.hInstance, nullptr);
    sent.clear();
  }
  HWND get() const { return dialog_.get(); }

 private:
  UniqueWindow dialog_;
};

TEST(ProgressUpdates, QuickItemsAreCoalescedIntoTheLatestAndTheLastIsFlushed) {
  RecordingDialog dialog;
  {
    ProgressUpdates progress(dialog.get(), 1001, 1000);
    progress.Show("a", 1);  // the first item goes at once
    progress.Show("b", 2);
    progress.Show("c", 3);
    EXPECT_EQ(sent, (std::vector<std::string>{"text a", "position 1"}));
    Sleep(60);  // past the pace: the next item goes at once, not the ones held before it
    progress.Show("d", 4);
    progress.Show("e", 5);
    EXPECT_EQ(sent, (std::vector<std::string>{"text a", "position 1", "text d", "position 4"}));
  }
  EXPECT_EQ(sent, (std::vector<std::string>{"text a", "position 1", "text d", "position 4", "text e", "position 5"}))
      << "the held item is sent when the display goes";
}

TEST(ProgressUpdates, AnItemMarkedNowIsSentAtOnceAndFlushSendsNothingTwice) {
  RecordingDialog dialog;
  ProgressUpdates progress(dialog.get(), 1001, 1000);
  progress.Show("a", 1);
  progress.Show("b", 2);
  progress.Show("large", 9, true);
  EXPECT_EQ(sent, (std::vector<std::string>{"text a", "position 1", "text large", "position 9"}));
  progress.Flush();
  progress.Flush();
  EXPECT_EQ(sent.size(), 4u) << "nothing was held after the item sent at once";
}
}  // namespace
