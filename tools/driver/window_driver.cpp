// The end-to-end driver's run: start the program, watch its dialogs, answer them, end it at the time limit.
#include "window_driver.h"

#include <algorithm>
#include <exception>
#include <map>

#include "driver_script.h"
#include "path_utils.h"
#include "unique_handle.h"
#include "window_reading.h"

namespace {
constexpr DWORD kIconPollIntervalMs = 10;
constexpr DWORD kIconAnswerTimeoutMs = 3000;
constexpr DWORD kEndWaitMs = 5000;

struct HookTraits {
  using Handle = HHOOK;
  static Handle Invalid() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { UnhookWindowsHookEx(h); }
};
using UniqueHook = UniqueHandle<HookTraits>;  // UnhookWindowsHookEx

// The hook DLL next to the running program, else where the build put it.
std::string DefaultHookDll() {
  std::string besideProgram = ExtractFilePath(ModuleFileName()) + kIconHookDllName;
  if (FileExists(besideProgram)) return besideProgram;
  std::string built = ORV_DRIVER_HOOK_PATH;
  return built[0] == '/' ? "Z:" + ReplaceChar('/', '\\', built) : built;
}

// Learns message box icons and the program's error mode through the hook DLL (see icon_query.h); one hook per thread
// of the program under test.
class IconProbe {
 public:
  explicit IconProbe(const std::string& dllPath) : queryMessage_(RegisterWindowMessageA(kIconQueryMessage)) {
    module_.reset(LoadLibraryA(dllPath.c_str()));
    if (module_)
      procedure_ =
          reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(module_.get(), kIconHookProcedure)));
    if (procedure_ == nullptr) error_ = "icon hook DLL " + dllPath + " cannot be loaded: icons are not told";
  }

  const std::string& error() const { return error_; }

  IconKind Query(HWND box, UINT& errorMode) {
    if (procedure_ == nullptr) return IconKind::Unknown;
    DWORD threadId = GetWindowThreadProcessId(box, nullptr);
    UniqueHook& hook = hooks_[threadId];
    if (!hook) hook.reset(SetWindowsHookExA(WH_GETMESSAGE, procedure_, module_.get(), threadId));
    if (!hook || !PostMessageA(box, queryMessage_, 0, 0)) return IconKind::Unknown;
    const DWORD start = GetTickCount();
    do {
      auto kind = static_cast<IconKind>(reinterpret_cast<INT_PTR>(GetPropA(box, kIconKindProperty)));
      if (kind != IconKind::Unknown) {
        errorMode = static_cast<UINT>(reinterpret_cast<UINT_PTR>(GetPropA(box, kErrorModeProperty)));
        return kind;
      }
      if (!IsWindow(box)) return kind;
      Sleep(kIconPollIntervalMs);
    } while (GetTickCount() - start < kIconAnswerTimeoutMs);
    return IconKind::Unknown;
  }

 private:
  UINT queryMessage_;
  // Declared before the hooks: they are removed before the DLL is unloaded.
  UniqueModule module_;
  HOOKPROC procedure_ = nullptr;
  std::map<DWORD, UniqueHook> hooks_;
  std::string error_;
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

bool Matches(const Answer& answer, const WindowRecord& record) {
  for (const std::string& part : answer.captionContains)
    if (!Contains(record.caption, part)) return false;
  for (const std::string& part : answer.textContains) {
    bool found = Contains(record.text, part);
    for (const ControlRecord& control : record.controls) found = found || Contains(control.text, part);
    if (!found) return false;
  }
  for (int id : answer.requiredControls)
    if (record.Control(id) == nullptr) return false;
  return true;
}

bool HasButton(const WindowRecord& record, int id) {
  if (record.kind == WindowKind::MessageBox)
    return std::find(record.buttons.begin(), record.buttons.end(), id) != record.buttons.end();
  return record.Control(id) != nullptr;
}

// Presses the button (or closes the window); a WM_NULL follows so that a modal loop that looks at its state only
// when the next message arrives sees the answer at once.
bool PressButton(HWND window, int id) {
  bool posted = id == kCloseWindow ? PostMessageA(window, WM_CLOSE, 0, 0)
                                   : PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                                                  reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
  PostMessageA(window, WM_NULL, 0, 0);
  return posted;
}

std::string WindowName(size_t index, const WindowRecord& record) {
  return "window " + std::to_string(index + 1) + " (" + WindowKindName(record.kind) + " \"" +
         EscapeText(record.caption) + "\")";
}

// The processes of the run: those of the job the program was started in, or the program alone without one.
std::vector<DWORD> ProcessesOfRun(HANDLE job, DWORD startedProcess) {
  constexpr size_t kMaxProcesses = 64;
  std::vector<ULONG_PTR> buffer(2 + kMaxProcesses);
  auto* list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(buffer.data());
  if (job == nullptr || !QueryInformationJobObject(job, JobObjectBasicProcessIdList, list,
                                                   static_cast<DWORD>(buffer.size() * sizeof(ULONG_PTR)), nullptr))
    return {startedProcess};
  std::vector<DWORD> processes;
  for (DWORD i = 0; i < list->NumberOfProcessIdsInList; ++i)
    processes.push_back(static_cast<DWORD>(list->ProcessIdList[i]));
  return processes;
}

