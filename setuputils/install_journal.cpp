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
#include "text_compare.h"
#include "text_file.h"

namespace {
constexpr const char* kJournalName = "install.journal";
// The journal's name once the installation committed: renaming is one change of the folder, which file systems that
// journal their own changes keep in order with the deletions after it, so no flush to the disk is needed.
constexpr const char* kCommittedName = "install.committed";
// Fields are separated by tabs; a tab, line break, '%' or other control character inside one is written %XX.
constexpr char kSeparator = '\t';

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

std::string Record(std::initializer_list<std::string> fields) {
  std::string line;
  for (const std::string& field : fields) {
    if (!line.empty()) line += kSeparator;
    line += Escape(field);
  }
  return line;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t end = line.find(kSeparator, start);
    fields.push_back(Unescape(line.substr(start, end == std::string::npos ? std::string::npos : end - start)));
    if (end == std::string::npos) return fields;
    start = end + 1;
  }
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

// The files directly in the folder.
std::vector<std::string> FileNamesIn(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  UniqueFind find(FindFirstFileA((AddTrailingBackslash(folder) + "*").c_str(), &found));
  if (!find) return names;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.push_back(found.cFileName);
  } while (FindNextFileA(find.get(), &found));
  return names;
}

std::string JournalPathIn(const std::string& folder) { return folder + kJournalName; }
std::string CommittedPathIn(const std::string& folder) { return folder + kCommittedName; }

void UndoRecord(const std::vector<std::string>& f) {
  const std::string& kind = f[0];
  if (kind == "created" && f.size() >= 2) {
    DeleteFileEvenReadOnly(f[1]);
  } else if (kind == "replaced" && f.size() >= 3) {
    // Only when the old file is still aside: a record written just before a move that never happened leaves the
    // file where it was.
    if (FileExists(f[2])) {
      DeleteFileEvenReadOnly(f[1]);
      MoveFileA(f[2].c_str(), f[1].c_str());
    }
  } else if (kind == "outputs" && f.size() >= 2) {
    std::unordered_set<std::string> before;
    for (size_t i = 2; i < f.size(); ++i) before.insert(LowerCaseLocale(f[i]));
    for (const std::string& name : FileNamesIn(f[1]))
      if (before.count(LowerCaseLocale(name)) == 0) DeleteFileEvenReadOnly(AddTrailingBackslash(f[1]) + name);
  } else if (kind == "folder" && f.size() >= 2) {
    RemoveDirectoryA(f[1].c_str());  // only when empty: what others put there stays
  } else if (kind == "key" && f.size() >= 3) {
    RegistryKey key = RegistryKey::Open(RootFromName(f[1]), f[2], KEY_READ);
    if (key.valid() && key.ValueCount() == 0 && key.SubKeyCount() == 0) {
      key.Close();
      RegDeleteKeyA(RootFromName(f[1]), f[2].c_str());
    }
  } else if (kind == "value" && f.size() >= 7) {
    RegistryKey key = RegistryKey::Open(RootFromName(f[1]), f[2], KEY_SET_VALUE);
    if (!key.valid()) return;
    if (f[4] == "1") {
      const std::string& data = f[6];
      const DWORD type = std::strtoul(f[5].c_str(), nullptr, 10);
      RegSetValueExA(key.get(), f[3].c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                     static_cast<DWORD>(data.size()));
    } else {
      RegDeleteValueA(key.get(), f[3].c_str());
    }
  } else if (kind == "text" && f.size() >= 3) {
    if (f[2].empty()) {
      DeleteFileEvenReadOnly(f[1]);
    } else if (FileExists(f[2])) {
      SetFileAttributesA(f[1].c_str(), FILE_ATTRIBUTE_NORMAL);
      CopyFileA(f[2].c_str(), f[1].c_str(), FALSE);
    }
  }
}

// What a record kept aside, which commit deletes.
std::string KeptAside(const std::vector<std::string>& f) {
  if ((f[0] == "replaced" || f[0] == "text") && f.size() >= 3) return f[2];
  return std::string();
}

