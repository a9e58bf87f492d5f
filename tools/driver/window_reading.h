// Reading the dialogs of another process without relying on it to answer quickly.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "window_driver.h"

// The visible top-level "#32770" windows of the processes, bottom of the z-order first (about creation order).
std::vector<HWND> VisibleDialogsOfProcesses(const std::vector<DWORD>& processIds);
// Sorts a window by its direct children (classes and styles only: nothing is sent to the window).
WindowKind ClassifyWindow(HWND window);
// Records the window. Message boxes and dialogs are waiting for input: their control texts are asked from the
// controls (WM_GETTEXT). Passive windows may belong to a busy thread: their texts are the ones the system stored.
WindowRecord InspectWindow(HWND window, WindowKind kind);
// Refreshes caption and controls of a passive window and adds the texts of its statics not seen before.
void SamplePassiveWindow(HWND window, WindowRecord& record);
