// Texts of the setup program's message boxes that more than one step shows, or that tests look for.
#pragma once

#include <string>

// "Setup has detected that previous version of %s is already installed. ..." with the AppName twice.
std::string PreviousVersionText(const std::string& appName);
// Shown, before anything else is asked, while another setup holds the journal folder.
constexpr const char* kAnotherInstallationRunningText =
    "Another installation is running. Please wait until it has finished, then start the setup again.";
