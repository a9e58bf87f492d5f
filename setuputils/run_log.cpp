// The run's log.
#include "run_log.h"

#include <windows.h>

#include "path_utils.h"
#include "setup_error.h"
#include "unique_handle.h"

namespace {
UniqueFile logFile;
// The time spent in LogLine: what the log costs a run.
long long loggingTicks = 0;
// Starts each further line of a text with line breaks: as wide as the time, and no line of its own starts with it.
constexpr const char* kContinuation = "          | ";

long long Frequency() {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return frequency.QuadPart;
}

// Taken when the program's statics are made: before anything of the run happens.
const long long startCounter = PerformanceTicks();

// Characters Windows does not allow in a file name become blanks.
std::string FileNamePart(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < ' ' || std::string("\\/:*?\"<>|").find(c) != std::string::npos) c = ' ';
  return text;
}

void WriteRaw(const std::string& text) {
  DWORD written = 0;
  WriteFile(logFile.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}
}  // namespace

void OpenRunLog(const std::string& path) {
  logFile.reset(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr));
  if (!logFile) throw CannotCreateFileError(path);
}

void CloseRunLog() { logFile.reset(); }

bool RunLogIsOpen() { return logFile.valid(); }

long long PerformanceTicks() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return counter.QuadPart;
}

long long TicksToMicroseconds(long long ticks) { return ticks * 1000000 / Frequency(); }

double SecondsSinceStart() {
  return static_cast<double>(PerformanceTicks() - startCounter) / static_cast<double>(Frequency());
}

void LogLine(const std::string& text) {
  if (!logFile) return;
  const long long begin = PerformanceTicks();
  std::string lines = FormatText("[%9.3f] ", SecondsSinceStart());
  size_t start = 0;
  for (;;) {
    if (start > 0) lines += kContinuation;
    size_t end = text.find_first_of("\r\n", start);
    lines += text.substr(start, end == std::string::npos ? std::string::npos : end - start) + "\r\n";
    if (end == std::string::npos) break;
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    if (start >= text.size()) break;
  }
  WriteRaw(lines);
  loggingTicks += PerformanceTicks() - begin;
}

void LogOwnTime() { LogLine(FormatText("step log %lld us", TicksToMicroseconds(loggingTicks))); }

std::string DefaultRunLogPath(const std::string& program, const std::string& appName) {
  char temp[MAX_PATH + 1] = "";
  DWORD length = GetTempPathA(sizeof temp, temp);
  std::string folder = length > 0 && length < sizeof temp ? std::string(temp, length) : CurrentFolder();
  SYSTEMTIME now;
  GetLocalTime(&now);
  const std::string stamp =
      FormatText("%04u%02u%02u-%02u%02u%02u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
  std::string name = program + (appName.empty() ? "" : " " + appName) + " " + stamp + ".log";
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  return folder + FileNamePart(name);
}