std::vector<std::vector<std::string>> ReadRecords(const std::string& journalPath) {
  std::vector<std::vector<std::string>> records;
  std::optional<std::string> content = ReadFileContent(journalPath);
  if (!content) return records;
  size_t start = 0;
  // A line cut short by a kill has no line break: the change it announced never began.
  for (size_t end; (end = content->find("\r\n", start)) != std::string::npos; start = end + 2) {
    if (end > start) records.push_back(Fields(content->substr(start, end - start)));
  }
  return records;
}

// Deletes what the records kept aside, then the journal file itself.
void RemoveJournal(const std::string& journalPath) {
  for (const auto& record : ReadRecords(journalPath)) {
    std::string aside = KeptAside(record);
    if (!aside.empty()) DeleteFileEvenReadOnly(aside);
  }
  DeleteFileA(journalPath.c_str());
}

// Undoes the journal's records in reverse order and removes it.
void UndoJournal(const std::string& journalPath) {
  const auto records = ReadRecords(journalPath);
  for (auto record = records.rbegin(); record != records.rend(); ++record) UndoRecord(*record);
  RemoveJournal(journalPath);
}
}  // namespace

InstallJournal::InstallJournal(const std::string& folder, const std::string& appName)
    : folder_(AddTrailingBackslash(folder)), journalPath_(JournalPathIn(folder_)) {
  // The folder and its parent, below a folder that exists (the user's Local Application Data).
  CreateDirectoryA(ExtractFilePath(StripTrailingBackslash(folder_)).c_str(), nullptr);
  CreateDirectoryA(folder_.c_str(), nullptr);
  // CREATE_NEW: a journal already there belongs to an installation that must be undone first.
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

bool InstallJournal::FileWillBeWritten(const std::string& path) {
  // In a folder this installation created every file is new: no need to look.
  const size_t slash = path.find_last_of('\\');
  const bool inCreatedFolder =
      slash != std::string::npos && createdFolders_.count(LowerCaseLocale(path.substr(0, slash))) != 0;
  if (inCreatedFolder || !FileExists(path)) {
    Append(Record({"created", path}), false);
    return true;
  }
  const std::string aside = path + FormatText(".orv-%u-%lu", ++keptCount_, GetCurrentProcessId());
  // Recorded first: a kill between the record and the move leaves a record whose aside file does not exist, which
  // undo passes over.
  Append(Record({"replaced", path, aside}), false);
  if (MoveFileA(path.c_str(), aside.c_str())) return true;
  DWORD error = GetLastError();
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION) return false;
  throw CannotCreateFileError(path);
}

void InstallJournal::ToolWillRun(const std::string& folder) {
  std::string record = Record({"outputs", folder});
  for (const std::string& name : FileNamesIn(folder)) record += kSeparator + Escape(name);
  Append(record, false);
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
  // The key and every missing parent, outermost first, so that undo removes them innermost first.
  std::vector<std::string> missing;
  for (std::string walk = StripBackslashes(keyPath);
       !walk.empty() && !RegistryKey::Open(root, walk, KEY_READ).valid();) {
    missing.push_back(walk);
    size_t slash = walk.find_last_of('\\');
    walk = slash == std::string::npos ? std::string() : walk.substr(0, slash);
  }
  for (auto missingKey = missing.rbegin(); missingKey != missing.rend(); ++missingKey) {
    Append(Record({"key", RootName(root), *missingKey}), false);
    createdKeys_.insert(KeyId(root, *missingKey));
  }
}

