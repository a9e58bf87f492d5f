// Ordered lists of text lines, addressed as name=value where needed.
#pragma once

#include <string>
#include <vector>

class StringList {
 public:
  StringList() = default;

  size_t Count() const { return lines_.size(); }
  bool Empty() const { return lines_.empty(); }
  const std::string& operator[](size_t index) const { return lines_[index]; }
  std::string& operator[](size_t index) { return lines_[index]; }
  std::vector<std::string>::const_iterator begin() const { return lines_.begin(); }
  std::vector<std::string>::const_iterator end() const { return lines_.end(); }
  const std::vector<std::string>& Lines() const { return lines_; }

  void Add(const std::string& line) { lines_.push_back(line); }
  void Clear() { lines_.clear(); }
  void Delete(size_t index) { lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index)); }

  // Replaces the lines by the text split at CR LF, CR or LF; a final line break adds no empty line.
  void SetText(const std::string& text);
  // Appends the lines of a text split as SetText splits it.
  void AddText(const std::string& text);
  // Every line followed by CR LF, the last one included; the empty list gives "".
  std::string Text() const;

  // Index of the first line equal to the text ignoring case (user locale), or -1.
  int IndexOf(const std::string& line) const;
  // Index of the first line whose name (text before the first "=") equals the name ignoring case, or -1.
  int IndexOfName(const std::string& name) const;
  // The value (text after the first "=") of the first line with that name, or "".
  std::string Value(const std::string& name) const;

 private:
  std::vector<std::string> lines_;
};

// Splits a text into lines at CR LF, CR or LF; a final line break adds no empty line.
std::vector<std::string> SplitLines(const std::string& text);
// Appends to the list the pieces of the text between delimiters (line breaks end pieces too; empty middle pieces
// stay, a final delimiter adds none).
void SplitText(const std::string& text, char delimiter, StringList& list);
