// A stand-in plug-in with the real one's eight exports and boundary rules,
// whose names come from the files' own text: the pattern's "*title*" becomes
// the file's first line, "*tag*" the tag source and "*empty*" an empty value. Host tests use it to
// steer names exactly, apart from the engine.
#include <cstring>
#include <string>

#include "PluginRecords.h"
#include "platform.h"

namespace {

constexpr std::size_t kMaxTitle = 512;
long outstandingRecords = 0;

std::string& lastPath() {
    static std::string text;
    return text;
}

void putText(char* field, std::size_t width, const char* text) {
    std::memset(field, 0, width);
    std::memcpy(field, text, std::strlen(text));
}

bool replaceAll(std::string& text, const std::string& key, const std::string& value) {
    bool found = false;
    for (std::size_t p = 0; (p = text.find(key, p)) != std::string::npos; p += value.size()) {
        text.replace(p, key.size(), value);
        found = true;
    }
    return found;
}

std::string firstLine(const char* path) {
    platform::ReadOnlyFile file;
    char buffer[kMaxTitle];
    std::size_t got = 0;
    if (!file.Open(path) || !file.ReadAt(0, buffer, sizeof buffer, got)) return {};
    std::string text(buffer, got);
    return text.substr(0, text.find('\n'));
}

}  // namespace

extern "C" {

PELMORA_EXPORT long PELMORA_CALL testOutstandingRecords() { return outstandingRecords; }

PELMORA_EXPORT void PELMORA_CALL getInfo(PluginInfo* info) {
    putText(info->version, sizeof info->version, "0.9.test");
    putText(info->title, sizeof info->title, "Test names");
    putText(info->author, sizeof info->author, "Host tests");
    putText(info->category, sizeof info->category, "MP3\\Test names");
    putText(info->mask, sizeof info->mask, "*.mp3");
    info->hostFlag = 0;
    info->optionsSize = sizeof(PluginOptions);
}

PELMORA_EXPORT void PELMORA_CALL initialize(HostWindow) {}

PELMORA_EXPORT void PELMORA_CALL newOpt(PluginOptions** options) {
    *options = new PluginOptions;
    ++outstandingRecords;
}

PELMORA_EXPORT void PELMORA_CALL freeOpt(PluginOptions* options) {
    delete options;
    --outstandingRecords;
}

PELMORA_EXPORT std::int32_t PELMORA_CALL showOptions(std::uint8_t, PluginOptions**, char**) { return 0; }

PELMORA_EXPORT void PELMORA_CALL process(char** path, const char* previewPath, void*, void*, PluginOptions** options,
                                         std::uint8_t preview) {
    const std::string oldPath = *path;
    std::string extension = oldPath.size() >= 4 ? oldPath.substr(oldPath.size() - 4) : std::string();
    platform::ToUpperAnsi(extension.data(), extension.size());
    if (extension != ".MP3") return;
    std::string name(options[0]->pattern, strnlen(options[0]->pattern, sizeof options[0]->pattern));
    const std::string title = firstLine(preview != 0 ? previewPath : oldPath.c_str());
    bool substituted = !title.empty() && replaceAll(name, "*title*", title);
    substituted = replaceAll(name, "*tag*", std::to_string(options[0]->tagSource)) || substituted;
    substituted = replaceAll(name, "*empty*", "") || substituted;
    std::size_t folder = oldPath.size();
    while (folder > 0 && !platform::IsPathDelimiter(oldPath[folder - 1])) --folder;
    std::string newPath = substituted ? oldPath.substr(0, folder) + name + ".mp3" : oldPath;
    if (preview == 0 && !platform::MoveNoReplace(oldPath.c_str(), newPath.c_str())) newPath = oldPath;
    lastPath() = newPath;
    *path = lastPath().data();
}

PELMORA_EXPORT void PELMORA_CALL exportBtns(void*, std::int32_t* count) { *count = 0; }

PELMORA_EXPORT void PELMORA_CALL clickBtn() {}

}  // extern "C"
