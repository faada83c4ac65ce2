// Writes the benchmark's input: a library of synthetic but well-formed MP3
// files, and one hostile file whose tag is made of millions of empty frames.
//
//   bench_generate library DIR [COUNT [SEED]]
//   bench_generate cyrillic DIR [COUNT [SEED]]
//   bench_generate hostile FILE [SIZE_MB]
//
// Library files are 5 to 200 KB: MPEG-1, MPEG-2 and MPEG-2.5 Layer III (and a
// few Layer II) frames with valid headers, CBR or VBR with a Xing or VBRI
// header, an ID3v2.2, 2.3 or 2.4 tag in the encodings that taggers use, an
// ID3v1 tag on most, and a 50 to 100 KB picture in a fifth of them. The
// cyrillic library has the same audio but only ID3v2 tags whose every text is
// Russian in UTF-16, and no pictures: the case where the conversion of 16-bit
// units costs most. The same seed always gives the same bytes; a stamp file
// makes a second run a no-op.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "AudioWriter.h"
#include "ID3v1.h"
#include "ID3v2.h"
#include "TagWriter.h"
#include "Utf8.h"

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

constexpr int kGeneratorVersion = 1;  // bump when the bytes written change
constexpr std::size_t kDefaultCount = 10000;
constexpr std::uint64_t kDefaultSeed = 20240601;
constexpr std::size_t kFilesPerFolder = 100;
constexpr char kStampName[] = ".complete";

constexpr std::size_t kKiB = 1024;
constexpr std::size_t kMiB = 1024 * kKiB;
constexpr std::size_t kSmallestFile = 5 * kKiB;
constexpr std::size_t kLargestFile = 200 * kKiB;
constexpr std::size_t kSmallestPicture = 50 * kKiB;
constexpr std::size_t kLargestPicture = 100 * kKiB;
constexpr std::size_t kLeastAudio = 5 * kKiB;
constexpr double kPictureShare = 0.2;

constexpr std::uint32_t kSyncsafeLimit = 1u << 28;

