// The values of the product's Add/Remove Programs entry that the installation writes, and the entry itself.
#pragma once

#include <string>

// The "UninstallString": the uninstaller in the destination, quoted, and the AppName in double quotes.
std::string UninstallCommandLine();
// The codes of the editions the entry names: those of an earlier installation under the same name first, then the
// chosen ones it did not name, joined by ";" (one edition: its code alone).
std::string MergedEditionCodes();
// Writes the Add/Remove Programs values, counts the installed files and creates the entry.
void WriteProductRecord();
// The entry's values that Windows shows: version, publisher, web address, folder, size, date, icon, the quiet
// uninstall command; no modify or repair.
void WriteProgramDetails();
