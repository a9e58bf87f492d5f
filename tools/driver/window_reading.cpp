// Reading the dialogs of another process: classes, styles and texts of the window and its controls.
#include "window_reading.h"

#include <algorithm>

namespace {
constexpr UINT kSendTimeoutMs = 2000;
constexpr int kMessageBoxTextId = 0xFFFF;

struct ProcessWindows {
  const std::vector<DWORD>& processIds;
  std::vector<HWND> windows;
};

std::string ClassNameOf(HWND window) {
  char name[256];
  int length = GetClassNameA(window, name, sizeof name);
  return length > 0 ? std::string(name, std::min<size_t>(static_cast<size_t>(length), sizeof name - 1)) : "";
}

bool IsClass(HWND window, const char* className) { return lstrcmpiA(ClassNameOf(window).c_str(), className) == 0; }

BOOL CALLBACK CollectProcessDialog(HWND window, LPARAM lParam) {
  auto* found = reinterpret_cast<ProcessWindows*>(lParam);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (std::find(found->processIds.begin(), found->processIds.end(), processId) != found->processIds.end() &&
      IsWindowVisible(window) && IsClass(window, "#32770"))
    found->windows.push_back(window);
  return TRUE;
}

struct ChildWindows {
  HWND parent;
  std::vector<HWND> children;
};

BOOL CALLBACK CollectDirectChild(HWND child, LPARAM lParam) {
  auto* found = reinterpret_cast<ChildWindows*>(lParam);
  if (GetAncestor(child, GA_PARENT) == found->parent) found->children.push_back(child);
  return TRUE;
}

// The direct children of the window, in z-order: the template order for dialog controls.
std::vector<HWND> ControlsOf(HWND window) {
  ChildWindows found{window, {}};
  EnumChildWindows(window, CollectDirectChild, reinterpret_cast<LPARAM>(&found));
  return found.children;
}

int ControlId(HWND control) { return GetDlgCtrlID(control) & 0xFFFF; }

DWORD StyleOf(HWND window) { return static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)); }

DWORD ButtonType(HWND control) { return StyleOf(control) & BS_TYPEMASK; }

// A push button, shown or hidden (a message box hides the ones it does not use).
bool IsPushButtonOfAnyVisibility(HWND control) {
  return IsClass(control, "Button") &&
         (ButtonType(control) == BS_PUSHBUTTON || ButtonType(control) == BS_DEFPUSHBUTTON);
}

bool IsPushButton(HWND control) { return IsPushButtonOfAnyVisibility(control) && IsWindowVisible(control); }

bool IsCheckButton(HWND control) {
  switch (ButtonType(control)) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_RADIOBUTTON:
    case BS_3STATE:
    case BS_AUTO3STATE:
    case BS_AUTORADIOBUTTON:
      return IsClass(control, "Button");
    default:
      return false;
  }
}

bool IsTextStatic(HWND control) {
  return IsClass(control, "Static") && ControlId(control) == kMessageBoxTextId &&
         (StyleOf(control) & SS_TYPEMASK) != SS_ICON;
}

// The text the system stored for the window; sends nothing, so a busy owner cannot hold the driver up.
std::string StoredText(HWND window) {
  for (size_t size = 1024; size <= 1024 * 1024; size *= 4) {
    std::string buffer(size, '\0');
    int length = GetWindowTextA(window, &buffer[0], static_cast<int>(size));
    if (length < 0) return "";
    if (static_cast<size_t>(length) < size - 1) {
      buffer.resize(static_cast<size_t>(length));
      return buffer;
    }
  }
  return "";
}

// The text as the control itself reports it (an edit field's current text); the stored text when it does not answer.
std::string SentText(HWND control) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length))
    return StoredText(control);
  std::string buffer(static_cast<size_t>(length) + 1, '\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(control, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(&buffer[0]), SMTO_ABORTIFHUNG,
                           kSendTimeoutMs, &copied))
    return StoredText(control);
  buffer.resize(std::min<size_t>(static_cast<size_t>(copied), buffer.size() - 1));
  return buffer.substr(0, buffer.find('\0'));
}