// A small, fast generator with a stable sequence on every platform
// (the standard distributions are not portable across libraries).
class TRandom {
public:
    explicit TRandom(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    // Uniform in [low, high].
    std::size_t Between(std::size_t low, std::size_t high) { return low + Next() % (high - low + 1); }
    double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
    bool Chance(double p) { return Unit() < p; }
    template <typename T, std::size_t N>
    const T& Pick(const std::array<T, N>& items) {
        return items[Next() % N];
    }
    void Fill(std::uint8_t* out, std::size_t count) {
        while (count >= sizeof(std::uint64_t)) {
            const std::uint64_t v = Next();
            std::memcpy(out, &v, sizeof v);
            out += sizeof v;
            count -= sizeof v;
        }
        if (count > 0) {
            const std::uint64_t v = Next();
            std::memcpy(out, &v, count);
        }
    }

private:
    std::uint64_t state_;
};

// ---- Text in the encodings taggers write -------------------------------------

std::vector<char32_t> CodePoints(std::string_view utf8) {
    std::vector<char32_t> points;
    for (std::size_t i = 0; i < utf8.size();) {
        const platform::TUtf8Sequence sequence = platform::NextUtf8(utf8, i);
        points.push_back(sequence.valid ? sequence.codePoint : U'?');
        i += sequence.length;
    }
    return points;
}

// Windows-1251, as Russian taggers stored text in encoding 0 and in ID3v1.
std::string ToCp1251(std::string_view utf8) {
    constexpr char32_t kCapitalA = 0x410, kSmallYa = 0x44F, kCapitalYo = 0x401, kSmallYo = 0x451;
    constexpr unsigned kCapitalAByte = 0xC0, kCapitalYoByte = 0xA8, kSmallYoByte = 0xB8;
    std::string out;
    for (char32_t p : CodePoints(utf8)) {
        if (p < 0x80) out.push_back(static_cast<char>(p));
        else if (p >= kCapitalA && p <= kSmallYa) out.push_back(static_cast<char>(kCapitalAByte + (p - kCapitalA)));
        else if (p == kCapitalYo) out.push_back(static_cast<char>(kCapitalYoByte));
        else if (p == kSmallYo) out.push_back(static_cast<char>(kSmallYoByte));
        else out.push_back('?');
    }
    return out;
}

std::u16string ToUtf16(std::string_view utf8) {
    std::u16string out;
    for (char32_t p : CodePoints(utf8)) out += static_cast<char16_t>(p);
    return out;
}

enum class TEncoding : std::uint8_t { Latin = 0, Utf16 = 1, Utf8 = 3 };

// Encoding byte, byte order mark where one belongs, the text; some taggers end
// it with a terminator.
Bytes EncodedText(TEncoding encoding, std::string_view utf8, bool terminated) {
    Bytes out;
    switch (encoding) {
        case TEncoding::Latin:
            out = Latin(ToCp1251(utf8));
            if (terminated) out.push_back(0);
            break;
        case TEncoding::Utf16:
            out = Utf16LE(ToUtf16(utf8), true);
            if (terminated) out.insert(out.end(), {0, 0});
            break;
        case TEncoding::Utf8:
            out = Latin(utf8);
            if (terminated) out.push_back(0);
            break;
    }
    return out;
}

Bytes Terminator(TEncoding encoding) { return encoding == TEncoding::Utf16 ? Bytes{0, 0} : Bytes{0}; }

// ---- Track metadata ----------------------------------------------------------

constexpr std::array<std::string_view, 24> kEnglishWords = {
    "Midnight", "River",  "Electric", "Dreams", "Silver", "Road",   "Highway", "Blue",
    "Heart",    "Summer", "Rain",     "Fire",   "Shadow", "City",   "Lights",  "Ocean",
    "Wild",     "Love",   "Echo",     "Golden", "Stone",  "Winter", "Morning", "Ghost"};
constexpr std::array<std::string_view, 24> kRussianWords = {
    "Звезда", "Ночь",   "Город",  "Дорога", "Лето",  "Море",    "Ветер", "Солнце",
    "Мечта",  "Осень",  "Река",   "Свет",   "Небо",  "Ёлка",    "Огонь", "Песня",
    "Зима",   "Любовь", "Тишина", "Дождь",  "Весна", "Журавли", "Сердце", "Берёза"};
constexpr std::array<std::string_view, 12> kGenres = {
    "Rock", "Pop", "(17)", "(13)Pop", "Jazz", "Электроника", "Шансон", "Classical", "(17)Rock", "Hip-Hop",
    "Alternative", "Русский рок"};
constexpr std::array<std::string_view, 6> kComments = {
    "Ripped from CD", "Best of the year", "Live recording", "Подарок другу", "Remastered 2011", "Из архива"};
constexpr std::array<std::string_view, 5> kRussianGenres = {"Электроника", "Шансон", "Русский рок", "Романс",
                                                            "Бардовская песня"};
constexpr std::array<std::string_view, 4> kRussianComments = {"Подарок другу", "Из архива", "Концертная запись",
                                                              "Лучшее за год"};

struct TTrack {
    std::string artist, title, album, year, genre, comment;
    int track = 0;
    int trackCount = 0;
    std::uint8_t genreIndex = id3v1::kNoGenre;
};

std::string Words(TRandom& rng, bool russian, std::size_t low, std::size_t high) {
    std::string out;
    const std::size_t n = rng.Between(low, high);
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) out += ' ';
        out += russian ? rng.Pick(kRussianWords) : rng.Pick(kEnglishWords);
    }
    return out;
}

