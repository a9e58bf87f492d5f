// The programs' switches and the run's log.
#include <gtest/gtest.h>

#include "program_switches.h"
#include "run_log.h"
#include "scratch_registry.h"
#include "step_timings.h"
#include "test_utils.h"
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
  // An AppName holding line breaks cannot forge a line: only the first line of a text carries a time.
  LogLine("X\r\n[   0.100] Outcome: removed\nend\r\n");
  { StepTimer measured("extract"); }
  CloseRunLog();
  std::string content = ReadFileContent(folder.path() + "run.log").value_or("");
  std::vector<std::string> lines;
  for (size_t start = 0, end; (end = content.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(content.substr(start, end - start));
  ASSERT_EQ(lines.size(), 5u) << content;
  std::string firsts;
  for (const std::string& line : lines) firsts += line[0];
  EXPECT_EQ(firsts, "[[  [") << content;
  EXPECT_EQ((Texts{lines[0].substr(12), lines[1].substr(12), lines[2], lines[3]}),
            (Texts{"first", "X", "          | [   0.100] Outcome: removed", "          | end"}));
  EXPECT_EQ(lines[4].substr(12, 13), "step extract ");
  EXPECT_EQ(lines[4].substr(lines[4].size() - 3), " us");
  EXPECT_EQ(DefaultRunLogPath("orvsetup", "A:B").substr(DefaultRunLogPath("orvsetup", "A:B").rfind('\\') + 1, 12),
            "orvsetup A B");
}
}  // namespace
