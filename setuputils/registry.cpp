// Registry layer over the ANSI advapi32 entry points.
#include "registry.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include "change_observer.h"
#include "run_log.h"
#include "setup_error.h"

namespace {
// Retries of an enumerated entry that did not fit its buffer, each with buffers twice as large.
constexpr int kEnumerateAttempts = 8;
// A row of value writes this long is shared among this many threads.
constexpr size_t kParallelWritesFrom = 64;
constexpr int kWriteThreads = 3;

// The two parts of the registry whose changes are told to the change observer and the log.
bool IsObservedRoot(HKEY root) { return root == HKEY_CURRENT_USER || root == HKEY_LOCAL_MACHINE; }
std::string ObservedKeyName(HKEY root, const std::string& path) {
  return (root == HKEY_LOCAL_MACHINE ? "HKLM\\" : "HKCU\\") + path;
}
}  // namespace

RegistryKey RegistryKey::Open(HKEY root, const std::string& path, REGSAM access) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, access, &key) != ERROR_SUCCESS) return RegistryKey();
  RegistryKey opened(key);
  if (IsObservedRoot(root)) opened.SetPath(root, path);
  return opened;
}

RegistryKey RegistryKey::Create(HKEY root, const std::string& path, REGSAM access) {
  if (IsObservedRoot(root)) PrepareKeyCreation(root, path);
  HKEY key = nullptr;
  if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return RegistryKey();
  RegistryKey created(key);
  if (IsObservedRoot(root)) created.SetPath(root, path);
  return created;
}

void RegistryKey::SetPath(HKEY root, const std::string& path) {
  root_ = root;
  path_ = path;
}

void RegistryKey::AnnounceChange(const std::string& name, const RegistryValue* newValue) const {
  if (valid() && root_ != nullptr) PrepareValueChange(root_, path_, name, newValue);
}

void RegistryKey::LogChange(const std::string& name, const std::string& what) const {
  if (!RunLogIsOpen()) return;
  const std::string where = root_ != nullptr ? ObservedKeyName(root_, path_) : std::string();
  // A list value is long: its first line and its size say enough.
  std::string shown = what;
  const size_t lineEnd = shown.find_first_of("\r\n");
  if (lineEnd != std::string::npos || shown.size() > 200)
    shown = shown.substr(0, std::min<size_t>(lineEnd, 200)) +
            FormatText("... (%u bytes)", static_cast<unsigned>(what.size()));
  LogLine("Registry " + where + " \"" + name + "\" " + shown);
}

std::optional<RegistryValue> RegistryKey::ReadRaw(const std::string& name) const {
  if (!valid()) return std::nullopt;
  DWORD type = REG_NONE;
  DWORD size = 0;
  LONG status = RegQueryValueExA(key_.get(), name.c_str(), nullptr, &type, nullptr, &size);
  // The value may grow between the two calls: read again until the buffer holds it.
  for (int attempt = 0; attempt < 8 && status == ERROR_SUCCESS; ++attempt) {
    std::string data(static_cast<size_t>(size) + 1, '\0');
    DWORD capacity = size + 1;
    status = RegQueryValueExA(key_.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &capacity);
    if (status == ERROR_SUCCESS) {
      data.resize(capacity <= size + 1 ? capacity : size + 1);
      return RegistryValue{name, type, data};
    }
    if (status == ERROR_MORE_DATA) {
      size = capacity;
      status = ERROR_SUCCESS;
    }
  }
  return std::nullopt;
}

std::string RegistryDataToText(const std::string& data) {
  size_t nul = data.find('\0');
  return nul == std::string::npos ? data : data.substr(0, nul);
}

std::optional<std::string> RegistryKey::ReadString(const std::string& name) const {
  auto value = ReadRaw(name);
  if (!value) return std::nullopt;
  if (value->type != REG_SZ && value->type != REG_EXPAND_SZ) throw InvalidDataTypeError(name);
  return RegistryDataToText(value->data);
}

std::string RegistryKey::ReadStringOrEmpty(const std::string& name) const {
  return ReadString(name).value_or(std::string());
}

std::optional<DWORD> RegistryKey::ReadDword(const std::string& name) const {
  if (!valid()) return std::nullopt;
  // One call: counters are read once per installed file.
  DWORD type = REG_NONE;
  DWORD number = 0;
  DWORD size = sizeof number;
  LONG status = RegQueryValueExA(key_.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&number), &size);
  if (status == ERROR_MORE_DATA) throw InvalidDataTypeError(name);
  if (status != ERROR_SUCCESS) return std::nullopt;
  if (type != REG_DWORD || size != sizeof number) throw InvalidDataTypeError(name);
  return number;
}