TTrack MakeTrack(TRandom& rng, bool cyrillic) {
    constexpr double kRussianShare = 0.4;
    constexpr std::size_t kFirstYear = 1965, kLastYear = 2023;
    constexpr std::size_t kMostTracks = 24;
    const bool russian = rng.Chance(kRussianShare) || cyrillic;
    TTrack t;
    t.artist = Words(rng, russian, 1, 3);
    t.title = Words(rng, russian, 1, 4);
    if (rng.Chance(0.9)) t.album = Words(rng, russian, 1, 3);
    if (rng.Chance(0.85)) t.year = std::to_string(rng.Between(kFirstYear, kLastYear));
    if (rng.Chance(0.8)) t.genre = std::string(cyrillic ? rng.Pick(kRussianGenres) : rng.Pick(kGenres));
    if (rng.Chance(0.5)) t.comment = std::string(cyrillic ? rng.Pick(kRussianComments) : rng.Pick(kComments));
    t.trackCount = static_cast<int>(rng.Between(1, kMostTracks));
    t.track = static_cast<int>(rng.Between(1, static_cast<std::size_t>(t.trackCount)));
    if (rng.Chance(0.8)) t.genreIndex = static_cast<std::uint8_t>(rng.Between(0, kGenreCount - 1));
    return t;
}

// ---- ID3v1 -------------------------------------------------------------------

Bytes MakeID3v1(TRandom& rng, const TTrack& t) {
    ID3v1Fields fields;
    fields.Title(ToCp1251(t.title)).Artist(ToCp1251(t.artist)).Album(ToCp1251(t.album)).Year(ToCp1251(t.year));
    fields.Comment(ToCp1251(t.comment)).Genre(t.genreIndex);
    if (rng.Chance(0.7)) fields.Track(static_cast<std::uint8_t>(t.track));  // version 1.1
    return ID3v1Tag(fields);
}

// ---- ID3v2 -------------------------------------------------------------------

struct TTagStyle {
    int version = 3;  // 2, 3 or 4
    TEncoding encoding = TEncoding::Latin;
    bool terminated = false;
    bool pictureFirst = false;
    bool footer = false;
    std::size_t padding = 0;
    std::size_t pictureSize = 0;  // 0: none
    bool cyrillicOnly = false;    // no frames of English text
};

// Version 2.2 has no frame for some of the ids; those are left out there.
void PutFrame(ID3v2Writer& tag, int version, std::string_view id23, std::string_view id22, const Bytes& data) {
    if (version == 2 && id22.empty()) return;
    tag.Frame(version == 2 ? id22 : id23, data);
}

void PutTextFrame(ID3v2Writer& tag, const TTagStyle& s, std::string_view id23, std::string_view id22,
                  std::string_view utf8) {
    if (s.version == 2 && id22.empty()) return;
    tag.Text(s.version == 2 ? id22 : id23, static_cast<std::uint8_t>(s.encoding),
             EncodedText(s.encoding, utf8, s.terminated));
}

void PutCommentFrame(ID3v2Writer& tag, const TTagStyle& s, std::string_view description, std::string_view utf8) {
    Bytes data{static_cast<std::uint8_t>(s.encoding)};
    Append(data, Latin("eng"));
    if (!description.empty()) Append(data, EncodedText(s.encoding, description, false));
    Append(data, Terminator(s.encoding));
    Append(data, EncodedText(s.encoding, utf8, false));
    PutFrame(tag, s.version, "COMM", "COM", data);
}

Bytes MakePicture(TRandom& rng, std::size_t size) {
    // A JPEG start and end around noise: no reader here decodes the image.
    static constexpr std::array<std::uint8_t, 20> kJpegStart = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F',
                                                               0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0, 0};
    Bytes data{static_cast<std::uint8_t>(TEncoding::Latin)};
    Append(data, Latin("image/jpeg"));
    data.push_back(0);
    data.push_back(3);  // front cover
    data.push_back(0);  // empty description
    const std::size_t at = data.size();
    data.resize(at + size);
    rng.Fill(data.data() + at, size);
    std::copy(kJpegStart.begin(), kJpegStart.end(), data.begin() + static_cast<std::ptrdiff_t>(at));
    data[data.size() - 2] = 0xFF;
    data[data.size() - 1] = 0xD9;
    return data;
}

