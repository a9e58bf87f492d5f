// Progress updates at the screen's pace.
#include <windows.h>

#include <gtest/gtest.h>

#include "progress_updates.h"
#include "scratch_registry.h"
#include "test_utils.h"

namespace {
using Sent = std::vector<std::string>;

TEST(ProgressUpdates, QuickItemsAreCoalescedIntoTheLatestAndTheLastIsFlushed) {
  ProgressStandIn dialog;
  DWORD now = 0xFFFFFFF0;  // the tick count wraps while the items come
  {
    ProgressTraffic traffic;
    {
      ProgressUpdates progress(dialog.get(), 1001, 1000, [&now] { return now; });
      progress.Show("a", 1);  // the first item goes at once
      progress.Show("b", 2);
      now += 49;
      progress.Show("c", 3);
      EXPECT_EQ(traffic.lines(), (Sent{"text a", "position 1"}));
      now += 1;  // the pace reached: the next item goes at once, not the ones held before it
      progress.Show("d", 4);
      progress.Show("e", 5);
      EXPECT_EQ(traffic.lines(), (Sent{"text a", "position 1", "text d", "position 4"}));
    }
    EXPECT_EQ(traffic.lines(), (Sent{"text a", "position 1", "text d", "position 4", "text e", "position 5"}))
        << "the held item is sent when the display goes";
  }

  // An item marked "now" is sent at once; a flush after it has nothing to send.
  ProgressTraffic again;
  ProgressUpdates progress(dialog.get(), 1001, 1000, [&now] { return now; });
  progress.Show("a", 1);
  progress.Show("b", 2);
  progress.Show("large", 9, true);
  progress.Flush();
  progress.Flush();
  EXPECT_EQ(again.lines(), (Sent{"text a", "position 1", "text large", "position 9"}));
}
}  // namespace
