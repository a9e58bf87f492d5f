// What the installation does in each IDE edition it goes into, in the order chosen: its packages built with its own
// tools and registered with it, its library path, its help contents; and the help files copied into its help folder.
#pragma once

#include <string>

// Right after the extraction: the [Help_Files] entries the archive routed into the first edition's help folder (or
// put into the destination, when that edition has no help contents) are copied into the help folder of every other
// chosen edition that has help contents, each copy recorded among the installed files.
void CopyHelpFilesToEditions();
// For each chosen edition: builds its [Build_Packages] (the progress dialog says "Building ... packages") and
// registers them, registers its [Packages], puts its units folder at the front of its library search path and adds
// the help files to its help contents; then records the library path entries and the help files in the entry.
void InstallIntoEditions();
// The first installed file whose name part equals the name (user-locale case ignored), or "".
std::string LocateInstalledFile(const std::string& fileName);
