// Routed extraction of the product archive with progress display.
#include "rar_extraction.h"

#include <commctrl.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <deque>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <unordered_set>

#include "../resources/resource_ids.h"
#include "change_observer.h"
#include "crc32.h"
#include "entry_writer.h"
#include "message_pump.h"
#include "path_macros.h"
#include "path_utils.h"
#include "progress_updates.h"
#include "registry.h"
#include "registry_names.h"
#include "run_log.h"
#include "setup_error.h"
#include "setup_settings.h"
#include "text_compare.h"
#include "unique_handle.h"

long long RarTotalSize = 0;
long long RarDoneSize = 0;
std::map<std::string, long long> RarSizeByFolder;
HWND RarProgressDialog = nullptr;

namespace {
using NameSet = std::unordered_set<std::string>;

// Help file names, lower case: built on the first use in a pass, so a pass sees the list as it was then.
std::optional<NameSet> helpFileNames;

// The progress display of the walk under way, through which the extracting callback shows its entries; null
// when there is no walk or no dialog.
ProgressUpdates* walkProgress = nullptr;

NameSet LowerCaseNames(const StringList& list) {
  NameSet names;
  names.reserve(list.Count());
  for (const std::string& line : list) names.insert(LowerCaseLocale(line));
  return names;
}

// A help line routes the file named by its name part, or by the whole line.
NameSet HelpFileNames(const StringList& list) {
  NameSet names = LowerCaseNames(list);
  for (const std::string& line : list)
    if (line.find('=') != std::string::npos) names.insert(LowerCaseLocale(NamePart(line)));
  return names;
}

// Windows drops trailing dots and blanks from path components, so ".. " or "..." may climb like "..".
bool IsDotsComponent(const std::string& path, size_t begin, size_t end) {
  int dots = 0;
  for (size_t i = begin; i < end; ++i) {
    if (path[i] == '.')
      ++dots;
    else if (path[i] != ' ')
      return false;
  }
  return dots >= 2;
}

// A file of the help list goes to the help folder, when there is one.
bool IsRoutedHelpFile(const RARHeaderData& header) {
  if (SetupSettings.HelpDir.empty() || IsRarFolderEntry(header)) return false;
  if (!helpFileNames) helpFileNames = HelpFileNames(SetupSettings.HelpFiles);
  return helpFileNames->count(LowerCaseLocale(ExtractFileName(RarEntryPath(header)))) != 0;
}

void LogEntry(const std::string& entryPath, int operation, bool isFolder, bool recorded, const std::string& target,
              int result, DWORD systemError) {
  if (operation != RAR_EXTRACT)
    LogLine("Skipped " + entryPath);
  else if (systemError != 0)
    LogLine(FormatText("Failed %s: %s could not be %s: %s", entryPath.c_str(), target.c_str(),
                       result == ERAR_ECREATE ? "created" : "written", Win32ErrorText(systemError).c_str()));
  else if (result != ERAR_SUCCESS)
    LogLine(FormatText("Failed %s: the library reported error %d", entryPath.c_str(), result));
  else if (isFolder)
    LogLine("Folder " + entryPath + " -> " + target);
  else
    LogLine("Extracted " + entryPath + " -> " + target +
            (recorded ? "" : " (not recorded: the file there was not put there by an installation)"));
}

void SendToProgressControl(int controlId, UINT message, WPARAM wParam, LPARAM lParam) {
  if (RarProgressDialog != nullptr) SendDlgItemMessageA(RarProgressDialog, controlId, message, wParam, lParam);
}

// Targets outside the destination (system and help folder) may belong to someone else: a file that exists
// and has no install counter was not put there by an installation of ours, so it is not recorded. A target
// that this pass found free stays ours when a later entry with the same bare name replaces it.
class ForeignTargetCheck {
 public:
  bool IsForeign(const std::string& target) {
    std::string key = LowerCaseLocale(target);
    if (ownTargets_.count(key) != 0) return false;
    if (FileExists(target)) {
      if (!counters_) counters_ = RegistryKey::Open(HKEY_CURRENT_USER, kInstalledFilesKey, KEY_QUERY_VALUE);
      if (!counters_->ValueExists(target)) return true;
    }
    ownTargets_.insert(key);
    return false;
  }

