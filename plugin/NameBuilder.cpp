// The name builder behind process: placeholders are substituted in a fixed
// order, each by one ReplaceAllIgnoreCase call, so text inserted for an earlier
// placeholder is searched by every later one.
#include "NameBuilder.h"

#include <array>
#include <cstring>
#include <string_view>

#include "MPEGaudio.h"
#include "Pelmora.h"
#include "platform.h"

namespace pelmora {

namespace {

constexpr std::string_view kMp3Extension = ".MP3";
constexpr std::string_view kNewExtension = ".mp3";
constexpr std::string_view kNoTag = "NOTAG";

// The tag placeholders, in the order they are substituted.
constexpr std::array<std::string_view, 7> kTagPlaceholders = {
    "*artist*", "*title*", "*album*", "*year*", "*comment*", "*genre*", "*track*",
};

std::size_t LastDelimiter(const std::string& path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (platform::IsPathDelimiter(path[i - 1])) return i - 1;
    }
    return std::string::npos;
}

std::string FileNamePart(const std::string& path) {
    const std::size_t d = LastDelimiter(path);
    return d == std::string::npos ? path : path.substr(d + 1);
}

std::string DirectoryPart(const std::string& path) {
    const std::size_t d = LastDelimiter(path);
    return d == std::string::npos ? std::string() : path.substr(0, d + 1);
}

bool HasMp3Extension(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos) return false;
    const std::size_t d = LastDelimiter(path);
    if (d != std::string::npos && d > dot) return false;
    std::string extension = path.substr(dot);
    platform::ToUpperAnsi(extension.data(), extension.size());
    return extension == kMp3Extension;
}

std::string PatternOf(const PluginOptions& options) {
    const void* end = std::memchr(options.pattern, 0, sizeof options.pattern);
    const std::size_t length = end == nullptr ? sizeof options.pattern
                                              : static_cast<std::size_t>(static_cast<const char*>(end) - options.pattern);
    return std::string(options.pattern, length);
}

// A tag value may not move the file into another folder: "AC/DC", "..\..\x".
std::string KeptInFolder(std::string value) {
    for (char& c : value) {
        if (c == '\\' || c == '/' || c == ':') c = '_';
    }
    return value;
}

struct TagValues {
    bool present = false;
    std::array<std::string, kTagPlaceholders.size()> values;
};

TagValues SelectedTag(const TMPEGaudio& audio, std::int32_t tagSource) {
    TagValues tag;
    if (tagSource == 0) {
        const TID3v2& t = audio.ID3v2Tag;
        tag.present = t.HasTag;
        tag.values = {t.Artist, t.Title, t.Album, t.Year, t.Comment, t.Genre, std::to_string(t.Track)};
    } else if (tagSource == 1) {
        const TID3v1& t = audio.ID3v1Tag;
        tag.present = t.HasTag;
        tag.values = {t.Artist, t.Title, t.Album, t.Year, t.Comment, t.GenreText(), std::to_string(t.Track)};
    }
    return tag;
}

}  // namespace

bool ReplaceAllIgnoreCase(std::string& text, const std::string& search, const std::string& replacement) {
    if (search.empty()) return false;
    std::string result = text;
    std::string work = text;
    std::string key = search;
    platform::ToLowerAnsi(work.data(), work.size());
    platform::ToLowerAnsi(key.data(), key.size());
    bool found = false;
    std::size_t from = 0;
    // The replaced span becomes NULs in work, which no key can match, so the
    // search may go on after it instead of starting over.
    for (std::size_t p; (p = work.find(key, from)) != std::string::npos;) {
        work.replace(p, key.size(), replacement.size(), '\0');
        result.replace(p, key.size(), replacement);
        from = p + replacement.size();
        found = true;
    }
    text = std::move(result);
    return found;
}

bool BuildNewPath(const std::string& oldPath, const std::string& sourcePath, const PluginOptions& options,
                  std::string& newPath) {
    if (!HasMp3Extension(oldPath)) return false;

    std::string fileNameValue = FileNamePart(oldPath);
    for (const char* variant : {".mp3", ".MP3", ".Mp3", ".mP3"}) ReplaceAllIgnoreCase(fileNameValue, variant, "");

    TMPEGaudio audio;
    std::string name = PatternOf(options);
    bool substituted = false;
    if (audio.LoadFromFile(sourcePath.c_str())) {
        std::string time = audio.DurationText();
        for (char& c : time) {
            if (c == ':') c = '.';
        }
        if (ReplaceAllIgnoreCase(name, "*bitrate*", std::to_string(audio.BitRate()))) substituted = true;
        if (ReplaceAllIgnoreCase(name, "*sample*", std::to_string(audio.SampleRate()))) substituted = true;
        if (ReplaceAllIgnoreCase(name, "*mode*", audio.ChannelModeText())) substituted = true;
        ReplaceAllIgnoreCase(name, "*filename*", fileNameValue);  // keeps the name: never counts
        if (ReplaceAllIgnoreCase(name, "*time*", time)) substituted = true;

        if (options.tagSource == 0 || options.tagSource == 1) {
            const TagValues tag = SelectedTag(audio, options.tagSource);
            for (std::size_t i = 0; i < kTagPlaceholders.size(); ++i) {
                const std::string placeholder(kTagPlaceholders[i]);
                if (tag.present) {
                    if (ReplaceAllIgnoreCase(name, placeholder, KeptInFolder(tag.values[i]))) substituted = true;
                } else if (substituted) {
                    ReplaceAllIgnoreCase(name, placeholder, std::string(kNoTag));
                }
            }
        }
    }

    const std::string newName = substituted ? name + std::string(kNewExtension) : FileNamePart(sourcePath);
    newPath = DirectoryPart(oldPath) + newName;
    return true;
}

}  // namespace pelmora
