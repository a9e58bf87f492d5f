// Every text the uninstaller shows of its own: the captions and texts of its boxes. (What the shared layers show is
// in setuputils/shared_texts.h; its progress dialog's texts are in its template.)
#pragma once

#include <string>

constexpr const char* kUninstallCaption = "Uninstall";
constexpr const char* kDirectCallText =
    "Do not call this program directly.\r\nUse Add/Remove Programs to remove this application.";

std::string ConfirmRemovalText(const std::string& appName);
