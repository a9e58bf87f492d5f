// Step timings for the diagnostics switch.
#include "step_timings.h"

#include <windows.h>

#include "unique_handle.h"

namespace {
long long Now() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return counter.QuadPart;
}
}  // namespace

StepTimer::StepTimer(const char* step) : step_(step) {
  char path[MAX_PATH + 1];
  DWORD length = GetEnvironmentVariableA(kStepTimesVariable, path, sizeof path);
  if (length == 0 || length >= sizeof path) return;
  file_.assign(path, length);
  start_ = Now();
}

StepTimer::~StepTimer() {
  if (file_.empty()) return;
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  const long long microseconds = (Now() - start_) * 1000000 / frequency.QuadPart;
  const std::string line = std::string(step_) + " " + std::to_string(microseconds) + "\r\n";
  // Append only: the lines of earlier steps and runs stay.
  UniqueFile file(CreateFileA(file_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (file) WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}
