// The end-to-end driver itself, run against its own test subject: recording, icons, answering, unexpected windows,
// the time limit, the exit code, the script files and the command-line driver.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "driver_script.h"
#include "expect_window.h"
#include "path_macros.h"
#include "scratch_registry.h"
#include "string_list.h"
#include "text_file.h"
#include "window_driver.h"

namespace {
constexpr DWORD kTimeLimitMs = 20000;

std::string DriverFolder() {
  return AddTrailingBackslash(WindowsPathFromUnix(EnvironmentValue("ORV_BUILD_DIR"))) + "tests\\driver\\";
}

class DriverTest : public ::testing::Test {
 protected:
  // Runs the subject with a log file in the scratch folder in front of the arguments.
  RunRecord RunSubject(std::vector<std::string> arguments, const std::vector<Answer>& script,
                       DWORD timeLimitMs = kTimeLimitMs) {
    arguments.insert(arguments.begin(), "log=" + LogPath());
    return RunProgram(CommandLine(DriverFolder() + "driversubject.exe", arguments), folder_.path(), script,
                      timeLimitMs);
  }

  std::string LogPath() const { return folder_.path() + "subject.log"; }

  std::vector<std::string> SubjectLog() const {
    StringList lines;
    lines.SetText(ReadFileBytes(LogPath()));
    return lines.Lines();
  }

