// The product's help files in the IDE's master help contents file: ":Include" and ":Index" lines.
#pragma once

#include <string>

// Removes earlier lines for the help file, then appends ":Include <name>.cnt" and ":Index <title> =<name>".
// Raises "Cannot open file %s" when the master file cannot be read and "Cannot create file %s" when it cannot be
// written; every line is written back followed by CR LF.
void AddHelpToContents(const std::string& helpFile, const std::string& title, const std::string& contentsFile);
// Deletes every line that contains the help file name or its ".cnt" name (user-locale upper case, as substrings).
// An empty help file name matches no line. Same failures as AddHelpToContents.
void RemoveHelpFromContents(const std::string& helpFile, const std::string& contentsFile);
