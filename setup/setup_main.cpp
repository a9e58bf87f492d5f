// The setup program's Windows entry point.
#include <windows.h>

#include "setup_settings.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return SetupMain(); }