  ScratchFolder folder_;
};

TEST_F(DriverTest, RecordsMessageBoxesWithTheirIconsAndAnswersThem) {
  RunRecord record = RunSubject(
      {"box=info,ok", "box=warning,ok", "box=error,okcancel", "box=question,yesno", "box=none,yesnocancel", "exit=5"},
      {Answer::Press(IDOK).Caption("Subject box 1").Text("icon info"), Answer::Press(IDOK), Answer::Press(IDCANCEL),
       Answer::Press(IDNO), Answer::Press(IDYES)});
  ASSERT_TRUE(record.Clean()) << FormatRunRecord(record);
  ASSERT_EQ(record.windows.size(), 5u) << FormatRunRecord(record);
  ExpectMessageBox(record.windows[0], "Subject box 1", "Box 1\r\nicon info", IconKind::Information, {IDOK});
  ExpectMessageBox(record.windows[1], "Subject box 2", "Box 2\r\nicon warning", IconKind::Warning, {IDOK});
  ExpectMessageBox(record.windows[2], "Subject box 3", "Box 3\r\nicon error", IconKind::Error, {IDOK, IDCANCEL});
  ExpectMessageBox(record.windows[3], "Subject box 4", "Box 4\r\nicon question", IconKind::Question, {IDYES, IDNO});
  ExpectMessageBox(record.windows[4], "Subject box 5", "Box 5\r\nicon none", IconKind::None, {IDYES, IDNO, IDCANCEL});
  for (size_t index = 0; index < record.windows.size(); ++index)
    EXPECT_EQ(record.windows[index].answerIndex, static_cast<int>(index));
  EXPECT_EQ(record.windows[3].pressed, IDNO);
  EXPECT_EQ(SubjectLog(), (std::vector<std::string>{"box 1 1", "box 2 1", "box 3 2", "box 4 7", "box 5 6"}));
  EXPECT_EQ(record.exitCode, 5u);
}

TEST_F(DriverTest, RecordsDialogControlsSetsTextsAndAnswersADialogAgainAfterItsBox) {
  int shownCalls = 0;
  int windowCalls = 0;
  RunOptions options;
  options.commandLine = CommandLine(DriverFolder() + "driversubject.exe", {"log=" + LogPath(), "dialog", "dialog"});
  options.script = {Answer::Press(3)
                        .Controls({1000, 3})
                        .SetText(1000, "typed text")
                        .WhileShown([&](HWND window, const WindowRecord& record) {
                          ++shownCalls;
                          EXPECT_TRUE(IsWindowVisible(window));
                          EXPECT_EQ(record.caption, "Subject Dialog");
                        }),
                    Answer::Press(IDOK).Text("Button 3 pressed"), Answer::Press(IDOK).Caption("Subject Dialog"),
                    Answer::Close()};
  options.onWindow = [&](HWND, const WindowRecord&) { ++windowCalls; };
  RunRecord record = RunProgram(options);
  ASSERT_TRUE(record.Clean()) << FormatRunRecord(record);
  ASSERT_EQ(record.windows.size(), 4u) << FormatRunRecord(record);

  const WindowRecord& dialog = record.windows[0];
  EXPECT_EQ(dialog.kind, WindowKind::Dialog);
  EXPECT_FALSE(dialog.again);
  ASSERT_EQ(dialog.controls.size(), 5u);
  std::vector<int> ids;
  for (const ControlRecord& control : dialog.controls) ids.push_back(control.id);
  EXPECT_EQ(ids, (std::vector<int>{0xFFFF, 1000, IDOK, IDCANCEL, 3}));
  ASSERT_NE(dialog.Control(1000), nullptr);
  EXPECT_EQ(dialog.Control(1000)->className, "Edit");
  EXPECT_EQ(dialog.Control(1000)->text, "initial");
  EXPECT_TRUE(dialog.Control(1000)->style & ES_AUTOHSCROLL);
  EXPECT_EQ(dialog.Control(IDOK)->style & BS_TYPEMASK, static_cast<DWORD>(BS_DEFPUSHBUTTON));
  EXPECT_EQ(dialog.Control(3)->text, "Again");
  EXPECT_TRUE(dialog.style & WS_CAPTION);
  EXPECT_EQ(dialog.pressed, 3);

  ExpectMessageBox(record.windows[1], "Subject", "Button 3 pressed", IconKind::Information, {IDOK});
  // Up again after its box: the edit field reports the text the driver set.
  EXPECT_TRUE(record.windows[2].again);
  EXPECT_EQ(record.windows[2].Control(1000)->text, "typed text");
  EXPECT_EQ(record.windows[3].pressed, kCloseWindow);
  EXPECT_EQ(shownCalls, 1);
  EXPECT_EQ(windowCalls, 4);
  EXPECT_EQ(SubjectLog(), (std::vector<std::string>{"dialog 1 ok typed text", "dialog 2 cancel"}));
}

TEST_F(DriverTest, SamplesAPassiveWindowWithoutAnsweringIt) {
  RunRecord record = RunSubject({"progress", "box=info,ok", "exit=4"}, {Answer::Press(IDOK).Caption("Subject box")});
  ASSERT_TRUE(record.Clean()) << FormatRunRecord(record);
  ASSERT_EQ(record.windows.size(), 2u) << FormatRunRecord(record);
  ASSERT_EQ(record.WindowsOfKind(WindowKind::Passive).size(), 1u);
  const WindowRecord& progress = record.windows[0];
  EXPECT_EQ(progress.kind, WindowKind::Passive);
  EXPECT_EQ(progress.caption, "Subject Progress");
  EXPECT_EQ(progress.statusTexts, (std::vector<std::string>{"Step 1", "Step 2", "Step 3"}));
  ASSERT_NE(progress.Control(1000), nullptr);
  EXPECT_EQ(progress.Control(1000)->className, "msctls_progress32");
  EXPECT_EQ(progress.pressed, kNotAnswered);
  EXPECT_EQ(record.windows[1].answerIndex, 0);
  EXPECT_EQ(SubjectLog(), (std::vector<std::string>{"progress done", "box 1 1"}));
  EXPECT_EQ(record.exitCode, 4u);
}

TEST_F(DriverTest, DismissesAndReportsWindowsTheScriptDoesNotExpect) {
  RunRecord record = RunSubject({"box=question,yesno", "dialog"}, {});
  EXPECT_FALSE(record.Clean());
  EXPECT_FALSE(record.timedOut);
  ASSERT_EQ(record.windows.size(), 2u) << FormatRunRecord(record);
  EXPECT_EQ(record.windows[0].answerIndex, -1);
  EXPECT_EQ(record.windows[0].pressed, IDNO);
  EXPECT_EQ(record.windows[1].pressed, IDCANCEL);
  ASSERT_EQ(record.problems.size(), 2u) << FormatRunRecord(record);
  EXPECT_EQ(record.problems[0], "window 1 (message box \"Subject box 1\") was not expected: no answers left");
  EXPECT_EQ(SubjectLog(), (std::vector<std::string>{"box 1 7", "dialog 1 cancel"}));

  record = RunSubject({"box=info,ok", "box=info,ok"},
                      {Answer::Press(IDYES), Answer::Press(IDOK).Caption("Nope"), Answer::Press(IDOK)});
  ASSERT_EQ(record.windows.size(), 2u) << FormatRunRecord(record);
  EXPECT_EQ(record.windows[0].pressed, IDOK);
  EXPECT_EQ(record.windows[1].pressed, IDOK);
  EXPECT_EQ(record.problems,
            (std::vector<std::string>{
                "answer 1 presses Yes, which window 1 (message box \"Subject box 1\") does not have",
                "window 2 (message box \"Subject box 2\") does not match answer 2: caption \"Nope\", press OK",
                "answer 2 was never used: caption \"Nope\", press OK", "answer 3 was never used: press OK"}));
}

TEST_F(DriverTest, EndsAProgramAtTheTimeLimitAndRecordsFailedCallbacks) {
  const DWORD start = GetTickCount();
  RunRecord record = RunSubject(
      {"box=warning,ok", "hang"},
      {Answer::Press(IDOK).WhileShown([](HWND, const WindowRecord&) { throw std::runtime_error("snapshot failed"); })},
      1500);
  const DWORD elapsed = GetTickCount() - start;
  EXPECT_TRUE(record.started);
  EXPECT_TRUE(record.timedOut);
  EXPECT_EQ(record.exitCode, kTimeLimitExitCode);
  EXPECT_EQ(
      record.problems,
      (std::vector<std::string>{"answer 1 callback failed on window 1 (message box \"Subject box 1\"): snapshot failed",
                                "time limit of 1500 ms reached"}));
  ASSERT_EQ(record.windows.size(), 1u);
  EXPECT_EQ(record.windows[0].icon, IconKind::Warning);
  // The box was still answered: the subject went on to hang.
  EXPECT_EQ(SubjectLog(), std::vector<std::string>{"box 1 1"});
  EXPECT_GE(elapsed, 1500u);
  EXPECT_LT(elapsed, 8000u);
}

TEST_F(DriverTest, ReportsAProgramThatCannotStart) {
  RunRecord record = RunProgram(CommandLine(folder_.path() + "missing.exe", {}), "", {Answer::Press(IDOK)});
  EXPECT_FALSE(record.started);
  EXPECT_FALSE(record.Clean());
  EXPECT_NE(record.startError.find("missing.exe"), std::string::npos);
  EXPECT_TRUE(record.windows.empty());
}

TEST(DriverScript, ParsesAnswersAndNamesTheFaultyLine) {
  std::vector<Answer> script;
  std::string error;
  ASSERT_TRUE(
      ParseScript({"# destination", "caption Select Destination", "controls 1000 3", "set 1000 C:\\Program Files\\X",
                   "press OK", "", "text previous version", "text  two blanks", "press idcancel", "close", "press 3"},
                  script, error))
      << error;
  ASSERT_EQ(script.size(), 4u);
  EXPECT_EQ(script[0].captionContains, std::vector<std::string>{"Select Destination"});
  EXPECT_EQ(script[0].requiredControls, (std::vector<int>{1000, 3}));
  ASSERT_EQ(script[0].controlTexts.size(), 1u);
  EXPECT_EQ(script[0].controlTexts[0].first, 1000);
  EXPECT_EQ(script[0].controlTexts[0].second, "C:\\Program Files\\X");
  EXPECT_EQ(script[0].button, IDOK);
  EXPECT_EQ(script[1].textContains, (std::vector<std::string>{"previous version", " two blanks"}));
  EXPECT_EQ(script[1].button, IDCANCEL);
  EXPECT_EQ(script[2].button, kCloseWindow);
  EXPECT_EQ(script[3].button, 3);

  for (const auto& [lines, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"press Maybe"}, "line 1: unknown button: Maybe"},
           {{"press 0"}, "line 1: unknown button: 0"},
           {{"caption x", "controls 1 x"}, "line 2: not a control id: x"},
           {{"set abc"}, "line 1: set needs a control id and a text"},
           {{"click OK"}, "line 1: unknown keyword: click"},
           {{"press OK", "caption Welcome!"}, "the last answer has no press or close line"}}) {
    std::vector<Answer> parsed;
    EXPECT_FALSE(ParseScript(lines, parsed, error));
    EXPECT_EQ(error, message);
  }
}

