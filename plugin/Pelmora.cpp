// The eight exports: the only code that knows the records' byte layout and the
// calling convention. Each one that can raise catches everything, so nothing
// is ever raised across the boundary (the engine below does not catch), and a
// null pointer from the host ends the call quietly.
#include "PluginRecords.h"

#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "NameBuilder.h"
#include "PelmoraConstants.h"
#include "options_window.h"
#include "platform.h"

namespace {

// The handle initialize was given; the options window is owned by it.
HostWindow hostWindow = nullptr;

// The one heap that every options record comes from and goes back to.
PluginOptions* allocateOptions() { return new (std::nothrow) PluginOptions; }

// The new path handed back by process; valid until the next call.
std::string& lastPath() {
    static std::string text;
    return text;
}

void putText(char* field, std::size_t width, std::string_view text) {
    std::memset(field, 0, width);
    std::memcpy(field, text.data(), text.size());
}

// The record's pattern: up to its NUL, or all 256 bytes when it has none.
std::string_view patternOf(const PluginOptions& options) {
    const void* end = std::memchr(options.pattern, 0, sizeof options.pattern);
    return std::string_view(options.pattern, end == nullptr ? sizeof options.pattern
                                                            : static_cast<std::size_t>(
                                                                  static_cast<const char*>(end) - options.pattern));
}

}  // namespace

extern "C" {

void PELMORA_CALL getInfo(PluginInfo* info) {
    if (info == nullptr) return;
    putText(info->version, sizeof info->version, pelmora::kVersionText);
    putText(info->title, sizeof info->title, pelmora::kTitleText);
    putText(info->author, sizeof info->author, pelmora::kAuthorText);
    putText(info->category, sizeof info->category, pelmora::kCategoryText);
    putText(info->mask, sizeof info->mask, pelmora::kFileMask);
    info->hostFlag = 0;
    const std::int32_t size = sizeof(PluginOptions);
    std::memcpy(&info->optionsSize, &size, sizeof size);
}

void PELMORA_CALL initialize(HostWindow window) {
    try {
        hostWindow = window;
        pelmora::prepareOptionsWindow();
    } catch (...) {
    }
}

void PELMORA_CALL newOpt(PluginOptions** options) {
    if (options != nullptr) *options = allocateOptions();
}

void PELMORA_CALL freeOpt(PluginOptions* options) { delete options; }

std::int32_t PELMORA_CALL showOptions(std::uint8_t newRecord, PluginOptions** options, char** description) {
    try {
        return pelmora::runOptionsWindow(hostWindow, allocateOptions, newRecord != 0, options, description);
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
        // Any 32-bit value fits the enumeration; only 0 and 1 select a tag.
        const auto tagSource = static_cast<pelmora::TTagSource>((*options)->tagSource);
        // Built where it is kept (the paths in are copies already); a path
        // that is not an .mp3 leaves it alone.
        std::string& newPath = lastPath();
        if (!pelmora::BuildNewPath(oldPath, sourcePath, patternOf(**options), tagSource, newPath)) return;
        // The host must never be shown a rename that did not happen.
        if (preview == 0 && !platform::MoveNoReplace(oldPath.c_str(), newPath.c_str())) newPath = oldPath;
        *path = newPath.data();
    } catch (...) {
    }
}

void PELMORA_CALL exportBtns(void* /*unused*/, std::int32_t* count) {
    if (count != nullptr) *count = 0;
}

void PELMORA_CALL clickBtn() {}

}  // extern "C"
