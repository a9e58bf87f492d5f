// The installation's journal: records written before each change, undone in reverse order.
#include "install_journal.h"

#include <shlobj.h>

#include <cstdlib>
#include <vector>

#include "message_box.h"
#include "path_utils.h"
#include "registry.h"
#include "run_log.h"
#include "setup_error.h"
#include "shared_texts.h"
#include "text_compare.h"
#include "text_file.h"

namespace {
constexpr const char* kJournalName = "install.journal";
// The journal's name once the installation committed: renaming is one change of the folder, which file systems that
// journal their own changes keep in order with the deletions after it, so no flush to the disk is needed.
constexpr const char* kCommittedName = "install.committed";
// Held open, and shared with nobody, by the program working in the folder; the system deletes it when it is closed,
// also when the program is killed.
constexpr const char* kLockName = "install.lock";
// Tells that a program of ours created the folder's parent, which then goes with the folder.
constexpr const char* kParentMarkerName = "parent.created";
// Fields are separated by tabs; a tab, line break, '%' or other control character inside one is written %XX.
constexpr char kSeparator = '\t';
// At most this many paths in the box that names what could not be restored.
constexpr size_t kNotRestoredShown = 20;

using Fields = std::vector<std::string>;

std::string Escape(const std::string& text) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (c < ' ' || c == '%') {
      out += '%';
      out += digits[c >> 4];
      out += digits[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string Record(const Fields& fields) {
  std::string line;
  for (const std::string& field : fields) {
    if (!line.empty()) line += kSeparator;
    line += Escape(field);
  }
  return line;
}

Fields SplitFields(const std::string& line) {
  Fields fields;
  size_t start = 0;
  for (;;) {
    size_t end = line.find(kSeparator, start);
    fields.push_back(Unescape(line.substr(start, end == std::string::npos ? std::string::npos : end - start)));
    if (end == std::string::npos) return fields;
    start = end + 1;
  }
}

// What a change made, as the journal compares it later: the bytes' length and a 64-bit FNV-1a hash.
std::string ContentHash(const std::string& bytes) {
  unsigned long long hash = 14695981039346656037ull;
  for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
  return FormatText("%u:%016llx", static_cast<unsigned>(bytes.size()), hash);
}

// The journal names the two roots the installation writes to.
std::string RootName(HKEY root) { return root == HKEY_LOCAL_MACHINE ? "HKLM" : "HKCU"; }
HKEY RootFromName(const std::string& name) { return name == "HKLM" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

// A key path as the journal keeps it: without backslashes at its ends.
std::string StripBackslashes(std::string path) {
  while (!path.empty() && path.back() == '\\') path.pop_back();
  while (!path.empty() && path.front() == '\\') path.erase(0, 1);
  return path;
}

// A key as the journal's sets know it.
std::string KeyId(HKEY root, const std::string& keyPath) {
  return RootName(root) + "\\" + LowerCaseLocale(StripBackslashes(keyPath));
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The files directly in the folder, with their creation times.
std::vector<std::pair<std::string, unsigned long long>> FilesWithTimesIn(const std::string& folder) {
  std::vector<std::pair<std::string, unsigned long long>> files;
  WIN32_FIND_DATAA found;
  UniqueFind find(FindFirstFileA((AddTrailingBackslash(folder) + "*").c_str(), &found));
  if (!find) return files;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
      files.emplace_back(found.cFileName, (static_cast<unsigned long long>(found.ftCreationTime.dwHighDateTime) << 32) |
                                              found.ftCreationTime.dwLowDateTime);
  } while (FindNextFileA(find.get(), &found));
  return files;
}

std::vector<std::string> FileNamesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& file : FilesWithTimesIn(folder)) names.push_back(file.first);
  return names;
}

unsigned long long Now() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

std::string JournalPathIn(const std::string& folder) { return folder + kJournalName; }
std::string CommittedPathIn(const std::string& folder) { return folder + kCommittedName; }

std::string WithReason(const std::string& text, DWORD error) {
  const std::string reason = Win32ErrorText(error);
  return reason.empty() ? text : text + ": " + reason;
}

enum class UndoResult {
  kDone,
  // Not undone: named to the user, kept in the journal for the next start.
  kFailed,
  // A folder or key that stays only because something that failed is still in it: kept without a word.
  kPending,
};

// Undoes records in reverse order, collecting what could not be restored.
class Undoer {
 public:
  UndoResult Undo(const Fields& f) {
    const std::string& kind = f[0];
    if (kind == "created" && f.size() >= 2) return UndoCreated(f[1]);
    if (kind == "replaced" && f.size() >= 3) return UndoReplaced(f[1], f[2]);
    if (kind == "tooladded" && f.size() >= 2) return UndoToolAdded(f);
    if (kind == "outputs" && f.size() >= 2) return UndoToolOutputs(f);
    if (kind == "folder" && f.size() >= 2) return UndoFolder(f[1]);
    if (kind == "key" && f.size() >= 3) return UndoKey(RootFromName(f[1]), f[2]);
    if (kind == "value" && f.size() >= 7) return UndoValue(f);
    if (kind == "text" && f.size() >= 3) return UndoText(f);
    return UndoResult::kDone;
  }

  const std::vector<std::string>& NotRestored() const { return notRestored_; }

 private:
  UndoResult Failed(const std::string& what, DWORD error) {
    LogLine(WithReason("Undo: could not restore " + what, error) + "; kept for the next start");
    notRestored_.push_back(what);
    return UndoResult::kFailed;
  }

  UndoResult DeleteAdded(const std::string& path) {
    if (DeleteFileEvenReadOnly(path)) {
      LogLine("Undo: deleted " + path);
      return UndoResult::kDone;
    }
    const DWORD error = GetLastError();
    return Exists(path) ? Failed(path, error) : UndoResult::kDone;
  }

  UndoResult UndoCreated(const std::string& path) { return DeleteAdded(path); }

  UndoResult UndoReplaced(const std::string& path, const std::string& aside) {
    // A record written just before a move that never happened (or one already undone) has nothing aside.
    if (!Exists(aside)) return UndoResult::kDone;
    if (!DeleteFileEvenReadOnly(path)) {
      const DWORD error = GetLastError();
      if (Exists(path)) return Failed(path, error);
    }
    if (!MoveFileA(aside.c_str(), path.c_str())) return Failed(path, GetLastError());
    LogLine("Undo: moved back " + path);
    return UndoResult::kDone;
  }

  UndoResult UndoToolAdded(const Fields& f) {
    toolsUndone_.insert(LowerCaseLocale(f[1]));
    UndoResult result = UndoResult::kDone;
    for (size_t i = 2; i < f.size(); ++i)
      if (DeleteAdded(AddTrailingBackslash(f[1]) + f[i]) == UndoResult::kFailed) result = UndoResult::kFailed;
    return result;
  }

  // A tool's run whose added files were recorded is undone by that record. Without it the setup stopped while the
  // tool ran: the files it did not find before, made since the tool started, are the tool's.
  UndoResult UndoToolOutputs(const Fields& f) {
    if (toolsUndone_.erase(LowerCaseLocale(f[1])) != 0 || f.size() < 3) return UndoResult::kDone;
    const unsigned long long started = std::strtoull(f[2].c_str(), nullptr, 10);
    std::unordered_set<std::string> before;
    for (size_t i = 3; i < f.size(); ++i) before.insert(LowerCaseLocale(f[i]));
    UndoResult result = UndoResult::kDone;
    for (const auto& [name, created] : FilesWithTimesIn(f[1]))
      if (before.count(LowerCaseLocale(name)) == 0 && created >= started &&
          DeleteAdded(AddTrailingBackslash(f[1]) + name) == UndoResult::kFailed)
        result = UndoResult::kFailed;
    return result;
  }

  // Only when empty: what others put there stays.
  UndoResult UndoFolder(const std::string& path) {
    if (RemoveDirectoryA(path.c_str())) {
      LogLine("Undo: removed folder " + path);
      return UndoResult::kDone;
    }
    return FolderExists(path) && !notRestored_.empty() ? UndoResult::kPending : UndoResult::kDone;
  }

  UndoResult UndoKey(HKEY root, const std::string& path) {
    RegistryKey key = RegistryKey::Open(root, path, KEY_READ);
    if (!key.valid()) return UndoResult::kDone;
    if (key.ValueCount() != 0 || key.SubKeyCount() != 0)
      return notRestored_.empty() ? UndoResult::kDone : UndoResult::kPending;
    key.Close();
    if (RegDeleteKeyA(root, path.c_str()) == ERROR_SUCCESS)
      LogLine("Undo: deleted key " + RootName(root) + "\\" + path);
    return UndoResult::kDone;
  }

  // f: value, root, key, name, had an old value ("1"/"0"), old type, old data, and what the installation set: the
  // new type and the hash of its data, or "-" for a deletion (absent in journals of earlier setups: undone always).
  UndoResult UndoValue(const Fields& f) {
    const HKEY root = RootFromName(f[1]);
    const std::string shown = RootName(root) + "\\" + f[2] + "\\" + f[3];
    RegistryKey key = RegistryKey::Open(root, f[2], KEY_QUERY_VALUE | KEY_SET_VALUE);
    if (!key.valid()) return UndoResult::kDone;
    const bool hadOld = f[4] == "1";
    const DWORD oldType = std::strtoul(f[5].c_str(), nullptr, 10);
    const std::optional<RegistryValue> current = key.ReadRaw(f[3]);
    if (f.size() >= 8) {
      const std::string currentState =
          current ? FormatText("%lu ", current->type) + ContentHash(current->data) : std::string("-");
      if (currentState != f[7]) {
        const bool asBefore = hadOld ? current && current->type == oldType && current->data == f[6] : !current;
        if (!asBefore) LogLine("Undo: left " + shown + " as it is: it changed since the installation wrote it");
        return UndoResult::kDone;
      }
    }
    LONG status;
    if (hadOld)
      status = RegSetValueExA(key.get(), f[3].c_str(), 0, oldType, reinterpret_cast<const BYTE*>(f[6].data()),
                              static_cast<DWORD>(f[6].size()));
    else
      status = current ? RegDeleteValueA(key.get(), f[3].c_str()) : ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) return Failed(shown, static_cast<DWORD>(status));
    LogLine((hadOld ? "Undo: wrote back " : "Undo: deleted value ") + shown);
    return UndoResult::kDone;
  }

  // f: text, path, kept copy ("" when there was no file), and the hash of what the installation wrote (absent in
  // journals of earlier setups: undone always).
  UndoResult UndoText(const Fields& f) {
    const std::string& path = f[1];
    const std::string& kept = f[2];
    if (!kept.empty() && !Exists(kept)) return UndoResult::kDone;
    if (f.size() >= 4) {
      const std::optional<std::string> current = ReadFileContent(path);
      if (!current || ContentHash(*current) != f[3]) {
        const std::optional<std::string> old = kept.empty() ? std::nullopt : ReadFileContent(kept);
        if (current != old) LogLine("Undo: left " + path + " as it is: it changed since the installation wrote it");
        return UndoResult::kDone;
      }
    }
    if (kept.empty()) return DeleteAdded(path);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!CopyFileA(kept.c_str(), path.c_str(), FALSE)) return Failed(path, GetLastError());
    LogLine("Undo: restored " + path);
    return UndoResult::kDone;
  }