bool RegistryKey::ValueExists(const std::string& name) const {
  if (!valid()) return false;
  return RegQueryValueExA(key_.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool RegistryKey::TryWriteString(const std::string& name, const std::string& text) const {
  const RegistryValue newValue{name, REG_SZ, std::string(text.c_str(), text.size() + 1)};
  AnnounceChange(name, &newValue);
  LogChange(name, "= \"" + text + "\"");
  return valid() && RegSetValueExA(key_.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                   static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

void RegistryKey::WriteString(const std::string& name, const std::string& text) const {
  if (!TryWriteString(name, text)) throw FailedToSetDataError(name);
}

namespace {
RegistryValue DwordValue(const std::string& name, DWORD value) {
  return RegistryValue{name, REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof value)};
}
}  // namespace

void RegistryKey::WriteDword(const std::string& name, DWORD value) const {
  const RegistryValue newValue = DwordValue(name, value);
  AnnounceChange(name, &newValue);
  if (RunLogIsOpen()) {
    // A counter's line says what it was, too.
    const std::optional<RegistryValue> old = ReadRaw(name);
    DWORD was = 0;
    const bool number = old && old->type == REG_DWORD && old->data.size() == sizeof was;
    if (number) memcpy(&was, old->data.data(), sizeof was);
    LogChange(name, FormatText("= %lu (was %s)", static_cast<unsigned long>(value),
                               number ? std::to_string(was).c_str()
                               : old  ? "another type"
                                      : "none"));
  }
  if (!TrySetDword(name, value)) throw FailedToSetDataError(name);
}

void RegistryKey::WriteDwords(const std::vector<DwordWrite>& writes) const {
  if (valid() && root_ != nullptr) {
    std::vector<RegistryValue> newValues;
    std::vector<std::optional<RegistryValue>> oldValues;
    newValues.reserve(writes.size());
    oldValues.reserve(writes.size());
    for (const DwordWrite& write : writes) {
      newValues.push_back(DwordValue(write.name, write.value));
      oldValues.push_back(write.had ? std::optional<RegistryValue>(DwordValue(write.name, *write.had)) : std::nullopt);
    }
    PrepareValueChanges(root_, path_, newValues, oldValues);
  }
  // Under Wine each write is a round trip to the Wine server, and one thread writing them in turn leaves the
  // processors waiting most of the time: a long row is written by several threads at once.
  std::vector<unsigned char> written(writes.size(), 0);
  std::atomic<size_t> next{0};
  auto writeRow = [&] {
    for (size_t index; (index = next++) < writes.size();)
      written[index] = TrySetDword(writes[index].name, writes[index].value);
  };
  if (writes.size() >= kParallelWritesFrom) {
    std::vector<std::thread> threads;
    for (int thread = 1; thread < kWriteThreads; ++thread) threads.emplace_back(writeRow);
    writeRow();
    for (std::thread& thread : threads) thread.join();
  } else {
    writeRow();
  }
  // The log names every value written, in the row's order, before the first that was not is raised.
  const DwordWrite* failed = nullptr;
  for (size_t index = 0; index < writes.size(); ++index) {
    const DwordWrite& write = writes[index];
    if (!written[index]) {
      if (failed == nullptr) failed = &write;
      continue;
    }
    if (RunLogIsOpen())
      LogChange(write.name, FormatText("= %lu (was %s)", static_cast<unsigned long>(write.value),
                                       write.was ? std::to_string(*write.was).c_str() : "none"));
  }
  if (failed != nullptr) throw FailedToSetDataError(failed->name);
}

bool RegistryKey::TrySetDword(const std::string& name, DWORD value) const {
  return valid() && RegSetValueExA(key_.get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                   sizeof value) == ERROR_SUCCESS;
}

bool RegistryKey::DeleteValue(const std::string& name) const {
  AnnounceChange(name, nullptr);
  LogChange(name, "deleted");
  return valid() && RegDeleteValueA(key_.get(), name.c_str()) == ERROR_SUCCESS;
}

DWORD RegistryKey::ValueCount() const {
  DWORD count = 0;
  if (!valid() || RegQueryInfoKeyA(key_.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr,
                                   nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return 0;
  return count;
}

DWORD RegistryKey::SubKeyCount() const {
  DWORD count = 0;
  if (!valid() || RegQueryInfoKeyA(key_.get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return 0;
  return count;
}

std::vector<RegistryValue> RegistryKey::Values() const {
  std::vector<RegistryValue> values;
  DWORD count = 0, longestName = 0, longestData = 0;
  if (!valid() || RegQueryInfoKeyA(key_.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                                   &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS)
    return values;
  std::string name(static_cast<size_t>(longestName) + 1, '\0');
  std::string data(static_cast<size_t>(longestData) + 1, '\0');
  for (DWORD index = 0; index < count; ++index) {
    DWORD nameLength, dataSize, type;
    LONG status = ERROR_MORE_DATA;
    // The sizes count UTF-16 (see EnumerateNames), and a value may grow meanwhile: both buffers grow until it fits.
    for (int attempt = 0; status == ERROR_MORE_DATA && attempt < kEnumerateAttempts; ++attempt) {
      if (attempt > 0) {
        name.resize(name.size() * 2);
        data.resize(data.size() * 2);
      }
      nameLength = static_cast<DWORD>(name.size());
      dataSize = static_cast<DWORD>(data.size());
      type = REG_NONE;
      status = RegEnumValueA(key_.get(), index, &name[0], &nameLength, nullptr, &type,
                             reinterpret_cast<BYTE*>(&data[0]), &dataSize);
    }
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) continue;
    if (nameLength > name.size()) nameLength = static_cast<DWORD>(name.size());
    if (dataSize > data.size()) dataSize = static_cast<DWORD>(data.size());
    values.push_back(RegistryValue{name.substr(0, nameLength), type, data.substr(0, dataSize)});
  }
  return values;
}

namespace {
// Enumerates count names through enumerate(index, buffer, length). The longest length RegQueryInfoKeyA gives counts
// UTF-16 units, and an ANSI name may take more bytes than that: the buffer grows until the name fits. Names that
// cannot be read are left out, and enumeration stops early when the key shrank meanwhile.
template <typename Enumerate>
std::vector<std::string> EnumerateNames(DWORD count, DWORD longestName, Enumerate enumerate) {
  std::vector<std::string> names;
  std::string name(static_cast<size_t>(longestName) + 1, '\0');
  for (DWORD index = 0; index < count; ++index) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    LONG status = enumerate(index, &name[0], &nameLength);
    for (int attempt = 1; status == ERROR_MORE_DATA && attempt < kEnumerateAttempts; ++attempt) {
      name.resize(name.size() * 2);
      nameLength = static_cast<DWORD>(name.size());
      status = enumerate(index, &name[0], &nameLength);
    }
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) continue;
    if (nameLength > name.size()) nameLength = static_cast<DWORD>(name.size());
    names.push_back(name.substr(0, nameLength));
  }
  return names;
}
}  // namespace

std::vector<std::string> RegistryKey::ValueNames() const {
  DWORD count = 0, longestName = 0;
  if (!valid() || RegQueryInfoKeyA(key_.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                                   &longestName, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return {};
  return EnumerateNames(count, longestName, [this](DWORD index, char* name, DWORD* length) {
    return RegEnumValueA(key_.get(), index, name, length, nullptr, nullptr, nullptr, nullptr);
  });
}

std::vector<std::string> RegistryKey::SubKeyNames() const {
  DWORD count = 0, longestName = 0;
  if (!valid() || RegQueryInfoKeyA(key_.get(), nullptr, nullptr, nullptr, &count, &longestName, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return {};
  return EnumerateNames(count, longestName, [this](DWORD index, char* name, DWORD* length) {
    return RegEnumKeyExA(key_.get(), index, name, length, nullptr, nullptr, nullptr, nullptr);
  });
}

bool DeleteRegistryTree(HKEY root, const std::string& path) {
  {
    RegistryKey key = RegistryKey::Open(root, path);
    if (!key.valid()) return RegistryKey::Open(root, path, KEY_READ).valid() == false;
    for (const auto& child : key.SubKeyNames()) DeleteRegistryTree(key.get(), child);
  }
  return DeleteRegistryKey(root, path);
}

bool DeleteRegistryKey(HKEY root, const std::string& path) {
  const bool deleted = RegDeleteKeyA(root, path.c_str()) == ERROR_SUCCESS;
  if (deleted && IsObservedRoot(root)) LogLine("Registry " + ObservedKeyName(root, path) + " deleted (key)");
  return deleted;
}