TEST(DriverScript, FormatsRecordsAndQuotesArguments) {
  RunRecord record;
  record.started = true;
  WindowRecord box;
  box.kind = WindowKind::MessageBox;
  box.caption = "Setup";
  box.text = "Cannot open file C:\\x\\OrvSetup.ini\r\n";
  box.icon = IconKind::Error;
  box.buttons = {IDOK, IDCANCEL};
  box.answerIndex = 0;
  box.pressed = IDCANCEL;
  WindowRecord progress;
  progress.kind = WindowKind::Passive;
  progress.caption = "Installing files";
  progress.controls = {{1001, "Static", "a\tb", 0x50000001}};
  progress.statusTexts = {"Starting setup. Please wait..."};
  WindowRecord dialog;
  dialog.kind = WindowKind::Dialog;
  dialog.caption = "Select Destination Directory";
  dialog.again = true;
  dialog.pressed = 3;
  record.windows = {box, progress, dialog};
  record.exitCode = 1;
  record.problems = {"window 3 was not expected"};
  EXPECT_EQ(FormatRunRecord(record),
            "window 1: message box\n"
            "  caption: Setup\n"
            "  text: Cannot open file C:\\\\x\\\\OrvSetup.ini\\r\\n\n"
            "  icon: error\n"
            "  buttons: OK Cancel\n"
            "  answer: script 1, pressed Cancel\n"
            "window 2: passive\n"
            "  caption: Installing files\n"
            "  control: 1001 Static 0x50000001 a\\tb\n"
            "  status: Starting setup. Please wait...\n"
            "  answer: none (passive)\n"
            "window 3: dialog\n"
            "  caption: Select Destination Directory\n"
            "  again: yes\n"
            "  answer: unexpected, pressed 3\n"
            "exit code: 1\n"
            "timed out: no\n"
            "problem: window 3 was not expected\n");

  EXPECT_EQ(QuoteArgument("plain"), "plain");
  EXPECT_EQ(QuoteArgument(""), "\"\"");
  EXPECT_EQ(QuoteArgument("C:\\Program Files\\X\\"), "\"C:\\Program Files\\X\\\\\"");
  EXPECT_EQ(QuoteArgument("say \"hi\""), "\"say \\\"hi\\\"\"");
  EXPECT_EQ(CommandLine("C:\\a b\\uninstall.exe", {"My App", ""}), "\"C:\\a b\\uninstall.exe\" \"My App\" \"\"");
}

