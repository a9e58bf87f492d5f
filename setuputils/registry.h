// Registry layer: owned keys, typed reads that throw on a wrong type, writes that throw on refusal.
//
// Contracts: Open never creates; a key that could not be opened is "not valid" and every read on it finds
// nothing. Reads return std::nullopt only when the value is absent (or the key is not valid); a value of
// another type raises "Invalid data type for '%s'". Writes raise "Failed to set data for '%s'" when the
// registry refuses them, including on a key that is not valid; a Try... write reports the refusal as false
// instead. Strings are never trusted to be terminated: they are cut at the returned size and at the first NUL
// within it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "registry_value.h"
#include "unique_handle.h"

class RegistryKey {
 public:
  RegistryKey() = default;
  explicit RegistryKey(HKEY key) : key_(key) {}

  // Opens an existing key below root (RegOpenKeyExA); not valid when that fails.
  static RegistryKey Open(HKEY root, const std::string& path, REGSAM access = KEY_ALL_ACCESS);
  // Opens the key below root, creating it and its parents when missing (RegCreateKeyExA); not valid on failure.
  static RegistryKey Create(HKEY root, const std::string& path, REGSAM access = KEY_ALL_ACCESS);

  bool valid() const { return key_.valid(); }
  HKEY get() const { return key_.get(); }
  void Close() {
    key_.reset();
    root_ = nullptr;
  }

  // REG_SZ or REG_EXPAND_SZ as stored (nothing expanded).
  std::optional<std::string> ReadString(const std::string& name) const;
  // ReadString, with an absent value read as "".
  std::string ReadStringOrEmpty(const std::string& name) const;
  // REG_DWORD only.
  std::optional<DWORD> ReadDword(const std::string& name) const;
  // Any type: raw bytes; nullopt when absent.
  std::optional<RegistryValue> ReadRaw(const std::string& name) const;
  bool ValueExists(const std::string& name) const;

  // REG_SZ with the terminating NUL counted in the size.
  void WriteString(const std::string& name, const std::string& text) const;
  // The same for the writes whose failure nobody is told of: false when the registry refused it.
  bool TryWriteString(const std::string& name, const std::string& text) const;
  void WriteDword(const std::string& name, DWORD value) const;
  // DWORD values written in a row and told to the observer at once, each with what the caller read before it
  // (nullopt: none), so that neither the log nor the observer reads it again. Raises "Failed to set data for '%s'"
  // for the first that could not be written; the others are written all the same, and logged.
  struct DwordWrite {
    std::string name;
    DWORD value;
    // What the log says it was: for a name written twice in the row, what its earlier write made it.
    std::optional<DWORD> was;
    // What the registry held before the row, for the observer.
    std::optional<DWORD> had;
  };
  void WriteDwords(const std::vector<DwordWrite>& writes) const;
  // True when the value is gone afterwards because this call deleted it.
  bool DeleteValue(const std::string& name) const;

  DWORD ValueCount() const;
  DWORD SubKeyCount() const;
  // Every value with its raw data, in enumeration order. Buffers start at the sizes RegQueryInfoKeyA gives and grow
  // when an entry does not fit; an entry that cannot be read is left out.
  std::vector<RegistryValue> Values() const;
  std::vector<std::string> ValueNames() const;
  std::vector<std::string> SubKeyNames() const;

 private:
  // A key opened below HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE by its path tells the change observer of every
  // write and deletion before it is made (a key created is told when Create makes it).
  void SetPath(HKEY root, const std::string& path);
  // newValue: what the value becomes, nullptr when it is deleted.
  void AnnounceChange(const std::string& name, const RegistryValue* newValue) const;
  // The write alone, neither told nor logged; safe from several threads at once.
  bool TrySetDword(const std::string& name, DWORD value) const;
  // The run's log gets every write and deletion.
  void LogChange(const std::string& name, const std::string& what) const;

  UniqueKey key_;
  HKEY root_ = nullptr;
  std::string path_;
};

// Deletes a key without subkeys (RegDeleteKeyA); true when this call deleted it.
bool DeleteRegistryKey(HKEY root, const std::string& path);
// Deletes a key with all its subkeys; true when it is gone afterwards.
bool DeleteRegistryTree(HKEY root, const std::string& path);

// Converts raw registry data to text: cut at its size and at the first NUL within it.
std::string RegistryDataToText(const std::string& data);
