// TagLib as the peer: the same fields the name builder uses (title, artist,
// album, year, comment, genre, track) and the audio properties (bit rate,
// sample rate, channels, length), read with the fast read style.
#include <taglib/audioproperties.h>
#include <taglib/mpegfile.h>
#include <taglib/tag.h>

#include "contender.h"

const char* const kContenderUsage = "";

namespace {

std::uint64_t FoldText(std::uint64_t hash, const TagLib::String& text, std::string* shown) {
    // 8-bit conversion, as a renamer needs the text as a name.
    const std::string bytes = text.to8Bit(true);
    if (shown != nullptr) *shown += bytes + "|";
    return FoldHash(hash, bytes);
}

}  // namespace

bool ContenderSetup(int argc, char**) { return argc == 0; }

void ContenderProcess(const std::string& path, TOutcome& outcome, bool wantText) {
    TagLib::MPEG::File file(path.c_str(), true, TagLib::AudioProperties::Fast);
    if (!file.isValid()) return;
    std::string shown;
    std::string* text = wantText ? &shown : nullptr;
    std::uint64_t hash = outcome.hash;
    if (const TagLib::Tag* tag = file.tag()) {
        hash = FoldText(hash, tag->artist(), text);
        hash = FoldText(hash, tag->title(), text);
        hash = FoldText(hash, tag->album(), text);
        hash = FoldText(hash, tag->comment(), text);
        hash = FoldText(hash, tag->genre(), text);
        hash = FoldHash(hash, static_cast<std::uint64_t>(tag->year()));
        hash = FoldHash(hash, static_cast<std::uint64_t>(tag->track()));
        outcome.hit = !tag->isEmpty();
    }
    if (const TagLib::AudioProperties* audio = file.audioProperties()) {
        const int values[] = {audio->bitrate(), audio->sampleRate(), audio->channels(),
                              audio->lengthInMilliseconds()};
        for (int value : values) {
            hash = FoldHash(hash, static_cast<std::uint64_t>(value));
            if (text != nullptr) shown += std::to_string(value) + " ";
        }
    }
    outcome.hash = hash;
    if (wantText) outcome.text = shown;
}

void ContenderTeardown() {}
