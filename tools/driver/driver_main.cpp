// orvdriver.exe: runs a program under test from the command line, answers its dialogs from a script file and writes
// what it showed.
//
// Usage: orvdriver.exe [--script FILE] [--timeout SECONDS] [--poll MS] [--folder DIR] [--out FILE] [--hook DLL]
//                      -- PROGRAM [ARGUMENT...]
//   --script FILE     the answers (format in driver_script.h); without it every window is unexpected
//   --timeout SECONDS the time limit (default 60); the program is ended when it is reached
//   --poll MS         how often the program's windows are looked at (default 10; 1 to 10000)
//   --folder DIR      the program's current folder (default: the driver's)
//   --out FILE        write the record into FILE instead of standard output
//   --hook DLL        the icon hook DLL (default: orvdriverhook.dll next to orvdriver.exe)
// The program and its arguments after "--" are quoted again as needed ("" passes an empty argument). Paths are
// Windows paths; from a shell, run it like the test programs: tools/run-under-wine.sh PREFIX orvdriver.exe ...
//
// Script file (full format in driver_script.h): condition and setting lines, each answer ended by its action line.
//   caption Welcome!
//   press OK
//   caption Select Destination Directory
//   set 1000 C:\Program Files\Product
//   press OK
//
// The record has one block per window, in the order the windows came up:
//   window 1: message box              (or "dialog", or "passive" for a window without buttons)
//     caption: Welcome!
//     text: This program will install ...\r\nPress the OK button ...
//     icon: information                (none, information, warning, error, question, other, unknown)
//     buttons: OK Cancel
//     control: 1000 Edit 0x50810080 C:\\Dest     (dialogs and passive windows: id, class, style, text)
//     status: Starting setup. Please wait...      (passive windows: each distinct static text seen)
//     answer: script 1, pressed Cancel  (or "unexpected, pressed Cancel", "script 2, closed", "none (passive)")
// followed by "exit code: N", "timed out: yes|no" and one "problem: ..." line per problem. Texts use C escapes
// (\\ \r \n \t \xNN).
//
// Exit code of the driver: 0 when the run went as the script said, 1 when it had problems or reached the time limit,
// 2 for a usage or script error or a program that could not be started.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "driver_script.h"
#include "text_file.h"
#include "unique_handle.h"
#include "window_driver.h"

namespace {
constexpr int kUsageError = 2;

int Usage(const std::string& message) {
  std::fprintf(stderr, "orvdriver: %s\n", message.c_str());
  std::fprintf(stderr,
               "usage: orvdriver.exe [--script FILE] [--timeout SECONDS] [--poll MS] [--folder DIR] [--out FILE] "
               "[--hook DLL] -- PROGRAM [ARGUMENT...]\n");
  return kUsageError;
}

// A whole decimal number from 1 to most, or nothing.
std::optional<DWORD> ParseCount(const std::string& value, unsigned long most) {
  char* end = nullptr;
  unsigned long number = std::strtoul(value.c_str(), &end, 10);
  if (value.empty() || *end != '\0' || number == 0 || number > most) return std::nullopt;
  return static_cast<DWORD>(number);
}

bool WriteRecordFile(const std::string& path, const std::string& text) {
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file && WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

int Run(int argc, char** argv) {
  RunOptions options;
  options.timeLimitMs = 60000;
  std::string outputFile;
  int index = 1;
  for (; index < argc; ++index) {
    const std::string option = argv[index];
    if (option == "--") break;
    if (index + 1 >= argc) return Usage("missing value after " + option);
    const std::string value = argv[++index];
    if (option == "--script") {
      std::string error;
      if (!ParseScript(ReadTextLines(value), options.script, error)) return Usage(value + ": " + error);
    } else if (option == "--timeout") {
      auto seconds = ParseCount(value, 86400);
      if (!seconds) return Usage("bad time limit " + value);
      options.timeLimitMs = *seconds * 1000;
    } else if (option == "--poll") {
      auto interval = ParseCount(value, 10000);
      if (!interval) return Usage("bad interval " + value);
      options.pollIntervalMs = *interval;
    } else if (option == "--folder") {
      options.workingFolder = value;
    } else if (option == "--out") {
      outputFile = value;
    } else if (option == "--hook") {
      options.hookDll = value;
    } else {
      return Usage("unknown option " + option);
    }
  }
  if (index + 1 >= argc) return Usage("no program given");
  options.commandLine = CommandLine(argv[index + 1], std::vector<std::string>(argv + index + 2, argv + argc));

  const RunRecord record = RunProgram(options);
  const std::string text = FormatRunRecord(record);
  if (outputFile.empty()) {
    _setmode(_fileno(stdout), _O_BINARY);
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
      return Usage("cannot write the record");
  } else if (!WriteRecordFile(outputFile, text)) {
    return Usage("cannot write " + outputFile);
  }
  if (!record.started) return kUsageError;
  return record.Clean() ? 0 : 1;
}
}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& error) {
    return Usage(error.what());
  }
}
