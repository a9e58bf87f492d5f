// The one place that shows message boxes.
#include "message_box.h"

#include "program_switches.h"
#include "run_log.h"

namespace {
MessageBoxHandler currentHandler = nullptr;

const char* ButtonName(int button) {
  switch (button) {
    case IDOK:
      return "OK";
    case IDCANCEL:
      return "Cancel";
    case IDYES:
      return "Yes";
    case IDNO:
      return "No";
    case IDRETRY:
      return "Retry";
    default:
      return "closed";
  }
}
}  // namespace

int ShowMessageBox(const std::string& text, const std::string& caption, UINT style, int unattendedAnswer) {
  LogLine("Box \"" + caption + "\": " + text);
  int answer;
  if (IsUnattended())
    answer = unattendedAnswer;
  else if (currentHandler != nullptr)
    answer = currentHandler(text, caption, style);
  else
    answer = MessageBoxA(nullptr, text.c_str(), caption.c_str(), style);
  LogLine(std::string(IsUnattended() ? "  answered unattended: " : "  answered: ") + ButtonName(answer));
  return answer;
}

void SuppressSystemErrorBoxes() { SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX); }

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  MessageBoxHandler previous = currentHandler;
  currentHandler = handler;
  return previous;
}
