// Shared between the files of the simulated machine only.
#ifndef SETUP_TESTS_SIM_SIM_INTERNAL_H
#define SETUP_TESTS_SIM_SIM_INTERNAL_H

#include <map>
#include <string>
#include <vector>

#include "sim/sim.h"

namespace sim {

enum class HandleKind {
    File,
    Mapping,
    Key,
    Devices,
    Inf,
    Process,
    Thread,
    Token,
    Library,
    Environment,
    Search,
    Held
};

struct HandleData {
    HandleKind kind;
    std::string path;                // file, key or library
    std::string bytes;               // a mapping's content or a file being written
    bool wide64View = false;         // a registry key opened in the 64-bit view
    std::vector<std::string> names;  // a file search's matches
    size_t next = 0;                 // and the one FindNextFile gives
    // A handle opened through NtCreateFile holds the object itself as a host
    // descriptor: renames and links of its names do not move it.
    int fd = -1;
    uint32_t access = 0, share = 0;
    bool folder = false, link = false, foreign = false, deletePending = false;
    uint64_t device = 0, inode = 0;
};

PfHandle NewHandle(HandleKind kind, const std::string& path = "");
HandleData* FindHandle(PfHandle handle, HandleKind kind);
void ResetHandles();
void ResetViews();
void ResetSecurity();
bool IsFolder(const std::string& windowsPath);
// Records a token, privilege or library call; false when the test made it fail.
bool TraceCall(const std::string& call, const std::string& name);
// The hook at the top of every wrapped call that can fail: counts the use
// and returns the error a test injected into it, with the last error set;
// 0 lets the call go on. Every such call starts with SIM_FAULT_POINT.
uint32_t Injected(const char* call, const std::string& subject);
// Every handle, the program's and other users'.
std::map<PfHandle, HandleData>& Handles();
// Closes a held handle's descriptor, deleting a name marked for deletion
// when no other handle holds the object.
void CloseHeld(PfHandle handle);
// Whether an open of what lies at path (a link followed) with this access
// and share mode fits every handle open on it; sets ERROR_SHARING_VIOLATION
// when it does not. CopyFileA and DeleteFileA open their files so.
bool SharingAllowsAt(const std::string& windowsPath, uint32_t access, uint32_t share);
// The path a handle was opened on ("" for none).
std::string HandlePath(PfHandle handle);
// Windows that export RegDeleteKeyExA: Vista on, and 64-bit XP.
bool HasRegDeleteKeyEx();
extern int g_regDeleteKeyExProc;
// The Windows path of what a host descriptor holds now, links resolved as
// Windows resolves them when it opens a name.
std::string WindowsPathOfHost(int fd);
// The English string table of res/strings.rc; the process stops when it cannot be read.
const std::map<uint32_t, std::string>& EnglishStrings();

}  // namespace sim

#define SIM_FAULT_POINT(subject, failed)                                                                            \
    do {                                                                                                            \
        if (sim::Injected(__func__, (subject)))                                                                     \
            return failed;                                                                                          \
    } while (0)

#endif
