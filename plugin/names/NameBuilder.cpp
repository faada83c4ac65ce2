// The name builder behind process: placeholders are substituted in a fixed
// order, each by one ReplaceAllIgnoreCase call, so text inserted for an earlier
// placeholder is searched by every later one.
#include "NameBuilder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "MPEGaudio.h"
#include "platform.h"

namespace pelmora {

namespace {

constexpr std::string_view kMp3Extension = ".MP3";
constexpr std::string_view kNewExtension = ".mp3";
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
// what lowering a whole text would, without a copy per search.
struct TCaseTable {
    std::array<char, 256> lower{};
    // The byte is the lower case of itself alone (as "*" and "." are), so a
    // search for it may jump from one copy to the next.
    std::array<bool, 256> alone{};
};

const TCaseTable& CaseTable() {
    static const TCaseTable table = [] {
        TCaseTable t;
        for (std::size_t i = 0; i < t.lower.size(); ++i) t.lower[i] = static_cast<char>(i);
        platform::ToLowerAnsi(t.lower.data(), t.lower.size());
        std::array<int, 256> sources{};
        for (const char c : t.lower) ++sources[static_cast<unsigned char>(c)];
        for (std::size_t i = 0; i < t.alone.size(); ++i) {
            t.alone[i] = sources[i] == 1 && t.lower[i] == static_cast<char>(i);
        }
        return t;
    }();
    return table;
}

std::string Lowered(std::string_view search) {
    std::string text(search);
    const auto& lower = CaseTable().lower;
    for (char& c : text) c = lower[static_cast<unsigned char>(c)];
    return text;
}

// The first p >= from at which text matches the lower-case key, ignoring case.
std::size_t FindIgnoreCase(const std::string& text, const std::string& lowerKey, std::size_t from) {
    const TCaseTable& table = CaseTable();
    const std::size_t k = lowerKey.size();
    if (k == 0 || k > text.size()) return std::string::npos;  // callers never search for nothing
    const std::size_t last = text.size() - k;
    const char first = lowerKey[0];
    const bool jump = table.alone[static_cast<unsigned char>(first)];
    const char final = lowerKey[k - 1];
    for (std::size_t p = from; p <= last; ++p) {
        if (jump) {
            const void* hit = std::memchr(text.data() + p, first, last - p + 1);
            if (hit == nullptr) break;
            p = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
        } else if (table.lower[static_cast<unsigned char>(text[p])] != first) {
            continue;
        }
        if (table.lower[static_cast<unsigned char>(text[p + k - 1])] != final) continue;
        std::size_t i = 1;
        while (i < k && table.lower[static_cast<unsigned char>(text[p + i])] == lowerKey[i]) ++i;
        if (i == k) return p;
    }
    return std::string::npos;
}

enum class Replaced { Nothing, Done, TooLong };

// Every occurrence of search, case ignored, replaced leftmost first and without
// overlap, unless the result would be longer than limit: then text stays as it
// is. Inserted text is never searched (its span would be NULs, which no key
// holds), so the search goes on in the original text after each match and the
// result is built in one pass, however many matches there are. It is built in
// spare, which then trades places with text, so that two buffers serve every
// replacement of a name.
Replaced ReplaceLowered(std::string& text, const std::string& key, std::string_view replacement, std::size_t limit,
                        std::string& spare, std::size_t* matches = nullptr) {
    std::string& result = spare;
    result.clear();
    std::uint64_t length = text.size();  // of the result once every match so far is replaced
    std::size_t from = 0;
    for (std::size_t p; (p = FindIgnoreCase(text, key, from)) != std::string::npos; from = p + key.size()) {
        length = length - key.size() + replacement.size();
        if (length > limit) return Replaced::TooLong;
        result.append(text, from, p - from);
        result.append(replacement);
        if (matches != nullptr) ++*matches;
    }
    if (from == 0) return Replaced::Nothing;
    result.append(text, from);
    text.swap(result);
    return Replaced::Done;
}

Replaced ReplaceIgnoreCase(std::string& text, std::string_view search, std::string_view replacement,
                           std::size_t limit) {
    if (search.empty()) return Replaced::Nothing;
    std::string spare;
    return ReplaceLowered(text, Lowered(search), replacement, limit, spare);
}

constexpr bool EveryPlaceholderHoldsTwoStars() {
    return std::all_of(kPlaceholders.begin(), kPlaceholders.end(),
                       [](std::string_view p) { return std::count(p.begin(), p.end(), '*') == 2; });
}
static_assert(EveryPlaceholderHoldsTwoStars());  // TFilling skips on it

// Every placeholder's text in lower case, made once.
const std::string& LoweredPlaceholder(TPlaceholder placeholder) {
    static const std::array<std::string, kPlaceholders.size()> lowered = [] {
        std::array<std::string, kPlaceholders.size()> texts;
        for (std::size_t i = 0; i < texts.size(); ++i) texts[i] = Lowered(kPlaceholders[i]);
        return texts;
    }();
    return lowered[static_cast<std::size_t>(placeholder)];
}

// The name being filled from the pattern. A replacement that would make it
// longer than kLongestFilledName is not made: the name stays as it is and
// tooLong is set.
struct TFilling {
    std::string name;
    std::string spare;  // ReplaceLowered's
    bool tooLong = false;

