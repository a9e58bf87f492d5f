// Message boxes without owner window; tests may answer them in-process through the handler.
#pragma once

#include <windows.h>

#include <string>

using MessageBoxHandler = int (*)(const std::string& text, const std::string& caption, UINT style);

// Shows the box (MessageBoxA with no owner) or asks the installed handler; returns the button pressed.
int ShowMessageBox(const std::string& text, const std::string& caption, UINT style);
// Installs a handler (nullptr restores the real boxes); returns the previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
