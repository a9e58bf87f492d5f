// Diagnostics switch for performance work: step timings appended to a file named by the environment.
//
// When the environment variable ORV_STEP_TIMES names a file, every StepTimer appends one line to it as its step
// ends: the step's name, a blank and the elapsed time in microseconds ("extract 812345"). Steps inside steps end
// first, so their lines come before the line of the step that holds them. Without the variable nothing is
// measured or written, and the programs behave the same either way.
#pragma once

#include <string>

// The environment variable that switches step timings on.
constexpr const char* kStepTimesVariable = "ORV_STEP_TIMES";

class StepTimer {
 public:
  explicit StepTimer(const char* step);
  StepTimer(const StepTimer&) = delete;
  StepTimer& operator=(const StepTimer&) = delete;
  // Appends the line; a file that cannot be written loses it silently.
  ~StepTimer();

 private:
  const char* step_;
  std::string file_;  // empty when the switch is off
  long long start_ = 0;
};

// Runs the step under a StepTimer of that name and returns what the step returns.
template <typename Step>
auto TimedStep(const char* name, Step&& step) {
  StepTimer timer(name);
  return step();
}