 private:
  NameSet ownTargets_;
  std::optional<RegistryKey> counters_;
};

// An entry the walk hands on, and what it does once the entry's file is written or known to have failed.
struct WalkEntry {
  std::string entryPath;
  std::string target;
  int operation;
  bool isFolder;
  bool record;         // its target goes into the files list
  bool recordedInLog;  // the log does not call it "not recorded"
};

// Logs and records the entry; a file that was not written gives back what was there. False when it failed.
bool SettleEntry(const WalkEntry& entry, int result, StringList* files, bool logEntries, DWORD systemError = 0) {
  const bool failed = result != ERAR_SUCCESS;
  if (failed && entry.operation == RAR_EXTRACT && !entry.isFolder) RestoreUnwrittenFile(entry.target);
  if (logEntries)
    LogEntry(entry.entryPath, entry.operation, entry.isFolder, entry.recordedInLog, entry.target, result, systemError);
  if (entry.record) files->Add(entry.target);
  return !failed;
}

// Folders are made once: a folder this walk made or found stays known, so its files do not ask again.
class FolderCreation {
 public:
  explicit FolderCreation(StringList* folders) : folders_(folders) {}
  void Ensure(const std::string& folder) {
    if (known_.insert(LowerCaseLocale(folder)).second) ForceDirectoriesRecorded(folder, folders_);
  }

 private:
  StringList* folders_;
  NameSet known_;
};

// Names the writer gives exactly as the library would: no character Windows refuses or the library replaces, no
// component ending in a blank or a dot, no device name; everything else is left to the library.
bool IsPlainName(const std::wstring& name) {
  size_t begin = 0;
  for (;;) {
    size_t end = name.find(L'\\', begin);
    if (end == std::wstring::npos) end = name.size();
    if (end == begin || name[end - 1] == L' ' || name[end - 1] == L'.') return false;
    for (size_t i = begin; i < end; ++i)
      if (name[i] < 32 || wcschr(L"\"*/:<>?|", name[i]) != nullptr) return false;
    std::wstring start = name.substr(begin, 3);
    CharUpperBuffW(&start[0], static_cast<DWORD>(start.size()));
    const wchar_t next = end - begin > 3 ? name[begin + 3] : L'.';
    if ((start == L"CON" || start == L"PRN" || start == L"AUX" || start == L"NUL" || start == L"COM" ||
         start == L"LPT") &&
        (next == L'.' || iswdigit(next)))
      return false;
    if (end == name.size()) return true;
    begin = end + 1;
  }
}

// The file the writer makes of the entry, when it can make it as the library would; links and names the library
// changes are left to the library.
std::optional<EntryFile> StreamedEntryFile(const RARHeaderDataEx& header, const std::string& destPath,
                                           const std::string& destName) {
  if (header.RedirType != 0) return std::nullopt;
  std::wstring name(header.FileNameW, wcsnlen(header.FileNameW, std::size(header.FileNameW)));
  std::replace(name.begin(), name.end(), L'/', L'\\');
  EntryFile file;
  file.path = destName.empty() ? WideFromAnsi(AddTrailingBackslash(destPath)) + name : WideFromAnsi(destName);
  if (!IsPlainName(destName.empty() ? name : WideFromAnsi(ExtractFileName(destName))) || file.path.size() >= MAX_PATH)
    return std::nullopt;
  file.modified.dwLowDateTime = header.MtimeLow;
  file.modified.dwHighDateTime = header.MtimeHigh;
  // Attributes of another system's archive are not Windows attributes: such a file gets the plain archive bit.
  const bool windowsHost =
      header.HostOS == RAR_HOST_MSDOS || header.HostOS == RAR_HOST_OS2 || header.HostOS == RAR_HOST_WIN32;
  file.attributes = windowsHost ? header.FileAttr : FILE_ATTRIBUTE_ARCHIVE;
  return file;
}

// The writer that the library's data goes to while it unpacks an entry of the walk; null outside.
EntryWriter* dataSink = nullptr;

int WINAPI TakeEntryData(unsigned char* data, int size) {
  return dataSink != nullptr && size >= 0 && dataSink->Write(data, static_cast<size_t>(size)) ? 1 : 0;
}

// The walk's files, unpacked by the library in its test mode and written by the writer threads meanwhile. Each
// entry is settled (logged, recorded, restored on failure) once its file is written, in the archive's order.
class StreamedFiles {
 public:
  // Data waiting for the writers never takes more than this, however large the files.
  static constexpr size_t kBufferLimit = 8u << 20;
  // A third writer was no faster on two cores: under Wine every new file waits for the server's open of it anyway.
  static constexpr int kWriters = 2;