TEST_F(DriverTest, CommandLineDriverRunsAScriptFileAndWritesTheRecord) {
  const std::string script = folder_.Write("script.txt", "# the only box\r\ncaption Subject box 1\r\npress Cancel\r\n");
  const std::string output = folder_.path() + "record.txt";
  RunRecord driver = RunProgram(CommandLine(DriverFolder() + "orvdriver.exe",
                                            {"--script", script, "--timeout", "20", "--out", output, "--",
                                             DriverFolder() + "driversubject.exe", "box=warning,okcancel", "exit=2"}),
                                folder_.path(), {});
  ASSERT_TRUE(driver.Clean()) << FormatRunRecord(driver);
  EXPECT_EQ(driver.exitCode, 0u);
  EXPECT_EQ(ReadFileBytes(output),
            "window 1: message box\n"
            "  caption: Subject box 1\n"
            "  text: Box 1\\r\\nicon warning\n"
            "  icon: warning\n"
            "  buttons: OK Cancel\n"
            "  answer: script 1, pressed Cancel\n"
            "exit code: 2\n"
            "timed out: no\n");

  folder_.Write("bad.txt", "press Later\r\n");
  driver = RunProgram(CommandLine(DriverFolder() + "orvdriver.exe",
                                  {"--script", folder_.path() + "bad.txt", "--", DriverFolder() + "driversubject.exe"}),
                      folder_.path(), {});
  EXPECT_EQ(driver.exitCode, 2u);
}
}  // namespace