Bytes MakeID3v2(TRandom& rng, const TTrack& t, const TTagStyle& s) {
    ID3v2Writer tag(static_cast<std::uint8_t>(s.version), s.footer ? id3v2::kFlagFooter : 0);
    Bytes picture;
    if (s.pictureSize > 0) picture = MakePicture(rng, s.pictureSize);
    if (s.pictureFirst && !picture.empty()) PutFrame(tag, s.version, "APIC", "", picture);
    PutTextFrame(tag, s, "TIT2", "TT2", t.title);
    PutTextFrame(tag, s, "TPE1", "TP1", t.artist);
    if (!t.album.empty()) PutTextFrame(tag, s, "TALB", "TAL", t.album);
    const std::string track =
        rng.Chance(0.6) ? std::to_string(t.track) + "/" + std::to_string(t.trackCount) : std::to_string(t.track);
    PutTextFrame(tag, s, "TRCK", "TRK", track);
    if (!t.year.empty()) {
        if (s.version == 4) PutTextFrame(tag, s, "TDRC", "", t.year + (rng.Chance(0.3) ? "-05-06" : ""));
        else PutTextFrame(tag, s, "TYER", "TYE", t.year);
    }
    if (!t.genre.empty()) PutTextFrame(tag, s, "TCON", "TCO", t.genre);
    if (rng.Chance(0.1) && !s.cyrillicOnly) PutCommentFrame(tag, s, "iTunNORM", " 00000A2B 00000B3C 0000516F 00005A3E");
    if (!t.comment.empty()) PutCommentFrame(tag, s, "", t.comment);
    if (rng.Chance(0.3) && !s.cyrillicOnly) PutTextFrame(tag, s, "TENC", "TEN", "LAME 3.100");
    if (rng.Chance(0.2) && !s.cyrillicOnly) {
        Bytes data{static_cast<std::uint8_t>(s.encoding)};
        Append(data, EncodedText(s.encoding, "replaygain_track_gain", false));
        Append(data, Terminator(s.encoding));
        Append(data, EncodedText(s.encoding, "-6.52 dB", false));
        PutFrame(tag, s.version, "TXXX", "TXX", data);
    }
    if (!s.pictureFirst && !picture.empty()) PutFrame(tag, s.version, "APIC", "", picture);
    tag.Padding(s.padding);
    return tag.Build();
}

TTagStyle PickTagStyle(TRandom& rng, bool withPicture, bool cyrillic) {
    TTagStyle s;
    const double r = rng.Unit();
    if (r < 0.40) {
        s.version = 3;
        s.encoding = rng.Chance(0.6) ? TEncoding::Latin : TEncoding::Utf16;
    } else if (r < 0.75 || withPicture) {
        s.version = 4;
        const double e = rng.Unit();
        s.encoding = e < 0.5 ? TEncoding::Utf8 : e < 0.8 ? TEncoding::Utf16 : TEncoding::Latin;
        s.footer = rng.Chance(0.02);
    } else if (r < 0.80) {
        s.version = 2;
        s.encoding = rng.Chance(0.7) ? TEncoding::Latin : TEncoding::Utf16;
    } else {
        s.version = 0;  // no ID3v2 tag
    }
    s.terminated = rng.Chance(0.3);
    if (!s.footer) {
        const double p = rng.Unit();
        s.padding = p < 0.4 ? 0 : p < 0.7 ? kKiB : p < 0.9 ? 2 * kKiB : rng.Between(0, 8 * kKiB);
    }
    if (withPicture) {
        s.pictureSize = rng.Between(kSmallestPicture, kLargestPicture);
        s.pictureFirst = rng.Chance(0.3);
    }
    if (cyrillic) {
        s.version = s.version == 0 ? 3 : s.version;
        s.encoding = TEncoding::Utf16;
        s.cyrillicOnly = true;
    }
    return s;
}

// ---- MPEG audio --------------------------------------------------------------

