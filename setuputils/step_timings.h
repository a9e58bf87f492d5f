// Step timings in the run's log: every StepTimer writes one line as its step ends, "step <name> <microseconds> us"
// ("step extract 812345 us"). Steps inside steps end first, so their lines come before the line of the step that
// holds them. Without a log nothing is measured or written.
#pragma once

class StepTimer {
 public:
  explicit StepTimer(const char* step);
  StepTimer(const StepTimer&) = delete;
  StepTimer& operator=(const StepTimer&) = delete;
  ~StepTimer();

 private:
  const char* step_;
  long long start_ = 0;
  bool measuring_ = false;
};

// Adds the time of its scope to a running total: for work spread over a run in many small pieces.
class TimeTally {
 public:
  explicit TimeTally(long long& ticks);
  TimeTally(const TimeTally&) = delete;
  TimeTally& operator=(const TimeTally&) = delete;
  ~TimeTally();

 private:
  long long& ticks_;
  long long start_;
};

// Writes the line of a step whose time was tallied: "step <name> <microseconds> us".
void LogTalliedStep(const char* step, long long ticks);

// Runs the step under a StepTimer of that name and returns what the step returns.
template <typename Step>
auto TimedStep(const char* name, Step&& step) {
  StepTimer timer(name);
  return step();
}
