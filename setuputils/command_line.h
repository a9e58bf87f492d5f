// Command-line splitting with the rules both programs use for their arguments.
#pragma once

#include <string>
#include <vector>

// Splits a command line: characters up to blank separate, an empty pair of double quotes standing between
// arguments is skipped, a double-quoted stretch belongs to one argument with the quotes dropped.
// The first element is the program itself.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);
