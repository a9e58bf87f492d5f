// The progress recorder: the log file's name in the environment, the hooks and the log's reading.
#include "progress_log.h"

#include <cstdlib>
#include <utility>

#include "fake_ide.h"
#include "scratch_registry.h"
#include "string_list.h"

ProgressRecorder::ProgressRecorder(const std::string& folder) : logPath_(folder + "progress.log") {
  DeleteFileA(logPath_.c_str());
  SetEnvironmentVariableA(kProgressLogVariable, logPath_.c_str());
}

ProgressRecorder::~ProgressRecorder() { SetEnvironmentVariableA(kProgressLogVariable, nullptr); }

bool ProgressRecorder::Attach(HWND window) {
  if (!module_) module_.reset(LoadLibraryA(HelperProgramPath(kProgressHookDllName).c_str()));
  if (!module_) return false;
  auto procedure =
      reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(module_.get(), kProgressHookProcedure)));
  if (procedure == nullptr) return false;
  UniqueHandle<HookTraits> hook(
      SetWindowsHookExA(WH_CALLWNDPROC, procedure, module_.get(), GetWindowThreadProcessId(window, nullptr)));
  if (!hook) return false;
  hooks_.push_back(std::move(hook));
  return true;
}

void ProgressRecorder::Detach() { hooks_.clear(); }

ProgressLog ProgressRecorder::Read() const {
  ProgressLog log;
  for (const std::string& line : SplitLines(ReadFileBytes(logPath_))) {
    const std::string kind = line.substr(0, line.find('\t'));
    const std::string rest = line.size() > kind.size() ? line.substr(kind.size() + 1) : std::string();
    if (kind == "dialog") {
      log.dialogs.push_back(rest);
    } else if (kind == "text") {
      log.texts.push_back(rest);
    } else if (kind == "range") {
      log.rangeMinimum = std::atoll(rest.c_str());
      log.rangeMaximum = std::atoll(rest.substr(rest.find('\t') + 1).c_str());
    } else if (kind == "position") {
      log.positions.push_back(std::atoll(rest.c_str()));
    }
  }
  return log;
}
