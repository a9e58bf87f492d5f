// The step timings of the diagnostics switch.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "scratch_registry.h"
#include "step_timings.h"
#include "string_list.h"

namespace {
// Sets the switch for one test and clears it afterwards.
class StepTimesSwitch {
 public:
  explicit StepTimesSwitch(const std::string& file) { SetEnvironmentVariableA(kStepTimesVariable, file.c_str()); }
  ~StepTimesSwitch() { SetEnvironmentVariableA(kStepTimesVariable, nullptr); }
};

long long Microseconds(const std::string& line, const std::string& step) {
  EXPECT_EQ(line.compare(0, step.size() + 1, step + " "), 0) << line;
  return std::stoll(line.substr(step.size() + 1));
}

TEST(StepTimings, NestedStepsAppendTheirLinesAsTheyEnd) {
  ScratchFolder folder;
  const std::string file = folder.Write("times.txt", "earlier 1\r\n");
  StepTimesSwitch on(file);
  {
    StepTimer outer("installation");
    { StepTimer inner("count"); }
    {
      StepTimer inner("extract");
      Sleep(60);
    }
  }
  const std::string text = ReadFileBytes(file);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  StringList lines;
  lines.SetText(text);
  ASSERT_EQ(lines.Count(), 4u) << text;
  EXPECT_EQ(lines[0], "earlier 1");
  const long long count = Microseconds(lines[1], "count");
  const long long extract = Microseconds(lines[2], "extract");
  const long long installation = Microseconds(lines[3], "installation");
  EXPECT_GE(count, 0);
  EXPECT_GE(extract, 55000);  // the sleep, measured in microseconds
  EXPECT_LT(extract, 5000000);
  EXPECT_GE(installation, extract + count);
}

TEST(StepTimings, WithoutTheSwitchOrAWritableFileNothingIsWritten) {
  ScratchFolder folder;
  const std::string file = folder.path() + "times.txt";
  SetEnvironmentVariableA(kStepTimesVariable, nullptr);
  { StepTimer step("extract"); }
  EXPECT_EQ(GetFileAttributesA(file.c_str()), INVALID_FILE_ATTRIBUTES);

  StepTimesSwitch on(folder.path() + "missing\\times.txt");
  { StepTimer step("extract"); }
  EXPECT_EQ(GetFileAttributesA((folder.path() + "missing").c_str()), INVALID_FILE_ATTRIBUTES);
}
}  // namespace
