// The single-file setup's Windows entry point.
#include <windows.h>

#include "setup_stub.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return SetupStubMain(); }
