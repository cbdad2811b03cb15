// Holds a file open the way another program that locks it would: without
// sharing, or sharing reads only ("r"), until a release file appears (at
// most a minute). Creates the ready file once the file is held.
//   holdfile.exe FILE READY RELEASE [r]
#include <windows.h>

int main(int argc, char** argv)
{
    if (argc != 4 && argc != 5)
        return 2;
    DWORD share = argc == 5 && argv[4][0] == 'r' ? FILE_SHARE_READ : 0;
    HANDLE file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, share, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    HANDLE ready = CreateFileA(argv[2], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (ready != INVALID_HANDLE_VALUE)
        CloseHandle(ready);
    for (int i = 0; i < 1200 && GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(50);
    CloseHandle(file);
    return 0;
}
