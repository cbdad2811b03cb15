// The simulated machine: shell paths, files, initialization files and programs.
#include <dirent.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include "sim/sim.h"
#include "sim/sim_internal.h"

namespace sim {

namespace {

std::map<PfHandle, HandleData> g_handles;
PfHandle g_nextHandle = 0x100;

std::string Lower(std::string text)
{
    for (char& c : text)
        c = (char)tolower((unsigned char)c);
    return text;
}

bool IsAbsolute(const std::string& path)
{
    return (path.size() >= 2 && path[1] == ':') || path.compare(0, 2, "\\\\") == 0;
}

// Resolves "." and ".." the way the shell's canonicalisation does.
std::string Canonicalize(const std::string& path)
{
    size_t rootLength = 0;
    if (path.size() >= 3 && path[1] == ':' && path[2] == '\\')
        rootLength = 3;
    else if (path.size() >= 2 && path[1] == ':')
        rootLength = 2;
    else if (path.compare(0, 2, "\\\\") == 0)
        rootLength = 2;
    else if (!path.empty() && path[0] == '\\')
        rootLength = 1;
    std::vector<std::string> parts;
    std::stringstream rest(path.substr(rootLength));
    std::string part;
    bool trailing = path.size() > rootLength && path.back() == '\\';
    while (std::getline(rest, part, '\\')) {
        if (part == "." || (part.empty() && !parts.empty()))
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string result = path.substr(0, rootLength);
    for (size_t i = 0; i < parts.size(); ++i)
        result += (i ? "\\" : "") + parts[i];
    if (trailing && !parts.empty())
        result += "\\";
    return result;
}

void CopyOut(const std::string& text, char* buffer, size_t capacity)
{
    size_t copied = std::min(text.size(), capacity - 1);
    memcpy(buffer, text.data(), copied);
    buffer[copied] = 0;
}

bool CopyFileBytes(const std::string& source, const std::string& target)
{
    if (!FileExists(source) || IsFolder(source))
        return false;
    std::string bytes = ReadFile(source);
    std::ofstream out(HostPath(target), std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out << bytes;
    return true;
}

}  // namespace

PfHandle NewHandle(HandleKind kind, const std::string& path)
{
    PfHandle handle = g_nextHandle++;
    g_handles[handle] = HandleData{kind, path, "", false, {}, 0};
    Machine().openHandles.insert(handle);
    return handle;
}

HandleData* FindHandle(PfHandle handle, HandleKind kind)
{
    auto found = g_handles.find(handle);
    return found != g_handles.end() && found->second.kind == kind ? &found->second : 0;
}

std::string HandlePath(PfHandle handle)
{
    auto found = g_handles.find(handle);
    return found == g_handles.end() ? "" : found->second.path;
}

bool IsOpen(const std::string& windowsPath)
{
    for (const auto& entry : g_handles)
        if (entry.second.kind == HandleKind::File && strcasecmp(entry.second.path.c_str(), windowsPath.c_str()) == 0)
            return true;
    return false;
}

std::map<PfHandle, HandleData>& Handles() { return g_handles; }

void ResetHandles()
{
    for (auto& entry : g_handles)
        if (entry.second.fd >= 0)
            close(entry.second.fd);
    g_handles.clear();
    g_nextHandle = 0x100;
}

bool TraceCall(const std::string& call, const std::string& name)
{
    Machine().calls.push_back(call);
    return Machine().failingCalls.count(name) == 0;
}

std::string AsPackagePath(const std::string& text)
{
    std::string result = text;
    std::string folder = Machine().modulePath.substr(0, Machine().modulePath.rfind('\\'));
    for (const std::string& temp : {Machine().tempPath, Machine().tempPath2}) {
        std::string prefix = temp + "SetupPackage_";
        const size_t kHexDigits = 16;
        for (size_t at = result.find(prefix); !temp.empty() && at != std::string::npos;
             at = result.find(prefix, at)) {
            result.replace(at, prefix.size() + kHexDigits, folder);
            at += folder.size();
        }
    }
    return result;
}

}  // namespace sim

using namespace sim;

int PfPathAppend(char* path, const char* more)
{
    const char* append = more;
    if (strncmp(append, "\\\\", 2) != 0)
        while (*append == '\\')
            ++append;
    std::string combined;
    if (IsAbsolute(append))
        combined = append;
    else if (*path == 0)
        combined = append;
    else {
        combined = path;
        if (*append) {
            if (combined.back() != '\\')
                combined += '\\';
            combined += append;
        }
    }
    std::string result = Canonicalize(combined);
    if (result.size() >= 260) {
        path[0] = 0;
        return 0;
    }
    strcpy(path, result.c_str());
    return 1;
}

// Windows' own path normalisation: "." and ".." resolved, and a name's
// trailing dots and blanks dropped ("C:\Pkg.\x" is "C:\Pkg\x"), as the
// "File path formats on Windows systems" article of Microsoft's docs gives it.
int PfGetFullPathName(const char* path, char* full)
{
    std::string absolute = path;
    std::replace(absolute.begin(), absolute.end(), '/', '\\');
    if (!IsAbsolute(path))
        absolute = (absolute[0] == '\\' ? std::string("C:") : std::string("C:\\")) + absolute;
    std::string trimmed;
    std::stringstream parts(absolute);
    std::string part;
    for (bool first = true; std::getline(parts, part, '\\'); first = false) {
        if (part != "." && part != "..")
            while (!part.empty() && (part.back() == '.' || part.back() == ' '))
                part.pop_back();
        trimmed += (first ? "" : "\\") + part;
    }
    std::string result = Canonicalize(trimmed);
    if (result.size() >= 260) {
        full[0] = 0;
        return 0;
    }
    strcpy(full, result.c_str());
    return 1;
}

int PfPathRemoveFileSpec(char* path)
{
    char* slash = strrchr(path, '\\');
    if (!slash) {
        char* colon = strchr(path, ':');
        if (colon && colon[1]) {
            colon[1] = 0;
            return 1;
        }
        bool changed = *path != 0;
        *path = 0;
        return changed;
    }
    bool isRoot = (slash == path + 2 && path[1] == ':') || slash == path;
    if (isRoot) {
        if (slash[1] == 0)
            return 0;
        slash[1] = 0;
        return 1;
    }
    *slash = 0;
    return 1;
}

void PfPathStripPath(char* path)
{
    const char* slash = strrchr(path, '\\');
    if (slash && slash[1])
        memmove(path, slash + 1, strlen(slash + 1) + 1);
}

void PfPathRemoveExtension(char* path)
{
    char* slash = strrchr(path, '\\');
    char* dot = strrchr(slash ? slash : path, '.');
    if (dot)
        *dot = 0;
}

int PfPathAddExtension(char* path, const char* extension)
{
    char* slash = strrchr(path, '\\');
    if (strchr(slash ? slash : path, '.'))
        return 0;
    if (strlen(path) + strlen(extension) >= 260)
        return 0;
    strcat(path, extension);
    return 1;
}

int PfPathFileExists(const char* path)
{
    SIM_FAULT_POINT(path, 0);
    return *path && FileExists(path);
}

namespace {

// The 8.3 name Windows adds to a long name too long for it (names with
// characters 8.3 lacks left aside): six of the name, "~1" and three of the
// extension, in capitals. "" for a name that fits.
std::string ShortName(const std::string& name)
{
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || dot == 0 || (dot <= 8 && name.size() - dot <= 4))
        return "";
    std::string shortName = name.substr(0, std::min<size_t>(dot, 6)) + "~1" + name.substr(dot, 4);
    for (char& c : shortName)
        c = (char)toupper((unsigned char)c);
    return shortName;
}

// "*", "*.ext" or an exact name, without regard to case.
bool MaskMatches(const std::string& mask, const std::string& name)
{
    std::string lower = Lower(name);
    if (mask == "*")
        return true;
    if (mask.compare(0, 2, "*.") == 0)
        return lower.size() > mask.size() - 1 &&
               lower.compare(lower.size() - (mask.size() - 1), mask.size() - 1, mask.substr(1)) == 0;
    return lower == mask;
}

// The names a search finds, in the order NTFS reports them (sorted); a name
// counts when its long or its short form matches, as on Windows. false with
// the last error set when the folder or any match is missing.
bool FindMatches(const char* pattern, std::vector<std::string>* matches)
{
    std::string text = pattern;
    size_t slash = text.find_last_of('\\');
    std::string folder = slash == std::string::npos ? "" : text.substr(0, slash);
    std::string mask = Lower(text.substr(slash == std::string::npos ? 0 : slash + 1));
    if (!IsFolder(folder)) {
        PfSetLastError(PF_ERROR_PATH_NOT_FOUND);
        return false;
    }
    DIR* dir = opendir(HostPath(folder).c_str());
    while (dirent* entry = readdir(dir)) {
        // "*" lists everything, "." and ".." included, as in any folder but a root.
        std::string shortName = ShortName(entry->d_name);
        if (MaskMatches(mask, entry->d_name) || (!shortName.empty() && MaskMatches(mask, shortName)))
            matches->push_back(entry->d_name);
    }
    closedir(dir);
    if (matches->empty()) {
        PfSetLastError(PF_ERROR_FILE_NOT_FOUND);
        return false;
    }
    std::sort(matches->begin(), matches->end());
    return true;
}

}  // namespace

int PfFindFirstFileName(const char* pattern, char* name, uint32_t capacity)
{
    SIM_FAULT_POINT(pattern, 0);
    std::vector<std::string> matches;
    if (!FindMatches(pattern, &matches))
        return 0;
    CopyOut(matches.front(), name, capacity);
    return 1;
}

PfHandle PfFindFirstFile(const char* pattern, char* name, uint32_t capacity)
{
    SIM_FAULT_POINT(pattern, 0);
    std::vector<std::string> matches;
    if (!FindMatches(pattern, &matches))
        return 0;
    CopyOut(matches.front(), name, capacity);
    PfHandle search = NewHandle(HandleKind::Search, pattern);
    HandleData* data = FindHandle(search, HandleKind::Search);
    data->names = matches;
    data->next = 1;
    return search;
}

int PfFindNextFile(PfHandle search, char* name, uint32_t capacity)
{
    SIM_FAULT_POINT(HandlePath(search), 0);
    HandleData* data = FindHandle(search, HandleKind::Search);
    if (!data) {
        PfSetLastError(6);  // ERROR_INVALID_HANDLE
        return 0;
    }
    if (data->next >= data->names.size()) {
        PfSetLastError(PF_ERROR_NO_MORE_FILES);
        return 0;
    }
    CopyOut(data->names[data->next++], name, capacity);
    return 1;
}

int PfFindClose(PfHandle search)
{
    if (!FindHandle(search, HandleKind::Search))
        return 0;
    return PfCloseHandle(search);
}

PfHandle PfOpenFileForRead(const char* path)
{
    SIM_FAULT_POINT(path, 0);
    if (!FileExists(path) || IsFolder(path)) {
        std::string text = path;
        size_t slash = text.find_last_of('\\');
        bool folderThere = slash == std::string::npos || IsFolder(text.substr(0, slash));
        PfSetLastError(folderThere ? PF_ERROR_FILE_NOT_FOUND : PF_ERROR_PATH_NOT_FOUND);
        return 0;
    }
    // Shares reads only: while it is open nobody may write, rename or delete the file.
    if (!SharingAllowsAt(path, PF_GENERIC_READ, PF_FILE_SHARE_READ))
        return 0;
    PfHandle handle = NewHandle(HandleKind::File, path);
    HandleData* data = FindHandle(handle, HandleKind::File);
    data->bytes = ReadFile(path);
    struct stat info;
    data->fd = open(HostPath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (data->fd >= 0 && fstat(data->fd, &info) == 0) {
        data->access = PF_GENERIC_READ;
        data->share = PF_FILE_SHARE_READ;
        data->device = (uint64_t)info.st_dev;
        data->inode = (uint64_t)info.st_ino;
    }
    return handle;
}

int PfWriteFile(PfHandle file, const void* data, uint32_t size)
{
    SIM_FAULT_POINT(HandlePath(file), 0);
    HandleData* handle = FindHandle(file, HandleKind::File);
    if (!handle)
        handle = FindHandle(file, HandleKind::Held);
    if (!handle || (Machine().writeFails && Machine().writeFails(handle->path)))
        return 0;
    if (handle->fd >= 0) {
        if (handle->folder ||
            !(handle->access & (PF_FILE_WRITE_DATA | PF_FILE_APPEND_DATA | PF_GENERIC_WRITE | PF_GENERIC_ALL))) {
            PfSetLastError(PF_ERROR_ACCESS_DENIED);
            return 0;
        }
        return ::write(handle->fd, data, size) == (ssize_t)size;
    }
    std::ofstream out(HostPath(handle->path), std::ios::binary | std::ios::app);
    out.write((const char*)data, size);
    return 1;
}

int PfCloseHandle(PfHandle handle)
{
    auto& open = Machine().openHandles;
    if (!open.count(handle))
        return 0;
    open.erase(handle);
    CloseHeld(handle);
    g_handles.erase(handle);  // its bytes go with it: long fuzz runs stay in bounded memory
    return 1;
}

int PfCopyFile(const char* source, const char* target, int failIfExists)
{
    SIM_FAULT_POINT(std::string(source) + " -> " + target, 0);
    if (failIfExists && FileExists(target))
        return 0;
    // CopyFileA reads the source sharing reads, and writes the target sharing nothing.
    if (!SharingAllowsAt(source, PF_GENERIC_READ, PF_FILE_SHARE_READ) ||
        !SharingAllowsAt(target, PF_GENERIC_WRITE, 0))
        return 0;
    std::string to = target;
    size_t slash = to.find_last_of('\\');
    if (slash != std::string::npos && !IsFolder(to.substr(0, slash)))
        return 0;
    return CopyFileBytes(source, target);
}

int PfDeleteFile(const char* path)
{
    SIM_FAULT_POINT(path, 0);
    if (!FileExists(path) || IsFolder(path)) {
        PfSetLastError(PF_ERROR_FILE_NOT_FOUND);
        return 0;
    }
    // A file another process holds without delete sharing cannot be deleted.
    if (!SharingAllowsAt(path, PF_DELETE, PF_FILE_SHARE_READ | PF_FILE_SHARE_WRITE | PF_FILE_SHARE_DELETE))
        return 0;
    for (const std::string& lingering : Machine().lingeringFiles)
        if (strcasecmp(lingering.c_str(), path) == 0)
            return 1;
    return unlink(HostPath(path).c_str()) == 0;
}

// ---- initialization files ----------------------------------------------------

namespace {

std::string Trim(const std::string& text)
{
    size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos)
        return "";
    size_t end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

// A file that starts with the UTF-16LE byte-order mark is read as UTF-16 text;
// any other as bytes of the ANSI code page.
std::string ProfileText(const std::string& bytes)
{
    if (bytes.size() < 2 || (unsigned char)bytes[0] != 0xFF || (unsigned char)bytes[1] != 0xFE)
        return bytes;
    std::u16string wide;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
        wide += (char16_t)((unsigned char)bytes[i] | ((unsigned char)bytes[i + 1] << 8));
    return Utf16ToAnsi(wide);
}

// The value of section/key as the profile functions return it; false when absent.
bool ProfileValue(const char* file, const char* section, const char* key, std::string* value)
{
    // A file that cannot be read gives the defaults, as one that is absent.
    if (Injected("PfGetPrivateProfile", file) || !FileExists(file) || IsFolder(file))
        return false;
    std::stringstream lines(ProfileText(ReadFile(file)));
    std::string line;
    bool inSection = false;
    while (std::getline(lines, line)) {
        std::string trimmed = Trim(line);
        if (!trimmed.empty() && trimmed[0] == '[') {
            size_t close = trimmed.find(']');
            std::string name = Trim(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            inSection = strcasecmp(name.c_str(), section) == 0;
            continue;
        }
        size_t equals = trimmed.find('=');
        if (!inSection || equals == std::string::npos || trimmed[0] == ';')
            continue;
        if (strcasecmp(Trim(trimmed.substr(0, equals)).c_str(), key) != 0)
            continue;
        std::string text = Trim(trimmed.substr(equals + 1));
        if (text.size() >= 2 && (text[0] == '"' || text[0] == '\'') && text.back() == text[0])
            text = text.substr(1, text.size() - 2);
        *value = text;
        return true;
    }
    return false;
}

}  // namespace

uint32_t PfGetPrivateProfileString(const char* section, const char* key, const char* defaultText, char* buffer,
                                   uint32_t capacity, const char* file)
{
    if (capacity == 0)
        return 0;
    std::string value;
    if (!ProfileValue(file, section, key, &value)) {
        value = defaultText ? defaultText : "";
        value.erase(value.find_last_not_of(' ') + 1);  // Windows drops a default's trailing blanks
    }
    CopyOut(value, buffer, capacity);
    return (uint32_t)std::min<size_t>(value.size(), capacity - 1);
}

int PfGetPrivateProfileInt(const char* section, const char* key, int defaultValue, const char* file)
{
    std::string value;
    if (!ProfileValue(file, section, key, &value) || value.empty())
        return defaultValue;
    const char* p = value.c_str();
    bool negative = false;
    while (*p == ' ' || *p == '\t')
        ++p;
    if (*p == '-' || *p == '+')
        negative = *p++ == '-';
    unsigned base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X'))
        base = 16, p += 2;
    uint32_t number = 0;
    for (;; ++p) {
        unsigned digit = isdigit((unsigned char)*p)                  ? *p - '0'
                         : isxdigit((unsigned char)*p) && base == 16 ? (tolower(*p) - 'a' + 10)
                                                                     : 99;
        if (digit >= base)
            break;
        number = number * base + digit;
    }
    return (int)(negative ? 0u - number : number);
}

// ---- programs --------------------------------------------------------------------

namespace {

std::string ImageOf(const std::string& commandLine)
{
    if (!commandLine.empty() && commandLine[0] == '"') {
        size_t close = commandLine.find('"', 1);
        return commandLine.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    return commandLine.substr(0, commandLine.find(' '));
}

const Program* ProgramAt(const std::string& image)
{
    std::string original = AsPackagePath(image);
    for (auto& entry : Machine().programs)
        if (strcasecmp(entry.first.c_str(), original.c_str()) == 0)
            return &entry.second;
    return 0;
}

void Run(const Program& program)
{
    for (auto& append : program.appends)
        WriteFile(append.first, (FileExists(append.first) ? ReadFile(append.first) : "") + append.second);
    if (program.whileRunning)
        program.whileRunning();
}

// Nothing the program does starts cmd.exe: a start is recorded so that
// tests can say so, and succeeds without doing anything.
int RunInterpreter(const std::string& commandLine)
{
    Machine().systemCommands.push_back(commandLine);
    return 0;
}

}  // namespace

int PfRunProcessAndWait(const char* commandLine, const char* folder, uint32_t* processExitCode,
                        uint32_t* threadExitCode)
{
    SIM_FAULT_POINT(commandLine, 0);
    if (folder && !IsFolder(folder)) {
        PfSetLastError(PF_ERROR_DIRECTORY);
        return 0;
    }
    // Windows resolves the image's name as GetFullPathNameA does.
    char full[260];
    std::string image = PfGetFullPathName(ImageOf(commandLine).c_str(), full) ? full : ImageOf(commandLine);
    if (strcasecmp(image.c_str(), (Machine().systemDirectory + "\\cmd.exe").c_str()) == 0) {
        *processExitCode = *threadExitCode = (uint32_t)RunInterpreter(commandLine);
        return 1;
    }
    const Program* program = ProgramAt(image);
    if ((program && program->startFails) || (!program && (!FileExists(image) || IsFolder(image)))) {
        PfSetLastError(program ? program->startError : PF_ERROR_FILE_NOT_FOUND);
        return 0;
    }
    Machine().processes.push_back(commandLine);
    Machine().processFolders.push_back(folder ? folder : "");
    Program none;
    const Program& run = program ? *program : none;
    Run(run);
    *processExitCode = run.exitCode;
    *threadExitCode = run.threadCodeDiffers ? run.threadExitCode : run.exitCode;
    return 1;
}

int PfShellExecuteAndWait(uint32_t mask, const char* verb, const char* file, const char* parameters,
                          const char* folder, int show, uint32_t* exitCode)
{
    SIM_FAULT_POINT(file ? file : "", 0);
    Machine().shellExecutions.push_back(
        {mask, verb ? verb : "", file ? file : "", parameters ? parameters : "", folder ? folder : "", show});
    std::string image = folder && !IsAbsolute(file) ? std::string(folder) + "\\" + file : file;
    const Program* program = ProgramAt(image);
    if (!FileExists(image) || (program && program->startFails)) {
        if (!(mask & PF_SEE_MASK_FLAG_NO_UI))
            PfMessageBox("File not found.", "Error", PF_MB_ICONEXCLAMATION);  // the shell's own box
        PfSetLastError(PF_ERROR_FILE_NOT_FOUND);
        return 0;
    }
    if (program) {
        Run(*program);
        *exitCode = program->exitCode;
    }
    return 1;
}
