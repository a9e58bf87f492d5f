// Message boxes without owner window; tests may answer them in-process through the handler. Every box and its
// answer goes to the run's log; an unattended run (/SILENT, /VERYSILENT) shows none and takes the answer given.
#pragma once

#include <windows.h>

#include <string>

using MessageBoxHandler = int (*)(const std::string& text, const std::string& caption, UINT style);

// Shows the box (MessageBoxA with no owner) or asks the installed handler; returns the button pressed. Unattended,
// returns unattendedAnswer without showing anything (IDOK for a box that only informs).
int ShowMessageBox(const std::string& text, const std::string& caption, UINT style, int unattendedAnswer = IDOK);
// Installs a handler (nullptr restores the real boxes); returns the previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
// Switches off the boxes the system itself shows for critical errors ("no disk in drive") and files it cannot find:
// they would wait for an answer that an unattended run never gives. Both programs call it first thing.
void SuppressSystemErrorBoxes();
