// Checking and unpacking the data behind the single-file setup's program image.
#include "single_file.h"

#include <algorithm>
#include <cstring>

#include "crc32.h"
#include "path_utils.h"

namespace {
constexpr char kLayoutMark[] = "OrvSetup\x1a\x01";
constexpr DWORD kLayoutMarkSize = sizeof kLayoutMark - 1;
// Far more than a setup folder holds: larger counts and names come from damaged data.
constexpr DWORD kMaxFiles = 64;
constexpr DWORD kMaxNameLength = MAX_PATH;
constexpr DWORD kBufferSize = 64 * 1024;

// Where this program's image ends in its file: the end of the section that reaches furthest, from the headers the
// loader has mapped with the image.
LONGLONG EndOfImageSections() {
  const BYTE* base = reinterpret_cast<const BYTE*>(GetModuleHandleA(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(headers);
  LONGLONG end = 0;
  for (WORD i = 0; i < headers->FileHeader.NumberOfSections; ++i)
    end = std::max(end, static_cast<LONGLONG>(sections[i].PointerToRawData) + sections[i].SizeOfRawData);
  return end;
}

// Exactly size bytes; a file that ends earlier fails with ERROR_HANDLE_EOF.
bool ReadExactly(HANDLE file, void* buffer, DWORD size) {
  DWORD read = 0;
  if (!ReadFile(file, buffer, size, &read, nullptr)) return false;
  if (read == size) return true;
  SetLastError(ERROR_HANDLE_EOF);
  return false;
}

bool SeekTo(HANDLE file, LONGLONG offset) {
  LARGE_INTEGER position;
  position.QuadPart = offset;
  return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != FALSE;
}

// A name that stays inside the folder it is written into.
bool IsPlainFileName(const std::string& name) {
  return name.find_first_of("\\/:") == std::string::npos && name != "." && name != "..";
}
}  // namespace

bool SingleFileData::Open() {
  files_.clear();
  file_.reset(CreateFileA(ModuleFileName().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  LARGE_INTEGER fileSize;
  if (!file_ || !GetFileSizeEx(file_.get(), &fileSize) || !SeekTo(file_.get(), EndOfImageSections())) return false;
  Crc32 crc;
  auto read = [&](void* buffer, DWORD size) {
    if (!ReadExactly(file_.get(), buffer, size)) return false;
    crc.Add(buffer, size);
    return true;
  };

  char mark[kLayoutMarkSize];
  DWORD count = 0;
  if (!read(mark, kLayoutMarkSize) || std::memcmp(mark, kLayoutMark, kLayoutMarkSize) != 0 ||
      !read(&count, sizeof count) || count == 0 || count > kMaxFiles)
    return false;
  const ULONGLONG available = static_cast<ULONGLONG>(fileSize.QuadPart);
  ULONGLONG contentsSize = 0;
  for (DWORD i = 0; i < count; ++i) {
    File entry;
    DWORD nameLength = 0;
    if (!read(&nameLength, sizeof nameLength) || nameLength == 0 || nameLength > kMaxNameLength) return false;
    entry.name.resize(nameLength);
    if (!read(&entry.name[0], nameLength) || !IsPlainFileName(entry.name) || !read(&entry.size, sizeof entry.size) ||
        entry.size > available - contentsSize)
      return false;
    contentsSize += entry.size;
    files_.push_back(entry);
  }
  LARGE_INTEGER here{};
  if (!SetFilePointerEx(file_.get(), here, &here, FILE_CURRENT)) return false;
  contentsStart_ = here.QuadPart;

  std::vector<BYTE> buffer(kBufferSize);
  for (ULONGLONG left = contentsSize; left > 0;) {
    const DWORD chunk = static_cast<DWORD>(std::min<ULONGLONG>(left, kBufferSize));
    if (!read(buffer.data(), chunk)) return false;
    left -= chunk;
  }
  const DWORD computed = crc.Value();
  DWORD stored = 0;
  return ReadExactly(file_.get(), &stored, sizeof stored) && stored == computed;
}

bool SingleFileData::ExtractTo(const std::string& folder) {
  if (!SeekTo(file_.get(), contentsStart_)) return false;
  std::vector<BYTE> buffer(kBufferSize);
  for (const File& entry : files_) {
    UniqueFile target(CreateFileA((folder + entry.name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!target) return false;
    for (ULONGLONG left = entry.size; left > 0;) {
      const DWORD chunk = static_cast<DWORD>(std::min<ULONGLONG>(left, kBufferSize));
      DWORD written = 0;
      if (!ReadExactly(file_.get(), buffer.data(), chunk) ||
          !WriteFile(target.get(), buffer.data(), chunk, &written, nullptr) || written != chunk)
        return false;
      left -= chunk;
    }
    // Closed here: a write the system defers can still fail.
    if (!CloseHandle(target.release())) return false;
  }
  return true;
}