// BM_GETCHECK's answer, or nothing when the control does not answer in time.
std::optional<LRESULT> CheckStateOf(HWND control) {
  DWORD_PTR state = 0;
  if (!SendMessageTimeoutA(control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &state)) return std::nullopt;
  return static_cast<LRESULT>(state);
}

std::vector<ControlRecord> RecordControls(HWND window, bool askControls) {
  std::vector<ControlRecord> controls;
  for (HWND control : ControlsOf(window))
    controls.push_back({ControlId(control), ClassNameOf(control), askControls ? SentText(control) : StoredText(control),
                        StyleOf(control),
                        askControls && IsCheckButton(control) ? CheckStateOf(control) : std::nullopt});
  return controls;
}

std::vector<int> ButtonsLeftToRight(HWND window) {
  std::vector<std::pair<LONG, int>> buttons;
  for (HWND control : ControlsOf(window)) {
    RECT rect{};
    if (IsPushButton(control) && GetWindowRect(control, &rect)) buttons.push_back({rect.left, ControlId(control)});
  }
  std::stable_sort(buttons.begin(), buttons.end(),
                   [](const auto& left, const auto& right) { return left.first < right.first; });
  std::vector<int> ids;
  for (const auto& button : buttons) ids.push_back(button.second);
  return ids;
}

void AddStatusTexts(const std::vector<ControlRecord>& controls, std::vector<std::string>& statusTexts) {
  for (const ControlRecord& control : controls) {
    if (lstrcmpiA(control.className.c_str(), "Static") != 0 || control.text.empty()) continue;
    if (std::find(statusTexts.begin(), statusTexts.end(), control.text) == statusTexts.end())
      statusTexts.push_back(control.text);
  }
}
}  // namespace

std::vector<HWND> VisibleDialogsOfProcesses(const std::vector<DWORD>& processIds) {
  ProcessWindows found{processIds, {}};
  EnumWindows(CollectProcessDialog, reinterpret_cast<LPARAM>(&found));
  std::reverse(found.windows.begin(), found.windows.end());
  return found.windows;
}

WindowKind ClassifyWindow(HWND window) {
  bool pushButton = false;
  bool textStatic = false;
  bool otherControl = false;
  for (HWND control : ControlsOf(window)) {
    pushButton = pushButton || IsPushButton(control);
    textStatic = textStatic || IsTextStatic(control);
    otherControl = otherControl || !(IsPushButtonOfAnyVisibility(control) || IsClass(control, "Static"));
  }
  if (!pushButton) return WindowKind::Passive;
  return textStatic && !otherControl ? WindowKind::MessageBox : WindowKind::Dialog;
}

WindowRecord InspectWindow(HWND window, WindowKind kind) {
  WindowRecord record;
  record.kind = kind;
  record.caption = StoredText(window);
  record.style = StyleOf(window);
  record.exStyle = static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE));
  record.controls = RecordControls(window, kind != WindowKind::Passive);
  if (kind == WindowKind::MessageBox) {
    record.buttons = ButtonsLeftToRight(window);
    for (const ControlRecord& control : record.controls)
      if (control.id == kMessageBoxTextId && lstrcmpiA(control.className.c_str(), "Static") == 0 &&
          (control.style & SS_TYPEMASK) != SS_ICON)
        record.text = control.text;
  }
  if (kind == WindowKind::Passive) AddStatusTexts(record.controls, record.statusTexts);
  return record;
}

void SamplePassiveWindow(HWND window, WindowRecord& record) {
  std::string caption = StoredText(window);
  if (!caption.empty()) record.caption = caption;
  std::vector<ControlRecord> controls = RecordControls(window, false);
  if (controls.size() >= record.controls.size()) record.controls = controls;
  AddStatusTexts(controls, record.statusTexts);
}