// Watches the dialogs of the started program (and its descendants) and answers them from the script.
class Watcher {
 public:
  Watcher(const RunOptions& options, HANDLE job, DWORD processId, RunRecord& record)
      : options_(options), job_(job), processId_(processId), record_(record), icons_(IconDll(options)) {}

  void Scan() {
    std::vector<HWND> windows = VisibleDialogsOfProcesses(ProcessesOfRun(job_, processId_));
    for (auto it = tracked_.begin(); it != tracked_.end();)
      it = std::find(windows.begin(), windows.end(), it->first) == windows.end() ? tracked_.erase(it) : ++it;
    for (HWND window : windows) {
      auto it = tracked_.find(window);
      if (it == tracked_.end()) {
        Handle(window, false);
      } else if (record_.windows[it->second.recordIndex].kind == WindowKind::Passive) {
        SamplePassiveWindow(window, record_.windows[it->second.recordIndex]);
      } else if (it->second.answerSerial != answerSerial_ && IsWindowEnabled(window)) {
        // Still up after another window was answered: it waits for an answer again (a dialog whose button opened
        // a box or a folder browser).
        Handle(window, true);
      }
    }
  }

  void ReportUnusedAnswers() {
    for (size_t index = nextAnswer_; index < options_.script.size(); ++index)
      record_.problems.push_back("answer " + std::to_string(index + 1) +
                                 " was never used: " + DescribeAnswer(options_.script[index]));
  }

 private:
  struct Tracked {
    size_t recordIndex;
    int answerSerial;
  };

  static std::string IconDll(const RunOptions& options) {
    return options.hookDll.empty() ? DefaultHookDll() : options.hookDll;
  }

  void Handle(HWND window, bool again) {
    WindowKind kind = ClassifyWindow(window);
    // A window disabled under a modal one of its own is answered when it is enabled again.
    if (kind != WindowKind::Passive && !IsWindowEnabled(window)) return;
    WindowRecord record = InspectWindow(window, kind);
    record.again = again;
    if (kind == WindowKind::MessageBox) {
      record.icon = icons_.Query(window, record.errorMode);
      if (!icons_.error().empty() && !iconErrorReported_) {
        record_.problems.push_back(icons_.error());
        iconErrorReported_ = true;
      }
    }
    const size_t index = record_.windows.size();
    record_.windows.push_back(record);
    if (options_.onWindow) RunCallback(options_.onWindow, window, index, "window callback");
    if (kind != WindowKind::Passive) {
      Reply(window, index);
      ++answerSerial_;
    }
    tracked_[window] = Tracked{index, answerSerial_};
  }

  void Reply(HWND window, size_t index) {
    WindowRecord& record = record_.windows[index];
    if (nextAnswer_ >= options_.script.size()) {
      Dismiss(window, index, WindowName(index, record) + " was not expected: no answers left");
      return;
    }
    const Answer& answer = options_.script[nextAnswer_];
    if (!Matches(answer, record)) {
      Dismiss(window, index,
              WindowName(index, record) + " does not match answer " + std::to_string(nextAnswer_ + 1) + ": " +
                  DescribeAnswer(answer));
      return;
    }
    const size_t answerIndex = nextAnswer_++;
    record.answerIndex = static_cast<int>(answerIndex);
    const std::string answerName = "answer " + std::to_string(answerIndex + 1);
    for (const auto& [id, text] : answer.controlTexts) {
      HWND control = GetDlgItem(window, id);
      DWORD_PTR result = 0;
      if (control == nullptr || !SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                                                     SMTO_ABORTIFHUNG, kIconAnswerTimeoutMs, &result)) {
        Dismiss(
            window, index,
            answerName + " cannot set the text of control " + std::to_string(id) + " of " + WindowName(index, record));
        return;
      }
    }
    if (answer.whileShown) RunCallback(answer.whileShown, window, index, answerName + " callback");
    if (answer.button != kCloseWindow && !HasButton(record, answer.button)) {
      Dismiss(window, index,
              answerName + " presses " + ButtonName(answer.button, record.kind) + ", which " +
                  WindowName(index, record) + " does not have");
      return;
    }
    if (!PressButton(window, answer.button))
      record_.problems.push_back(answerName + " could not be posted to " + WindowName(index, record));
    record_.windows[index].pressed = answer.button;
  }

  // Records the problem and answers so that the program goes on: Cancel, else No, else OK, else WM_CLOSE.
  void Dismiss(HWND window, size_t index, const std::string& problem) {
    record_.problems.push_back(problem);
    WindowRecord& record = record_.windows[index];
    record.answerIndex = -1;
    int button = kCloseWindow;
    for (int candidate : {IDCANCEL, IDNO, IDOK}) {
      if (HasButton(record, candidate)) {
        button = candidate;
        break;
      }
    }
    PressButton(window, button);
    record.pressed = button;
  }

  // A callback's failure is recorded; it must not leave the program under test running unwatched.
  void RunCallback(const std::function<void(HWND, const WindowRecord&)>& callback, HWND window, size_t index,
                   const std::string& name) {
    try {
      callback(window, record_.windows[index]);
    } catch (const std::exception& error) {
      record_.problems.push_back(name + " failed on " + WindowName(index, record_.windows[index]) + ": " +
                                 error.what());
    } catch (...) {
      record_.problems.push_back(name + " failed on " + WindowName(index, record_.windows[index]));
    }
  }

  const RunOptions& options_;
  HANDLE job_;
  DWORD processId_;
  RunRecord& record_;
  IconProbe icons_;
  bool iconErrorReported_ = false;
  std::map<HWND, Tracked> tracked_;
  size_t nextAnswer_ = 0;
  int answerSerial_ = 0;
};
}  // namespace

