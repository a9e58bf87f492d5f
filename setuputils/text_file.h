// Text files read and written whole: lines end at CR LF, CR or LF on reading, CR LF after every line on writing.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// The whole file as bytes; nullopt when it cannot be opened or read. shareMode is what others may do meanwhile.
std::optional<std::string> ReadFileContent(const std::string& path, DWORD shareMode = FILE_SHARE_READ);

// Raises "Cannot open file %s" when the file cannot be opened or read.
std::vector<std::string> ReadTextLines(const std::string& path);
// Replaces the file; raises "Cannot create file %s" when it cannot be created or written.
void WriteTextLines(const std::string& path, const std::vector<std::string>& lines);