    explicit TFilling(std::string_view pattern) : name(pattern), stars_(Stars(name)) {}

    // Whether no placeholder can be filled any more.
    bool Done() const { return tooLong || stars_ < 2; }

    bool Fill(TPlaceholder placeholder, std::string_view value) {
        if (Done()) return false;
        std::size_t matches = 0;
        const Replaced replaced =
            ReplaceLowered(name, LoweredPlaceholder(placeholder), value, kLongestFilledName, spare, &matches);
        tooLong = replaced == Replaced::TooLong;
        if (replaced != Replaced::Done) return false;
        stars_ = stars_ - 2 * matches + matches * Stars(value);  // each match took two and put the value's
        return true;
    }

private:
    // Every placeholder holds two stars, so a name with fewer matches none.
    // Counted only where a star matches nothing but a star, ignoring case;
    // elsewhere the count never falls below two.
    static std::size_t Stars(std::string_view text) {
        if (!CaseTable().alone[static_cast<unsigned char>('*')]) return 2;
        std::size_t stars = 0;
        for (std::size_t at = 0; (at = text.find('*', at)) != std::string_view::npos; ++at) ++stars;
        return stars;
    }
    std::size_t stars_;
};

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
    TFilling filling(pattern);
    bool substituted = false;
    if (audio.LoadFromFile(sourcePath.c_str())) {
        std::string time = audio.DurationText();
        for (char& c : time) {
            if (c == ':') c = '.';
        }
        if (filling.Fill(TPlaceholder::BitRate, std::to_string(audio.BitRate()))) substituted = true;
        if (filling.Fill(TPlaceholder::Sample, std::to_string(audio.SampleRate()))) substituted = true;
        if (filling.Fill(TPlaceholder::Mode, audio.ChannelModeText())) substituted = true;
        filling.Fill(TPlaceholder::FileName, fileNameValue);  // keeps the name: never counts
        if (filling.Fill(TPlaceholder::Time, time)) substituted = true;

        if (tagSource == TTagSource::ID3v2 || tagSource == TTagSource::ID3v1) {
            TagValues tag;
            SelectTag(audio, tagSource, tag);
            std::string scratch;
            for (std::size_t i = 0; i < kTagPlaceholderCount && !filling.Done(); ++i) {
                const auto placeholder = static_cast<TPlaceholder>(i);
                if (tag.present) {
                    if (filling.Fill(placeholder, KeptInFolder(*tag.values[i], scratch))) substituted = true;
                } else if (substituted) {
                    filling.Fill(placeholder, kNoTag);
                }
            }
        }
    }

    // A name that outgrew every limit can never be given: the file keeps its own.
    const bool filled = substituted && !filling.tooLong;
    newPath.assign(oldPath, 0, nameStart);
    if (filled) {
        newPath += filling.name;
        newPath += kNewExtension;
    } else {
        newPath += FileNamePart(sourcePath);
    }
    return true;
}

}  // namespace pelmora
