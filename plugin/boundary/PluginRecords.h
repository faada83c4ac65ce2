// The plug-in's boundary: the two records that cross it, byte for byte, and
// the eight exports the host calls.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#define PELMORA_CALL __stdcall
#define PELMORA_EXPORT
#else
#define PELMORA_CALL
#define PELMORA_EXPORT __attribute__((visibility("default")))
#endif

#pragma pack(push, 1)
struct PluginInfo {
    char version[10];
    char title[50];
    char author[50];
    char category[50];
    char mask[50];
    std::uint8_t hostFlag;
    std::uint8_t alignment;  // never written
    std::int32_t optionsSize;
};

struct PluginOptions {
    char pattern[256];  // zero-terminated within the 256 bytes, or all 256 bytes
    std::int32_t tagSource;  // 0 = ID3v2, 1 = ID3v1
};
#pragma pack(pop)

static_assert(sizeof(PluginInfo) == 216);
static_assert(offsetof(PluginInfo, optionsSize) == 212);
static_assert(sizeof(PluginOptions) == 260);
static_assert(offsetof(PluginOptions, tagSource) == 256);

using HostWindow = void*;

extern "C" {
PELMORA_EXPORT void PELMORA_CALL getInfo(PluginInfo* info);
PELMORA_EXPORT void PELMORA_CALL initialize(HostWindow hostWindow);
PELMORA_EXPORT void PELMORA_CALL newOpt(PluginOptions** options);
PELMORA_EXPORT void PELMORA_CALL freeOpt(PluginOptions* options);
PELMORA_EXPORT std::int32_t PELMORA_CALL showOptions(std::uint8_t newRecord, PluginOptions** options,
                                                      char** description);
PELMORA_EXPORT void PELMORA_CALL process(char** path, const char* previewPath, void* unused3, void* unused4,
                                         PluginOptions** options, std::uint8_t preview);
PELMORA_EXPORT void PELMORA_CALL exportBtns(void* unused, std::int32_t* count);
PELMORA_EXPORT void PELMORA_CALL clickBtn();
}

// The eight exports as a host holds them once it has looked them up by name
// (dlsym, GetProcAddress): lookup(name) gives the address or null.
struct PluginExports {
    decltype(&::getInfo) getInfo = nullptr;
    decltype(&::initialize) initialize = nullptr;
    decltype(&::newOpt) newOpt = nullptr;
    decltype(&::freeOpt) freeOpt = nullptr;
    decltype(&::showOptions) showOptions = nullptr;
    decltype(&::process) process = nullptr;
    decltype(&::exportBtns) exportBtns = nullptr;
    decltype(&::clickBtn) clickBtn = nullptr;

    // True when all eight were found.
    template <class Lookup>
    bool Resolve(Lookup lookup) {
        getInfo = reinterpret_cast<decltype(getInfo)>(lookup("getInfo"));
        initialize = reinterpret_cast<decltype(initialize)>(lookup("initialize"));
        newOpt = reinterpret_cast<decltype(newOpt)>(lookup("newOpt"));
        freeOpt = reinterpret_cast<decltype(freeOpt)>(lookup("freeOpt"));
        showOptions = reinterpret_cast<decltype(showOptions)>(lookup("showOptions"));
        process = reinterpret_cast<decltype(process)>(lookup("process"));
        exportBtns = reinterpret_cast<decltype(exportBtns)>(lookup("exportBtns"));
        clickBtn = reinterpret_cast<decltype(clickBtn)>(lookup("clickBtn"));
        return getInfo && initialize && newOpt && freeOpt && showOptions && process && exportBtns && clickBtn;
    }
};
