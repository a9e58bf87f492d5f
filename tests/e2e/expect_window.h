// Checks of recorded windows shared by the end-to-end tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver_script.h"
#include "window_driver.h"

// A message box with exactly this caption, text, icon and buttons (left to right).
inline void ExpectMessageBox(const WindowRecord& window, const std::string& caption, const std::string& text,
                             IconKind icon, const std::vector<int>& buttons) {
  EXPECT_EQ(WindowKindName(window.kind), WindowKindName(WindowKind::MessageBox)) << caption;
  EXPECT_EQ(window.caption, caption);
  EXPECT_EQ(window.text, text) << caption;
  EXPECT_EQ(IconKindName(window.icon), IconKindName(icon)) << caption;
  EXPECT_EQ(window.buttons, buttons) << caption;
}