const ControlRecord* WindowRecord::Control(int id) const {
  for (const ControlRecord& control : controls)
    if (control.id == id) return &control;
  return nullptr;
}

Answer Answer::Press(int button) {
  Answer answer;
  answer.button = button;
  return answer;
}

Answer Answer::Close() { return Press(kCloseWindow); }

Answer& Answer::Caption(const std::string& part) {
  captionContains.push_back(part);
  return *this;
}

Answer& Answer::Text(const std::string& part) {
  textContains.push_back(part);
  return *this;
}

Answer& Answer::Controls(const std::vector<int>& ids) {
  requiredControls.insert(requiredControls.end(), ids.begin(), ids.end());
  return *this;
}

Answer& Answer::SetText(int controlId, const std::string& text) {
  controlTexts.emplace_back(controlId, text);
  return *this;
}

Answer& Answer::WhileShown(std::function<void(HWND window, const WindowRecord& record)> callback) {
  whileShown = std::move(callback);
  return *this;
}

std::vector<WindowRecord> RunRecord::WindowsOfKind(WindowKind kind) const {
  std::vector<WindowRecord> found;
  for (const WindowRecord& window : windows)
    if (window.kind == kind) found.push_back(window);
  return found;
}

RunRecord RunProgram(const RunOptions& options) {
  RunRecord record;
  std::string commandLine = options.commandLine;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  // The program starts with the system's error mode, not the driver's, as it does from the shell; suspended until
  // it is in the job that gathers its descendants.
  if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE | CREATE_SUSPENDED,
                      nullptr, options.workingFolder.empty() ? nullptr : options.workingFolder.c_str(), &startup,
                      &info)) {
    DWORD error = GetLastError();
    record.startError = "cannot start " + options.commandLine + ": error " + std::to_string(error);
    return record;
  }
  record.started = true;
  UniqueKernelHandle process(info.hProcess);
  UniqueKernelHandle thread(info.hThread);
  UniqueKernelHandle job(options.descendants ? CreateJobObjectA(nullptr, nullptr) : nullptr);
  if (job && !AssignProcessToJobObject(job.get(), process.get())) job.reset();
  ResumeThread(thread.get());

  Watcher watcher(options, job.get(), info.dwProcessId, record);
  const DWORD start = GetTickCount();
  for (;;) {
    watcher.Scan();
    if (WaitForSingleObject(process.get(), options.pollIntervalMs) != WAIT_TIMEOUT) break;
    if (GetTickCount() - start >= options.timeLimitMs) {
      record.timedOut = true;
      record.problems.push_back("time limit of " + std::to_string(options.timeLimitMs) + " ms reached");
      // Its descendants go with it: a setup left running would hold the next run's journal.
      if (!job || !TerminateJobObject(job.get(), kTimeLimitExitCode))
        TerminateProcess(process.get(), kTimeLimitExitCode);
      WaitForSingleObject(process.get(), kEndWaitMs);
      break;
    }
  }
  watcher.ReportUnusedAnswers();
  DWORD exitCode = 0;
  if (GetExitCodeProcess(process.get(), &exitCode)) record.exitCode = exitCode;
  return record;
}

RunRecord RunProgram(const std::string& commandLine, const std::string& workingFolder,
                     const std::vector<Answer>& script, DWORD timeLimitMs) {
  RunOptions options;
  options.commandLine = commandLine;
  options.workingFolder = workingFolder;
  options.script = script;
  options.timeLimitMs = timeLimitMs;
  return RunProgram(options);
}

std::string QuoteArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  // Backslashes before a quote are doubled, the quote itself escaped.
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

std::string CommandLine(const std::string& program, const std::vector<std::string>& arguments) {
  std::string line = QuoteArgument(program);
  for (const std::string& argument : arguments) line += " " + QuoteArgument(argument);
  return line;
}
