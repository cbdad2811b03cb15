// DPInst's log across any sequence of runs, against a model of its history:
// debug runs set the log aside and put it back, other runs leave it to
// DPInst, some runs end between the phases, and any file, folder, search or
// command call may fail on any use. Whatever happens, the backup followed by
// the log holds every byte DPInst ever wrote, in order, once.
//
// Input: the log's first content up to a 0xFF byte, then runs of three
// bytes and the bytes DPInst appends: a mode byte (bit 0: a silent debug
// run; bit 1: it ends before the second phase), a fault byte (bits 0-3:
// the call, none from 9 on; bits 4-6: its use; bit 7: from then on) and the
// length of the append.
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "core/setup_state.h"
#include "log/debug_report.h"
#include "sim/sim.h"
#include "util/bounded_string.h"

namespace {

const char kLog[] = "C:\\Windows\\DpInst.log";
const char kBackup[] = "C:\\Windows\\DpInst_org.log";
const char* const kCalls[] = {"PfCopyFile",          "PfDeleteFile",   "PfNtSetDeleteDisposition",
                              "PfFindFirstFileName", "PfReadFile",     "PfGetSystemWindowsDirectory",
                              "PfNtCreateFile",      "PfNtRenameFile", "PfGetFileAttributes"};
const size_t kCallCount = sizeof(kCalls) / sizeof(kCalls[0]);

std::string Content(const char* path) { return sim::FileExists(path) ? sim::ReadFile(path) : ""; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    sim::Reset();
    size_t at = 0;
    std::string history;
    while (at < size && data[at] != 0xFF)
        history += (char)data[at++];
    ++at;
    if (!history.empty())
        sim::WriteFile(kLog, history);

    SettingsRecord settings = {};
    settings.Support = SUPPORT_RUNTIME_LOG;
    sim::MachineState& machine = sim::Machine();
    for (int run = 0; run < 16 && at + 3 <= size; ++run) {
        uint8_t mode = data[at], fault = data[at + 1];
        size_t length = data[at + 2];
        at += 3;
        std::string append((const char*)data + at, std::min(length, size - at));
        at += append.size();

        ClearSetupState();
        BoundedCopy(g_State.CommandLine, PATH_CAPACITY, (mode & 1) ? "/s" : "");
        g_State.Debug = 1;
        machine.faults.clear();
        machine.useCounts.clear();
        if ((fault & 15u) < kCallCount)
            sim::FailCall(kCalls[fault & 15], ((fault >> 4) & 7) + 1, 5, (fault & 0x80) != 0);

        PreserveDpinstLog(0, &settings);
        sim::WriteFile(kLog, Content(kLog) + append);  // DPInst appends to its log
        history += append;
        if (!(mode & 2))
            PreserveDpinstLog(1, &settings);

        if (Content(kBackup) + Content(kLog) != history || !machine.openHandles.empty())
            abort();
    }
    return 0;
}
