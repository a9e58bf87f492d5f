// Shortcut files through the shell's link object.
#include "shortcuts.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <vector>

#include "change_observer.h"
#include "path_macros.h"
#include "path_utils.h"
#include "run_log.h"
#include "setup_settings.h"
#include "unique_handle.h"

bool CreateShellLink(const std::string& linkFile, const std::string& target, const std::string& description,
                     const std::string& workingFolder) {
  ComPtr<IShellLinkA> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr,
                              CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER, IID_IShellLinkA,
                              link.put_void())) ||
      !link)
    return false;
  link->SetPath(target.c_str());
  if (!description.empty()) link->SetDescription(description.c_str());
  if (!workingFolder.empty()) link->SetWorkingDirectory(workingFolder.c_str());
  ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.put_void())) || !file) return false;
  const std::wstring wide = WideFromAnsi(linkFile);
  if (wide.empty()) return false;
  PrepareFileForWriting(linkFile);
  if (SUCCEEDED(file->Save(wide.c_str(), TRUE))) return true;
  // The user's own shortcut of that name comes back.
  RestoreUnwrittenFile(linkFile);
  return false;
}

void CreateLinks() {
  const std::string folder = ProgramsFolder();
  // Without the Programs folder a shortcut would land in the current folder and be recorded there.
  if (folder.empty()) return;
  TSetupSettings& s = SetupSettings;
  for (size_t i = 0; i < s.Links.Count(); ++i) {
    const std::string name = NamePart(s.Links[i]);
    const std::string target = ExtractFileName(TrimText(s.Links.Value(name)));
    const std::string linkFile = folder + ChangeFileExt(name, ".lnk");
    // A shortcut that could not be saved (a name too long for a path, say) is no installed file: counted, its
    // name alone could fail the installation.
    const bool saved = CreateShellLink(linkFile, s.InstallDir + target, name, s.InstallDir);
    LogLine((saved ? "Shortcut " : "Shortcut not saved: ") + linkFile + " -> " + s.InstallDir + target);
    if (saved) s.Files.Add(linkFile);
  }
}