enum : std::uint8_t { kMpeg25 = 0, kMpeg2 = 2, kMpeg1 = 3 };
enum : std::uint8_t { kLayer3 = 1, kLayer2 = 2 };
enum : std::uint8_t { kStereo = 0, kJointStereo = 1, kDualChannel = 2, kMono = 3 };

enum class TVbrHeader { None, Xing, Info, Vbri };

struct TStream {
    std::uint8_t version = kMpeg1;
    std::uint8_t layer = kLayer3;
    std::uint8_t sampleRateIndex = 0;
    std::uint8_t bitRateIndex = 9;
    std::uint8_t mode = kJointStereo;
    bool vbr = false;
    TVbrHeader header = TVbrHeader::None;
    std::string tailSignature;  // an encoder signature near the end, or empty
    std::size_t junkBeforeAudio = 0;
    bool truncated = false;
};

// The frame fields of the stream at a bit rate, as encoders set them: no CRC,
// the original bit, mid/side stereo in joint stereo.
FrameFields Fields(const TStream& s, std::uint8_t bitRateIndex, bool padded = false) {
    constexpr int kMidSide = 2;
    FrameFields fields;
    fields.version = s.version;
    fields.layer = s.layer;
    fields.bitRateIndex = bitRateIndex;
    fields.sampleRateIndex = s.sampleRateIndex;
    fields.padded = padded;
    fields.mode = s.mode;
    fields.modeExtension = s.mode == kJointStereo ? kMidSide : 0;
    fields.original = true;
    return fields;
}

TStream PickStream(TRandom& rng) {
    TStream s;
    const double r = rng.Unit();
    if (r < 0.60) {
        s.sampleRateIndex = 0;
    } else if (r < 0.70) {
        s.sampleRateIndex = 1;
    } else if (r < 0.74) {
        s.sampleRateIndex = 2;
    } else if (r < 0.86) {
        s.version = kMpeg2;
        s.sampleRateIndex = static_cast<std::uint8_t>(rng.Between(0, 2));
    } else if (r < 0.90) {
        s.version = kMpeg25;
        s.sampleRateIndex = static_cast<std::uint8_t>(rng.Between(0, 2));
    } else if (r < 0.94) {
        s.layer = kLayer2;
        s.sampleRateIndex = static_cast<std::uint8_t>(rng.Between(0, 1));
    } else {
        s.sampleRateIndex = 0;
    }
    const double m = rng.Unit();
    s.mode = m < 0.6 ? kJointStereo : m < 0.8 ? kStereo : m < 0.95 ? kMono : kDualChannel;
    if (s.layer == kLayer2 && s.mode == kJointStereo) s.mode = kStereo;

    static constexpr std::array<std::uint8_t, 6> kMpeg1Cbr = {9, 9, 10, 11, 13, 14};  // 128 (twice) to 320
    static constexpr std::array<std::uint8_t, 5> kMpeg2Cbr = {4, 6, 8, 9, 10};        // 32 to 96
    static constexpr std::array<std::uint8_t, 3> kLayer2Cbr = {10, 11, 12};           // 192 to 256
    s.bitRateIndex = s.layer == kLayer2 ? rng.Pick(kLayer2Cbr) : s.version == kMpeg1 ? rng.Pick(kMpeg1Cbr)
                                                                                      : rng.Pick(kMpeg2Cbr);
    const double v = rng.Unit();
    if (s.layer == kLayer3 && v < 0.30) {
        s.vbr = true;
        s.header = TVbrHeader::Xing;
    } else if (s.layer == kLayer3 && s.version == kMpeg1 && v < 0.33) {
        s.vbr = true;
        s.header = TVbrHeader::Vbri;
    } else if (s.layer == kLayer3 && v < 0.45) {
        s.header = TVbrHeader::Info;
    }
    if (s.header == TVbrHeader::None) {
        const double e = rng.Unit();
        if (e < 0.4) s.tailSignature = "LAME3.100";
        else if (e < 0.43) s.tailSignature = "GOGO";
    }
    if (rng.Chance(0.05)) s.junkBeforeAudio = rng.Between(1, 600);
    s.truncated = rng.Chance(0.05);
    return s;
}

