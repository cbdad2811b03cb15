// The log text with any input: every later line of the log stays, nothing is
// written past a buffer, and no command interpreter runs.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "core/setup_state.h"
#include "log/log_files.h"
#include "log/runtime_log.h"
#include "sim/sim.h"
#include "util/bounded_string.h"

namespace {

// Splits the input at 0xFF bytes into at most four pieces.
std::vector<std::string> Pieces(const uint8_t* data, size_t size)
{
    std::vector<std::string> pieces(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF && pieces.size() < 4)
            pieces.emplace_back();
        else if (data[i] != 0)
            pieces.back() += (char)data[i];
    }
    pieces.resize(4);
    return pieces;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    static const uint32_t kCodePages[] = {1252, 932, 936, 1251};
    sim::Reset();
    sim::Machine().ansiCodePage = kCodePages[data[0] % 4];
    g_State.Debug = data[0] & 0x10 ? 1 : 0;
    std::vector<std::string> piece = Pieces(data + 1, size - 1);
    sim::Machine().modulePath = "C:\\" + piece[0];
    BoundedCopy(g_State.InstalledVersion, PATH_CAPACITY, piece[1].c_str());
    BoundedCopy(g_State.PackageVersion, PATH_CAPACITY, piece[2].c_str());

    char text[TEXT_CAPACITY];
    PfSystemTime start = {65535, 65535, 65535, 65535, 65535, 65535, 65535, 65535};
    BuildLogText(0, text, piece[3].c_str(), start, -2147483647 - 1, -2147483647 - 1);
    if (!strstr(text, "Exit code = -2147483648\r\n2026-12-7 9:30:5\r\n"))
        abort();

    for (const std::string& call : sim::Machine().calls)
        if (call.find("cmd.exe ran") != std::string::npos)
            abort();
    if (!sim::Machine().openHandles.empty())
        abort();  // every file the steps opened is closed
    return 0;
}
