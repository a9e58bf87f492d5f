// Whole-file text reading and writing through kernel32 handles.
#include "text_file.h"

#include <windows.h>

#include <algorithm>

#include "setup_error.h"
#include "string_list.h"
#include "unique_handle.h"

std::vector<std::string> ReadTextLines(const std::string& path) {
  UniqueFile file(
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw CannotOpenFileError(path);
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x7FFFFFFF) throw CannotOpenFileError(path);
  std::string content(static_cast<size_t>(size.QuadPart), '\0');
  size_t done = 0;
  while (done < content.size()) {
    DWORD got = 0;
    DWORD want = static_cast<DWORD>(std::min<size_t>(content.size() - done, 1u << 20));
    if (!ReadFile(file.get(), &content[done], want, &got, nullptr)) throw CannotOpenFileError(path);
    if (got == 0) break;
    done += got;
  }
  content.resize(done);
  return SplitLines(content);
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
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw CannotCreateFileError(path);
  size_t done = 0;
  while (done < content.size()) {
    DWORD written = 0;
    DWORD want = static_cast<DWORD>(std::min<size_t>(content.size() - done, 1u << 20));
    if (!WriteFile(file.get(), content.data() + done, want, &written, nullptr) || written == 0)
      throw CannotCreateFileError(path);
    done += written;
  }
}
