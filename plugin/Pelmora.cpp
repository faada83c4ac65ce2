// The eight exports. Each one catches everything: nothing is ever raised
// across the boundary, and a null pointer from the host ends the call quietly.
#include "Pelmora.h"

#include <cstring>
#include <new>
#include <string>

#include "NameBuilder.h"
#include "options_window.h"
#include "platform.h"

namespace pelmora {

HostWindow hostWindow = nullptr;

namespace {

constexpr char kDefaultPattern[] = "*artist* - *title*";

// The new path handed back by process; valid until the next call.
std::string& lastPath() {
    static std::string text;
    return text;
}

void putText(char* field, std::size_t width, const char* text) {
    std::memset(field, 0, width);
    std::memcpy(field, text, std::strlen(text));
}

}  // namespace

PluginOptions* AllocateOptions() { return new (std::nothrow) PluginOptions; }

void ReleaseOptions(PluginOptions* options) { delete options; }

void FillDefaultOptions(PluginOptions& options) {
    std::memset(options.pattern, 0, sizeof options.pattern);
    std::memcpy(options.pattern, kDefaultPattern, sizeof kDefaultPattern - 1);
    options.tagSource = 0;
}

}  // namespace pelmora

using namespace pelmora;

extern "C" {

void PELMORA_CALL getInfo(PluginInfo* info) {
    if (info == nullptr) return;
    putText(info->version, sizeof info->version, "1.0.02");
    putText(info->title, sizeof info->title, "Pelmora ID3");
    putText(info->author, sizeof info->author, "Tolvarin");
    putText(info->category, sizeof info->category, "MP3\\Pelmora ID3");
    putText(info->mask, sizeof info->mask, "*.mp3");
    info->hostFlag = 0;
    const std::int32_t size = sizeof(PluginOptions);
    std::memcpy(&info->optionsSize, &size, sizeof size);
}

void PELMORA_CALL initialize(HostWindow window) {
    try {
        hostWindow = window;
        if (registerOptionsClass()) placeholderMenu = buildPlaceholderMenu();
    } catch (...) {
    }
}

void PELMORA_CALL newOpt(PluginOptions** options) {
    if (options != nullptr) *options = AllocateOptions();
}

void PELMORA_CALL freeOpt(PluginOptions* options) { ReleaseOptions(options); }

std::int32_t PELMORA_CALL showOptions(std::uint8_t newRecord, PluginOptions** options, char** description) {
    try {
        return runOptionsWindow(newRecord != 0, options, description);
    } catch (...) {
        return 0;
    }
}

void PELMORA_CALL process(char** path, const char* previewPath, void* /*unused3*/, void* /*unused4*/,
                          PluginOptions** options, std::uint8_t preview) {
    try {
        if (path == nullptr || *path == nullptr || options == nullptr || *options == nullptr) return;
        const std::string oldPath = *path;
        const std::string sourcePath = preview != 0 && previewPath != nullptr ? std::string(previewPath) : oldPath;
        std::string newPath;
        if (!BuildNewPath(oldPath, sourcePath, **options, newPath)) return;
        // The host must never be shown a rename that did not happen.
        if (preview == 0 && !platform::MoveNoReplace(oldPath.c_str(), newPath.c_str())) newPath = oldPath;
        std::string& kept = lastPath();
        kept = newPath;
        *path = kept.data();
    } catch (...) {
    }
}

void PELMORA_CALL exportBtns(void* /*unused*/, std::int32_t* count) {
    if (count != nullptr) *count = 0;
}

void PELMORA_CALL clickBtn() {}

}  // extern "C"
