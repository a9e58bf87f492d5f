// Every text the single-file setup shows: the captions and texts of its boxes.
#pragma once

#include <string>

constexpr const char* kSetupCaption = "Setup";
// The data behind the program does not match its checksum, or ends early: a damaged or cut download.
constexpr const char* kDamagedText = "The setup file is damaged. Please download it again.";

// reason: the system's text of why the folder or a file in it could not be written.
std::string UnpackFailedText(const std::string& folder, const std::string& reason);
std::string StartFailedText(const std::string& program, const std::string& reason);
