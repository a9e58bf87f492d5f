// Every text the setup program shows of its own: the captions and texts of its boxes and the status lines of its
// progress dialog. (What the shared layers show, the setup among others, is in setuputils/shared_texts.h; the
// dialogs' own texts are in their templates.)
#pragma once

#include <string>

constexpr const char* kWelcomeCaption = "Welcome!";
constexpr const char* kSetupCaption = "Setup";
constexpr const char* kInstallationErrorCaption = "Installation Error";
constexpr const char* kInstallationWarningCaption = "Installation Warning";
constexpr const char* kApplicationErrorCaption = "Application Error";

// The catch-all's first box: this text, and the misspelt sentence as its caption; the error's own text follows in
// a box captioned kApplicationErrorCaption.
constexpr const char* kInstallationFailedText = "Installation failed.";
constexpr const char* kInstallationFailedCaption = "An error occured during installation.";
// The archive could not be extracted whole.
constexpr const char* kExtractionFailedText =
    "An error occured during installation.\r\nPlease contact our support department";
constexpr const char* kInstallationCompletedText = "Installation completed.";
constexpr const char* kEnterDestinationText = "Please enter the destination directory.";
// The IDE dialog: its box when OK is pressed with nothing checked, and what follows an edition that is not installed.
constexpr const char* kSelectIdeText = "Please select at least one IDE.";
constexpr const char* kNotInstalledSuffix = " (not installed)";
// Shown, before anything else is asked, while another setup holds the journal folder.
constexpr const char* kAnotherInstallationRunningText =
    "Another installation is running. Please wait until it has finished, then start the setup again.";

// title: the AppName, followed by " Version " and the version when one is configured.
std::string WelcomeText(const std::string& title);
// "Setup has detected that previous version of %s is already installed. ..." with the AppName twice.
std::string PreviousVersionText(const std::string& appName);
std::string RunningIdeText(const std::string& appName);
// The drive, what the installation needs there and what is free, each as SizeText writes it.
std::string NotEnoughSpaceText(const std::string& volume, const std::string& needed, const std::string& free);
std::string RunAfterInstallText(const std::string& program);

// Status lines of the progress dialog.
constexpr const char* kStartingSetupStatus = "Starting setup. Please wait...";
std::string BuildingPackagesStatus(const std::string& editionName);
