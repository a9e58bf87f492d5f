// String list semantics shared by both programs.
#include "string_list.h"

#include "path_utils.h"
#include "text_compare.h"

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  const size_t size = text.size();
  while (start < size) {
    size_t end = start;
    while (end < size && text[end] != '\r' && text[end] != '\n') ++end;
    lines.push_back(text.substr(start, end - start));
    if (end < size && text[end] == '\r') {
      ++end;
      if (end < size && text[end] == '\n') ++end;
    } else if (end < size) {
      ++end;
    }
    start = end;
  }
  return lines;
}

void StringList::SetText(const std::string& text) { lines_ = SplitLines(text); }

void StringList::AddText(const std::string& text) {
  for (auto& line : SplitLines(text)) lines_.push_back(std::move(line));
}

std::string StringList::Text() const {
  size_t size = 0;
  for (const auto& line : lines_) size += line.size() + 2;
  std::string text;
  text.reserve(size);
  for (const auto& line : lines_) {
    text += line;
    text += "\r\n";
  }
  return text;
}

int StringList::IndexOf(const std::string& line) const {
  for (size_t i = 0; i < lines_.size(); ++i)
    if (SameTextLocale(lines_[i], line)) return static_cast<int>(i);
  return -1;
}

int StringList::IndexOfName(const std::string& name) const {
  for (size_t i = 0; i < lines_.size(); ++i) {
    size_t equals = lines_[i].find('=');
    if (equals != std::string::npos && SameTextLocale(lines_[i].substr(0, equals), name)) return static_cast<int>(i);
  }
  return -1;
}

std::string StringList::Value(const std::string& name) const {
  int index = IndexOfName(name);
  return index < 0 ? std::string() : ValuePart(lines_[static_cast<size_t>(index)]);
}

void SplitText(const std::string& text, char delimiter, StringList& list) {
  list.AddText(ReplaceChar(delimiter, '\n', text));
}
