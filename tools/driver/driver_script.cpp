// Script files and the text form of run records.
#include "driver_script.h"

#include <cstdio>

#include "path_utils.h"
#include "string_list.h"
#include "text_compare.h"

namespace {
struct NamedButton {
  int id;
  const char* name;
};
constexpr NamedButton kButtonNames[] = {{IDOK, "OK"},       {IDCANCEL, "Cancel"}, {IDABORT, "Abort"},
                                        {IDRETRY, "Retry"}, {IDIGNORE, "Ignore"}, {IDYES, "Yes"},
                                        {IDNO, "No"},       {10, "TryAgain"},     {11, "Continue"}};

std::string Hex(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
  return text;
}

std::optional<int> ParseNumber(const std::string& text) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  return std::stoi(text);
}

// "[checked] " and the like before the text of a check box or radio button; "" for other controls.
std::string CheckStateText(const ControlRecord& control) {
  if (!control.checkState) return "";
  switch (*control.checkState) {
    case BST_CHECKED:
      return "[checked] ";
    case BST_UNCHECKED:
      return "[unchecked] ";
    case BST_INDETERMINATE:
      return "[indeterminate] ";
    default:
      return "[check state " + std::to_string(*control.checkState) + "] ";
  }
}

std::string AnswerText(const WindowRecord& window) {
  if (window.kind == WindowKind::Passive) return "none (passive)";
  std::string who = window.answerIndex >= 0 ? "script " + std::to_string(window.answerIndex + 1) : "unexpected";
  if (window.pressed == kNotAnswered) return who + ", not answered";
  if (window.pressed == kCloseWindow) return who + ", closed";
  return who + ", pressed " + ButtonName(window.pressed, window.kind);
}
}  // namespace

std::string ButtonName(int id, WindowKind kind) {
  if (id == kCloseWindow) return "WM_CLOSE";
  const bool sameInDialogs = id == IDOK || id == IDCANCEL || id == IDYES || id == IDNO;
  for (const NamedButton& button : kButtonNames)
    if (button.id == id && (kind == WindowKind::MessageBox || sameInDialogs)) return button.name;
  return std::to_string(id);
}

std::optional<int> ButtonFromName(const std::string& name) {
  std::string bare = name.size() > 2 && SameTextAscii(name.substr(0, 2), "ID") ? name.substr(2) : name;
  for (const NamedButton& button : kButtonNames)
    if (SameTextAscii(bare, button.name)) return button.id;
  auto number = ParseNumber(name);
  if (number && *number == kCloseWindow) return std::nullopt;
  return number;
}

std::string IconKindName(IconKind kind) {
  switch (kind) {
    case IconKind::None:
      return "none";
    case IconKind::Information:
      return "information";
    case IconKind::Warning:
      return "warning";
    case IconKind::Error:
      return "error";
    case IconKind::Question:
      return "question";
    case IconKind::Other:
      return "other";
    case IconKind::Unknown:
      break;
  }
  return "unknown";
}

std::string WindowKindName(WindowKind kind) {
  switch (kind) {
    case WindowKind::MessageBox:
      return "message box";
    case WindowKind::Dialog:
      return "dialog";
    case WindowKind::Passive:
      break;
  }
  return "passive";
}

std::string EscapeText(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    switch (c) {
      case '\\':
        escaped += "\\\\";
        break;
      case '\r':
        escaped += "\\r";
        break;
      case '\n':
        escaped += "\\n";
        break;
      case '\t':
        escaped += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char code[8];
          std::snprintf(code, sizeof code, "\\x%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
          escaped += code;
        } else {
          escaped += c;
        }
    }
  }
  return escaped;
}

