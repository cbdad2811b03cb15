// Any command line, as WinMain hands it over, and overlong tokens given to the
// property parsers directly: nothing is written past a buffer, and no
// program is started.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "actions/extraction.h"
#include "app/setup_sequence.h"
#include "config/command_line.h"
#include "core/setup_state.h"
#include "sim/sim.h"
#include "util/bounded_string.h"

namespace {

// The parsers and the extraction start no program.
void CheckNothingStarted()
{
    if (!sim::Machine().systemCommands.empty() || !sim::Machine().processes.empty())
        abort();
}

}  // namespace

// Command lines of up to 32 KiB from the start, unless the caller chose a length.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    for (int i = 1; i < *argc; ++i)
        if (strncmp((*argv)[i], "-max_len=", 9) == 0)
            return 0;
    static char maxLen[] = "-max_len=32768";
    static char lenControl[] = "-len_control=0";
    char** extended = new char*[*argc + 3];
    for (int i = 0; i < *argc; ++i)
        extended[i] = (*argv)[i];
    extended[*argc] = maxLen;
    extended[*argc + 1] = lenControl;
    extended[*argc + 2] = 0;
    *argc += 2;
    *argv = extended;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool ready = false;
    if (!ready) {
        sim::Reset();
        sim::MakeFolder("C:\\Pkg\\Vi32");
        ready = true;
    }
    if (size < 1)
        return 0;
    uint8_t choice = data[0];
    std::string text((const char*)data + 1, size - 1);

    ClearSetupState();
    sim::Machine().systemCommands.clear();
    sim::Machine().ansiCodePage = (choice & 0x04) ? 932 : 1252;
    sim::Machine().modulePath = (choice & 0x08) ? "C:\\" + std::string(246, 'f') + "\\Setup.exe"
                                                : "C:\\Pkg\\Setup.exe";
    sim::RunTarget().Settings.Support = choice & 0x03;

    // The path of a run: the argument text copied, parsed, then "/extract_all:".
    ResetOptions();
    BoundedCopy(g_State.CommandLine, PATH_CAPACITY, text.c_str());
    int parsed =
        ParseCommandLine(text.c_str(), g_State.CommandLine, g_State.CustomRequestSection, sim::CurrentTarget())
            .outcome;
    if (parsed == 0 && (sim::RunTarget().Settings.Support & SUPPORT_EXTRACT_ALL))
        ParseExtractAll(sim::CurrentTarget(), g_State.CommandLine);
    if (strnlen(g_State.CommandLine, PATH_CAPACITY) == PATH_CAPACITY ||
        strnlen(g_State.CustomRequestSection, PATH_CAPACITY) > 10 ||
        strnlen(g_State.LogFilePath, PATH_CAPACITY) == PATH_CAPACITY)
        abort();
    CheckNothingStarted();

    // The parsers and the extraction given tokens far longer than a run allows:
    // the input, repeated to up to 28 KiB when it is short.
    std::string longText = text;
    size_t wanted = (size_t)(choice >> 5) * 4096;
    while (!text.empty() && longText.size() < wanted)
        longText += text;
    ParsePublicProperties(sim::CurrentTarget(), ("/v" + longText).c_str());
    ParseLogFileSwitch(("/f2" + longText).c_str());
    ParseExtractAll(sim::CurrentTarget(), ("/extract_all:" + longText).c_str());
    ExtractDrivers(sim::CurrentTarget(), longText.c_str());
    CheckNothingStarted();
    if (!sim::Machine().openHandles.empty())
        abort();  // every file the steps opened is closed
    return 0;
}
