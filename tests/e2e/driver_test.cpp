// The end-to-end driver's own guarantees, which the other tests rely on without showing: windows no answer expects,
// answers that do not fit or are never used and failed callbacks are reported as problems, and the command-line
// driver reads script files and writes its record.
#include <gtest/gtest.h>

#include <stdexcept>

#include "e2e_fixture.h"

namespace {
std::string DriverPath() { return BuildPath("tools\\driver\\orvdriver.exe"); }

class DriverTest : public SetupEndToEndTest {
 protected:
  void SetUp() override {
    SetupEndToEndTest::SetUp();
    WriteFile("OrvSetup.ini", "[Application]\r\nAppName=" + AppName() + "\r\nVersion=1\r\n");
  }
};

TEST_F(DriverTest, ReportsWhatDidNotGoAsTheScriptSaid) {
  const std::string welcome = "window 1 (message box \"Welcome!\")";
  // A window no answer expects is dismissed with Cancel, so the setup ends.
  RunRecord record = RunSetup({});
  EXPECT_FALSE(record.Clean());
  ASSERT_EQ(record.windows.size(), 1u) << FormatRunRecord(record);
  EXPECT_EQ(record.windows[0].answerIndex, -1);
  EXPECT_EQ(record.windows[0].pressed, IDCANCEL);
  EXPECT_EQ(record.problems, Texts{welcome + " was not expected: no answers left"});
  EXPECT_EQ(record.exitCode, 0u);

  record = RunSetup({Answer::Press(IDYES)});
  EXPECT_EQ(record.problems, Texts{"answer 1 presses Yes, which " + welcome + " does not have"});

  // A failing callback is reported and the window still answered; an answer left over is reported.
  record = RunSetup(
      {Welcome(IDCANCEL).WhileShown([](HWND, const WindowRecord&) { throw std::runtime_error("snapshot failed"); }),
       Answer::Press(IDOK).Caption("Nope")});
  EXPECT_EQ(record.problems, (Texts{"answer 1 callback failed on " + welcome + ": snapshot failed",
                                    "answer 2 was never used: caption \"Nope\", press OK"}));
  EXPECT_EQ(record.windows[0].pressed, IDCANCEL);
  EXPECT_EQ(record.exitCode, 0u);
}

TEST_F(DriverTest, CommandLineDriverRunsAScriptFileAndWritesTheRecord) {
  const std::string script =
      WriteFile("script.txt",
                "# welcome, then the destination\r\ncaption Welcome!\r\npress OK\r\n"
                "caption Select Destination\r\ncontrols 1000 3\r\nset 1000 C:\\Typed\r\nclose\r\n");
  const std::string output = Folder() + "record.txt";
  RunRecord driver = Run(CommandLine(DriverPath(), {"--script", script, "--timeout", "20", "--poll", "40", "--out",
                                                    output, "--", SetupPath()}),
                         {});
  ASSERT_TRUE(driver.Clean()) << FormatRunRecord(driver);
  EXPECT_EQ(driver.exitCode, 0u);
  const std::string text = ReadFileBytes(output);
  for (const std::string& part :
       {"window 1: message box\n  caption: Welcome!\n  text: " +
            EscapeText(expected::WelcomeText(AppName() + " Version 1")) +
            "\n  icon: information\n  buttons: OK Cancel\n  answer: script 1, pressed OK\n",
        // A dialog caught while it is being created is recorded once more when it is up: its number may vary.
        std::string(": dialog\n  caption: Select Destination Directory\n  control: 1000 Edit 0x"),
        std::string("  control: 3 Button 0x"),
        std::string("  answer: script 2, closed\nexit code: 0\ntimed out: no\n")})
    EXPECT_NE(text.find(part), std::string::npos) << part << "\nnot in\n" << text;

  // A faulty script stops the driver with exit code 2 before the program starts.
  WriteFile("bad.txt", "press Later\r\n");
  EXPECT_EQ(Run(CommandLine(DriverPath(), {"--script", Folder() + "bad.txt", "--", SetupPath()}), {}).exitCode, 2u);
  EXPECT_EQ(Run(CommandLine(DriverPath(), {"--poll", "0", "--", SetupPath()}), {}).exitCode, 2u);
}
}  // namespace