  std::vector<std::string> notRestored_;
  // Lower case: folders whose tool run was undone through its record of the files it added.
  std::unordered_set<std::string> toolsUndone_;
};

// What a record kept aside, which goes once the record is undone or committed.
std::string KeptAside(const Fields& f) {
  if ((f[0] == "replaced" || f[0] == "text") && f.size() >= 3) return f[2];
  return std::string();
}

std::vector<Fields> ReadRecords(const std::string& journalPath) {
  std::vector<Fields> records;
  std::optional<std::string> content = ReadFileContent(journalPath);
  if (!content) return records;
  size_t start = 0;
  // A line cut short by a kill has no line break: the change it announced never began.
  for (size_t end; (end = content->find("\r\n", start)) != std::string::npos; start = end + 2) {
    if (end > start) records.push_back(SplitFields(content->substr(start, end - start)));
  }
  return records;
}

// Replaces the journal by the records given, through a new file renamed over it: a kill meanwhile leaves the whole
// old journal, whose undo can run again.
void RewriteJournal(const std::string& journalPath, const std::vector<Fields>& records) {
  const std::string newPath = journalPath + ".new";
  std::string content;
  for (const Fields& record : records) content += Record(record) + "\r\n";
  {
    UniqueFile file(
        CreateFileA(newPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file || !WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr) ||
        written != content.size() || !FlushFileBuffers(file.get())) {
      file.reset();
      DeleteFileA(newPath.c_str());
      return;
    }
  }
  if (!MoveFileExA(newPath.c_str(), journalPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    DeleteFileA(newPath.c_str());
}

// Finishes a commit: what the records kept aside goes (a file moved aside whose place stayed empty comes back
// instead), then the journal file itself.
void FinishCommit(const std::string& journalPath) {
  for (const auto& record : ReadRecords(journalPath)) {
    const std::string aside = KeptAside(record);
    if (aside.empty() || !Exists(aside)) continue;
    if (record[0] == "replaced" && !Exists(record[1]) && MoveFileA(aside.c_str(), record[1].c_str())) {
      LogLine("Moved back " + record[1] + ": nothing was written in its place");
      continue;
    }
    std::string outcome;
    if (!DeleteFileNowOrAtRestart(aside, outcome)) LogLine(outcome);
  }
  DeleteFileA(journalPath.c_str());
}

// Undoes the journal's records in reverse order. What was undone goes with what it kept aside; what could not be
// undone stays in the journal, whose header is kept, and is returned.
std::vector<std::string> UndoJournal(const std::string& journalPath) {
  const std::vector<Fields> records = ReadRecords(journalPath);
  Undoer undoer;
  std::vector<bool> keep(records.size(), false);
  bool anyKept = false;
  for (size_t i = records.size(); i-- > 0;) {
    if (records[i][0] == "journal") {
      keep[i] = true;
      continue;
    }
    if (undoer.Undo(records[i]) != UndoResult::kDone) {
      keep[i] = anyKept = true;
      continue;
    }
    const std::string aside = KeptAside(records[i]);
    if (!aside.empty()) DeleteFileEvenReadOnly(aside);
  }
  if (!anyKept) {
    DeleteFileA(journalPath.c_str());
    return {};
  }
  std::vector<Fields> left;
  for (size_t i = 0; i < records.size(); ++i)
    if (keep[i]) left.push_back(records[i]);
  RewriteJournal(journalPath, left);
  return undoer.NotRestored();
}
}  // namespace

std::optional<JournalLock> JournalLock::Acquire(const std::string& folder) {
  const std::string withBackslash = AddTrailingBackslash(folder);
  // The folder and its parent, below a folder that exists (the user's Local Application Data).
  const std::string parent = ExtractFilePath(StripTrailingBackslash(withBackslash));
  if (CreateDirectoryA(parent.c_str(), nullptr)) {
    CreateDirectoryA(withBackslash.c_str(), nullptr);
    UniqueFile marker(CreateFileA((withBackslash + kParentMarkerName).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  } else {
    CreateDirectoryA(withBackslash.c_str(), nullptr);
  }
  const std::string lockPath = withBackslash + kLockName;
  UniqueFile file(CreateFileA(lockPath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!file) {
    const DWORD error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION) return std::nullopt;
    throw CannotCreateFileError(lockPath, error);
  }
  return JournalLock(withBackslash, std::move(file));
}

JournalLock::~JournalLock() {
  if (!file_) return;
  file_.reset();
  // A journal left for the next start keeps the folder, and the marker of its parent with it.
  const std::string marker = folder_ + kParentMarkerName;
  const bool parentIsOurs = Exists(marker);
  if (parentIsOurs && FileNamesIn(folder_).size() == 1) DeleteFileA(marker.c_str());
  if (RemoveDirectoryA(folder_.c_str()) && parentIsOurs)
    RemoveDirectoryA(ExtractFilePath(StripTrailingBackslash(folder_)).c_str());
}

InstallJournal::InstallJournal(const std::string& folder, const std::string& appName)
    : folder_(AddTrailingBackslash(folder)), journalPath_(JournalPathIn(folder_)) {
  // CREATE_NEW: a journal already there belongs to an installation that must be finished first.
  file_.reset(CreateFileA(journalPath_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file_.valid()) throw CannotCreateFileError(journalPath_);
  Append(Record({"journal", "1", appName}), true);
}

InstallJournal::~InstallJournal() {
  if (ActiveChangeObserver() == this) SetActiveChangeObserver(nullptr);
}

void InstallJournal::Append(const std::string& record, bool flush) {
  // One write a record: the system has it before the change begins, so a killed process loses nothing. Flushing to
  // the disk as well costs milliseconds a record, so only the start is flushed: after a power cut a file moved aside
  // and not named stays beside its place under its aside name, not lost.
  std::string line = record + "\r\n";
  DWORD written = 0;
  if (!WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
      written != line.size())
    throw CannotCreateFileError(journalPath_);
  if (flush) FlushFileBuffers(file_.get());
}

std::string InstallJournal::AsideName(const std::string& path) {
  // Next to the file under a name of its own; where that would be too long for a path, a short name in its folder.
  for (;;) {
    ++keptCount_;
    std::string aside = path + FormatText(".orv-%u-%lu", keptCount_, GetCurrentProcessId());
    if (aside.size() >= MAX_PATH) aside = ExtractFilePath(path) + FormatText("~%u", keptCount_);
    if (!Exists(aside)) return aside;
  }
}

bool InstallJournal::FileWillBeWritten(const std::string& path) {
  // In a folder this installation created every file is new: no need to look.
  const size_t slash = path.find_last_of('\\');
  const bool inCreatedFolder =
      slash != std::string::npos && createdFolders_.count(LowerCaseLocale(path.substr(0, slash))) != 0;
  if (inCreatedFolder || !FileExists(path)) {
    Append(Record({"created", path}), false);
    return true;
  }
  const std::string aside = AsideName(path);
  // Recorded first: a kill between the record and the move leaves a record whose aside file does not exist, which
  // undo passes over.
  Append(Record({"replaced", path, aside}), false);
  if (MoveFileA(path.c_str(), aside.c_str())) {
    movedAside_[LowerCaseLocale(path)] = aside;
    return true;
  }
  const DWORD error = GetLastError();
  // Held open by a program: closing it helps. Access denied never changes by asking again.
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return false;
  throw CannotCreateFileError(path, error);
}

void InstallJournal::FileWasNotWritten(const std::string& path) {
  const auto text = keptTexts_.find(LowerCaseLocale(path));
  if (text != keptTexts_.end() && !text->second.empty()) {
    // A text file written in part gets its old content back.
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!CopyFileA(text->second.c_str(), path.c_str(), FALSE)) throw CannotCreateFileError(path, GetLastError());
    LogLine("Restored " + path + ": it could not be written whole");
    return;
  }
  const auto aside = movedAside_.find(LowerCaseLocale(path));
  if (aside == movedAside_.end()) {
    // A file that was not there before: nothing of it may stay.
    DeleteFileEvenReadOnly(path);
    return;
  }
  // Left aside, the old file would go with the commit: it comes back now, or the installation fails and its undo
  // brings it back.
  if (!DeleteFileEvenReadOnly(path)) {
    const DWORD error = GetLastError();
    if (Exists(path)) throw CannotCreateFileError(path, error);
  }
  if (!MoveFileA(aside->second.c_str(), path.c_str())) throw CannotCreateFileError(path, GetLastError());
  LogLine("Moved back " + path + ": its replacement was not written");
  movedAside_.erase(aside);
}

void InstallJournal::ToolWillRun(const std::string& folder) {
  std::vector<std::string> names = FileNamesIn(folder);
  std::string record = Record({"outputs", folder, std::to_string(Now())});
  for (const std::string& name : names) record += kSeparator + Escape(name);
  Append(record, false);
  namesBeforeTool_[LowerCaseLocale(folder)] = std::move(names);
}

void InstallJournal::ToolHasRun(const std::string& folder) {
  const auto before = namesBeforeTool_.find(LowerCaseLocale(folder));
  if (before == namesBeforeTool_.end()) return;
  std::unordered_set<std::string> known;
  for (const std::string& name : before->second) known.insert(LowerCaseLocale(name));
  std::string record = Record({"tooladded", folder});
  for (const std::string& name : FileNamesIn(folder))
    if (known.count(LowerCaseLocale(name)) == 0) record += kSeparator + Escape(name);
  Append(record, false);
  namesBeforeTool_.erase(before);
}

void InstallJournal::FolderWillBeCreated(const std::string& path) {
  std::string folder = path;
  while (!folder.empty() && folder.back() == '\\') folder.pop_back();
  std::vector<std::string> missing;
  for (std::string walk = folder; !walk.empty() && !FolderExists(walk);) {
    missing.push_back(walk);
    size_t slash = walk.find_last_of('\\');
    if (slash == std::string::npos || (slash == 2 && walk[1] == ':')) break;
    walk.erase(slash);
  }
  for (auto missingFolder = missing.rbegin(); missingFolder != missing.rend(); ++missingFolder) {
    Append(Record({"folder", *missingFolder}), false);
    createdFolders_.insert(LowerCaseLocale(*missingFolder));
  }
}

void InstallJournal::KeyWillBeCreated(HKEY root, const std::string& keyPath) {
  // The key and every missing parent, outermost first, so that undo removes them innermost first. A key found or
  // recorded before is not looked for again (each look is two requests to the Wine server): an installation deletes
  // no key.
  auto parent = [](const std::string& key) {
    const size_t slash = key.find_last_of('\\');
    return slash == std::string::npos ? std::string() : key.substr(0, slash);
  };
  std::vector<std::string> missing;
  for (std::string walk = StripBackslashes(keyPath);
       !walk.empty() && knownKeys_.count(KeyId(root, walk)) == 0 && !RegistryKey::Open(root, walk, KEY_READ).valid();
       walk = parent(walk))
    missing.push_back(walk);
  for (auto missingKey = missing.rbegin(); missingKey != missing.rend(); ++missingKey) {
    Append(Record({"key", RootName(root), *missingKey}), false);
    createdKeys_.insert(KeyId(root, *missingKey));
  }
  for (std::string walk = StripBackslashes(keyPath); !walk.empty() && knownKeys_.insert(KeyId(root, walk)).second;
       walk = parent(walk)) {
  }
}

std::optional<RegistryValue> InstallJournal::CurrentValue(HKEY root, const std::string& keyPath,
                                                          const std::string& name) {
  // A key this installation created had no values: nothing to read.
  if (createdKeys_.count(KeyId(root, keyPath)) != 0) return std::nullopt;
  // Values of one key come in runs (the entry's): its key stays open between them.
  if (root != lastRoot_ || keyPath != lastPath_ || !lastKey_.valid()) {
    lastKey_ = RegistryKey::Open(root, keyPath, KEY_READ);
    lastRoot_ = root;
    lastPath_ = keyPath;
  }
  if (!lastKey_.valid()) {
    KeyWillBeCreated(root, keyPath);
    return std::nullopt;
  }
  return lastKey_.ReadRaw(name);
}

std::string InstallJournal::ValueRecord(HKEY root, const std::string& keyPath, const std::string& name,
                                        const RegistryValue* newValue, const std::optional<RegistryValue>& old) {
  const std::string becomes =
      newValue != nullptr ? FormatText("%lu ", newValue->type) + ContentHash(newValue->data) : std::string("-");
  if (!old) return Record({"value", RootName(root), keyPath, name, "0", "0", "", becomes});
  return Record({"value", RootName(root), keyPath, name, "1", std::to_string(old->type), old->data, becomes});
}

void InstallJournal::ValueWillChange(HKEY root, const std::string& keyPath, const std::string& name,
                                     const RegistryValue* newValue) {
  Append(ValueRecord(root, keyPath, name, newValue, CurrentValue(root, keyPath, name)), false);
}

void InstallJournal::ValuesWillChange(HKEY root, const std::string& keyPath,
                                      const std::vector<RegistryValue>& newValues,
                                      const std::vector<std::optional<RegistryValue>>& oldValues) {
  if (newValues.empty()) return;
  // What the values held the caller has read already: the install counters are read once.
  std::string records;
  for (size_t index = 0; index < newValues.size(); ++index)
    records += (records.empty() ? "" : "\r\n") +
               ValueRecord(root, keyPath, newValues[index].name, &newValues[index], oldValues[index]);
  Append(records, false);
}

void InstallJournal::TextWillBeRewritten(const std::string& path, const std::string& newContent) {
  std::string kept;
  if (FileExists(path)) {
    kept = folder_ + FormatText("text-%u.old", ++keptCount_);
    if (!CopyFileA(path.c_str(), kept.c_str(), FALSE)) throw CannotCreateFileError(kept, GetLastError());
  }
  Append(Record({"text", path, kept, ContentHash(newContent)}), false);
  keptTexts_[LowerCaseLocale(path)] = kept;
}

void InstallJournal::Commit() {
  file_.reset();
  const std::string committed = CommittedPathIn(folder_);
  if (!MoveFileExA(journalPath_.c_str(), committed.c_str(), MOVEFILE_REPLACE_EXISTING))
    throw CannotCreateFileError(committed);
  // Nothing was kept aside: no record needs reading back.
  if (keptCount_ == 0) {
    DeleteFileA(committed.c_str());
    return;
  }
  FinishCommit(committed);
}

std::vector<std::string> InstallJournal::Undo() {
  file_.reset();
  return UndoJournal(journalPath_);
}

std::string JournalFolder() {
  char buffer[MAX_PATH] = "";
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer)))
    throw CannotCreateFileError(JournalPathIn("<Local Application Data>\\Quillmark\\OrvSetup\\"));
  return AddTrailingBackslash(buffer) + "Quillmark\\OrvSetup\\";
}

