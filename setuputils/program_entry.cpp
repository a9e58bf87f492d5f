// The shipped programs' entry point (orv_shipped_program in CMakeLists.txt): the DLL search is restricted before the
// C runtime starts.
//
// Before this entry point runs, the programs have loaded kernel32 and the C runtime (msvcrt) only; every other system
// DLL is delay-loaded, bound at its first call. After the restriction, every DLL loaded by name for these programs,
// and every DLL those load in turn, comes from the system folder: a DLL dropped beside a download under a system
// DLL's name is never loaded from there, from the current folder or from PATH.
#include <windows.h>

extern "C" int WinMainCRTStartup();

namespace {
// LOAD_LIBRARY_SEARCH_SYSTEM32, which the headers define only for newer Windows versions than we build for.
constexpr DWORD kSearchSystemFolderOnly = 0x00000800;

template <typename Proc>
Proc KernelProcedure(const char* name) {
  // kernel32 is loaded in every process: its handle is not counted and not freed.
  return reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name)));
}

void RestrictDllSearchToSystemFolder() {
  // Looked up: Windows before 8 has it only with an update, and the programs must start without it.
  const auto setDefaultDirectories = KernelProcedure<BOOL(WINAPI*)(DWORD)>("SetDefaultDllDirectories");
  if (setDefaultDirectories != nullptr && setDefaultDirectories(kSearchSystemFolderOnly)) return;
  // Without it, at least the current folder leaves the search order (Windows XP SP1 and later).
  const auto setDllDirectory = KernelProcedure<BOOL(WINAPI*)(LPCSTR)>("SetDllDirectoryA");
  if (setDllDirectory != nullptr) setDllDirectory("");
}
}  // namespace

extern "C" int ProgramEntry() {
  RestrictDllSearchToSystemFolder();
  return WinMainCRTStartup();
}
