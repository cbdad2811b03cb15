// Benchmark (not a test): time loc_QueryHwIDInInf on the simulated parser.
// "sizes": generated INFs of about 0.1, 1 and 10 MB with thousands of models
// lines, the time per size and the ratio to the next smaller size; gathering
// must grow linearly with the INF's size. "names": one models section named
// once and 400 times by [Manufacturer]; both must take about as long.
// Run tests/bench/run_bench.sh [build folder] [repeats] [sizes|names].
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <string>

#include "driver/inf_queries.h"
#include "sim/sim.h"

namespace {

// A models section of `lines` lines (about 100 bytes each) spread over two
// decorated sections, as a package INF lists them.
std::string MakeInf(size_t targetBytes, size_t* lines, bool utf16)
{
    std::string inf =
        "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Mouse\r\nDriverVer=05/18/2020,10.3.201.104\r\n"
        "\r\n[Manufacturer]\r\n%Mfg%=Models,NTx86,NTamd64\r\n";
    char line[160];
    *lines = 0;
    for (int half = 1; half <= 2; ++half) {
        inf += half == 1 ? "[Models.NTx86]\r\n" : "[Models.NTamd64]\r\n";
        for (size_t n = 0; inf.size() < targetBytes / 2 * half; ++n, ++*lines) {
            snprintf(line, sizeof(line),
                     "%%Desc%% = Install_%zu, ACPI\\VEN_%04zX&DEV_%04zX, *PNP%04zX, HID\\VID_%04zX&PID_%04zX\r\n",
                     n % 7, n % 65536, (n * 7) % 65536, n % 9999, n % 4096, n % 777);
            inf += line;
        }
    }
    inf += "[Strings]\r\nMfg=\"Example Maker\"\r\nDesc=\"Example pointing device\"\r\n";
    if (!utf16)
        return inf;
    std::string wide = "\xFF\xFE";
    wide.reserve(inf.size() * 2 + 2);
    for (char c : inf) {
        wide += c;
        wide += '\0';
    }
    return wide;
}

double Seconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

// One row per size: the best of `repeats` runs of the open alone and of the whole query.
int RunSeries(bool utf16, int repeats)
{
    const size_t sizes[] = {100 * 1000, 1000 * 1000, 10 * 1000 * 1000};
    const char* path = "C:\\Pkg\\Vi64\\bench.inf";
    double previous = 0;
    for (size_t target : sizes) {
        sim::Reset();
        size_t lines = 0;
        std::string inf = MakeInf(target, &lines, utf16);
        sim::WriteFile(path, inf);
        double bestOpen = 1e9, bestGather = 1e9;
        size_t textLength = 0;
        for (int r = 0; r < repeats; ++r) {
            auto start = std::chrono::steady_clock::now();
            PfHandle handle = PfInfOpen(path);
            double open = Seconds(start);
            PfInfClose(handle);
            char* text = 0;
            size_t capacity = 0;
            start = std::chrono::steady_clock::now();
            if (!loc_QueryHwIDInInf(path, &text, &capacity)) {
                fprintf(stderr, "the query failed\n");
                return 1;
            }
            double gather = Seconds(start);
            textLength = strlen(text);
            free(text);
            bestOpen = open < bestOpen ? open : bestOpen;
            bestGather = gather < bestGather ? gather : bestGather;
        }
        char ratio[16] = "-";
        if (previous > 0)
            snprintf(ratio, sizeof(ratio), "%.1f", bestGather / previous);
        printf("%8s %10zu %8zu %12zu %10.2f %10.2f %8s\n", utf16 ? "UTF-16" : "ANSI", inf.size(), lines, textLength,
               bestOpen * 1000, bestGather * 1000, ratio);
        previous = bestGather;
    }
    return 0;
}

// A models section of about 15 KB that [Manufacturer] names `times` times,
// one line each, as the same section under the same decoration.
std::string MakeRepeatingInf(int times)
{
    std::string inf =
        "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Mouse\r\nDriverVer=05/18/2020,10.3.201.104\r\n"
        "\r\n[Manufacturer]\r\n";
    for (int n = 0; n < times; ++n)
        inf += "%Mfg%=Models,NTamd64\r\n";
    inf += "[Models.NTamd64]\r\n";
    char line[160];
    for (int n = 0; n < 150; ++n) {
        snprintf(line, sizeof(line),
                 "%%Desc%% = Install, ACPI\\VEN_%04X&DEV_%04X, *PNP%04X, HID\\VID_%04X&PID_%04X\r\n", n, n * 7, n,
                 n % 4096, n % 777);
        inf += line;
    }
    return inf + "[Strings]\r\nMfg=\"Example Maker\"\r\nDesc=\"Example pointing device\"\r\n";
}

// One row per naming: the best of `repeats` runs, and the ratio to naming it once.
int RunNames(int repeats)
{
    const char* path = "C:\\Pkg\\Vi64\\bench.inf";
    printf("%8s %10s %12s %10s %8s\n", "named", "INF bytes", "text bytes", "query ms", "ratio");
    double once = 0;
    for (int times : {1, 400}) {
        sim::Reset();
        std::string inf = MakeRepeatingInf(times);
        sim::WriteFile(path, inf);
        double best = 1e9;
        size_t textLength = 0;
        for (int r = 0; r < repeats; ++r) {
            char* text = 0;
            size_t capacity = 0;
            auto start = std::chrono::steady_clock::now();
            if (!loc_QueryHwIDInInf(path, &text, &capacity)) {
                fprintf(stderr, "the query failed\n");
                return 1;
            }
            double gather = Seconds(start);
            textLength = strlen(text);
            free(text);
            best = gather < best ? gather : best;
        }
        once = times == 1 ? best : once;
        printf("%8d %10zu %12zu %10.3f %8.1f\n", times, inf.size(), textLength, best * 1000, best / once);
    }
    return 0;
}

int main(int argc, char** argv)
{
    int repeats = argc > 1 ? atoi(argv[1]) : 5;
    const char* series = argc > 2 ? argv[2] : "";
    int result = 0;
    if (strcmp(series, "names") != 0) {
        printf("%8s %10s %8s %12s %10s %10s %8s\n", "encoding", "INF bytes", "lines", "text bytes", "open ms",
               "query ms", "ratio");
        result = RunSeries(false, repeats) || RunSeries(true, repeats);
    }
    if (!result && strcmp(series, "sizes") != 0)
        result = RunNames(repeats);
    sim::Reset();
    return result;
}
