// The one place that shows message boxes.
#include "message_box.h"

namespace {
MessageBoxHandler currentHandler = nullptr;
}

int ShowMessageBox(const std::string& text, const std::string& caption, UINT style) {
  if (currentHandler != nullptr) return currentHandler(text, caption, style);
  return MessageBoxA(nullptr, text.c_str(), caption.c_str(), style);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  MessageBoxHandler previous = currentHandler;
  currentHandler = handler;
  return previous;
}
