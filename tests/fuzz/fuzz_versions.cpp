// Any two version texts and any registry value: the parse agrees with a
// plain model of "%d.%d.%d.%d" that refuses numbers out of range, the
// comparison is the model's and is antisymmetric, and the installed version
// read from the registry is one terminated word of the stored value.
//
// Input: a flags byte (bit 0: the pointing-stick INF; bit 1: the value
// stored without its terminator), then the installed text, the package text
// and the registry value, separated by 0xFF.
#include <limits.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "core/result_codes.h"
#include "core/setup_state.h"
#include "driver/installed_version.h"
#include "fuzz_pieces.h"
#include "sim/sim.h"

namespace {

struct Version {
    bool parsed;
    long long part[4];
};

// The reference parse: four numbers joined by dots, each after optional
// white space and a sign, all within int; anything may follow.
Version Model(const std::string& text)
{
    Version version = {false, {0, 0, 0, 0}};
    size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0 && (at >= text.size() || text[at++] != '.'))
            return version;
        while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r')))
            ++at;
        bool negative = at < text.size() && text[at] == '-';
        if (at < text.size() && (text[at] == '-' || text[at] == '+'))
            ++at;
        size_t digits = at;
        long long value = 0;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
            if (value <= (long long)INT_MAX + 1)
                value = value * 10 + (text[at] - '0');
        if (at == digits || value > (long long)INT_MAX + (negative ? 1 : 0))
            return version;
        version.part[i] = negative ? -value : value;
    }
    version.parsed = true;
    return version;
}

int ModelCompare(const Version& have, const Version& want)
{
    if (!have.parsed)
        return INSTALLED_UNREADABLE;
    if (!want.parsed)
        return NOT_COMPARED;
    for (int i = 0; i < 4; ++i)
        if (have.part[i] != want.part[i])
            return have.part[i] < want.part[i] ? OLDER_INSTALLED : NEWER_INSTALLED;
    return SAME_INSTALLED;
}

void CheckParse(const std::string& text)
{
    int part[4] = {0, 0, 0, 0};
    Version model = Model(text);
    int parsed = ParseDriverVersion(text.c_str(), &part[0], &part[1], &part[2], &part[3]);
    if (parsed != (model.parsed ? 1 : 0))
        abort();
    for (int i = 0; parsed && i < 4; ++i)
        if (part[i] != model.part[i])
            abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    std::vector<std::string> piece = PiecesAtFF(data + 1, size - 1, 3);
    piece.resize(3);
    // What a C string of each holds, as the program sees it.
    std::string installed = piece[0].c_str(), package = piece[1].c_str();
    CheckParse(installed);
    CheckParse(package);

    int forward = loc_CopmareDrvVersion(installed.c_str(), package.c_str());
    int backward = loc_CopmareDrvVersion(package.c_str(), installed.c_str());
    if (forward != ModelCompare(Model(installed), Model(package)))
        abort();
    int compared = forward == OLDER_INSTALLED || forward == SAME_INSTALLED || forward == NEWER_INSTALLED;
    int mirrored = forward == SAME_INSTALLED    ? SAME_INSTALLED
                   : forward == OLDER_INSTALLED ? NEWER_INSTALLED
                                                : OLDER_INSTALLED;
    if (compared && backward != mirrored)
        abort();

    static bool ready = false;
    if (!ready) {
        sim::Reset();
        ready = true;
    }
    sim::RunTarget().OsVersion.dwPlatformId = PF_VER_PLATFORM_WIN32_NT;
    sim::RunTarget().OsVersion.dwMajorVersion = 10;
    bool stick = data[0] & 1;
    std::string stored = piece[2] + ((data[0] & 2) ? "" : std::string(1, '\0'));
    sim::Machine().registry.clear();
    sim::Machine().registry.push_back(
        {stick ? "Software\\Vorn\\VornPoint\\Common\\Current" : "Software\\Vorn\\Glidex", "ProductVer", stored,
         sim::View::Both});
    char buffer[PATH_CAPACITY];
    memset(buffer, 0x5A, sizeof(buffer));
    int found = QueryInstalledVersion(&sim::RunTarget().OsVersion,
                                      stick ? "C:\\Pkg\\GxPS2.inf" : "C:\\Pkg\\Glidex.inf", buffer);
    if (found == 1) {
        const char* end = (const char*)memchr(buffer, 0, sizeof(buffer));
        std::string word(buffer, end ? (size_t)(end - buffer) : 0);
        if (!end || word.empty() || stored.find(word) == std::string::npos ||
            word.find_first_of(" \t\n\v\f\r") != std::string::npos)
            abort();
    } else if (found != 0 && found != -2) {
        abort();
    }
    if (!sim::Machine().openHandles.empty())
        abort();
    return 0;
}
