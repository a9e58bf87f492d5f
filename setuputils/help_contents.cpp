// Edits of the master help contents file, read and written whole as lines.
#include "help_contents.h"

#include <vector>

#include "path_utils.h"
#include "text_file.h"

namespace {
std::string ProductContentsName(const std::string& helpFile) { return ChangeFileExt(helpFile, ".cnt"); }
}  // namespace

void AddHelpToContents(const std::string& helpFile, const std::string& title, const std::string& contentsFile) {
  RemoveHelpFromContents(helpFile, contentsFile);
  std::vector<std::string> lines = ReadTextLines(contentsFile);
  lines.push_back(":Include " + ProductContentsName(helpFile));
  lines.push_back(":Index " + title + " =" + helpFile);
  WriteTextLines(contentsFile, lines);
}

void RemoveHelpFromContents(const std::string& helpFile, const std::string& contentsFile) {
  std::vector<std::string> lines = ReadTextLines(contentsFile);
  std::vector<std::string> kept;
  kept.reserve(lines.size());
  // Without a name the ".cnt" needle alone would take every include line of the IDE with it.
  const std::string contentsName = helpFile.empty() ? std::string() : ProductContentsName(helpFile);
  for (auto& line : lines)
    if (PosText(helpFile, line) == 0 && PosText(contentsName, line) == 0) kept.push_back(std::move(line));
  WriteTextLines(contentsFile, kept);
}