std::string DescribeAnswer(const Answer& answer) {
  std::string description;
  for (const std::string& part : answer.captionContains) description += "caption \"" + EscapeText(part) + "\", ";
  for (const std::string& part : answer.textContains) description += "text \"" + EscapeText(part) + "\", ";
  if (!answer.requiredControls.empty()) {
    description += "controls";
    for (int id : answer.requiredControls) description += " " + std::to_string(id);
    description += ", ";
  }
  for (const auto& [id, text] : answer.controlTexts)
    description += "set " + std::to_string(id) + " \"" + EscapeText(text) + "\", ";
  return description +
         (answer.button == kCloseWindow ? "close" : "press " + ButtonName(answer.button, WindowKind::Dialog));
}

std::string FormatRunRecord(const RunRecord& record) {
  std::string text;
  if (!record.started) text += "start error: " + record.startError + "\n";
  for (size_t index = 0; index < record.windows.size(); ++index) {
    const WindowRecord& window = record.windows[index];
    text += "window " + std::to_string(index + 1) + ": " + WindowKindName(window.kind) + "\n";
    text += "  caption: " + EscapeText(window.caption) + "\n";
    if (window.again) text += "  again: yes\n";
    if (window.kind == WindowKind::MessageBox) {
      text += "  text: " + EscapeText(window.text) + "\n";
      text += "  icon: " + IconKindName(window.icon) + "\n";
      text += "  buttons:";
      for (int id : window.buttons) text += " " + ButtonName(id, window.kind);
      text += "\n";
    } else {
      for (const ControlRecord& control : window.controls)
        text += "  control: " + std::to_string(control.id) + " " + control.className + " " + Hex(control.style) + " " +
                CheckStateText(control) + EscapeText(control.text) + "\n";
      for (const std::string& status : window.statusTexts) text += "  status: " + EscapeText(status) + "\n";
    }
    text += "  answer: " + AnswerText(window) + "\n";
  }
  text += "exit code: " + std::to_string(record.exitCode) + "\n";
  text += std::string("timed out: ") + (record.timedOut ? "yes" : "no") + "\n";
  for (const std::string& problem : record.problems) text += "problem: " + problem + "\n";
  return text;
}

bool ParseScript(const std::vector<std::string>& lines, std::vector<Answer>& script, std::string& error) {
  Answer pending;
  bool pendingLines = false;
  for (size_t index = 0; index < lines.size(); ++index) {
    const std::string& line = lines[index];
    if (line.empty() || line[0] == '#') continue;
    auto fail = [&](const std::string& message) {
      error = "line " + std::to_string(index + 1) + ": " + message;
      return false;
    };
    const size_t blank = line.find(' ');
    const std::string keyword = line.substr(0, blank);
    const std::string value = blank == std::string::npos ? "" : line.substr(blank + 1);
    if (keyword == "caption") {
      pending.Caption(value);
    } else if (keyword == "text") {
      pending.Text(value);
    } else if (keyword == "controls") {
      StringList ids;
      SplitText(value, ' ', ids);
      for (size_t i = 0; i < ids.Count(); ++i) {
        if (ids[i].empty()) continue;
        auto id = ParseNumber(ids[i]);
        if (!id) return fail("not a control id: " + ids[i]);
        pending.requiredControls.push_back(*id);
      }
    } else if (keyword == "set") {
      const size_t separator = value.find(' ');
      auto id = ParseNumber(value.substr(0, separator));
      if (!id) return fail("set needs a control id and a text");
      pending.SetText(*id, separator == std::string::npos ? "" : value.substr(separator + 1));
    } else if (keyword == "press" || keyword == "close") {
      if (keyword == "press") {
        auto button = ButtonFromName(value);
        if (!button) return fail("unknown button: " + value);
        pending.button = *button;
      } else {
        pending.button = kCloseWindow;
      }
      script.push_back(pending);
      pending = Answer();
      pendingLines = false;
      continue;
    } else {
      return fail("unknown keyword: " + keyword);
    }
    pendingLines = true;
  }
  if (pendingLines) {
    error = "the last answer has no press or close line";
    return false;
  }
  return true;
}
