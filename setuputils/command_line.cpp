// Command-line splitting.
#include "command_line.h"

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> arguments;
  size_t position = 0;
  const size_t size = commandLine.size();
  auto at = [&](size_t i) { return i < size ? static_cast<unsigned char>(commandLine[i]) : 0u; };
  for (;;) {
    for (;;) {
      while (position < size && at(position) <= ' ') ++position;
      if (at(position) == '"' && at(position + 1) == '"')
        position += 2;
      else
        break;
    }
    if (position >= size) break;
    std::string argument;
    while (position < size && at(position) > ' ') {
      if (commandLine[position] == '"') {
        ++position;
        while (position < size && commandLine[position] != '"') argument += commandLine[position++];
        if (position < size) ++position;
      } else {
        argument += commandLine[position++];
      }
    }
    arguments.push_back(argument);
  }
  return arguments;
}
