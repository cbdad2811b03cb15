// The entry point: everything else lives in the setup library.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "app/setup_sequence.h"
#include "platform/win32/win32_modules.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int)
{
    HardenDllSearch();
    return RunSetup(instance, arguments ? arguments : "");
}
