// The dialogs from the programs' templates: the controls the code uses, the modal run, message routing, the folder
// browser's selection and the choice of IDEs.
#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../../resources/resource_ids.h"
#include "message_box.h"
#include "path_utils.h"
#include "resource_dialog.h"
#include "scratch_registry.h"
#include "select_dir_dialog.h"
#include "select_ides_dialog.h"
#include "setup_error.h"
#include "test_utils.h"
#include "unique_handle.h"

namespace {

// ---- The templates as built into both programs: the caption and every control the code addresses.

std::string WindowText(HWND window) {
  char text[256] = {};
  return std::string(text, static_cast<size_t>(GetWindowTextA(window, text, sizeof text)));
}

std::string ClassName(HWND window) {
  char name[256] = {};
  return std::string(name, static_cast<size_t>(GetClassNameA(window, name, sizeof(name))));
}

INT_PTR CALLBACK PlainDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TEST(DialogTemplates, BothProgramsHoldTheControlsTheCodeUses) {
  InitCommonControls();
  const std::string build = WindowsPathFromUnix(EnvironmentValue("ORV_BUILD_DIR")) + "\\";
  UniqueModule setup(LoadLibraryExA((build + "orvsetup.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  UniqueModule uninstall(LoadLibraryExA((build + "uninstall.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(setup && uninstall) << build;
  // The caption, whether the dialog shows itself (the progress dialog does: no message loop runs while it is up) and
  // the classes of the controls the code addresses.
  auto describe = [](HMODULE module, int id, const std::vector<int>& controls) {
    UniqueWindow window(CreateDialogParamA(module, MAKEINTRESOURCEA(id), nullptr, PlainDialogProc, 0));
    std::string text = WindowText(window.get()) + (IsWindowVisible(window.get()) ? ", shown:" : ", hidden:");
    for (int control : controls) text += " " + ClassName(GetDlgItem(window.get(), control));
    return text;
  };
  EXPECT_EQ(describe(setup.get(), IDD_SELECT_DIR, {IDC_DIRECTORY_EDIT, IDOK, IDCANCEL, IDC_BROWSE}),
            "Select Destination Directory, hidden: Edit Button Button Button");
  EXPECT_EQ(describe(setup.get(), IDD_SELECT_IDES, {IDC_IDE_FIRST, IDC_IDE_FIRST + 9, IDOK, IDCANCEL}),
            "Select IDEs, hidden: Button Button Button Button");
  EXPECT_EQ(describe(setup.get(), IDD_PROGRESS, {IDC_PROGRESS_BAR, IDC_STATUS_TEXT}),
            "Installing files, shown: " + std::string(PROGRESS_CLASSA) + " Static");
  EXPECT_EQ(describe(uninstall.get(), IDD_PROGRESS, {IDC_PROGRESS_BAR, IDC_STATUS_TEXT}),
            "Remove files, shown: " + std::string(PROGRESS_CLASSA) + " Static");
}

// ---- Live dialogs.

// A thread timer: the message loops of this thread call proc until it is destroyed.
class ThreadTimer {
 public:
  ThreadTimer(UINT milliseconds, TIMERPROC proc) : timer_(SetTimer(nullptr, 0, milliseconds, proc)) {}
  ~ThreadTimer() { KillTimer(nullptr, timer_); }
  ThreadTimer(const ThreadTimer&) = delete;
  ThreadTimer& operator=(const ThreadTimer&) = delete;

 private:
  UINT_PTR timer_;
};

// Stops a modal loop that would otherwise wait forever: posts WM_QUIT.
class QuitWatchdog : ThreadTimer {
 public:
  explicit QuitWatchdog(UINT milliseconds) : ThreadTimer(milliseconds, Fire) {}

 private:
  static void CALLBACK Fire(HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(0); }
};

class DialogTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitCommonControls(); }
  void TearDown() override {
    // Messages left for windows of finished cases must not reach the next one.
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) continue;
    EXPECT_TRUE(DialogList().empty());
  }

  // Posts the messages, then runs the dialog; the watchdog turns a missing close into a failure.
  static bool RunWith(TOrvResDialog& dialog, const std::vector<MSG>& messages, UINT limitMilliseconds = 5000) {
    for (const MSG& message : messages) PostMessageA(message.hwnd, message.message, message.wParam, message.lParam);
    QuitWatchdog watchdog(limitMilliseconds);
    return dialog.Execute();
  }
  static MSG Command(HWND dialog, WORD id, WORD code) {
    return {dialog, WM_COMMAND, MAKEWPARAM(id, code), 0, 0, {0, 0}};
  }
};

// What ends the run (a command or a key to the folder field, a message to the dialog or the thread), the result and
// whether a button closed it.
TEST_F(DialogTest, OkAloneAcceptsCancelEscapeAndCloseBoxRefuse) {
  const struct {
    const char* name;
    UINT message;
    WPARAM wParam;
    bool accepted, closed;
  } cases[] = {{"OK", WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), true, true},
               {"Enter", WM_KEYDOWN, VK_RETURN, true, true},
               {"Cancel", WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), false, true},
               {"Esc", WM_KEYDOWN, VK_ESCAPE, false, true},
               {"close box", WM_SYSCOMMAND, SC_CLOSE, false, true},
               {"WM_QUIT", WM_QUIT, 0, false, false}};
  for (const auto& c : cases) {
    TSelectDirDialog dialog(IDD_SELECT_DIR);
    HWND target = c.message == WM_QUIT      ? nullptr
                  : c.message == WM_KEYDOWN ? GetDlgItem(dialog.Handle(), IDC_DIRECTORY_EDIT)
                                            : dialog.Handle();
    EXPECT_EQ(RunWith(dialog, {{target, c.message, c.wParam, c.message == WM_KEYDOWN ? 1 : 0, 0, {0, 0}}}), c.accepted)
        << c.name;
    EXPECT_EQ(dialog.Closed(), c.closed) << c.name;
    EXPECT_TRUE(IsWindowVisible(dialog.Handle())) << "Execute leaves the window to its owner";
  }
}

