// The DPInst stand-in. Setup.exe fixes its command line, so what to do comes
// from a control file, C:\e2e\dpinst_control.ini, one "Key=Value" per line, the
// value taken byte for byte up to the line end:
//   ExitCode=0x40000001   exit code (decimal or 0x hex, any 32-bit value; default 0)
//   LogLine=text          a line to append to %SystemRoot%\DpInst.log
//   WaitFor=C:\e2e\go     wait until this file exists before exiting
//   ListPackage=yes       list the package it was started from (the folder
//                         above its own) in C:\e2e\dpinst_package.txt, one
//                         "relative\path size" line per file
// Every start appends the exact command line to C:\e2e\dpinst_calls.txt and a
// line "bits=NN station=visible|hidden cwd=FOLDER" to C:\e2e\dpinst_runs.txt
// (station: whether its window station has WSF_VISIBLE).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include <string>

namespace {

const char kControlFile[] = "C:\\e2e\\dpinst_control.ini";
const char kCallsFile[] = "C:\\e2e\\dpinst_calls.txt";
const char kRunsFile[] = "C:\\e2e\\dpinst_runs.txt";
const char kPackageFile[] = "C:\\e2e\\dpinst_package.txt";
const DWORD kLongestWaitMs = 300000;

void Append(const char* path, const std::string& line)
{
    // Retry briefly: two stand-ins may append at the same moment.
    for (int attempt = 0; attempt < 50; ++attempt) {
        HANDLE file =
            CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE) {
            std::string text = line + "\r\n";
            DWORD written = 0;
            WriteFile(file, text.data(), (DWORD)text.size(), &written, NULL);
            CloseHandle(file);
            return;
        }
        Sleep(20);
    }
}

std::string ReadControl(const char* key)
{
    HANDLE file = CreateFileA(kControlFile, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, NULL) && got > 0)
        text.append(buffer, got);
    CloseHandle(file);

    std::string prefix = std::string(key) + "=";
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line[line.size() - 1] == '\r')
            line.erase(line.size() - 1);
        if (line.compare(0, prefix.size(), prefix) == 0)
            return line.substr(prefix.size());
        start = end + 1;
    }
    return std::string();
}

void ListFiles(const std::string& folder, const std::string& relative)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListFiles(folder + "\\" + name, relative + name + "\\");
        else
            Append(kPackageFile,
                   relative + name + " " +
                       std::to_string(((unsigned long long)found.nFileSizeHigh << 32) | found.nFileSizeLow));
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    Append(kCallsFile, GetCommandLineA());
    char folder[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, folder);
    USEROBJECTFLAGS flags;
    ZeroMemory(&flags, sizeof(flags));
    GetUserObjectInformationA(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof(flags), NULL);
    Append(kRunsFile, std::string("bits=") + (sizeof(void*) == 8 ? "64" : "32") +
                          " station=" + ((flags.dwFlags & WSF_VISIBLE) ? "visible" : "hidden") + " cwd=" + folder);

    std::string logLine = ReadControl("LogLine");
    if (!logLine.empty()) {
        char root[MAX_PATH] = "";
        if (!GetEnvironmentVariableA("SystemRoot", root, MAX_PATH))
            GetWindowsDirectoryA(root, MAX_PATH);
        Append((std::string(root) + "\\DpInst.log").c_str(), logLine);
    }

    if (!ReadControl("ListPackage").empty()) {
        char own[MAX_PATH] = "";
        GetModuleFileNameA(NULL, own, MAX_PATH);
        std::string package = own;
        package.erase(package.rfind('\\'));
        package.erase(package.rfind('\\'));
        ListFiles(package, "");
    }

    std::string waitFor = ReadControl("WaitFor");
    if (!waitFor.empty()) {
        DWORD start = GetTickCount();
        while (GetFileAttributesA(waitFor.c_str()) == INVALID_FILE_ATTRIBUTES &&
               GetTickCount() - start < kLongestWaitMs)
            Sleep(25);
    }

    std::string code = ReadControl("ExitCode");
    ExitProcess(code.empty() ? 0u : (UINT)strtoul(code.c_str(), NULL, 0));
}
