// Any hardware-ID properties (lists without their closing empty string, a
// single string, no zero at all, lists longer than the first buffer) and any
// models line: the touch pad is the first device whose first ID names the
// ACPI bus, its IDs are recorded whole or cut terminated, the match finds an
// ID the models line holds, and every handle is closed.
//
// Input: a flags byte (bit 0: code page 932; bit 1: an unreadable device
// first), then up to four devices' raw property bytes and the models line,
// separated by 0xFF.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "core/setup_state.h"
#include "driver/device_matching.h"
#include "fuzz_pieces.h"
#include "sim/sim.h"

namespace {

const char kInf[] = "C:\\Pkg\\Vi64\\fuzz.inf";

// The IDs of a property as the platform returned it, closed after its bytes.
std::vector<std::string> IdsOf(const std::string& raw)
{
    std::string closed = raw + std::string(2, '\0');
    std::vector<std::string> ids;
    for (const char* id = closed.c_str(); *id && ids.size() < DEVICE_ID_SLOTS; id += strlen(id) + 1)
        ids.push_back(std::string(id).substr(0, PATH_CAPACITY - 1));
    return ids;
}

bool InfSafe(const std::string& id)
{
    for (char c : id)
        if (!isalnum((unsigned char)c) && !strchr("\\&_*-", c))
            return false;
    return !id.empty();
}

// A models line the INF parser keeps as written: printable ASCII without
// the characters that quote, comment, substitute or split it.
bool PlainLine(const std::string& line)
{
    for (char c : line)
        if (c < 0x20 || c > 0x7E || strchr(";\"%,", c))
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    sim::Reset();
    sim::MachineState& machine = sim::Machine();
    machine.ansiCodePage = (data[0] & 1) ? 932 : 1252;
    std::vector<std::string> pieces = PiecesAtFF(data + 1, size - 1, 5);
    std::string models = pieces.size() > 1 ? pieces.back() : "";
    if (pieces.size() > 1)
        pieces.pop_back();
    if (data[0] & 2)
        machine.devices.push_back({"ACPI\\NONE\\0", "", false});
    for (const std::string& raw : pieces)
        machine.devices.push_back({"ACPI\\DEV\\" + std::to_string(machine.devices.size()), raw, true});

    CollectDeviceHardwareIds(sim::CurrentTarget());

    // The touch pad, as the platform's lists tell it.
    const sim::Device* pad = 0;
    for (const sim::Device& device : machine.devices) {
        std::string closed = device.hardwareIds + std::string(2, '\0');
        if (device.hasHardwareIds && PfMbsStr(closed.c_str(), "ACPI\\")) {
            pad = &device;
            break;
        }
    }
    std::vector<std::string> expected = pad ? IdsOf(pad->hardwareIds) : std::vector<std::string>();
    for (int slot = 0; slot < DEVICE_ID_SLOTS; ++slot) {
        const char* recorded = sim::RunTarget().DeviceHardwareIds[slot];
        if (!memchr(recorded, 0, PATH_CAPACITY))
            abort();
        if (std::string(recorded) != (slot < (int)expected.size() ? expected[slot] : ""))
            abort();
    }
    if (strnlen(sim::RunTarget().DeviceAcpiId, PATH_CAPACITY) > 8 || (!pad && sim::RunTarget().DeviceAcpiId[0]))
        abort();
    if (!machine.openHandles.empty())
        abort();

    sim::WriteFile(kInf, "[Version]\r\nSignature=\"$Windows NT$\"\r\n[Manufacturer]\r\n%M%=Models\r\n[Models]\r\n"
                         "%D%=Install," +
                             models + "\r\n[Strings]\r\nM=\"Maker\"\r\nD=\"Device\"\r\n");
    RunOutcome match = MatchPackageToDevice(sim::CurrentTarget(), kInf);
    bool fits = match.outcome == OUTCOME_GO_ON;
    if (!expected.empty() && InfSafe(expected[0]) && models.find(expected[0]) != std::string::npos &&
        PlainLine(models) && !fits)
        abort();  // a models line that names the first ID whole must match
    // A refusal is "no matching device", unless the INF cannot be read at all;
    // the check itself shows nothing.
    PfHandle inf = PfInfOpen(kInf);
    if (inf)
        PfInfClose(inf);
    if (!fits && match.outcome != (inf ? OUTCOME_NO_MATCHING_DEVICE : OUTCOME_INF_UNREADABLE))
        abort();
    if (!machine.boxes.empty() || !machine.openHandles.empty())
        abort();
    return 0;
}
