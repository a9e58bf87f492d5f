// The dialogs from the programs' templates: template contents, the modal run, message routing and the folder browser.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <atomic>
#include <memory>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../../resources/resource_ids.h"
#include "path_utils.h"
#include "resource_dialog.h"
#include "scratch_registry.h"
#include "select_dir_dialog.h"
#include "setup_error.h"
#include "unique_handle.h"

namespace {

// ---- Template contents, read from the resource bytes (DLGTEMPLATEEX).

struct ControlTemplate {
  DWORD id;
  std::string className;
  std::string text;
  short x, y, width, height;
  DWORD style;
};

struct DialogTemplate {
  DWORD style;
  DWORD extendedStyle;
  short x, y, width, height;
  std::string caption;
  WORD pointSize;
  std::string font;
  std::vector<ControlTemplate> controls;
};

class TemplateReader {
 public:
  TemplateReader(const BYTE* data, size_t size) : data_(data), size_(size) {}

  DialogTemplate Read() {
    DialogTemplate result = {};
    EXPECT_EQ(Word(), 1) << "version";
    EXPECT_EQ(Word(), 0xFFFF) << "signature";
    EXPECT_EQ(Dword(), 0u) << "help id";
    result.extendedStyle = Dword();
    result.style = Dword();
    WORD count = Word();
    result.x = Short(), result.y = Short(), result.width = Short(), result.height = Short();
    EXPECT_EQ(NameOrOrdinal(), "") << "menu";
    EXPECT_EQ(NameOrOrdinal(), "") << "window class";
    result.caption = Text();
    result.pointSize = Word();
    EXPECT_EQ(Word(), 0) << "weight";
    EXPECT_EQ(Byte(), 0) << "italic";
    EXPECT_EQ(Byte(), 0) << "character set";
    result.font = Text();
    for (WORD i = 0; i < count; ++i) {
      Align();
      ControlTemplate control = {};
      EXPECT_EQ(Dword(), 0u) << "control help id";
      EXPECT_EQ(Dword(), 0u) << "control extended style";
      control.style = Dword();
      control.x = Short(), control.y = Short(), control.width = Short(), control.height = Short();
      control.id = Dword();
      control.className = NameOrOrdinal();
      control.text = NameOrOrdinal();
      EXPECT_EQ(Word(), 0) << "creation data of control " << control.id;
      result.controls.push_back(control);
    }
    EXPECT_LE(offset_, size_);
    return result;
  }

 private:
  WORD Word() {
    WORD value = 0;
    if (offset_ + 2 <= size_) std::memcpy(&value, data_ + offset_, 2);
    offset_ += 2;
    return value;
  }
  short Short() { return static_cast<short>(Word()); }
  DWORD Dword() {
    DWORD low = Word();
    return low | (static_cast<DWORD>(Word()) << 16);
  }
  BYTE Byte() {
    BYTE value = offset_ < size_ ? data_[offset_] : 0;
    ++offset_;
    return value;
  }
  void Align() { offset_ = (offset_ + 3) & ~size_t(3); }
  // UTF-16 up to NUL; the templates hold ASCII only.
  std::string Text() {
    std::string text;
    for (WORD c = Word(); c != 0 && offset_ <= size_; c = Word()) text += static_cast<char>(c);
    return text;
  }
  // Predefined classes come as ordinals; they are named as the window manager names them.
  std::string NameOrOrdinal() {
    if (offset_ + 2 <= size_ && data_[offset_] == 0xFF && data_[offset_ + 1] == 0xFF) {
      offset_ += 2;
      switch (WORD ordinal = Word()) {
        case 0x80:
          return "Button";
        case 0x81:
          return "Edit";
        case 0x82:
          return "Static";
        default:
          return "#" + std::to_string(ordinal);
      }
    }
    return Text();
  }

