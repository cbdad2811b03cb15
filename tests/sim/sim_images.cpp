// The simulated machine: mapped files, image headers and version resources.
#include <string.h>

#include <map>
#include <memory>

#if defined(__SANITIZE_ADDRESS__)
#define SIM_POISON_PAST_FILE 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SIM_POISON_PAST_FILE 1
#endif
#endif
#ifdef SIM_POISON_PAST_FILE
#include <sanitizer/asan_interface.h>
#endif

#include "sim/sim.h"
#include "sim/sim_internal.h"

using namespace sim;

namespace {

// Each view: the size of the file it shows, and its pages. A view holds its
// bytes until it is unmapped, as on Windows, whatever happens to its handles.
struct MappedView {
    size_t size;
    std::unique_ptr<std::string> pages;
};
std::map<const unsigned char*, MappedView> g_views;

const size_t kPage = 4096;

uint32_t ReadBytes(const unsigned char* view, size_t size, size_t offset, size_t count)
{
    // Bytes past the end of the file but inside its last page read as zero.
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i)
        value |= (uint32_t)(offset + i < size ? view[offset + i] : 0) << (8 * i);
    return value;
}

const std::map<std::string, std::string>* VersionStringsOf(const std::string& path)
{
    for (auto& entry : Machine().versionStrings)
        if (strcasecmp(entry.first.c_str(), path.c_str()) == 0)
            return &entry.second;
    return 0;
}

}  // namespace

namespace sim {

void ResetViews()
{
    for (auto& view : g_views) {
#ifdef SIM_POISON_PAST_FILE
        ASAN_UNPOISON_MEMORY_REGION(view.second.pages->data(), view.second.pages->size());
#endif
        (void)view;
    }
    g_views.clear();
}

std::string PeImage(uint16_t machine)
{
    std::string image(512, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    image[0x3C] = 0x40;
    memcpy(&image[0x40], "PE\0\0", 4);
    image[0x44] = (char)(machine & 0xFF);
    image[0x45] = (char)(machine >> 8);
    // A PE32 optional header whose headers fill the file: nothing to load past its end.
    image[0x54] = (char)0xE0;
    image[0x58] = 0x0B;
    image[0x59] = 0x01;
    image[0x58 + 60 + 1] = 0x02;  // SizeOfHeaders 0x200
    return image;
}

}  // namespace sim

PfHandle PfMapFileReadOnly(PfHandle file, const unsigned char** view, uint64_t* size)
{
    *view = 0;
    *size = 0;
    SIM_FAULT_POINT(HandlePath(file), 0);
    HandleData* opened = FindHandle(file, HandleKind::File);
    if (!opened)
        return 0;
    if (opened->bytes.empty()) {
        PfSetLastError(1006);  // ERROR_FILE_INVALID: an empty file cannot be mapped
        return 0;
    }
    PfHandle mapping = NewHandle(HandleKind::Mapping, opened->path);
    std::unique_ptr<std::string> pages(new std::string(opened->bytes));
    size_t length = pages->size();
    pages->resize((length + kPage - 1) / kPage * kPage, '\0');
    *view = (const unsigned char*)pages->data();
    *size = length;
#ifdef SIM_POISON_PAST_FILE
    // Windows reads the rest of the last page as zeros; a check must not rely
    // on it, so under the address sanitizer any read there is reported.
    ASAN_POISON_MEMORY_REGION(*view + length, pages->size() - length);
#endif
    g_views[*view] = MappedView{length, std::move(pages)};
    Machine().calls.push_back("MapViewOfFile");
    return mapping;
}

void PfUnmapView(const unsigned char* view)
{
    auto found = g_views.find(view);
#ifdef SIM_POISON_PAST_FILE
    if (found != g_views.end())
        ASAN_UNPOISON_MEMORY_REGION(view, found->second.pages->size());
#endif
    if (found != g_views.end())
        g_views.erase(found);
    Machine().calls.push_back("UnmapViewOfFile");
}

int PfImageNtHeaderMachine(const unsigned char* view, uint16_t* machine)
{
    SIM_FAULT_POINT("", 0);
    auto found = g_views.find(view);
    if (found == g_views.end())
        return 0;
    size_t size = found->second.size;
    size_t mappedSize = (size + kPage - 1) / kPage * kPage;
    if (size < 0x40 || ReadBytes(view, size, 0, 2) != 0x5A4D)
        return 0;
    uint32_t offset = ReadBytes(view, size, 0x3C, 4);
    // ImageNtHeader gives up on headers outside the mapped pages.
    if ((uint64_t)offset + 4 + 20 > mappedSize || ReadBytes(view, size, offset, 4) != 0x4550)
        return 0;
    *machine = (uint16_t)ReadBytes(view, size, offset + 4, 2);
    return 1;
}

uint32_t PfGetFileVersionInfoSize(const char* path)
{
    SIM_FAULT_POINT(path, 0);
    if (!FileExists(path) || !VersionStringsOf(path)) {
        PfSetLastError(1813);  // ERROR_RESOURCE_TYPE_NOT_FOUND
        return 0;
    }
    return (uint32_t)strlen(path) + 64;
}

int PfGetFileVersionInfo(const char* path, uint32_t size, void* block)
{
    SIM_FAULT_POINT(path, 0);
    if (!VersionStringsOf(path) || size < strlen(path) + 1)
        return 0;
    memset(block, 0, size);
    memcpy(block, path, strlen(path) + 1);
    return 1;
}

int PfVerQueryString(const void* block, const char* subBlock, const char** value)
{
    SIM_FAULT_POINT(subBlock, 0);
    const std::map<std::string, std::string>* strings = VersionStringsOf((const char*)block);
    if (!strings)
        return 0;
    for (auto& entry : *strings)
        if (strcasecmp(entry.first.c_str(), subBlock) == 0) {
            *value = entry.second.c_str();
            return 1;
        }
    return 0;
}
