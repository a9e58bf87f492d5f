// Whole-file text reading and writing through kernel32 handles.
#include "text_file.h"

#include "change_observer.h"
#include "run_log.h"

#include <windows.h>

#include <algorithm>

#include "setup_error.h"
#include "string_list.h"
#include "unique_handle.h"

std::optional<std::string> ReadFileContent(const std::string& path, DWORD shareMode) {
  UniqueFile file(
      CreateFileA(path.c_str(), GENERIC_READ, shareMode, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x7FFFFFFF) return std::nullopt;
  std::string content(static_cast<size_t>(size.QuadPart), '\0');
  size_t done = 0;
  while (done < content.size()) {
    DWORD got = 0;
    DWORD want = static_cast<DWORD>(std::min<size_t>(content.size() - done, 1u << 20));
    if (!ReadFile(file.get(), &content[done], want, &got, nullptr)) return std::nullopt;
    if (got == 0) break;
    done += got;
  }
  content.resize(done);
  return content;
}

std::vector<std::string> ReadTextLines(const std::string& path) {
  auto content = ReadFileContent(path);
  if (!content) throw CannotOpenFileError(path);
  return SplitLines(*content);
}

void WriteTextLines(const std::string& path, const std::vector<std::string>& lines) {
  std::string content;
  size_t size = 0;
  for (const auto& line : lines) size += line.size() + 2;
  content.reserve(size);
  for (const auto& line : lines) {
    content += line;
    content += "\r\n";
  }
  PrepareTextRewrite(path, content);
  LogLine("Rewrote " + path);
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw CannotCreateFileError(path);
  size_t done = 0;
  while (done < content.size()) {
    DWORD written = 0;
    DWORD want = static_cast<DWORD>(std::min<size_t>(content.size() - done, 1u << 20));
    if (!WriteFile(file.get(), content.data() + done, want, &written, nullptr) || written == 0) {
      file.reset();
      RestoreUnwrittenFile(path);
      throw CannotCreateFileError(path);
    }
    done += written;
  }
}
