// Step timings in the run's log.
#include "step_timings.h"

#include <windows.h>

#include "run_log.h"
#include "setup_error.h"

namespace {
long long Now() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return counter.QuadPart;
}
}  // namespace

StepTimer::StepTimer(const char* step) : step_(step), measuring_(RunLogIsOpen()) {
  if (measuring_) start_ = Now();
}

StepTimer::~StepTimer() {
  if (!measuring_) return;
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  const long long microseconds = (Now() - start_) * 1000000 / frequency.QuadPart;
  LogLine(FormatText("step %s %lld us", step_, microseconds));
}