// The stream's first frame carries a Xing, Info or VBRI header, written once
// the frames and bytes are counted.
void PutHeader(Bytes& out, std::size_t at, const TStream& s, std::uint8_t bitRateIndex, std::int32_t frames,
               std::int32_t bytes) {
    const std::size_t offset = at + VbrHeaderOffset(Fields(s, bitRateIndex));
    if (s.header == TVbrHeader::Vbri) {
        constexpr std::uint8_t kQuality = 75;
        PutVbri(out, offset, bytes, frames, kQuality);
    } else {
        constexpr std::uint8_t kQuality = 57;
        PutXing(out, offset, frames, bytes, kQuality, "LAME3.100", s.header == TVbrHeader::Xing ? "Xing" : "Info");
        PutXingSeekTable(out, offset);
    }
}

Bytes MakeAudio(TRandom& rng, const TStream& s, std::size_t target) {
    Bytes out;
    if (s.junkBeforeAudio > 0) out.resize(s.junkBeforeAudio, 0);
    const std::size_t start = out.size();
    auto length = [&](std::uint8_t index) { return FrameSize(Fields(s, index)); };

    std::uint8_t headerIndex = 0;
    if (s.header != TVbrHeader::None) {
        // Encoders pick a rate whose frame holds the whole header.
        constexpr std::size_t kRoomNeeded = 160;
        headerIndex = s.vbr ? (s.version == kMpeg1 ? 9 : 8) : s.bitRateIndex;
        while (length(headerIndex) < VbrHeaderOffset(Fields(s, headerIndex)) + kRoomNeeded && headerIndex < 14) {
            ++headerIndex;
        }
        Append(out, Frame(Fields(s, headerIndex)));
    }

    std::uint32_t frames = 0;
    long remainder = 0;  // drives the padding bit the way CBR encoders do
    const int sampleRate = SampleRateHz(Fields(s, s.bitRateIndex));
    const int coefficient = SamplesPerFrame(Fields(s, s.bitRateIndex)) / 8;  // bytes per kbit/s at 1 kHz
    const std::size_t sideInfo = VbrHeaderOffset(Fields(s, s.bitRateIndex));
    while (out.size() < target) {
        std::uint8_t index = s.bitRateIndex;
        if (s.vbr) {
            const std::uint8_t low = s.version == kMpeg1 ? 7 : 3, high = s.version == kMpeg1 ? 14 : 12;
            index = static_cast<std::uint8_t>(rng.Between(low, high));
        }
        remainder += (static_cast<long>(coefficient) * BitRateKbps(Fields(s, index)) * 1000) % sampleRate;
        const bool padded = remainder >= sampleRate;
        if (padded) remainder -= sampleRate;
        const FrameFields fields = Fields(s, index, padded);
        const std::size_t at = out.size();
        Append(out, HeaderBytes(fields));
        out.resize(at + FrameSize(fields), 0);
        rng.Fill(out.data() + at + sideInfo, FrameSize(fields) - sideInfo);
        ++frames;
    }
    if (!s.tailSignature.empty() && out.size() > start + s.tailSignature.size() + 64) {
        Put(out, out.size() - s.tailSignature.size() - rng.Between(8, 60), s.tailSignature);
    }
    if (s.header != TVbrHeader::None) {
        PutHeader(out, start, s, headerIndex, static_cast<std::int32_t>(frames),
                  static_cast<std::int32_t>(out.size() - start));
    }
    if (s.truncated && out.size() > target / 2) out.resize(out.size() - rng.Between(1, 300));
    return out;
}

// ---- Files -------------------------------------------------------------------