  StreamedFiles(HANDLE archive, StringList* files, bool logEntries)
      : files_(files), logEntries_(logEntries), writer_(output_, kBufferLimit, kWriters) {
    dataSink = &writer_;
    SetRarDataProc(archive, TakeEntryData);
  }
  ~StreamedFiles() { dataSink = nullptr; }
  StreamedFiles(const StreamedFiles&) = delete;
  StreamedFiles& operator=(const StreamedFiles&) = delete;

  // True while the writers have still to write this target.
  bool Writes(const std::string& target) const { return pendingTargets_.count(LowerCaseLocale(target)) != 0; }

  // The current entry unpacked into its file; false when it or an entry before it failed.
  bool Extract(HANDLE archive, const WalkEntry& entry, EntryFile file) {
    pending_.push_back({entry, ERAR_SUCCESS});
    pendingTargets_.insert(LowerCaseLocale(entry.target));
    writer_.Begin(std::move(file));
    const int result = ProcessRarFile(archive, RAR_TEST, std::string(), std::string());
    pending_.back().libraryResult = result;
    writer_.End(result == ERAR_SUCCESS);
    return SettleFinished(result != ERAR_SUCCESS);
  }

  // Settles the entries whose files are done (wait: all of them); false once one of them failed. What the walk
  // would not have reached after a failure (another writer may have written it meanwhile) is taken back.
  bool SettleFinished(bool wait) {
    while (auto outcome = writer_.TakeOutcome(wait)) {
      const Pending entry = std::move(pending_.front());
      pending_.pop_front();
      pendingTargets_.erase(pendingTargets_.find(LowerCaseLocale(entry.walk.target)));
      if (failed_) {
        RestoreUnwrittenFile(entry.walk.target);
        continue;
      }
      switch (outcome->first) {
        case EntryOutcome::kWritten:
          SettleEntry(entry.walk, ERAR_SUCCESS, files_, logEntries_);
          break;
        case EntryOutcome::kDiscarded:
          failed_ = !SettleEntry(entry.walk, entry.libraryResult, files_, logEntries_);
          break;
        case EntryOutcome::kNotCreated:
        case EntryOutcome::kNotWritten:
          SettleEntry(entry.walk, outcome->first == EntryOutcome::kNotCreated ? ERAR_ECREATE : ERAR_EWRITE, files_,
                      logEntries_, outcome->second);
          failed_ = true;
          break;
        case EntryOutcome::kSkipped:
          // An entry before it failed: only what was there comes back.
          RestoreUnwrittenFile(entry.walk.target);
          failed_ = true;
          break;
      }
    }
    return !failed_;
  }

  // After an error on the walk's thread: the files handed on are finished and settled; a failure on the way is
  // left to the undo that follows the error.
  void SettleAfterError() noexcept {
    try {
      SettleFinished(true);
    } catch (...) {
      while (writer_.TakeOutcome(true)) {
      }
    }
  }

 private:
  struct Pending {
    WalkEntry walk;
    int libraryResult;
  };
  StringList* files_;
  const bool logEntries_;
  DiskOutput output_;
  EntryWriter writer_;
  std::deque<Pending> pending_;
  std::unordered_multiset<std::string> pendingTargets_;
  bool failed_ = false;
};
}  // namespace

