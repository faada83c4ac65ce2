// Driving the plug-in through its exports, as a host does.
#include "PluginHost.h"

#include <algorithm>
#include <cstring>

#include "PathText.h"
#include "platform.h"

namespace host {

namespace {

std::string FieldText(const char* field, std::size_t width) {
    const void* end = std::memchr(field, 0, width);
    const std::size_t length = end == nullptr ? width : static_cast<std::size_t>(static_cast<const char*>(end) - field);
    return platform::AnsiToUtf8(std::string(field, length));
}

}  // namespace

bool TPluginHost::Load(const std::string& path, std::string& error) {
    if (!library_.Load(path, error)) return false;
    if (Resolve([this](const char* name) { return library_.Symbol(name); })) return true;
    error = "not a rename plug-in: an export is missing";
    return false;
}

TDescriptor TPluginHost::Descriptor() const {
    PluginInfo info {};
    getInfo(&info);
    TDescriptor d;
    d.version = FieldText(info.version, sizeof info.version);
    d.title = FieldText(info.title, sizeof info.title);
    d.author = FieldText(info.author, sizeof info.author);
    d.mask = FieldText(info.mask, sizeof info.mask);
    std::memcpy(&d.optionsSize, &info.optionsSize, sizeof d.optionsSize);
    return d;
}

bool TPluginHost::Process(PluginOptions* record, const THandedFile& file, bool preview, std::string& result,
                          std::string& error) {
    if (file.inFolder && !workingFolder_.Enter(ParentOf(file.path), error)) return false;
    // The host's own copy, which the plug-in may hand back as it is.
    handed_ = file.ansi;
    char* path = handed_.data();
    PluginOptions* options = record;
    process(&path, handed_.c_str(), nullptr, nullptr, &options, preview ? 1 : 0);
    result = path != nullptr ? std::string(path) : file.ansi;
    if (!file.inFolder || workingFolder_.Leave()) return true;
    error = "cannot return to the working folder";
    return false;
}

bool HandOver(THandedFile& file) {
    if (platform::Utf8ToAnsi(file.path, file.ansi)) return true;
    file.inFolder = true;
    return platform::Utf8ToAnsi(NameOf(file.path), file.ansi);
}

std::string ResultPath(const THandedFile& file, const std::string& ansiResult) {
    std::string path = file.inFolder ? JoinPath(ParentOf(file.path), "") : std::string();
    platform::AppendAnsiAsUtf8(path, ansiResult);
    return path;
}

bool AnsiPattern(const TDescriptor& descriptor, const std::string& pattern, std::string& ansiPattern, std::string& error) {
    if (descriptor.optionsSize != static_cast<std::int32_t>(sizeof(PluginOptions))) {
        error = "the plug-in's options record is " + std::to_string(descriptor.optionsSize) + " bytes; this host fills " +
                std::to_string(sizeof(PluginOptions));
    } else if (!platform::Utf8ToAnsi(pattern, ansiPattern)) {
        error = "the pattern holds a character that Windows-1251, the plug-in's code page, cannot hold";
    } else if (ansiPattern.size() > sizeof(PluginOptions::pattern)) {
        error = "the pattern is longer than " + std::to_string(sizeof(PluginOptions::pattern)) + " bytes";
    } else {
        return true;
    }
    return false;
}

void TOptionsRecord::Fill(const std::string& ansiPattern, std::int32_t tagSource) {
    std::memset(record_, 0, sizeof(PluginOptions));
    std::memcpy(record_->pattern, ansiPattern.data(), std::min(ansiPattern.size(), sizeof record_->pattern));
    std::memcpy(&record_->tagSource, &tagSource, sizeof tagSource);
}

bool LoadPlugin(TPluginHost& plugin, const std::string& named, const THostContext& context, std::string& error) {
    std::string path = named;
    // Only where the command is installed: a library in the current folder or
    // on a search path could be anyone's.
    if (path.empty() && context.programFolder.empty()) {
        error = "cannot tell where pelmora is installed, so the plug-in cannot be found; name it with --plugin FILE";
        return false;
    }
    if (path.empty()) {
        path = JoinPath(context.programFolder, context.defaultPluginFile);
        const std::string installed = JoinPath(ParentOf(context.programFolder), "lib/pelmora/" + context.defaultPluginFile);
        if (!Exists(path) && !IsWindowsBuild() && Exists(installed)) path = installed;
    }
    std::string reason;
    if (plugin.Load(path, reason)) return true;
    error = "cannot load the plug-in " + path + ": " + reason;
    return false;
}

}  // namespace host
