// The uninstaller's Windows entry point.
#include <windows.h>

#include "uninstaller.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return UninstallMain(); }