bool WriteBytes(const fs::path& path, const Bytes& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

Bytes MakeFile(TRandom& rng, bool cyrillic) {
    const TTrack track = MakeTrack(rng, cyrillic);
    const bool withPicture = rng.Chance(kPictureShare) && !cyrillic;
    const TTagStyle style = PickTagStyle(rng, withPicture, cyrillic);
    const bool withID3v1 = (rng.Chance(0.6) || style.version == 0) && !cyrillic;

    Bytes file;
    if (style.version != 0) file = MakeID3v2(rng, track, style);
    const std::size_t least = file.size() + kLeastAudio + (withID3v1 ? kID3v1TagSize : 0);
    const std::size_t total = rng.Between(std::max(least, kSmallestFile), std::max(least, kLargestFile));
    const std::size_t audioTarget = total - file.size() - (withID3v1 ? kID3v1TagSize : 0);
    Append(file, MakeAudio(rng, PickStream(rng), audioTarget));
    if (withID3v1) Append(file, MakeID3v1(rng, track));
    return file;
}

std::string StampText(std::size_t count, std::uint64_t seed, bool cyrillic) {
    return "version " + std::to_string(kGeneratorVersion) + " count " + std::to_string(count) + " seed " +
           std::to_string(seed) + (cyrillic ? " cyrillic" : "") + "\n";
}

std::string ReadSmallFile(const fs::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int WriteLibrary(const fs::path& dir, std::size_t count, std::uint64_t seed, bool cyrillic) {
    const fs::path stamp = dir / kStampName;
    const std::string stampText = StampText(count, seed, cyrillic);
    if (ReadSmallFile(stamp) == stampText) {
        std::printf("%s is up to date (%s)\n", dir.c_str(), stampText.substr(0, stampText.size() - 1).c_str());
        return 0;
    }
    std::error_code error;
    fs::remove(stamp, error);
    std::uint64_t bytes = 0;
    for (std::size_t i = 0; i < count; ++i) {
        // Each file has its own stream, so one file's bytes do not depend on
        // how the others came out.
        TRandom rng(seed * 1000003ULL + i);
        char name[32];
        std::snprintf(name, sizeof name, "d%02zu", i / kFilesPerFolder);
        const fs::path folder = dir / name;
        if (i % kFilesPerFolder == 0) fs::create_directories(folder, error);
        std::snprintf(name, sizeof name, "%05zu.mp3", i);
        const Bytes file = MakeFile(rng, cyrillic);
        if (!WriteBytes(folder / name, file)) {
            std::fprintf(stderr, "cannot write %s: %s\n", (folder / name).c_str(), std::strerror(errno));
            return 1;
        }
        bytes += file.size();
    }
    std::ofstream(stamp) << stampText;
    std::printf("wrote %zu files, %.1f MB, into %s\n", count, static_cast<double>(bytes) / kMiB, dir.c_str());
    return 0;
}

// The frames of a writer's tag, without the header before them.
Bytes FramesOf(const ID3v2Writer& tag) {
    const Bytes bytes = tag.Build();
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(id3v2::kHeaderSize), bytes.end());
}

// A tag of millions of empty and one-byte frames of known and unknown ids,
// with the real title, artist and album last, so that they win; then 200 KB of
// 128 kbit/s audio and an ID3v1 tag.
int WriteHostile(const fs::path& path, std::size_t sizeMiB) {
    constexpr std::size_t kAudioSize = 200 * kKiB;
    constexpr std::size_t kChunk = kMiB;
    const std::size_t total = sizeMiB * kMiB;
    if (total < kAudioSize + kID3v1TagSize + kMiB || total - kAudioSize - kID3v1TagSize - id3v2::kHeaderSize >= kSyncsafeLimit) {
        std::fprintf(stderr, "size must be from 2 to 256 MB\n");
        return 2;
    }
    const std::string stampText = "version " + std::to_string(kGeneratorVersion) + " hostile " +
                                  std::to_string(sizeMiB) + "\n";
    const fs::path stamp = path.string() + ".stamp";
    std::error_code error;
    if (ReadSmallFile(stamp) == stampText && fs::file_size(path, error) == total) {
        std::printf("%s is up to date\n", path.c_str());
        return 0;
    }
    fs::remove(stamp, error);

    TTagStyle style;
    style.version = 3;
    ID3v2Writer lastFrames(3);
    PutTextFrame(lastFrames, style, "TIT2", "", "Millions of Empty Frames");
    PutTextFrame(lastFrames, style, "TPE1", "", "Hostile Artist");
    PutTextFrame(lastFrames, style, "TALB", "", "Bounded Work");
    const Bytes last = FramesOf(lastFrames);
    const std::size_t tagSize = total - kAudioSize - kID3v1TagSize;
    const std::size_t body = tagSize - id3v2::kHeaderSize;

    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return 1;
    }
    bool ok = true;
    ID3v2Writer head(3);
    head.SizeField(Syncsafe(static_cast<std::uint32_t>(body)));
    PutTextFrame(head, style, "TPE1", "", "Early Artist");
    Bytes chunk = head.Build();

    // Known ids whose slot the walk fills, unknown ones it skips, and a few
    // one-byte frames.
    static constexpr std::array<std::pair<std::string_view, std::size_t>, 10> kCycle = {{
        {"TXXX", 0}, {"TIT2", 0}, {"APIC", 0}, {"COMM", 1}, {"TALB", 0},
        {"PRIV", 0}, {"USLT", 1}, {"TPE1", 0}, {"TCON", 1}, {"WXXX", 0},
    }};
    std::vector<Bytes> cycle;
    for (const auto& [id, size] : kCycle) cycle.push_back(FramesOf(ID3v2Writer(3).Frame(id, Bytes(size, 0))));
    std::size_t written = 0;
    std::size_t frames = 0;
    const std::size_t framesEnd = id3v2::kHeaderSize + body - last.size();
    auto flush = [&] {
        ok = ok && std::fwrite(chunk.data(), 1, chunk.size(), f) == chunk.size();
        written += chunk.size();
        chunk.clear();
    };
    constexpr std::size_t kLargestCycleFrame = 11;
    for (std::size_t i = 0;; ++i) {
        if (written + chunk.size() + kLargestCycleFrame > framesEnd) break;
        Append(chunk, cycle[i % cycle.size()]);
        ++frames;
        if (chunk.size() >= kChunk) flush();
    }
    Append(chunk, last);
    chunk.insert(chunk.end(), id3v2::kHeaderSize + body - written - chunk.size(), 0);  // padding
    flush();

    TRandom rng(kDefaultSeed);
    TStream stream;
    Bytes tail = MakeAudio(rng, stream, kAudioSize);
    tail.resize(kAudioSize);
    TTrack track;
    track.title = "Millions of Empty Frames";
    track.artist = "Hostile Artist";
    Append(tail, MakeID3v1(rng, track));
    chunk = tail;
    flush();
    ok = std::fclose(f) == 0 && ok;
    if (!ok || written != total) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    std::ofstream(stamp) << stampText;
    std::printf("wrote %s: %zu MB, %zu frames in its tag\n", path.c_str(), sizeMiB, frames + 4);
    return 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: bench_generate library|cyrillic DIR [COUNT [SEED]]\n"
                 "       bench_generate hostile FILE [SIZE_MB]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    const std::string_view what = argv[1];
    if (what == "library" || what == "cyrillic") {
        const std::size_t count = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : kDefaultCount;
        const std::uint64_t seed = argc > 4 ? std::strtoull(argv[4], nullptr, 10) : kDefaultSeed;
        if (count == 0) return Usage();
        return WriteLibrary(argv[2], count, seed, what == "cyrillic");
    }
    if (what == "hostile") {
        constexpr std::size_t kDefaultHostileMiB = 256;
        return WriteHostile(argv[2], argc > 3 ? std::strtoull(argv[3], nullptr, 10) : kDefaultHostileMiB);
    }
    return Usage();
}
