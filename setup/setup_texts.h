// Texts of the setup program's message boxes that more than one step shows.
#pragma once

#include <string>

// "Setup has detected that previous version of %s is already installed. ..." with the AppName twice.
std::string PreviousVersionText(const std::string& appName);