bool JournalLeftIn(const std::string& folder) {
  const std::string withBackslash = AddTrailingBackslash(folder);
  return Exists(JournalPathIn(withBackslash)) || Exists(CommittedPathIn(withBackslash));
}

std::optional<std::string> InterruptedInstallation(const JournalLock& lock) {
  std::string journalPath = JournalPathIn(lock.Folder());
  if (!FileExists(journalPath)) {
    journalPath = CommittedPathIn(lock.Folder());
    if (!FileExists(journalPath)) return std::nullopt;
  }
  auto records = ReadRecords(journalPath);
  if (records.empty() || records[0][0] != "journal" || records[0].size() < 3) return std::string();
  return records[0][2];
}

std::optional<FinishedInstallation> FinishInterruptedInstallation(const JournalLock& lock) {
  std::optional<std::string> appName = InterruptedInstallation(lock);
  if (!appName) return std::nullopt;
  FinishedInstallation finished{*appName, false, {}};
  const std::string committed = CommittedPathIn(lock.Folder());
  if (FileExists(committed)) {
    FinishCommit(committed);
  } else {
    finished.undone = true;
    finished.notRestored = UndoJournal(JournalPathIn(lock.Folder()));
  }
  return finished;
}

void ReportNotRestored(const std::string& appName, const std::vector<std::string>& notRestored,
                       const std::string& caption) {
  std::string list;
  for (size_t i = 0; i < notRestored.size() && i < kNotRestoredShown; ++i) list += notRestored[i] + "\r\n";
  if (notRestored.size() > kNotRestoredShown)
    list += FormatText("and %u more\r\n", static_cast<unsigned>(notRestored.size() - kNotRestoredShown));
  ShowMessageBox(NotRestoredText(appName, list), caption, MB_ICONWARNING | MB_OK);
}

bool FinishInterruptedInstallationAtStart(const JournalLock& lock, const std::string& caption) {
  std::optional<FinishedInstallation> finished = FinishInterruptedInstallation(lock);
  if (!finished) return true;
  if (!finished->undone) {
    LogLine("The commit of the installation of " + finished->appName + ", interrupted, was finished");
    return true;
  }
  if (!finished->notRestored.empty()) {
    ReportNotRestored(finished->appName, finished->notRestored, caption);
    return false;
  }
  LogLine("The interrupted installation of " + finished->appName + " was undone");
  ShowMessageBox(InterruptedInstallationUndoneText(finished->appName), caption, MB_ICONINFORMATION | MB_OK);
  return true;
}
