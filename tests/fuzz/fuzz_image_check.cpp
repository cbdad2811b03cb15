// Any bytes as DPInst.exe: the image check reads nothing outside the file,
// closes every handle and shows at most one message.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "checks/package_checks.h"
#include "sim/sim.h"

namespace {

// Random bytes seldom look like an image. With the first byte odd, the input
// instead patches and cuts a valid image: (offset, value) pairs within its
// first 256 bytes, then a cut at the length in the second and third bytes.
std::string FileFrom(const uint8_t* data, size_t size)
{
    if (size < 3 || (data[0] & 1) == 0)
        return std::string((const char*)data, size);
    std::string image = sim::PeImage((data[0] & 2) ? PF_IMAGE_FILE_MACHINE_AMD64 : PF_IMAGE_FILE_MACHINE_I386);
    for (size_t i = 3; i + 1 < size; i += 2)
        image[data[i]] = (char)data[i + 1];
    size_t length = ((size_t)data[1] | ((size_t)data[2] << 8)) % (image.size() + 1);
    return image.substr(0, length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool machineReady = false;
    if (!machineReady) {
        sim::Reset();
        machineReady = true;
    }
    sim::MachineState& machine = sim::Machine();
    machine.boxes.clear();
    machine.calls.clear();
    machine.is64Bit = size % 2 == 0;
    sim::WriteFile("C:\\Pkg\\W864\\DPInst.exe", FileFrom(data, size));

    // The check decides and shows nothing; it leaves no handle open.
    CheckExeAndPlatform(sim::TargetWithPath("\\W864\\DPInst.exe"));
    if (!machine.openHandles.empty() || !machine.boxes.empty())
        abort();
    return 0;
}
