// The installation sequence: the setup program's questions and the order of its steps.
#pragma once

#include <string>

enum TInstallOutcome { ioCompleted, ioRefused, ioFailed };
// Runs the whole installation once: completed; refused (a question answered no, before anything was written or
// with everything undone); or failed (the archive could not be extracted whole, undone and reported). An error
// escapes after everything was undone.
TInstallOutcome RunInstallation();
// "Welcome!" box; true for OK.
bool ConfirmWelcome();
// Asks for the destination (or takes the configured one) and stores it, absolute and with a trailing backslash,
// in InstallDir; false when the user cancels.
bool SelectInstallDir();
// Offers to start RunAfterInstall from the destination folder.
void OfferRunAfterInstall();
// A typed folder as the installation uses it: blanks and one pair of surrounding double quotes removed, made
// absolute in one spelling; "" when nothing is left.
std::string NormalizeInstallFolder(const std::string& typed);
