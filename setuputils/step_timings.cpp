// Step timings in the run's log.
#include "step_timings.h"

#include "run_log.h"
#include "setup_error.h"

StepTimer::StepTimer(const char* step) : step_(step), measuring_(RunLogIsOpen()) {
  if (measuring_) start_ = PerformanceTicks();
}

StepTimer::~StepTimer() {
  if (measuring_) LogTalliedStep(step_, PerformanceTicks() - start_);
}

TimeTally::TimeTally(long long& ticks) : ticks_(ticks), start_(PerformanceTicks()) {}

TimeTally::~TimeTally() { ticks_ += PerformanceTicks() - start_; }

void LogTalliedStep(const char* step, long long ticks) {
  LogLine(FormatText("step %s %lld us", step, TicksToMicroseconds(ticks)));
}