  const BYTE* data_;
  size_t size_;
  size_t offset_ = 0;
};

// Reads the US English template with that id; false when the module has none.
bool ReadTemplate(HMODULE module, int id, DialogTemplate& result) {
  HRSRC resource =
      FindResourceExA(module, RT_DIALOG, MAKEINTRESOURCEA(id), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  if (resource == nullptr) return false;
  HGLOBAL loaded = LoadResource(module, resource);
  const BYTE* data = static_cast<const BYTE*>(LockResource(loaded));
  if (data == nullptr) return false;
  result = TemplateReader(data, SizeofResource(module, resource)).Read();
  return true;
}

constexpr DWORD kDialogStyle =
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_CENTER | DS_NOIDLEMSG | DS_MODALFRAME | DS_SETFONT | DS_3DLOOK;

DialogTemplate SelectDirTemplate() {
  return {
      kDialogStyle,
      WS_EX_CONTROLPARENT,
      0,
      0,
      253,
      74,
      "Select Destination Directory",
      8,
      "MS Sans Serif",
      {{1000, "Edit", "", 10, 26, 177, 12, WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL},
       {IDOK, "Button", "OK", 135, 50, 50, 14, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON},
       {IDCANCEL, "Button", "Cancel", 192, 50, 50, 14, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON},
       {0xFFFFFFFF, "Static", "Destination Directory:", 10, 10, 158, 15, WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT},
       {3, "Button", "Browse...", 192, 25, 50, 14, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON}}};
}

DialogTemplate ProgressTemplate(const std::string& caption) {
  return {kDialogStyle | WS_VISIBLE,
          WS_EX_CONTROLPARENT,
          0,
          0,
          224,
          66,
          caption,
          8,
          "MS Sans Serif",
          {{1000, "msctls_progress32", "Progress1", 10, 44, 204, 12, WS_CHILD | WS_VISIBLE | WS_BORDER},
           {1001, "Static", "", 10, 10, 204, 25,
            WS_CHILD | WS_VISIBLE | WS_GROUP | SS_CENTER | SS_NOPREFIX | SS_CENTERIMAGE | SS_SUNKEN}}};
}

void ExpectTemplate(const DialogTemplate& actual, const DialogTemplate& expected) {
  EXPECT_EQ(actual.style, expected.style);
  EXPECT_EQ(actual.extendedStyle, expected.extendedStyle);
  EXPECT_EQ(actual.x, expected.x);
  EXPECT_EQ(actual.y, expected.y);
  EXPECT_EQ(actual.width, expected.width);
  EXPECT_EQ(actual.height, expected.height);
  EXPECT_EQ(actual.caption, expected.caption);
  EXPECT_EQ(actual.pointSize, expected.pointSize);
  EXPECT_EQ(actual.font, expected.font);
  ASSERT_EQ(actual.controls.size(), expected.controls.size());
  for (size_t i = 0; i < expected.controls.size(); ++i) {
    const ControlTemplate& a = actual.controls[i];
    const ControlTemplate& e = expected.controls[i];
    SCOPED_TRACE("control " + std::to_string(i + 1) + " \"" + e.text + "\"");
    EXPECT_EQ(a.id, e.id);
    EXPECT_TRUE(0 == lstrcmpiA(a.className.c_str(), e.className.c_str())) << a.className;  // class names ignore case
    EXPECT_EQ(a.text, e.text);
    EXPECT_EQ(a.x, e.x);
    EXPECT_EQ(a.y, e.y);
    EXPECT_EQ(a.width, e.width);
    EXPECT_EQ(a.height, e.height);
    EXPECT_EQ(a.style, e.style);
  }
}

std::string BuiltProgram(const char* name) {
  return WindowsPathFromUnix(EnvironmentValue("ORV_BUILD_DIR")) + "\\" + name;
}

TEST(DialogTemplates, BothProgramsHoldTheirTemplates) {
  DialogTemplate actual;
  {
    SCOPED_TRACE("this test program, built with the setup program's resources");
    ASSERT_TRUE(ReadTemplate(GetModuleHandleA(nullptr), IDD_SELECT_DIR, actual));
    ExpectTemplate(actual, SelectDirTemplate());
  }
  UniqueModule setup(LoadLibraryExA(BuiltProgram("orvsetup.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(setup) << BuiltProgram("orvsetup.exe");
  {
    SCOPED_TRACE("orvsetup.exe 103");
    ASSERT_TRUE(ReadTemplate(setup.get(), IDD_SELECT_DIR, actual));
    ExpectTemplate(actual, SelectDirTemplate());
  }
  {
    SCOPED_TRACE("orvsetup.exe 104");
    ASSERT_TRUE(ReadTemplate(setup.get(), IDD_PROGRESS, actual));
    ExpectTemplate(actual, ProgressTemplate("Installing files"));
  }
  UniqueModule uninstall(LoadLibraryExA(BuiltProgram("uninstall.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(uninstall) << BuiltProgram("uninstall.exe");
  {
    SCOPED_TRACE("uninstall.exe 104");
    ASSERT_TRUE(ReadTemplate(uninstall.get(), IDD_PROGRESS, actual));
    ExpectTemplate(actual, ProgressTemplate("Remove files"));
  }
  EXPECT_FALSE(ReadTemplate(uninstall.get(), IDD_SELECT_DIR, actual)) << "the uninstaller has no destination dialog";
}

// ---- Live dialogs.

std::string WindowText(HWND window) {
  int length = GetWindowTextLengthA(window);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  text.resize(static_cast<size_t>(GetWindowTextA(window, &text[0], length + 1)));
  return text;
}

std::string ClassName(HWND window) {
  char name[256] = {};
  return std::string(name, static_cast<size_t>(GetClassNameA(window, name, sizeof(name))));
}

// Stops a modal loop that would otherwise wait forever: a thread timer posts WM_QUIT.
class QuitWatchdog {
 public:
  explicit QuitWatchdog(UINT milliseconds) : timer_(SetTimer(nullptr, 0, milliseconds, Fire)) {}
  ~QuitWatchdog() { KillTimer(nullptr, timer_); }

 private:
  static void CALLBACK Fire(HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(0); }
  UINT_PTR timer_;
};

class DialogTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitCommonControls(); }
  void TearDown() override {
    // Messages left for windows of finished cases must not reach the next one.
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
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
  static MSG Key(HWND control, WPARAM key) { return {control, WM_KEYDOWN, key, 1, 0, {0, 0}}; }
};

TEST_F(DialogTest, WindowsMatchTheirTemplates) {
  TOrvResDialog selectDir(IDD_SELECT_DIR);
  TOrvResDialog progress(IDD_PROGRESS);
  ASSERT_NE(selectDir.Handle(), nullptr);
  ASSERT_NE(progress.Handle(), nullptr);
  EXPECT_FALSE(selectDir.Closed());
  EXPECT_FALSE(selectDir.Accepted());

  struct Expected {
    TOrvResDialog& dialog;
    DialogTemplate layout;
  };
  for (const Expected& expected :
       {Expected{selectDir, SelectDirTemplate()}, Expected{progress, ProgressTemplate("Installing files")}}) {
    HWND window = expected.dialog.Handle();
    SCOPED_TRACE(expected.layout.caption);
    EXPECT_EQ(ClassName(window), "#32770");
    EXPECT_EQ(WindowText(window), expected.layout.caption);
    DWORD style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
    // DS_SETFONT only tells the system how to read the template; it need not stay in the window's style.
    DWORD windowBits = expected.layout.style & ~DS_SETFONT;
    EXPECT_EQ(style & windowBits, windowBits);
    EXPECT_EQ((style & WS_VISIBLE) != 0, (expected.layout.style & WS_VISIBLE) != 0);
    EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_CONTROLPARENT);
    EXPECT_EQ(GetParent(window), nullptr);

    HWND control = GetWindow(window, GW_CHILD);
    for (const ControlTemplate& item : expected.layout.controls) {
      SCOPED_TRACE(item.text);
      ASSERT_NE(control, nullptr);
      EXPECT_EQ(static_cast<WORD>(GetDlgCtrlID(control)), static_cast<WORD>(item.id));
      EXPECT_TRUE(0 == lstrcmpiA(ClassName(control).c_str(), item.className.c_str())) << ClassName(control);
      if (item.className != "msctls_progress32") {
        EXPECT_EQ(WindowText(control), item.text);
      }
      DWORD controlStyle = static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE));
      // A 3D-look dialog turns a control's border into an edge style that the control may redraw its own way;
      // the template bytes above hold the flag itself.
      DWORD wanted = item.style & ~static_cast<DWORD>(WS_BORDER);
      EXPECT_EQ(controlStyle & wanted, wanted);
      control = GetWindow(control, GW_HWNDNEXT);
    }
    EXPECT_EQ(control, nullptr) << "more controls than the template lists";
  }

  // The progress dialog's user drives its controls through the handle.
  SendDlgItemMessageA(progress.Handle(), IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, 200);
  SendDlgItemMessageA(progress.Handle(), IDC_PROGRESS_BAR, PBM_SETPOS, 50, 0);
  EXPECT_EQ(SendDlgItemMessageA(progress.Handle(), IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0), 50);
  SendDlgItemMessageA(progress.Handle(), IDC_STATUS_TEXT, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("a & b"));
  EXPECT_EQ(WindowText(GetDlgItem(progress.Handle(), IDC_STATUS_TEXT)), "a & b");
}

TEST_F(DialogTest, OkAloneAcceptsCancelEscapeAndCloseBoxRefuse) {
  {
    TSelectDirDialog dialog(IDD_SELECT_DIR);
    EXPECT_TRUE(RunWith(dialog, {Command(dialog.Handle(), IDOK, BN_CLICKED)}));
    EXPECT_TRUE(dialog.Closed());
    EXPECT_TRUE(IsWindowVisible(dialog.Handle())) << "Execute leaves the window to its owner";
  }
  {
    TSelectDirDialog dialog(IDD_SELECT_DIR);
    HWND edit = GetDlgItem(dialog.Handle(), IDC_DIRECTORY_EDIT);
    EXPECT_TRUE(RunWith(dialog, {Key(edit, VK_RETURN)})) << "Enter presses the default button";
  }
  {
    TSelectDirDialog dialog(IDD_SELECT_DIR);
    EXPECT_FALSE(RunWith(dialog, {Command(dialog.Handle(), IDCANCEL, BN_CLICKED)}));
    EXPECT_TRUE(dialog.Closed());
  }
  {
    TSelectDirDialog dialog(IDD_SELECT_DIR);
    HWND edit = GetDlgItem(dialog.Handle(), IDC_DIRECTORY_EDIT);
    EXPECT_FALSE(RunWith(dialog, {Key(edit, VK_ESCAPE)}));
    EXPECT_TRUE(dialog.Closed()) << "Esc";
  }
  {
    TSelectDirDialog dialog(IDD_SELECT_DIR);
    EXPECT_FALSE(RunWith(dialog, {{dialog.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0, 0, {0, 0}}}));
    EXPECT_TRUE(dialog.Closed()) << "close box";
  }
  {
    TSelectDirDialog dialog(IDD_SELECT_DIR);
    PostQuitMessage(0);
    EXPECT_FALSE(RunWith(dialog, {}));
    EXPECT_FALSE(dialog.Closed()) << "WM_QUIT ends the loop without a button";
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
  ASSERT_EQ(DialogList().size(), 3u);
  EXPECT_EQ(DialogList()[0], first.get());

  SendMessageA(second.Handle(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  EXPECT_TRUE(second.Closed() && second.Accepted());
  EXPECT_FALSE(first->Closed() || third.Closed());

  SendMessageA(third.Handle(), WM_INITDIALOG, 0, 0);
  EXPECT_EQ(third.initializations, 1);
  EXPECT_EQ(first->initializations + second.initializations, 0);

  // Freeing one dialog forgets it and destroys its window; the others keep getting their messages.
  HWND firstWindow = first->Handle();
  first.reset();
  EXPECT_FALSE(IsWindow(firstWindow));
  ASSERT_EQ(DialogList().size(), 2u);
  EXPECT_EQ(DialogList()[0], &second);
  SendMessageA(third.Handle(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  EXPECT_TRUE(third.Closed());
  EXPECT_FALSE(third.Accepted());
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
  try {
    RunWith(dialog, {Command(dialog.Handle(), 42, BN_CLICKED)});
    ADD_FAILURE() << "no error came out";
  } catch (const SetupError& error) {
    EXPECT_STREQ(error.what(), "Cannot open file x.txt");
  }
  EXPECT_FALSE(dialog.Closed());
  // The error is reported once; the dialog goes on working.
  EXPECT_TRUE(RunWith(dialog, {Command(dialog.Handle(), IDOK, BN_CLICKED)}));

  TOrvResDialog missing(999);
  EXPECT_EQ(missing.Handle(), nullptr);
  EXPECT_THROW(missing.Execute(), SetupError) << "a missing template must not leave the loop waiting forever";
}

// ---- The folder browser, driven from a second thread.

struct BrowserVisit {
  bool found = false;
  HWND owner = nullptr;
  bool titleShown = false;
  std::string selection;  // label of the tree's selected item
};

enum class BrowserAnswer { Ok, Cancel, OkOnDriveRoot };

// Waits for a folder browser among the windows of the given thread, records what it shows and answers it.
class BrowserDriver {
 public:
  // okAfterwards, when given, gets an OK click once the browser has closed.
  BrowserDriver(DWORD guiThread, BrowserAnswer answer, DWORD waitMilliseconds = 10000, HWND okAfterwards = nullptr)
      : guiThread_(guiThread), answer_(answer), waitMilliseconds_(waitMilliseconds), okAfterwards_(okAfterwards) {
    thread_.reset(CreateThread(nullptr, 0, Run, this, 0, nullptr));
  }
  ~BrowserDriver() { Finish(); }

  // Stops waiting and returns what was seen.
  const BrowserVisit& Finish() {
    stop_ = true;
    if (thread_) WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
    return visit_;
  }

 private:
  static BOOL CALLBACK FindBrowser(HWND window, LPARAM data) {
    auto* driver = reinterpret_cast<BrowserDriver*>(data);
    if (ClassName(window) == "#32770" && GetWindow(window, GW_OWNER) != nullptr && IsWindowVisible(window)) {
      driver->browser_ = window;
      return FALSE;
    }
    return TRUE;
  }
  static BOOL CALLBACK InspectControl(HWND control, LPARAM data) {
    auto* driver = reinterpret_cast<BrowserDriver*>(data);
    if (WindowText(control) == "Select the installation folder") driver->visit_.titleShown = true;
    if (ClassName(control) == WC_TREEVIEWA) {
      HTREEITEM item = reinterpret_cast<HTREEITEM>(SendMessageA(control, TVM_GETNEXTITEM, TVGN_CARET, 0));
      char label[MAX_PATH] = {};
      TVITEMA info = {};
      info.mask = TVIF_TEXT;
      info.hItem = item;
      info.pszText = label;
      info.cchTextMax = sizeof(label);
      if (item != nullptr && SendMessageA(control, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&info))) {
        driver->visit_.selection = label;
      }
    }
    return TRUE;
  }
  static DWORD WINAPI Run(void* data) {
    auto* driver = static_cast<BrowserDriver*>(data);
    for (DWORD waited = 0; !driver->stop_ && waited < driver->waitMilliseconds_; waited += 20) {
      EnumThreadWindows(driver->guiThread_, FindBrowser, reinterpret_cast<LPARAM>(driver));
      if (driver->browser_ != nullptr) break;
      Sleep(20);
    }
    HWND browser = driver->browser_;
    if (browser == nullptr) return 0;
    driver->visit_.found = true;
    driver->visit_.owner = GetWindow(browser, GW_OWNER);
    // The window shows before the browser has made its start selection: wait until the selection holds still.
    std::string previous = "?";
    for (int i = 0, unchanged = 0; i < 30; ++i) {
      driver->visit_.selection.clear();
      EnumChildWindows(browser, InspectControl, reinterpret_cast<LPARAM>(driver));
      unchanged = driver->visit_.selection == previous ? unchanged + 1 : 0;
      if (unchanged >= (driver->visit_.selection.empty() ? 4 : 1)) break;
      previous = driver->visit_.selection;
      Sleep(100);
    }
    if (driver->answer_ == BrowserAnswer::OkOnDriveRoot) {
      SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>("C:\\"));
    }
    PostMessageA(browser, WM_COMMAND, MAKEWPARAM(driver->answer_ == BrowserAnswer::Cancel ? IDCANCEL : IDOK, 0), 0);
    for (int i = 0; i < 500 && IsWindow(browser); ++i) Sleep(10);
    if (driver->okAfterwards_ != nullptr) {
      PostMessageA(driver->okAfterwards_, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
    return 0;
  }

  DWORD guiThread_;
  BrowserAnswer answer_;
  DWORD waitMilliseconds_;
  HWND okAfterwards_;
  std::atomic<bool> stop_{false};
  HWND browser_ = nullptr;
  BrowserVisit visit_;
  UniqueKernelHandle thread_;
};

class BrowseTest : public DialogTest {
 protected:
  void SetUp() override {
    remembered_ = CurrentFolder();
    windowsFolder_ = WindowsFolder();
  }
  void TearDown() override {
    SetCurrentDirectoryA(remembered_.c_str());
    DialogTest::TearDown();
  }
  static std::string WindowsFolder() {
    char buffer[MAX_PATH] = {};
    UINT length = GetWindowsDirectoryA(buffer, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(buffer, length) : std::string();
  }
  // Clicks "Browse..." the way the button does and lets the driver answer the browser.
  static BrowserVisit Browse(TSelectDirDialog& dialog, BrowserAnswer answer) {
    BrowserDriver driver(GetCurrentThreadId(), answer);
    SendMessageA(dialog.Handle(), WM_COMMAND, MAKEWPARAM(IDC_BROWSE, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog.Handle(), IDC_BROWSE)));
    return driver.Finish();
  }

  ComApartment apartment_;
  std::string remembered_;
  std::string windowsFolder_;
};

TEST_F(BrowseTest, BrowserStartsAtTheFieldsFolderAndWritesTheChoiceBack) {
  ASSERT_FALSE(windowsFolder_.empty());
  TSelectDirDialog dialog(IDD_SELECT_DIR);
  dialog.SetDirectory(windowsFolder_ + "\\");
  EXPECT_EQ(dialog.GetDirectory(), windowsFolder_ + "\\");

  BrowserVisit visit = Browse(dialog, BrowserAnswer::Ok);
  ASSERT_TRUE(visit.found) << "no folder browser appeared";
  EXPECT_EQ(visit.owner, dialog.Handle());
  EXPECT_TRUE(visit.titleShown) << "title \"Select the installation folder\" not shown";
  EXPECT_TRUE(0 == lstrcmpiA(visit.selection.c_str(), ExtractFileName(windowsFolder_).c_str())) << visit.selection;
  EXPECT_TRUE(0 == lstrcmpiA(dialog.GetDirectory().c_str(), windowsFolder_.c_str())) << dialog.GetDirectory();

  // A drive root comes back with its backslash.
  visit = Browse(dialog, BrowserAnswer::OkOnDriveRoot);
  ASSERT_TRUE(visit.found);
  EXPECT_EQ(dialog.GetDirectory(), "C:\\");
}

TEST_F(BrowseTest, CancelledBrowserKeepsTheFieldAndOkUsesIt) {
  TSelectDirDialog dialog(IDD_SELECT_DIR);
  dialog.SetDirectory("D:\\Not There\\Product");
  // The real button, pressed inside the modal run; OK follows once the browser is gone.
  BrowserDriver driver(GetCurrentThreadId(), BrowserAnswer::Cancel, 10000, dialog.Handle());
  EXPECT_TRUE(RunWith(dialog, {{GetDlgItem(dialog.Handle(), IDC_BROWSE), BM_CLICK, 0, 0, 0, {0, 0}}}, 15000));
  EXPECT_TRUE(driver.Finish().found);
  EXPECT_EQ(dialog.GetDirectory(), "D:\\Not There\\Product");
}

TEST_F(BrowseTest, EmptyFieldStartsAtTheCurrentFolder) {
  // Not below the user's profile: on a new Wine prefix the browser's first selection request there finds nothing.
  std::string start = FormatText("C:\\orv-dialogs-%lu", GetCurrentProcessId());
  ASSERT_TRUE(CreateDirectoryA(start.c_str(), nullptr));
  auto removeStart = ScopeExit([&] {
    SetCurrentDirectoryA(remembered_.c_str());
    EXPECT_TRUE(RemoveDirectoryA(start.c_str()));
  });
  ASSERT_TRUE(SetCurrentDirectoryA(start.c_str()));
  std::string current = CurrentFolder();
  TSelectDirDialog dialog(IDD_SELECT_DIR);
  BrowserVisit visit = Browse(dialog, BrowserAnswer::Ok);
  ASSERT_TRUE(visit.found);
  EXPECT_TRUE(0 == lstrcmpiA(visit.selection.c_str(), ExtractFileName(current).c_str())) << visit.selection;
  EXPECT_TRUE(0 == lstrcmpiA(dialog.GetDirectory().c_str(), current.c_str()))
      << dialog.GetDirectory() << " vs " << current;
}

TEST_F(BrowseTest, OnlyAClickOnBrowseOpensTheBrowser) {
  TSelectDirDialog dialog(IDD_SELECT_DIR);
  dialog.SetDirectory("C:\\");
  for (WORD code : {WORD(BN_DOUBLECLICKED), WORD(EN_CHANGE)}) {
    // A browser would run inside the call; the driver cancels it so the call can return.
    BrowserDriver driver(GetCurrentThreadId(), BrowserAnswer::Cancel);
    SendMessageA(dialog.Handle(), WM_COMMAND, MAKEWPARAM(IDC_BROWSE, code), 0);
    EXPECT_FALSE(driver.Finish().found) << "notification " << code;
  }
  EXPECT_FALSE(dialog.Closed());
}

TEST(PathDialog, SelectedItemRules) {
  TOrvPathDialog dialog;
  EXPECT_TRUE(dialog.Flags == TOrvPathDialogFlags({dfOnlyDirs}));
  EXPECT_EQ(dialog.Root, drNone);
  EXPECT_EQ(dialog.BrowseWindow(), nullptr);

  dialog.SetSelectedItem("C:\\Program Files\\Product\\");
  EXPECT_EQ(dialog.SelectedItem(), "C:\\Program Files\\Product");
  dialog.SetSelectedItem("C:\\");
  EXPECT_EQ(dialog.SelectedItem(), "C:");
  dialog.SetSelectedItem("C:\\a\\\\");
  EXPECT_EQ(dialog.SelectedItem(), "C:\\a\\") << "only one backslash goes";
  dialog.SetSelectedItem("\\");
  EXPECT_EQ(dialog.SelectedItem(), "");

  std::string remembered = CurrentFolder();
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
  dialog.SetSelectedItem("");
  EXPECT_EQ(dialog.SelectedItem(), "C:\\") << "the current folder is taken as the system returns it";
  SetCurrentDirectoryA(remembered.c_str());
}

TEST(PathDialog, RootsAndFlagsMapToTheShellsValues) {
  const int folders[] = {0x00, 0x0A, 0x03, 0x00, 0x10, 0x11, 0x14, 0x13, 0x12,
                         0x05, 0x04, 0x02, 0x08, 0x09, 0x0B, 0x07, 0x15};
  for (int root = drNone; root <= drTemplates; ++root) {
    EXPECT_EQ(RootFolderId(static_cast<TOrvPathDialogRoot>(root)), folders[root]) << "root " << root;
  }
  EXPECT_EQ(BrowseFlags({}), 0u);
  EXPECT_EQ(BrowseFlags({dfOnlyDirs}), 0x0001u);
  EXPECT_EQ(BrowseFlags({dfForComputer, dfForPrinter, dfOnlyDomains, dfReturnAncest, dfOnlyDirs}), 0x300Bu);
  EXPECT_EQ(BrowseFlags({dfOnlyDomains, dfReturnAncest}), 0x000Au);
}

}  // namespace
