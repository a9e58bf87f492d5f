// Process launchers: waited runs with captured standard output, and hidden starts.
#include "process_runner.h"

#include "run_log.h"

#include <windows.h>

#include <optional>
#include <vector>

#include "message_pump.h"
#include "setup_error.h"
#include "string_list.h"
#include "text_file.h"
#include "unique_handle.h"

namespace {
// CreateProcessA may write into its command line.
std::vector<char> WritableText(const std::string& text) {
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  return buffer;
}

// Waits for the process without a time limit while the thread's windows keep answering: a package build can take
// minutes. A quit request is held back until the process has ended.
void WaitProcessingMessages(HANDLE process) {
  std::optional<int> quitCode;
  for (;;) {
    if (auto request = DispatchPendingMessages()) quitCode = request;
    DWORD result = MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT);
    if (result == WAIT_OBJECT_0 + 1) continue;
    if (result != WAIT_OBJECT_0) WaitForSingleObject(process, INFINITE);
    break;
  }
  if (quitCode) PostQuitMessage(*quitCode);
}
}  // namespace

bool ExecuteAndCapture(const std::string& commandLine, const std::string& workDir, std::string& output, bool capture) {
  LogLine("Run " + commandLine);
  LogLine("  in " + workDir);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  std::string captureName;
  UniqueFile captureFile;
  if (capture) {
    captureName = MakeTempFileName("tempfile");
    // Inheritable, so that the program writes its standard output straight into the file.
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    captureFile.reset(CreateFileA(captureName.c_str(), GENERIC_WRITE, 0, &inheritable, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_ARCHIVE, nullptr));
    startup.hStdOutput = captureFile.get();
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  }
  auto removeCaptureFile = [&captureName]() {
    if (!captureName.empty()) DeleteFileA(captureName.c_str());
  };

  std::vector<char> command = WritableText(commandLine);
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, workDir.c_str(), &startup,
                      &started)) {
    DWORD error = GetLastError();
    std::string message = Win32ErrorText(error);
    if (!message.empty()) output = message + ". ";
    output += "ErrorCode=" + std::to_string(error);
    LogLine("  could not start: " + output);
    captureFile.reset();
    removeCaptureFile();
    return false;
  }
  UniqueKernelHandle process(started.hProcess);
  UniqueKernelHandle thread(started.hThread);

  WaitProcessingMessages(process.get());
  if (capture) {
    captureFile.reset();
    output.clear();
    // A program the tool started may still hold the capture file for writing; an unreadable file gives no lines.
    const std::string captured =
        ReadFileContent(captureName, FILE_SHARE_READ | FILE_SHARE_WRITE).value_or(std::string());
    for (const std::string& line : SplitLines(captured)) output += line + "\r\n";
    removeCaptureFile();
  }
  DWORD exitCode = 0;
  GetExitCodeProcess(process.get(), &exitCode);
  LogLine(FormatText("  exit code %lu", static_cast<unsigned long>(exitCode)));
  if (capture && !output.empty()) LogLine("  output:\r\n" + output);
  if (exitCode == 0) return true;
  output = FormatText("Program failed with code (%d)", static_cast<int>(exitCode)) + "\r\n" + output;
  return false;
}

void RunProgram(const std::string& commandLine, bool wait) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  std::vector<char> command = WritableText(commandLine);
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                      &startup, &started))
    return;
  UniqueKernelHandle process(started.hProcess);
  UniqueKernelHandle thread(started.hThread);
  if (wait) WaitForSingleObject(process.get(), INFINITE);
}

std::string GetTempDir() {
  std::vector<char> buffer(MAX_PATH);
  DWORD length = GetTempPathA(static_cast<DWORD>(buffer.size()), buffer.data());
  if (length >= buffer.size()) {
    buffer.resize(length + 1);
    length = GetTempPathA(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length >= buffer.size()) length = 0;
  }
  // A drive root such as "C:\" keeps its backslash.
  if (length > 3) --length;
  return std::string(buffer.data(), length);
}

std::string MakeTempFileName(const std::string& prefix) {
  char buffer[1024];
  if (GetTempFileNameA(GetTempDir().c_str(), prefix.c_str(), 0, buffer) == 0) return std::string();
  buffer[sizeof buffer - 1] = '\0';
  return buffer;
}
