// The texts of the boxes that the shared layers show, in whichever program runs them: the file-in-use question and
// what finishing an interrupted installation tells.
#pragma once

#include <string>

// The question about a file that a program holds open; only the setup program writes files through the journal.
constexpr const char* kFileInUseCaption = "Setup";
std::string FileInUseText(const std::string& path);
// list: the paths, each followed by CR LF.
std::string NotRestoredText(const std::string& appName, const std::string& list);
std::string InterruptedInstallationUndoneText(const std::string& appName);
