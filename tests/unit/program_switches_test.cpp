// The programs' switches and the run's log.
#include <gtest/gtest.h>

#include "program_switches.h"
#include "run_log.h"
#include "scratch_registry.h"
#include "step_timings.h"
#include "text_file.h"

namespace {
TEST(ProgramSwitchesTest, SwitchesAnywhereCaseIgnoredFirstOtherArgumentIsTheArgument) {
  ProgramSwitches s = ParseProgramSwitches({"/verysilent", "My.ini", "/Dir=C:\\Prog X", "other", "/log"}, true);
  EXPECT_EQ(s.argument, "My.ini");
  EXPECT_EQ(s.mode, rmVerySilent);
  EXPECT_EQ(s.dir, std::optional<std::string>("C:\\Prog X"));
  EXPECT_TRUE(s.log);
  EXPECT_EQ(s.logFile, "");

  s = ParseProgramSwitches({"/LOG=run.log", "/SILENT"}, true);
  EXPECT_EQ(s.argument, "");
  EXPECT_EQ(s.mode, rmSilent);
  EXPECT_FALSE(s.dir);
  EXPECT_EQ(s.logFile, "run.log");

  // The uninstaller knows no /DIR=: such an argument is its AppName.
  s = ParseProgramSwitches({"/DIR=x", "Product"}, false);
  EXPECT_EQ(s.argument, "/DIR=x");
  EXPECT_EQ(s.mode, rmInteractive);
  EXPECT_FALSE(s.log);
}

TEST(RunLogTest, LinesCarryTheirTimeAndEndWithCrLf) {
  ScratchFolder folder;
  EXPECT_FALSE(RunLogIsOpen());
  LogLine("before the log is open: written nowhere");
  { StepTimer unmeasured("nowhere"); }
  OpenRunLog(folder.path() + "run.log");
  LogLine("first");
  LogLine("two\r\nlines");
  { StepTimer measured("extract"); }
  CloseRunLog();
  std::string content = ReadFileContent(folder.path() + "run.log").value_or("");
  std::vector<std::string> lines;
  for (size_t start = 0, end; (end = content.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(content.substr(start, end - start));
  ASSERT_EQ(lines.size(), 4u) << content;
  EXPECT_EQ(lines[0].substr(lines[0].find("] ") + 2), "first");
  EXPECT_EQ(lines[2].substr(lines[2].find("] ") + 2), "lines");
  EXPECT_EQ(lines[0][0], '[');
  EXPECT_EQ(lines[3].substr(lines[3].find("] ") + 2, 13), "step extract ");
  EXPECT_EQ(lines[3].substr(lines[3].size() - 3), " us");
  EXPECT_EQ(DefaultRunLogPath("orvsetup", "A:B").substr(DefaultRunLogPath("orvsetup", "A:B").rfind('\\') + 1, 12),
            "orvsetup A B");
}
}  // namespace
