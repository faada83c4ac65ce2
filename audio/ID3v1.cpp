// The ID3v1 reader and the genre list.
#include "ID3v1.h"

#include <cstring>

#include "FileSource.h"

// clang-format off
const std::array<std::string_view, kGenreCount> GenreNames{
    /*   0 */ "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz", "Metal",
    /*  10 */ "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno", "Industrial",
    /*  20 */ "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack",
    /*  25 */ "Euro-Techno", "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk",
    /*  30 */ "Fusion", "Trance", "Classical", "Instrumental", "Acid",
    /*  35 */ "House", "Game", "Sound Clip", "Gospel", "Noise",
    /*  40 */ "AlternRock", "Bass", "Soul", "Punk", "Space",
    /*  45 */ "Meditative", "Instrumental Pop", "Instrumental Rock", "Ethnic", "Gothic",
    /*  50 */ "Darkwave", "Techno-Industrial", "Electronic", "Pop-Folk", "Eurodance",
    /*  55 */ "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta",
    /*  60 */ "Top 40", "Christian Rap", "Pop/Funk", "Jungle", "Native American",
    /*  65 */ "Cabaret", "New Wave", "Psychadelic", "Rave", "Showtunes",
    /*  70 */ "Trailer", "Lo-Fi", "Tribal", "Acid Punk", "Acid Jazz",
    /*  75 */ "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock",
    /*  80 */ "Folk", "Folk-Rock", "National Folk", "Swing", "Fast Fusion",
    /*  85 */ "Bebob", "Latin", "Revival", "Celtic", "Bluegrass",
    /*  90 */ "Avantgarde", "Gothic Rock", "Progessive Rock", "Psychedelic Rock", "Symphonic Rock",
    /*  95 */ "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic",
    /* 100 */ "Humour", "Speech", "Chanson", "Opera", "Chamber Music",
    /* 105 */ "Sonata", "Symphony", "Booty Bass", "Primus", "Porn Groove",
    /* 110 */ "Satire", "Slow Jam", "Club", "Tango", "Samba",
    /* 115 */ "Folklore", "Ballad", "Power Ballad", "Rhythmic Soul", "Freestyle",
    /* 120 */ "Duet", "Punk Rock", "Drum Solo", "A capella", "Euro-House",
    /* 125 */ "Dance Hall", "Goa", "Drum & Bass", "Club-House", "Hardcore",
    /* 130 */ "Terror", "Indie", "BritPop", "Negerpunk", "Polsk Punk",
    /* 135 */ "Beat", "Christian Gangsta Rap", "Heavy Metal", "Black Metal", "Crossover",
    /* 140 */ "Contemporary Christian", "Christian Rock", "Merengue", "Salsa", "Trash Metal",
    /* 145 */ "Anime", "JPop", "Synthpop",
};
// clang-format on

const std::array<std::string_view, 2> ID3v1VersionNames{"ID3v1.0", "ID3v1.1"};

namespace id3v1 {
namespace {

using Trailer = std::array<std::uint8_t, kID3v1TagSize>;

constexpr std::string_view kMarker = "TAG";

struct Field {
    std::size_t offset;
    std::size_t width;
};

constexpr Field kTitle{3, 30};
constexpr Field kArtist{33, 30};
constexpr Field kAlbum{63, 30};
constexpr Field kYear{93, 4};
constexpr Field kComment10{97, 30};
constexpr Field kComment11{97, 28};
constexpr std::size_t kSeparatorOffset = 125;
constexpr std::size_t kTrackOffset = 126;
constexpr std::size_t kGenreOffset = 127;
constexpr std::uint8_t kSpace = 32;

// The file's last 128 bytes; false when the file is shorter or unreadable.
bool ReadTrailer(TByteSource& source, Trailer& trailer) {
    std::int64_t size = 0;
    if (!source.Size(size) || size < static_cast<std::int64_t>(kID3v1TagSize)) return false;
    std::size_t got = 0;
    return source.ReadAt(size - static_cast<std::int64_t>(kID3v1TagSize), trailer, got) && got == trailer.size();
}

// Version 1.1 is told from the comment's last two bytes alone.
std::uint8_t DetectVersion(const Trailer& trailer) {
    const std::uint8_t separator = trailer[kSeparatorOffset];
    const std::uint8_t track = trailer[kTrackOffset];
    // Some writers pad the comment with spaces, not zeros, before the track byte.
    const bool v11 = (separator == 0 && track != 0) || (separator == kSpace && track != kSpace);
    return v11 ? kVersion11 : kVersion10;
}

// The field with trailing bytes of value 32 or less removed; nothing else.
std::string TrimRight(std::span<const std::uint8_t> field) {
    std::size_t end = field.size();
    while (end > 0 && field[end - 1] <= kSpace) --end;
    return std::string(reinterpret_cast<const char*>(field.data()), end);
}

std::string Text(const Trailer& trailer, Field field) {
    return TrimRight(std::span<const std::uint8_t>(trailer).subspan(field.offset, field.width));
}

}  // namespace
}  // namespace id3v1

TID3v1::TID3v1() { Clear(); }

void TID3v1::Clear() {
    HasTag = false;
    Version = id3v1::kVersion10;
    Title.clear();
    Artist.clear();
    Album.clear();
    Year.clear();
    Comment.clear();
    Track = 0;
    GenreIndex = id3v1::kNoGenre;
}

bool TID3v1::ReadTag(const char* path) {
    return ReadFromPath(*this, path, [](TID3v1& reader, TByteSource& source) { return reader.ReadTag(source); });
}

bool TID3v1::ReadTag(TByteSource& source) {
    using namespace id3v1;
    Clear();
    Trailer trailer{};
    if (!ReadTrailer(source, trailer)) return false;
    if (std::memcmp(trailer.data(), kMarker.data(), kMarker.size()) != 0) return true;

    HasTag = true;
    Version = DetectVersion(trailer);
    Title = Text(trailer, kTitle);
    Artist = Text(trailer, kArtist);
    Album = Text(trailer, kAlbum);
    Year = Text(trailer, kYear);
    if (Version == kVersion10) {
        Comment = Text(trailer, kComment10);
    } else {
        Comment = Text(trailer, kComment11);
        Track = trailer[kTrackOffset];
    }
    GenreIndex = trailer[kGenreOffset];
    return true;
}

std::string TID3v1::GenreText() const {
    return GenreIndex < kGenreCount ? std::string(GenreNames[GenreIndex]) : std::string();
}