TEST_F(DialogTest, OtherCommandsDoNotEndTheDialog) {
  {
    // Wrongly taken as OK, any of these would make the run return true before Cancel arrives.
    TOrvResDialog dialog(IDD_SELECT_DIR);
    HWND handle = dialog.Handle();
    EXPECT_FALSE(RunWith(dialog, {Command(handle, IDOK, EN_CHANGE), Command(handle, IDOK, BN_DOUBLECLICKED),
                                  Command(handle, IDCANCEL, BN_CLICKED)}));
  }
  {
    // Wrongly taken as Cancel, any of these would make the run return false before OK arrives.
    TOrvResDialog dialog(IDD_SELECT_DIR);
    HWND handle = dialog.Handle();
    EXPECT_TRUE(RunWith(dialog, {Command(handle, IDC_DIRECTORY_EDIT, EN_CHANGE), Command(handle, IDC_BROWSE, 0),
                                 Command(handle, 7, BN_CLICKED), Command(handle, IDCANCEL, EN_CHANGE),
                                 Command(handle, IDOK, BN_CLICKED)}));
  }
}

TEST_F(DialogTest, EachWindowReachesItsOwnObject) {
  struct CountingDialog : TOrvResDialog {
    using TOrvResDialog::TOrvResDialog;
    void InitializeDialog() override { ++initializations; }
    int initializations = 0;
  };
  auto first = std::make_unique<CountingDialog>(IDD_SELECT_DIR);
  CountingDialog second(IDD_PROGRESS);
  CountingDialog third(IDD_SELECT_DIR);
  SendMessageA(third.Handle(), WM_INITDIALOG, 0, 0);
  EXPECT_EQ(std::make_pair(first->initializations + second.initializations, third.initializations),
            std::make_pair(0, 1));

  // Freeing one dialog forgets it and destroys its window; the others keep getting their messages.
  HWND firstWindow = first->Handle();
  first.reset();
  EXPECT_FALSE(IsWindow(firstWindow));
  EXPECT_EQ(DialogList().size(), 2u);
  SendMessageA(second.Handle(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  SendMessageA(third.Handle(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  EXPECT_TRUE(second.Closed() && second.Accepted());
  EXPECT_TRUE(third.Closed() && !third.Accepted());
}

TEST_F(DialogTest, ErrorsInHandlersComeOutOfExecute) {
  struct FailingDialog : TOrvResDialog {
    using TOrvResDialog::TOrvResDialog;
    void HandleCommand(WPARAM wParam, LPARAM lParam) override {
      if (LOWORD(wParam) == 42) throw SetupError("Cannot open file x.txt");
      TOrvResDialog::HandleCommand(wParam, lParam);
    }
  };
  FailingDialog dialog(IDD_SELECT_DIR);
  EXPECT_EQ(ErrorText([&] { RunWith(dialog, {Command(dialog.Handle(), 42, BN_CLICKED)}); }), "Cannot open file x.txt");
  EXPECT_FALSE(dialog.Closed());
  // The error is reported once; the dialog goes on working.
  EXPECT_TRUE(RunWith(dialog, {Command(dialog.Handle(), IDOK, BN_CLICKED)}));

  TOrvResDialog missing(999);
  EXPECT_EQ(missing.Handle(), nullptr);
  EXPECT_THROW(missing.Execute(), SetupError) << "a missing template must not leave the loop waiting forever";
}

// ---- The IDE dialog as SelectIdes shows it: a timer notes each showing's boxes, then clicks that showing's controls.

Texts ideDialogsSeen, boxesShown;
std::vector<std::vector<int>> ideDialogClicks;

// The edition boxes shown, with their state, and how many are hidden.
std::string IdeBoxes(HWND dialog) {
  std::string text;
  int hidden = 0;
  for (int id = IDC_IDE_FIRST; id < IDC_IDE_FIRST + kEditionCount; ++id) {
    HWND box = GetDlgItem(dialog, id);
    if ((GetWindowLongA(box, GWL_STYLE) & WS_VISIBLE) == 0)
      ++hidden;
    else
      text += WindowText(box) + (IsDlgButtonChecked(dialog, id) ? " checked" : "") +
              (IsWindowEnabled(box) ? "; " : " disabled; ");
  }
  return text + std::to_string(hidden) + " hidden";
}

void CALLBACK ClickIdeDialog(HWND, UINT, UINT_PTR, DWORD) {
  if (DialogList().empty() || ideDialogsSeen.size() == ideDialogClicks.size()) return;
  HWND dialog = DialogList().back()->Handle();
  ideDialogsSeen.push_back(IdeBoxes(dialog));
  for (int id : ideDialogClicks[ideDialogsSeen.size() - 1]) SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0);
}

// The space between the last box shown and OK, below OK, and between the tops of OK and Cancel.
std::vector<long> ButtonGaps(const TSelectIdesDialog& dialog, int boxesShown) {
  RECT box, ok, cancel, client;
  GetWindowRect(GetDlgItem(dialog.Handle(), IDC_IDE_FIRST + boxesShown - 1), &box);
  GetWindowRect(GetDlgItem(dialog.Handle(), IDOK), &ok);
  GetWindowRect(GetDlgItem(dialog.Handle(), IDCANCEL), &cancel);
  GetClientRect(dialog.Handle(), &client);
  MapWindowPoints(dialog.Handle(), nullptr, reinterpret_cast<POINT*>(&client), 2);
  return {ok.top - box.bottom, client.bottom - ok.bottom, cancel.top - ok.top};
}

TEST_F(DialogTest, SelectIdesOffersTheListedEditionsAndWantsOneChecked) {
  const std::vector<IdeEdition> listed{ieDelphi5, ieDelphi6, ieCppBuilder5}, installed{ieDelphi6, ieDelphi5};
  std::vector<IdeEdition> all;
  for (int edition = 0; edition < kEditionCount; ++edition) all.push_back(static_cast<IdeEdition>(edition));
  EXPECT_EQ(ButtonGaps(TSelectIdesDialog(listed, installed, {}), 3), ButtonGaps(TSelectIdesDialog(all, all, {}), 10))
      << "OK and Cancel follow the last box shown as they follow the tenth";

  // Both unchecked and OK, the warning, then one checked and OK; a second run is cancelled.
  ideDialogClicks = {{IDC_IDE_FIRST, IDC_IDE_FIRST + 1, IDOK}, {IDC_IDE_FIRST + 1, IDOK}, {IDCANCEL}};
  MessageBoxHandler previous =
      SetMessageBoxHandler([](const std::string& text, const std::string& caption, UINT style) {
        boxesShown.push_back(text + " | " + caption + " | " + std::to_string(style));
        return IDOK;
      });
  std::vector<IdeEdition> chosen{ieDelphi2};
  {
    ThreadTimer clicks(10, ClickIdeDialog);
    QuitWatchdog watchdog(5000);
    EXPECT_TRUE(SelectIdes(listed, installed, chosen));
    EXPECT_EQ(chosen, std::vector<IdeEdition>{ieDelphi6});
    EXPECT_FALSE(SelectIdes(listed, installed, chosen));
    EXPECT_TRUE(chosen.empty());
  }
  SetMessageBoxHandler(previous);
  const std::string offered = "Delphi 5 checked; Delphi 6 checked; C++ Builder 5 (not installed) disabled; 7 hidden";
  EXPECT_EQ(ideDialogsSeen,
            (Texts{offered, "Delphi 5; Delphi 6; C++ Builder 5 (not installed) disabled; 7 hidden", offered}));
  EXPECT_EQ(boxesShown, Texts{"Please select at least one IDE. | Setup | " + std::to_string(MB_ICONWARNING | MB_OK)});
}

// ---- The folder browser: what it starts at and what the field gets back (the browser itself is the shell's).

TEST(PathDialog, SelectedItemRules) {
  // Only one trailing backslash goes; an empty item is the current folder as the system returns it.
  auto selected = [](const std::string& item) {
    TOrvPathDialog dialog;
    dialog.SetSelectedItem(item);
    return dialog.SelectedItem();
  };
  std::string remembered = CurrentFolder();
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
  EXPECT_EQ((Texts{selected("C:\\Program Files\\Product\\"), selected("C:\\"), selected("C:\\a\\\\"), selected("\\"),
                   selected("")}),
            (Texts{"C:\\Program Files\\Product", "C:", "C:\\a\\", "", "C:\\"}));
  SetCurrentDirectoryA(remembered.c_str());
}

}  // namespace
