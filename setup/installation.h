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
// Extracts the archive into the destination with the progress dialog up, records the product and builds the
// listed packages; then removes the setup files when asked, all but the running program, which DeleteSetupProgram
// removes. True when the archive was extracted.
bool ExtractAndBuild(const std::string& destination);
// Hands the running program to the self-deleting batch when ExtractAndBuild left it to be deleted. The program's
// last act: the batch gives up after a bounded number of tries, which must not run out while a box is still open.
void DeleteSetupProgram();
// Builds each [Build_Packages] source found among the installed files and registers what was built.
void BuildListedPackages();
// Writes the Add/Remove Programs values, counts the installed files and creates the entry.
void WriteProductRecord();
// The entry's values that Windows shows: version, publisher, web address, folder, size, date, icon, the quiet
// uninstall command; no modify or repair.
void WriteProgramDetails();
// Registers each [Packages] file found among the installed files.
void RegisterPackages();
// Puts InstallDir + "units" at the front of the IDE's library search path and records it.
void InstallLibraryPath();
// Adds the ".hlp" files of [Help_Files] to the IDE's help contents and records them.
void RegisterHelpFiles();
// Offers to start RunAfterInstall from the destination folder.
void OfferRunAfterInstall();
// The first installed file whose name part equals the name (user-locale case ignored), or "".
std::string LocateInstalledFile(const std::string& fileName);
// A typed folder as the installation uses it: blanks and one pair of surrounding double quotes removed, made
// absolute in one spelling; "" when nothing is left.
std::string NormalizeInstallFolder(const std::string& typed);
// The "UninstallString": the uninstaller in the destination, quoted, and the AppName in double quotes.
std::string UninstallCommandLine();
