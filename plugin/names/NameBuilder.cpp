// The name builder behind process: placeholders are substituted in a fixed
// order, each replaced throughout the name at once, so text inserted for an
// earlier placeholder is searched by every later one.
#include "NameBuilder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <utility>

#include "MPEGaudio.h"
#include "platform.h"

namespace pelmora {

namespace {

constexpr std::string_view kMp3Extension = ".MP3";
constexpr std::string_view kNoTag = "NOTAG";

// The tag placeholders are the first kTagPlaceholderCount, substituted in that
// order; the values stay where the tag holds them.
using TTagValues = std::array<const std::string*, kTagPlaceholderCount>;

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

// d: the path's LastDelimiter.
bool HasMp3Extension(const std::string& path, std::size_t d) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos) return false;
    if (d != std::string::npos && d > dot) return false;
    std::string extension = path.substr(dot);
    platform::ToUpperAnsi(extension.data(), extension.size());
    return extension == kMp3Extension;
}

// A tag value may not move the file into another folder: "AC/DC", "..\..\x".
// The value itself when it holds no delimiter, else its copy in scratch.
const std::string& KeptInFolder(const std::string& value, std::string& scratch) {
    const auto delimiter = [](char c) { return c == '\\' || c == '/' || c == ':'; };
    if (std::none_of(value.begin(), value.end(), delimiter)) return value;
    scratch = value;
    std::replace_if(scratch.begin(), scratch.end(), delimiter, '_');
    return scratch;
}

// Tag values may hold later placeholders, each replaced in turn, so a hostile
// tag could multiply the name by the size of a value at every step. A name
// this long is far beyond what any file system accepts, and no filling that
// could give a usable name is refused.
constexpr std::size_t kLongestFilledName = std::size_t{1} << 20;

// The ANSI lower case of every byte, taken once from the platform: in a
// single-byte code page each character is lowered on its own, so a table gives
// what lowering a whole text would, without a system call per search.
const std::array<char, 256>& LowerCase() {
    static const std::array<char, 256> table = [] {
        std::array<char, 256> t{};
        for (std::size_t i = 0; i < t.size(); ++i) t[i] = static_cast<char>(i);
        platform::ToLowerAnsi(t.data(), t.size());
        return t;
    }();
    return table;
}

std::string Lowered(std::string_view text) {
    const std::array<char, 256>& lower = LowerCase();
    std::string lowered(text);
    for (char& c : lowered) c = lower[static_cast<unsigned char>(c)];
    return lowered;
}

// The first p >= from at which text holds the lower-case key, case ignored.
std::size_t FindIgnoreCase(std::string_view text, std::string_view lowerKey, std::size_t from) {
    const std::array<char, 256>& lower = LowerCase();
    for (std::size_t p = from; p + lowerKey.size() <= text.size(); ++p) {
        std::size_t i = 0;
        while (i < lowerKey.size() && lower[static_cast<unsigned char>(text[p + i])] == lowerKey[i]) ++i;
        if (i == lowerKey.size()) return p;
    }
    return std::string_view::npos;
}

enum class Replaced { Nothing, Done, TooLong };

// Every occurrence of search, case ignored, replaced leftmost first and without
// overlap, unless the result would be longer than limit: then text stays as it
// is. Matches are sought in the text as it was, never in inserted text.
Replaced ReplaceIgnoreCase(std::string& text, std::string_view search, std::string_view replacement,
                           std::size_t limit) {
    if (search.empty()) return Replaced::Nothing;
    const std::string key = Lowered(search);
    std::string result;
    std::uint64_t length = text.size();  // of the result once every match so far is replaced
    std::size_t from = 0;
    for (std::size_t p; (p = FindIgnoreCase(text, key, from)) != std::string_view::npos; from = p + key.size()) {
        length = length - key.size() + replacement.size();
        if (length > limit) return Replaced::TooLong;
        result.append(text, from, p - from);
        result.append(replacement);
    }
    if (from == 0) return Replaced::Nothing;
    result.append(text, from);
    text = std::move(result);
    return Replaced::Done;
}

struct TagValues {
    bool present = false;
    TTagValues values{};
    std::string genre, track;  // the texts the tag does not hold as they are shown
};

