// Stand-in for the IDE's command-line tools in tests: copied as dcc32.exe, bpr2mak.exe and make.exe into a fake
// IDE's "Bin\" folder, it plays the tool its file name names.
//
// Contract (what the package build relies on): the file to build is the last argument, relative names taken from
// the current folder; messages go to standard output; exit code 0 on success; the product lands next to the file
// under the same base name:
//   dcc32   .dpk -> PackageExt (".bpl" unless the control file says otherwise) plus .dcu and .dcp,
//           .pas -> .dcu, .dpr -> .exe, anything else -> .dcu
//   bpr2mak .bpk/.bpr -> .mak holding "PROJECT = <name>.bpl" (PackageExt) or "<name>.exe"
//   make    .mak -> the PROJECT file named in it, .bpr -> .exe, anything else -> PackageExt; plus .tds and .obj
// Every run appends "<tool>\t<current folder>\t<command line>" and CR LF to "tools.log" next to the program.
// Control file "fake_tools.ini" next to the program, one section per tool ([dcc32], [bpr2mak], [make]):
//   ExitCode=N    end with exit code N (decimal or 0x hex) and produce nothing
//   Produce=0     report success and produce nothing
//   PackageExt=.dpl
#include <windows.h>

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
std::string ProgramPath() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::string();
    if (length < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of("\\:") + 1); }

std::string BaseNameOf(const std::string& path) {
  std::string name = path.substr(path.find_last_of("\\:") + 1);
  return name.substr(0, name.rfind('.'));
}

std::string ExtensionOf(const std::string& path) {
  size_t dot = path.rfind('.');
  size_t separator = path.find_last_of("\\:");
  if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) return std::string();
  std::string ext = path.substr(dot);
  for (char& c : ext) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return ext;
}

std::string WithExtension(const std::string& path, const std::string& ext) {
  size_t dot = path.rfind('.');
  size_t separator = path.find_last_of("\\:");
  if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) return path + ext;
  return path.substr(0, dot) + ext;
}

// Blank-separated arguments; double quotes group and are dropped.
std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> arguments;
  std::string current;
  bool quoted = false, any = false;
  for (char c : commandLine) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (any) arguments.push_back(current);
      current.clear();
      any = false;
    } else {
      current += c;
      any = true;
    }
  }
  if (any) arguments.push_back(current);
  return arguments;
}

void AppendToFile(const std::string& path, const std::string& text) {
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

void WriteNewFile(const std::string& path, const std::string& text) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

std::string ReadSmallFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string content;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) content.append(buffer, got);
  CloseHandle(file);
  return content;
}

void Say(const std::string& line) {
  std::string text = line + "\r\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::string Setting(const std::string& control, const std::string& tool, const char* key, const char* fallback) {
  char buffer[512];
  DWORD length = GetPrivateProfileStringA(tool.c_str(), key, fallback, buffer, sizeof buffer, control.c_str());
  return std::string(buffer, length);
}

// The product a makefile written by the fake bpr2mak names, as an extension.
std::string MakefileProductExt(const std::string& makefile, const std::string& packageExt) {
  std::string content = ReadSmallFile(makefile);
  size_t project = content.find("PROJECT = ");
  if (project == std::string::npos) return packageExt;
  std::string name = content.substr(project + 10, content.find_first_of("\r\n", project) - project - 10);
  return ExtensionOf(name);
}
}  // namespace

int main() {
  std::string program = ProgramPath();
  std::string binDir = FolderOf(program);
  std::string tool = BaseNameOf(program);
  for (char& c : tool) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  std::string commandLine = GetCommandLineA();

  char folder[MAX_PATH * 2];
  DWORD folderLength = GetCurrentDirectoryA(sizeof folder, folder);
  if (folderLength >= sizeof folder) folderLength = 0;
  AppendToFile(binDir + "tools.log", tool + "\t" + std::string(folder, folderLength) + "\t" + commandLine + "\r\n");

  std::string control = binDir + "fake_tools.ini";
  std::vector<std::string> arguments = SplitCommandLine(commandLine);
  std::string file = arguments.size() > 1 ? arguments.back() : std::string();
  Say("Fake " + tool + ": " + file);

  std::string exitCode = Setting(control, tool, "ExitCode", "0");
  if (std::strtoul(exitCode.c_str(), nullptr, 0) != 0) {
    Say("Fake " + tool + " fails as told");
    ExitProcess(static_cast<UINT>(std::strtoul(exitCode.c_str(), nullptr, 0)));
  }
  if (file.empty() || GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES) {
    Say("Fatal: cannot open " + file);
    return 2;
  }
  if (Setting(control, tool, "Produce", "1") == "0") {
    Say("Fake " + tool + " produces nothing as told");
    return 0;
  }

  std::string packageExt = Setting(control, tool, "PackageExt", ".bpl");
  std::string ext = ExtensionOf(file);
  std::vector<std::string> products;
  if (tool == "dcc32") {
    if (ext == ".dpk") {
      products = {packageExt, ".dcu", ".dcp"};
    } else if (ext == ".dpr") {
      products = {".exe"};
    } else {
      products = {".dcu"};
    }
  } else if (tool == "bpr2mak") {
    std::string project = BaseNameOf(file) + (ext == ".bpr" ? ".exe" : packageExt);
    WriteNewFile(WithExtension(file, ".mak"), "PROJECT = " + project + "\r\n");
    Say("Wrote " + WithExtension(file, ".mak"));
    return 0;
  } else if (tool == "make") {
    std::string productExt = ext == ".mak" ? MakefileProductExt(file, packageExt) : ext == ".bpr" ? ".exe" : packageExt;
    products = {productExt, ".tds", ".obj"};
  } else {
    Say("Fake tool of unknown kind: " + tool);
    return 3;
  }
  for (const std::string& productExt : products) {
    std::string product = WithExtension(file, productExt);
    WriteNewFile(product, tool + " built " + BaseNameOf(file) + productExt + " from " + file + "\r\n");
    Say("Wrote " + product);
  }
  return 0;
}