void ShowProgressStatus(const std::string& text) {
  SendToProgressControl(IDC_STATUS_TEXT, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool IsListedHelpFile(const std::string& fileName, const StringList& helpFiles) {
  return HelpFileNames(helpFiles).count(LowerCaseLocale(fileName)) != 0;
}

bool IsRarFolderEntry(const RARHeaderData& header) {
  if ((header.Flags & RHDF_DIRECTORY) != 0) return true;
  switch (header.HostOS) {
    case RAR_HOST_MSDOS:
    case RAR_HOST_OS2:
    case RAR_HOST_WIN32:
      return (header.FileAttr & FILE_ATTRIBUTE_DIRECTORY) != 0;
    case RAR_HOST_UNIX:
    case RAR_HOST_BEOS:
      return (header.FileAttr & 0xF000) == 0x4000;  // S_IFDIR
    default:
      return false;
  }
}

bool RarArchiveEndsWithEndBlock(const std::string& archiveName) {
  UniqueFile file(CreateFileA(archiveName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  static const unsigned char kRar5Signature[8] = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x01, 0x00};
  unsigned char head[8] = {};
  DWORD got = 0;
  if (!ReadFile(file.get(), head, sizeof head, &got, nullptr)) return false;
  // Older formats (and self-extracting archives) may close without the block: the walk's own result stands.
  if (got != sizeof head || memcmp(head, kRar5Signature, sizeof head) != 0) return true;
  // CRC32 of the fields, their size (3), type 5 (end of archive), header flags, end-of-archive flags.
  unsigned char tail[8] = {};
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 16) return false;
  LARGE_INTEGER offset{};
  offset.QuadPart = size.QuadPart - static_cast<LONGLONG>(sizeof tail);
  if (!SetFilePointerEx(file.get(), offset, nullptr, FILE_BEGIN) ||
      !ReadFile(file.get(), tail, sizeof tail, &got, nullptr) || got != sizeof tail)
    return false;
  const uint32_t stored = tail[0] | (tail[1] << 8) | (tail[2] << 16) | (static_cast<uint32_t>(tail[3]) << 24);
  Crc32 crc;
  crc.Add(tail + 4, 4);
  return tail[4] == 3 && tail[5] == 5 && stored == crc.Value();
}

bool IsUnsafeRarEntryPath(const std::string& entryPath) {
  if (entryPath.empty()) return false;
  if (entryPath[0] == '\\' || entryPath[0] == '/' || entryPath.find(':') != std::string::npos) return true;
  size_t begin = 0;
  for (;;) {
    size_t end = entryPath.find_first_of("\\/", begin);
    if (end == std::string::npos) end = entryPath.size();
    if (IsDotsComponent(entryPath, begin, end)) return true;
    if (end == entryPath.size()) return false;
    begin = end + 1;
  }
}

void ForceDirectoriesRecorded(const std::string& path, StringList* folders) {
  std::string folder = StripTrailingBackslash(path);
  std::string parent = ExtractFilePath(folder);
  if (folder.size() < 3 || FolderExists(folder) || parent == folder) return;
  ForceDirectoriesRecorded(parent, folders);
  PrepareFolderCreation(folder);
  CreateDirectoryA(folder.c_str(), nullptr);
  if (folders != nullptr) folders->Add(folder);
}

bool ExtractRarArchive(const std::string& archiveName, const std::string& destDir, TRarEntryCallback callback,
                       StringList* files, StringList* folders, const StringList* systemFiles, unsigned int openMode) {
  UniqueRarArchive archive(OpenRarArchive(archiveName, openMode));
  if (!archive) return false;
  helpFileNames.reset();
  // A repaint per entry would cost more than small entries take to unpack: the dialog follows at the screen's
  // pace, and what is held back (the last entry and the final position) is sent when the walk ends.
  std::optional<ProgressUpdates> progress;
  if (RarProgressDialog != nullptr) progress.emplace(RarProgressDialog, IDC_STATUS_TEXT, IDC_PROGRESS_BAR);
  walkProgress = progress ? &*progress : nullptr;
  auto forgetProgress = ScopeExit([] { walkProgress = nullptr; });
  const std::string systemDir = SystemDir();
  const NameSet systemNames = systemFiles != nullptr ? LowerCaseNames(*systemFiles) : NameSet();
  ForeignTargetCheck foreignTargets;
  FolderCreation folderCreation(folders);
  // The extracting pass tells the log where every entry went; the counting pass only reads headers.
  const bool logEntries = RunLogIsOpen() && openMode == RAR_OM_EXTRACT;
  std::optional<StreamedFiles> streamed;
  if (openMode == RAR_OM_EXTRACT && RarLibraryStreamsData()) streamed.emplace(archive.get(), files, logEntries);
  bool filesIntoDestDir = false;
  bool damaged = false;

  RARHeaderData header;
  auto extended = std::make_unique<RARHeaderDataEx>();
  int readResult;
  auto readHeader = [&] {
    return streamed ? ReadRarHeaderEx(archive.get(), header, *extended) : ReadRarHeader(archive.get(), header);
  };
  try {
    while ((readResult = readHeader()) == ERAR_SUCCESS) {
      const std::string entryPath = RarEntryPath(header);
      if (IsUnsafeRarEntryPath(entryPath)) {
        if (logEntries) LogLine("Skipped " + entryPath + ": its path leaves the destination");
        damaged = ProcessRarFile(archive.get(), RAR_SKIP, std::string(), std::string()) != ERAR_SUCCESS;
        if (damaged) break;
        continue;
      }
      const std::string bareName = ExtractFileName(entryPath);
      const bool isFolder = IsRarFolderEntry(header);
      const bool isSystem = !isFolder && systemNames.count(LowerCaseLocale(bareName)) != 0;
      std::string destPath = isSystem ? systemDir : destDir;
      std::string destName;
      const int operation = callback != nullptr ? callback(header, destPath, destName) : RAR_EXTRACT;

      if (isSystem) {
        destName = AddTrailingBackslash(destPath) + bareName;
      } else if (!isFolder && folders != nullptr) {
        folderCreation.Ensure(AddTrailingBackslash(destPath) + ExtractFilePath(entryPath));
      }
      WalkEntry entry{entryPath, !destName.empty() ? destName : AddTrailingBackslash(destPath) + entryPath,
                      operation, isFolder,
                      false,     false};
      std::optional<EntryFile> streamedFile;
      if (streamed && operation == RAR_EXTRACT && !isFolder)
        streamedFile = StreamedEntryFile(*extended, destPath, destName);
      // Whatever the library writes itself, and a file the writer still has to write, waits for the writer.
      if (streamed && operation == RAR_EXTRACT && (!streamedFile || streamed->Writes(entry.target)) &&
          !streamed->SettleFinished(true)) {
        damaged = true;
        break;
      }
      entry.record = !isFolder && files != nullptr && (destName.empty() || !foreignTargets.IsForeign(destName));
      entry.recordedInLog = destName.empty() || entry.record;
      if (!isFolder && operation == RAR_EXTRACT && destName.empty()) filesIntoDestDir = true;

      if (operation == RAR_EXTRACT) {
        if (isFolder)
          PrepareFolderCreation(entry.target);
        else
          PrepareFileForWriting(entry.target);
      }
      // A file that could not be created or written (a full drive, say) fails the extraction as a damaged archive
      // does: an installation with a file missing is no installation.
      if (streamedFile)
        damaged = !streamed->Extract(archive.get(), entry, std::move(*streamedFile));
      else
        damaged = !SettleEntry(entry, ProcessRarFile(archive.get(), operation, destPath, destName), files, logEntries);
      if (damaged) break;
      PumpPendingMessages();
    }
    if (streamed && !streamed->SettleFinished(true)) damaged = true;
  } catch (...) {
    // What was handed to the writer is written, and settled, before the error passes on.
    if (streamed) streamed->SettleAfterError();
    throw;
  }
  if (readResult != ERAR_SUCCESS && readResult != ERAR_END_ARCHIVE) {
    if (logEntries)
      LogLine(FormatText("The archive's next header could not be read: the library reported error %d", readResult));
    damaged = true;
  }
  // The library also reports the end when the file just stops, inside a header or right after an entry.
  if (readResult == ERAR_END_ARCHIVE && !RarArchiveEndsWithEndBlock(archiveName)) damaged = true;
  if (damaged) return false;
  return !filesIntoDestDir || FolderExists(destDir);
}

int CountRarEntry(const RARHeaderData& header, std::string& destPath, std::string&) {
  RarTotalSize += header.UnpSize;
  if (!IsRarFolderEntry(header))
    RarSizeByFolder[IsRoutedHelpFile(header) ? SetupSettings.HelpDir : destPath] += header.UnpSize;
  return RAR_SKIP;
}

int ExtractRarEntry(const RARHeaderData& header, std::string&, std::string& destName) {
  const std::string entryPath = RarEntryPath(header);
  RarDoneSize += header.UnpSize;
  if (walkProgress != nullptr) {
    // An entry worth a percent of the bar or more takes a while to unpack: it is shown before that starts.
    const bool large = static_cast<long long>(header.UnpSize) * 100 >= RarTotalSize;
    walkProgress->Show(entryPath, static_cast<WPARAM>(RarProgressPosition(RarDoneSize)), large);
  }

  if (IsRoutedHelpFile(header)) destName = SetupSettings.HelpDir + ExtractFileName(entryPath);
  return RAR_EXTRACT;
}

void CountRarArchive(const std::string& archiveName, const std::string& destDir) {
  ExtractRarArchive(archiveName, destDir, CountRarEntry, nullptr, nullptr, nullptr, RAR_OM_LIST);
  SendToProgressControl(IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, RarProgressPosition(RarTotalSize));
}

int RarProgressPosition(long long size) {
  int shift = 0;
  while ((RarTotalSize >> shift) > INT_MAX) ++shift;
  long long position = size >> shift;
  return position > INT_MAX ? INT_MAX : static_cast<int>(position);
}