void SelectTag(const TMPEGaudio& audio, TTagSource tagSource, TagValues& tag) {
    if (tagSource == TTagSource::ID3v2) {
        const TID3v2& t = audio.ID3v2Tag;
        tag.present = t.HasTag;
        tag.track = std::to_string(t.Track);
        tag.values = {&t.Artist, &t.Title, &t.Album, &t.Year, &t.Comment, &t.Genre, &tag.track};
    } else if (tagSource == TTagSource::ID3v1) {
        const TID3v1& t = audio.ID3v1Tag;
        tag.present = t.HasTag;
        tag.genre = t.GenreText();
        tag.track = std::to_string(t.Track);
        tag.values = {&t.Artist, &t.Title, &t.Album, &t.Year, &t.Comment, &tag.genre, &tag.track};
    }
}

}  // namespace

bool ReplaceAllIgnoreCase(std::string& text, std::string_view search, std::string_view replacement) {
    return ReplaceIgnoreCase(text, search, replacement, std::string::npos) == Replaced::Done;
}

bool BuildNewPath(const std::string& oldPath, const std::string& sourcePath, std::string_view pattern,
                  TTagSource tagSource, std::string& newPath) {
    const std::size_t delimiter = LastDelimiter(oldPath);
    if (!HasMp3Extension(oldPath, delimiter)) return false;
    const std::size_t nameStart = delimiter == std::string::npos ? 0 : delimiter + 1;

    std::string fileNameValue = oldPath.substr(nameStart);
    // Each variant is sought ignoring case, so once one finds nothing the rest
    // would search the same text for the same thing.
    for (const char* variant : {".mp3", ".MP3", ".Mp3", ".mP3"}) {
        if (!ReplaceAllIgnoreCase(fileNameValue, variant, "")) break;
    }

    TMPEGaudio audio;
    // No placeholder shows the picture or the encoder.
    audio.ID3v2Tag.CollectPicture = false;
    audio.ScanEncoder = false;
    std::string name(pattern);
    bool substituted = false;
    bool tooLong = false;  // once set, the name is never given
    const auto fill = [&](TPlaceholder placeholder, std::string_view value) {
        if (tooLong) return false;
        const Replaced replaced =
            ReplaceIgnoreCase(name, kPlaceholders[static_cast<std::size_t>(placeholder)], value, kLongestFilledName);
        tooLong = replaced == Replaced::TooLong;
        return replaced == Replaced::Done;
    };
    if (audio.LoadFromFile(sourcePath.c_str())) {
        std::string time = audio.DurationText();
        std::replace(time.begin(), time.end(), ':', '.');
        const std::pair<TPlaceholder, std::string> audioValues[] = {
            {TPlaceholder::BitRate, std::to_string(audio.BitRate())},
            {TPlaceholder::Sample, std::to_string(audio.SampleRate())},
            {TPlaceholder::Mode, audio.ChannelModeText()},
            {TPlaceholder::FileName, fileNameValue},
            {TPlaceholder::Time, time},
        };
        for (const auto& [placeholder, value] : audioValues) {
            // The file's own name keeps the name: it never counts.
            if (fill(placeholder, value) && placeholder != TPlaceholder::FileName) substituted = true;
        }

        if (tagSource == TTagSource::ID3v2 || tagSource == TTagSource::ID3v1) {
            TagValues tag;
            SelectTag(audio, tagSource, tag);
            std::string scratch;
            for (std::size_t i = 0; i < kTagPlaceholderCount; ++i) {
                const auto placeholder = static_cast<TPlaceholder>(i);
                if (tag.present) {
                    if (fill(placeholder, KeptInFolder(*tag.values[i], scratch))) substituted = true;
                } else if (substituted) {
                    fill(placeholder, kNoTag);
                }
            }
        }
    }

    // A name that outgrew every limit can never be given: the file keeps its own.
    newPath.assign(oldPath, 0, nameStart);
    if (substituted && !tooLong) {
        newPath += name;
        newPath += kNewExtension;
    } else {
        newPath += FileNamePart(sourcePath);
    }
    return true;
}

}  // namespace pelmora