void InstallJournal::ValueWillChange(HKEY root, const std::string& keyPath, const std::string& name) {
  // A key this installation created had no values: nothing to read (the install counters of a first installation).
  if (createdKeys_.count(KeyId(root, keyPath)) != 0) {
    Append(Record({"value", RootName(root), keyPath, name, "0", "0", ""}), false);
    return;
  }
  // Values of one key come in runs (the counters, the entry): its key stays open between them.
  if (root != lastRoot_ || keyPath != lastPath_ || !lastKey_.valid()) {
    lastKey_ = RegistryKey::Open(root, keyPath, KEY_READ);
    lastRoot_ = root;
    lastPath_ = keyPath;
  }
  if (!lastKey_.valid()) {
    KeyWillBeCreated(root, keyPath);
    Append(Record({"value", RootName(root), keyPath, name, "0", "0", ""}), false);
    return;
  }
  std::optional<RegistryValue> old = lastKey_.ReadRaw(name);
  if (old)
    Append(Record({"value", RootName(root), keyPath, name, "1", std::to_string(old->type), old->data}), false);
  else
    Append(Record({"value", RootName(root), keyPath, name, "0", "0", ""}), false);
}

void InstallJournal::TextWillBeRewritten(const std::string& path) {
  if (!FileExists(path)) {
    Append(Record({"text", path, ""}), false);
    return;
  }
  const std::string kept = folder_ + FormatText("text-%u.old", ++keptCount_);
  if (!CopyFileA(path.c_str(), kept.c_str(), FALSE)) throw CannotCreateFileError(kept);
  Append(Record({"text", path, kept}), false);
}

void InstallJournal::Commit() {
  file_.reset();
  const std::string committed = CommittedPathIn(folder_);
  if (!MoveFileExA(journalPath_.c_str(), committed.c_str(), MOVEFILE_REPLACE_EXISTING))
    throw CannotCreateFileError(committed);
  RemoveJournal(committed);
  RemoveDirectoryA(folder_.c_str());
}

void InstallJournal::Undo() {
  file_.reset();
  UndoJournal(journalPath_);
  RemoveDirectoryA(folder_.c_str());
}

std::string JournalFolder() {
  char buffer[MAX_PATH] = "";
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer)))
    throw CannotCreateFileError(JournalPathIn("<Local Application Data>\\Quillmark\\OrvSetup\\"));
  return AddTrailingBackslash(buffer) + "Quillmark\\OrvSetup\\";
}

std::optional<std::string> InterruptedInstallation(const std::string& folder) {
  const std::string withBackslash = AddTrailingBackslash(folder);
  std::string journalPath = JournalPathIn(withBackslash);
  if (!FileExists(journalPath)) {
    journalPath = CommittedPathIn(withBackslash);
    if (!FileExists(journalPath)) return std::nullopt;
  }
  // A setup that is running holds its journal open for writing: that installation is under way, not interrupted.
  UniqueFile probe(CreateFileA(journalPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!probe && GetLastError() == ERROR_SHARING_VIOLATION) return std::nullopt;
  probe.reset();
  auto records = ReadRecords(journalPath);
  if (records.empty() || records[0][0] != "journal" || records[0].size() < 3) return std::string();
  return records[0][2];
}

bool UndoInterruptedInstallation(const std::string& folder) {
  const std::string withBackslash = AddTrailingBackslash(folder);
  const std::string committed = CommittedPathIn(withBackslash);
  const bool commitBegun = FileExists(committed);
  if (commitBegun)
    RemoveJournal(committed);
  else
    UndoJournal(JournalPathIn(withBackslash));
  RemoveDirectoryA(withBackslash.c_str());
  return !commitBegun;
}

void UndoInterruptedInstallationAtStart(const std::string& caption) {
  const std::string folder = JournalFolder();
  std::optional<std::string> appName = InterruptedInstallation(folder);
  if (!appName) return;
  if (!UndoInterruptedInstallation(folder)) {
    LogLine("The commit of the installation of " + *appName + ", interrupted, was finished");
    return;
  }
  LogLine("The interrupted installation of " + *appName + " was undone");
  ShowMessageBox(FormatText("The interrupted installation of %s was undone.", appName->c_str()), caption,
                 MB_ICONINFORMATION | MB_OK);
}
