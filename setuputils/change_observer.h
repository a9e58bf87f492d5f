// What the programs are about to change on the machine, told to whoever records it: the setup program's journal
// while an installation runs, nobody otherwise. The layers that change files and registry values call these
// routines before each change; without an observer they do nothing.
#pragma once

#include <windows.h>

#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "registry_value.h"

class ChangeObserver {
 public:
  virtual ~ChangeObserver() = default;
  // False when the file exists and cannot be moved aside because a program holds it open.
  virtual bool FileWillBeWritten(const std::string& path) = 0;
  // A file announced above was not written after all (or only in part): what was there comes back.
  virtual void FileWasNotWritten(const std::string& path) = 0;
  // Before and after a program that writes files of its own choosing into the folder runs (an IDE tool).
  virtual void ToolWillRun(const std::string& folder) = 0;
  virtual void ToolHasRun(const std::string& folder) = 0;
  virtual void FolderWillBeCreated(const std::string& path) = 0;
  // The key and any missing parent, when missing.
  virtual void KeyWillBeCreated(HKEY root, const std::string& keyPath) = 0;
  // newValue: what the value is about to become; nullptr when it is deleted.
  virtual void ValueWillChange(HKEY root, const std::string& keyPath, const std::string& name,
                               const RegistryValue* newValue) = 0;
  // Values of one key about to be written in a row (the install counters), each with what it held before as the
  // caller read it (nullopt: none).
  virtual void ValuesWillChange(HKEY root, const std::string& keyPath, const std::vector<RegistryValue>& newValues,
                                const std::vector<std::optional<RegistryValue>>& oldValues) = 0;
  virtual void TextWillBeRewritten(const std::string& path, const std::string& newContent) = 0;
};

// The user pressed Cancel in a box that offered to undo the installation.
class InstallationCancelled : public std::exception {
 public:
  const char* what() const noexcept override { return "Installation cancelled"; }
};

ChangeObserver* ActiveChangeObserver();
void SetActiveChangeObserver(ChangeObserver* observer);
// The performance counter ticks spent in the observer's hooks so far (a question to the user left out).
long long ObservingTicks();

// Before a file is written: tells the observer, and while a program holds the file open asks the user (caption
// "Setup", Retry and Cancel); Cancel raises InstallationCancelled.
void PrepareFileForWriting(const std::string& path);
// After PrepareFileForWriting, when the file could not be written (or only in part): what was there comes back now.
void RestoreUnwrittenFile(const std::string& path);
void PrepareFolderCreation(const std::string& path);
void PrepareKeyCreation(HKEY root, const std::string& keyPath);
void PrepareValueChange(HKEY root, const std::string& keyPath, const std::string& name, const RegistryValue* newValue);
void PrepareValueChanges(HKEY root, const std::string& keyPath, const std::vector<RegistryValue>& newValues,
                         const std::vector<std::optional<RegistryValue>>& oldValues);
void PrepareTextRewrite(const std::string& path, const std::string& newContent);
void PrepareToolRun(const std::string& folder);
void FinishToolRun(const std::string& folder);
