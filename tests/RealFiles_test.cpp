// Real MP3 files through the readers and the analyser, one table: files made
// at test time by real encoders and taggers (Linux programs: native build
// only) and every file of ../shared/testdata. Each must agree with its own
// bytes, read the same by path and from memory, and stay unchanged; a row
// that knows more (settings, texts given, contents read off the bytes) checks that too.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "AudioWriter.h"
#include "FaultySource.h"
#include "ID3v1.h"
#include "ID3v2.h"
#include "MPEGaudio.h"
#include "PluginTest.h"
#include "ReaderFixtures.h"
#include "TagWriter.h"
#include "TestFiles.h"

using namespace testing_support;

namespace {

// Expected texts in Windows-1251, and the same in UTF-8 for the command lines.
const std::string kTitle = "\xCF\xF0\xE8\xE2\xE5\xF2";        // Привет
const std::string kArtist = "\xC0\xF0\xF2\xE8\xF1\xF2";       // Артист
const std::string kAlbum = "\xC0\xEB\xFC\xE1\xEE\xEC";        // Альбом
const std::string kComment = "\xCA\xEE\xEC\xEC\xE5\xED\xF2";  // Коммент
const std::string kTitleUtf8 = Utf8(u"Привет"), kArtistUtf8 = Utf8(u"Артист");
const std::string kAlbumUtf8 = Utf8(u"Альбом"), kCommentUtf8 = Utf8(u"Коммент");

// Windows-1251 bytes as the Latin-1 characters of the same codes, in UTF-8:
// what a tagger told to write Latin-1 turns back into those very bytes.
std::string AsLatin1Utf8(const std::string& cp1251) {
    std::u16string units;
    for (unsigned char c : cp1251) units += static_cast<char16_t>(c);
    return Utf8(units);
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

#ifdef _WIN32
constexpr bool kLinux = false;  // the encoders and taggers are Debian's
#else
constexpr bool kLinux = true;
#endif

// What an encoder was told to make.
struct TAudioWant {
    int inputChannels{};
    double seconds{};
    int kbps{};  // 0: VBR, with a Xing header
    int sampleRate{};
    const char* mode{};
    bool lameTail{};           // lame leaves its signature in every frame's spare bits
    std::size_t maxBytes = 0;  // files meant to be shorter than the tail block
};

// ID3v2 fields a row knows; the others are not checked.
struct TTagWant {
    std::optional<int> version{};
    std::optional<std::int32_t> tagSize{};
    std::optional<std::string> title{}, artist{}, album{};
    std::optional<std::uint16_t> track{};
    std::optional<std::string> year{}, genre{}, comment{}, encoder{};
    bool audioAfterTag = false;  // the audio begins right after the tag
    std::optional<std::size_t> pictureBytes{};
    std::optional<Bytes> pictureEnd{};  // the last bytes of a picture of a whole block
};

// An ID3v1.1 tag.
struct TV1Want {
    std::string title{}, artist{}, album{}, year{};
    std::optional<std::string> comment{};
    int track{};
    std::string genre{};
};

struct TRealFile {
    std::string name{};
    // Where the file comes from: a file of ../shared/testdata ("folder/name"),
    // or made by a shell command that writes %f, from a tone in %w when the
    // row has audio settings, else from a copy of a silent MP3 already in %f
    // (%i is the silent original, %s a mutagen script).
    std::string shared{}, make{};
    std::string needs{};  // a shell test the tools must pass, else the row is skipped
    std::optional<TAudioWant> audio{};
    std::optional<TTagWant> tags{};
    std::optional<TV1Want> v1{};
    // The name process gives for "*artist* - *title*".
    std::optional<std::string> newName{};
};

// mutagen as a library: every encoding it writes into 2.3 and 2.4 frames,
// Windows-1251 bytes in Latin-1 frames, and a picture.
const char* const kMutagenScript = R"(import sys
from mutagen.id3 import ID3, TIT2, TPE1, TALB, TRCK, TCON, COMM, TYER, TDRC, APIC
path, version, enc = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
def t(s):
    # Latin-1 frames carry Windows-1251 bytes as they are
    return s.encode('cp1251').decode('latin-1') if enc == 0 else s
tag = ID3()
tag.add(TIT2(encoding=enc, text=t('Привет' * 30)))  # more than 127 bytes: 2.4 sizes are syncsafe
tag.add(TPE1(encoding=enc, text=t('Артист')))
tag.add(TALB(encoding=enc, text=t('Альбом')))
tag.add(TRCK(encoding=enc, text='5/12'))
tag.add(TCON(encoding=enc, text='(17)Rock'))
tag.add(COMM(encoding=enc, lang='rus', desc='d', text=t('Коммент')))  # 16-bit: d 00 00 00
tag.add(TYER(encoding=enc, text='2004') if version == 3 else TDRC(encoding=enc, text='2004-05-06'))
tag.add(APIC(encoding=enc, mime='image/jpeg', type=3, desc=t('обложка'), data=b'\xff\xd8\xff\xe0JFIF-image'))
tag.save(path, v2_version=version)
)";

std::vector<TRealFile> Encoders() {
    auto lame = [](std::string name, std::string args, TAudioWant want) {
        return TRealFile{.name = std::move(name), .make = "lame --quiet " + args + " %w %f",
                         .needs = "command -v lame", .audio = want};
    };
    // ffmpeg with the encoder named after -c:a, when it has that one.
    auto ffmpeg = [](std::string name, std::string args, TAudioWant want, std::optional<TTagWant> tags = {}) {
        const std::size_t codec = args.find("-c:a ") + 5;
        const std::string encoder = args.substr(codec, args.find(' ', codec) - codec);
        return TRealFile{.name = std::move(name), .make = "ffmpeg -v error -y -i %w " + args + " %f",
                         .needs = "ffmpeg -hide_banner -encoders 2>/dev/null | grep -qw " + encoder,
                         .audio = want, .tags = std::move(tags)};
    };
    return {
        lame("lame CBR 128", "-b 128 -m j", {2, 7.4, 128, 44100, "Joint Stereo", true}),
        lame("lame CBR 160 stereo", "-b 160 -m s", {2, 4.3, 160, 44100, "Stereo", true}),
        lame("lame VBR -V 4", "-V 4 -m j", {2, 7.4, 0, 44100, "Joint Stereo", false}),
        lame("lame mono CBR 64", "-m m -b 64", {1, 5.6, 64, 44100, "Mono", true}),
        lame("lame mono VBR", "-m m -V 4", {1, 5.6, 0, 44100, "Mono", false}),
        lame("lame MPEG-2 22.05 kHz", "--resample 22.05 -b 64 -m j", {2, 6.5, 64, 22050, "Joint Stereo", true}),
        lame("lame MPEG-2 22.05 kHz VBR", "--resample 22.05 -V 4 -m j", {2, 6.5, 0, 22050, "Joint Stereo", false}),
        lame("lame MPEG-2.5 8 kHz", "--resample 8 -b 16 -m m", {1, 9.3, 16, 8000, "Mono", false}),
        lame("lame MPEG-2.5 8 kHz VBR", "--resample 8 -V 6 -m m", {1, 9.3, 0, 8000, "Mono", false}),
        lame("lame under 3 KB, no Info frame", "-t -b 128 -m j", {2, 0.1, 128, 44100, "Joint Stereo", false, 3000}),
        lame("lame under 3 KB at 8 kHz", "--resample 8 -b 8 -m m", {1, 1.3, 8, 8000, "Mono", false, 3000}),
        ffmpeg("ffmpeg libmp3lame CBR, ID3v2.4 and ID3v1",
               "-c:a libmp3lame -b:a 96k -joint_stereo 0 -write_id3v1 1 -metadata title=Song",
               {2, 7.4, 96, 44100, "Stereo", true}, TTagWant{.version = 4, .title = "Song", .audioAfterTag = true}),
        ffmpeg("ffmpeg libmp3lame VBR", "-c:a libmp3lame -q:a 5 -joint_stereo 0", {2, 7.4, 0, 44100, "Stereo", false}),
        ffmpeg("ffmpeg libmp3lame 48 kHz mono, ID3v2.3",
               "-ar 48000 -c:a libmp3lame -b:a 80k -id3v2_version 3 -metadata artist=Band",
               {1, 3.7, 80, 48000, "Mono", true}, TTagWant{.version = 3, .artist = "Band", .audioAfterTag = true}),
        ffmpeg("ffmpeg libshine CBR", "-c:a libshine -b:a 128k", {2, 5.5, 128, 44100, "Stereo", false}),
        ffmpeg("ffmpeg MPEG-1 Layer II", "-c:a mp2 -b:a 96k -f mp2", {1, 7.4, 96, 44100, "Mono", false}),
    };
}

std::vector<TRealFile> Taggers() {
    // Every tagger is given the same Cyrillic texts, track 5/12, Rock and 2004.
    auto all = [](int version, std::string title = kTitle) {
        return TTagWant{.version = version, .title = std::move(title), .artist = kArtist, .album = kAlbum,
                        .track = 5, .year = "2004", .genre = "Rock", .comment = kComment, .audioAfterTag = true};
    };
    std::vector<TRealFile> rows;
    rows.push_back({.name = "mid3v2 writes UTF-8 in 2.4",
                    .make = "mid3v2 -t " + Quoted(kTitleUtf8) + " -a " + Quoted(kArtistUtf8) + " -A " +
                            Quoted(kAlbumUtf8) + " -T 5/12 -g Rock -y 2004-05-06 -c " +
                            Quoted("d:" + kCommentUtf8 + ":rus") + " %f",
                    .needs = "command -v mid3v2",
                    .tags = all(4)});
    for (const auto& [version, encoding] : {std::pair{3, 0}, {3, 1}, {4, 0}, {4, 1}, {4, 2}, {4, 3}}) {
        std::string title;
        for (int i = 0; i < 30; ++i) title += kTitle;
        TTagWant want = all(version, title);
        want.pictureEnd = Latin("\xFF\xD8\xFF\xE0JFIF-image");
        rows.push_back({.name = "mutagen 2." + std::to_string(version) + " encoding " + std::to_string(encoding),
                        .make = "/usr/bin/python3 %s %f " + std::to_string(version) + " " + std::to_string(encoding),
                        .needs = "/usr/bin/python3 -c 'import mutagen'",
                        .tags = want});
    }
    const std::string eyeD3 = "eyeD3 --no-config ";
    const std::string texts = " -t " + Quoted(kTitleUtf8) + " -a " + Quoted(kArtistUtf8) + " -A " +
                              Quoted(kAlbumUtf8) + " -n 5 -N 12 -G Rock -c " + Quoted(kCommentUtf8) +
                              " --recording-date 2004-05-06 -Y 2004 %f";
    for (const auto& [options, version] : {std::pair{"--to-v2.3 --encoding utf16", 3},
                                           {"--to-v2.4 --encoding utf16", 4},
                                           {"--to-v2.4 --encoding utf16-be", 4},
                                           {"--to-v2.4 --encoding utf8", 4}}) {
        rows.push_back({.name = std::string("eyeD3 ") + options, .make = eyeD3 + options + texts,
                        .needs = "command -v eyeD3", .tags = all(version)});
    }
    // Latin-1 frames holding Windows-1251 bytes, the way Russian tags were long written.
    rows.push_back({.name = "eyeD3 2.3 Latin-1 frames of Windows-1251 bytes",
                    .make = eyeD3 + "--to-v2.3 --encoding latin1 -t " + Quoted(AsLatin1Utf8(kTitle)) + " -a " +
                            Quoted(AsLatin1Utf8(kArtist)) + " %f",
                    .needs = "command -v eyeD3",
                    .tags = TTagWant{.version = 3, .title = kTitle, .artist = kArtist, .album = "", .track = 0,
                                     .year = "", .genre = "", .comment = "", .audioAfterTag = true}});
    rows.push_back({.name = "eyeD3 writes ID3v1",
                    .make = eyeD3 + "-1 -t " + Quoted(AsLatin1Utf8(kTitle)) + " -a " + Quoted(AsLatin1Utf8(kArtist)) +
                            " -A Album -n 7 -G Rock -Y 2004 -c Comment %f",
                    .needs = "command -v eyeD3",
                    .v1 = TV1Want{kTitle, kArtist, "Album", "2004", "Comment", 7, "Rock"}});
    TTagWant id3lib = all(3);
    id3lib.genre = "";  // "(17)"
    rows.push_back({.name = "id3lib writes raw bytes into both tags",
                    .make = "id3v2 -t " + Quoted(kTitle) + " -a " + Quoted(kArtist) + " -A " + Quoted(kAlbum) +
                            " -y 2004 -T 5/12 -g 17 -c " + Quoted("d:" + kComment + ":rus") + " %f",
                    .needs = "command -v id3v2",
                    .tags = id3lib,
                    .v1 = TV1Want{kTitle, kArtist, kAlbum, "2004", kComment, 5, "Rock"}});
    for (int version : {3, 4}) {
        TTagWant want = all(version);
        want.comment = "";
        rows.push_back({.name = "ffmpeg tags 2." + std::to_string(version),
                        .make = "ffmpeg -nostdin -loglevel error -y -i %i -c copy -id3v2_version " +
                                std::to_string(version) + " -metadata title=" + Quoted(kTitleUtf8) +
                                " -metadata artist=" + Quoted(kArtistUtf8) + " -metadata album=" + Quoted(kAlbumUtf8) +
                                " -metadata track=5/12 -metadata date=2004 -metadata genre=Rock %f",
                        .needs = "command -v ffmpeg",
                        .tags = want});
    }
    return rows;
}

// Shared files whose contents were read off their bytes (and, for
// BeatThee.mp3, its README).
std::vector<TRealFile> KnownSharedFiles() {
    std::vector<TRealFile> rows = {
        {.name = "BeatThee: 2.3, UTF-16, a picture larger than a block before the year",
         .shared = "debian/BeatThee.mp3",
         .tags = TTagWant{.version = 3, .tagSize = 143370, .title = "Beat Thee", .artist = "Alexander Nakarada",
                          .album = "Complete Discography (CC BY Attribution 4.0)", .track = 189, .year = "2017",
                          .pictureBytes = 65522}},
        {.name = "id3v22-test: 2.2",
         .shared = "mutagen/id3v22-test.mp3",
         .tags = TTagWant{.version = 2, .title = "cosmic american", .artist = "Anais Mitchell",
                          .album = "Hymns for the Exiled", .track = 3, .year = "2004", .encoder = "iTunes v4.6"}},
        {.name = "id3v24_extended_header: 2.4 with an extended header",
         .shared = "mutagen/id3v24_extended_header.id3",
         .tags = TTagWant{.track = 1, .year = "2023", .genre = "" /* "Relaxation..? :)" */,
                          .comment = "This is a comment!"}},
        {.name = "extended-header: 2.4 with an extended header",
         .shared = "taglib/extended-header.mp3",
         .tags = TTagWant{.title = "Druids", .year = "2013", .genre = "Folk/Power Metal"}},
        // Tags as real taggers write them: a false extended-header flag, a
        // second tag before the audio, unsynchronisation of 2.3 and 2.4.
        {.name = "issue_21: 2.4 flag 0x40 without an extended header",
         .shared = "mutagen/issue_21.id3",
         .tags = TTagWant{.version = 4, .title = "Punk To Funk", .artist = "FatBoy Slim",
                          .album = "Better Living Through Chemistr", .track = 9, .year = "1996", .genre = "Bigbeat"},
         .newName = "FatBoy Slim - Punk To Funk"},
        {.name = "duplicate_id3v2: a second tag before the audio",
         .shared = "taglib/duplicate_id3v2.mp3",
         .tags = TTagWant{.version = 3, .tagSize = 3943, .title = "TitleXXXX", .artist = "ArtistXXXX",
                          .album = "AlbumXXXX"},
         .newName = "ArtistXXXX - TitleXXXX"},
        {.name = "unsynch24: a 2.4 frame unsynchronised",
         .shared = "taglib/unsynch24.id3",
         .tags = TTagWant{.version = 4, .title = "Hi", .artist = ""},
         .newName = " - Hi"},
        {.name = "silence-44-s-v1: ID3v1.1",
         .shared = "mutagen/silence-44-s-v1.mp3",
         .v1 = TV1Want{"Silence", "piman", "Quod Libet Test Data", "2004", {}, 2, "Darkwave"}},
    };
    for (const char* shared : {"taglib/unsynch.id3", "mutagen/id3v23_unsynch.id3"}) {
        rows.push_back({.name = std::string(shared) + ": 2.3 unsynchronised", .shared = shared,
                        .tags = TTagWant{.version = 3, .title = "My babe just cares for me", .artist = "Nina Simone",
                                         .album = "100% Jazz", .track = 3},
                        .newName = "Nina Simone - My babe just cares for me"});
    }
    return rows;
}

// The known shared files, then every other one found, then the made files.
std::vector<TRealFile> Rows() {
    std::vector<TRealFile> rows = KnownSharedFiles();
    for (const std::string& shared : SharedTestFiles()) {
        bool known = false;
        for (const TRealFile& row : rows) known = known || row.shared == shared;
        if (!known) rows.push_back({.name = shared, .shared = shared});
    }
    for (std::vector<TRealFile> made : {Encoders(), Taggers()}) rows.insert(rows.end(), made.begin(), made.end());
    return rows;
}

constexpr std::uint8_t kTrimmed = 32;

bool IsTrimmedRight(const std::string& text) {
    return text.empty() || static_cast<std::uint8_t>(text.back()) > kTrimmed;
}

bool IsTrimmedBoth(const std::string& text) {
    return text.empty() || (IsTrimmedRight(text) && static_cast<std::uint8_t>(text.front()) > kTrimmed);
}

// A 16-bit PCM WAV file of two tones.
void WriteWav(const std::string& path, int rate, int channels, double seconds) {
    const auto frames = static_cast<std::uint32_t>(seconds * rate);
    const auto blockAlign = static_cast<std::uint32_t>(channels * 2);
    const auto hz = static_cast<std::uint32_t>(rate);
    Bytes wav = Concat({Latin("RIFF"), LittleEndian(36 + frames * blockAlign, 4), Latin("WAVEfmt "), LittleEndian(16, 4),
                        LittleEndian(1, 2) /* PCM */, LittleEndian(static_cast<std::uint32_t>(channels), 2),
                        LittleEndian(hz, 4), LittleEndian(hz * blockAlign, 4), LittleEndian(blockAlign, 2),
                        LittleEndian(16, 2), Latin("data"), LittleEndian(frames * blockAlign, 4)});
    const double pi = std::acos(-1.0);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        for (int c = 0; c < channels; ++c) {
            const double v = 6000 * std::sin(2 * pi * (440 + 110 * c) * t) + 3000 * std::sin(2 * pi * 3150 * t * t);
            Append(wav, LittleEndian(static_cast<std::uint16_t>(static_cast<std::int16_t>(v)), 2));
        }
    }
    WriteFile(path, wav);
}

std::string TimeText(double seconds) {
    const auto whole = static_cast<long long>(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld", whole / 60, whole % 60);
    return text;
}

void Substitute(std::string& command, const std::string& key, const std::string& value) {
    for (std::size_t at; (at = command.find(key)) != std::string::npos;) command.replace(at, key.size(), value);
}

// Both readers' results against the file's own bytes, by path and through
// memory, and the file unchanged by reading.
void ExpectAgreesWithBytes(const std::string& path) {
    Bytes before;
    ASSERT_TRUE(ReadFile(path, before));
    TID3v2 tag;
    const bool ok = tag.ReadTag(path.c_str());
    EXPECT_EQ(ok, before.size() >= id3v2::kHeaderSize);
    const bool marker = before.size() >= id3v2::kHeaderSize && std::memcmp(before.data(), "ID3", 3) == 0;
    EXPECT_EQ(tag.HasTag, marker);
    EXPECT_EQ(tag.Version, marker ? before[3] : 0);
    EXPECT_GE(tag.TagSize, 0);
    EXPECT_LE(static_cast<std::size_t>(tag.TagSize), before.size());
    if (tag.TagSize != 0) {
        EXPECT_GE(static_cast<std::size_t>(tag.TagSize), id3v2::kHeaderSize);
    }
    const bool walked = marker && tag.Version >= 2 && tag.Version <= 4 && tag.TagSize > 0;
    EXPECT_EQ(tag.Picture != nullptr, walked);
    if (tag.Picture) {
        EXPECT_LE(tag.Picture->Data.size(), tag.Picture->Size);
    }
    for (const std::string* text : {&tag.Title, &tag.Artist, &tag.Album, &tag.Year, &tag.Comment, &tag.Composer,
                                    &tag.Encoder, &tag.Copyright, &tag.Language, &tag.Link, &tag.OriginalArtist,
                                    &tag.Lyrics}) {
        EXPECT_TRUE(IsTrimmedBoth(*text)) << *text;
        if (!walked) {
            EXPECT_TRUE(text->empty());
        }
    }
    EXPECT_EQ(tag.Genre.find(')'), std::string::npos);

    TID3v2 again;
    FaultySource source(before);
    EXPECT_EQ(again.ReadTag(source), ok);
    auto fields = [](const TID3v2& t) {
        return std::tie(t.TagSize, t.Title, t.Artist, t.Album, t.Track, t.Year, t.Genre, t.Comment, t.Lyrics);
    };
    EXPECT_TRUE(fields(again) == fields(tag));

    TID3v1 v1;
    EXPECT_EQ(v1.ReadTag(path.c_str()), before.size() >= kID3v1TagSize);
    const bool v1Marker =
        before.size() >= kID3v1TagSize && std::memcmp(before.data() + before.size() - kID3v1TagSize, "TAG", 3) == 0;
    EXPECT_EQ(v1.HasTag, v1Marker);
    EXPECT_TRUE(v1.Version == 1 || v1.Version == 2);
    if (v1.Version == 1) {
        EXPECT_EQ(v1.Track, 0);
    }
    const std::pair<const std::string*, std::size_t> widths[] = {
        {&v1.Title, 30}, {&v1.Artist, 30}, {&v1.Album, 30}, {&v1.Year, 4}, {&v1.Comment, v1.Version == 1 ? 30u : 28u}};
    for (const auto& [text, width] : widths) {
        EXPECT_LE(text->size(), width);
        EXPECT_TRUE(IsTrimmedRight(*text));
        if (!v1Marker) {
            EXPECT_TRUE(text->empty());
        }
    }
    if (v1Marker) {
        EXPECT_EQ(v1.GenreIndex, before.back());
    }

    // The file layer's caching must not change the analysis.
    TMPEGaudio fromFile, fromMemory;
    FaultySource memory(before);
    EXPECT_EQ(fromFile.LoadFromFile(path.c_str()), fromMemory.LoadFromSource(memory));
    auto analysis = [](const TMPEGaudio& a) {
        return std::make_tuple(a.frame.found, a.frame.position, a.BitRate(), a.DurationText(), a.encoderText);
    };
    EXPECT_TRUE(analysis(fromFile) == analysis(fromMemory));
    if (fromFile.frame.found) {
        EXPECT_NE(fromFile.SampleRate(), 0);
        EXPECT_NE(fromFile.ChannelModeText(), "Unknown");
    }

    Bytes after;
    ASSERT_TRUE(ReadFile(path, after));
    EXPECT_TRUE(before == after) << "changed by reading";
}

// The analyser against the encoder's settings and an independent walk over the frames.
void ExpectAudio(const std::string& path, const TAudioWant& e) {
    Bytes bytes;
    ASSERT_TRUE(ReadFile(path, bytes));
    const FrameWalk walk = WalkFrames(bytes);
    ASSERT_GT(walk.frames, 2u);
    if (e.maxBytes > 0) {
        ASSERT_LT(bytes.size(), e.maxBytes);
    }
    ASSERT_EQ(SampleRateHz(walk.first), e.sampleRate) << "the encoder ignored its settings";
    const bool id3v1 = bytes.size() >= 128 && std::string(bytes.end() - 128, bytes.end() - 125) == "TAG";
    const std::size_t audioBytes = bytes.size() - walk.tagSize - (id3v1 ? 128 : 0);

    double seconds = 0;
    if (e.kbps > 0) {
        seconds = static_cast<double>(audioBytes) * 8.0 / (e.kbps * 1000.0);
        // Constant bit rate: the bytes and the frames tell the same time.
        const double frameTime = static_cast<double>(walk.frames * SamplesPerFrame(walk.first)) / e.sampleRate;
        EXPECT_NEAR(seconds, frameTime, 0.03);
    } else {
        // The Xing frame is not counted in its own frame count.
        seconds = static_cast<double>((walk.frames - 1) * SamplesPerFrame(walk.first)) / double(e.sampleRate);
    }
    ASSERT_NEAR(seconds, e.seconds, 0.3) << "the encoder's padding is a few frames at most";
    ASSERT_GT(std::fabs(seconds - std::round(seconds)), 0.005) << "too near a whole second to compare texts";

    TMPEGaudio audio;
    ASSERT_TRUE(audio.LoadFromFile(path.c_str()));
    ASSERT_TRUE(audio.frame.found);
    EXPECT_EQ(audio.ID3v2Tag.TagSize, static_cast<std::int32_t>(walk.tagSize));
    EXPECT_EQ(audio.ID3v1Tag.HasTag, id3v1);
    EXPECT_EQ(static_cast<std::size_t>(audio.frame.position), walk.firstOffset - walk.tagSize);
    EXPECT_EQ(audio.SampleRate(), e.sampleRate);
    EXPECT_EQ(audio.ChannelModeText(), e.mode);
    EXPECT_EQ(audio.vbr.found, e.kbps == 0);
    if (e.kbps > 0) {
        EXPECT_EQ(audio.BitRate(), e.kbps);
    } else {
        const double average = static_cast<double>(walk.end - walk.firstOffset) * 8.0 / seconds / 1000;
        EXPECT_NEAR(audio.BitRate(), average, 1.5);
        EXPECT_EQ(audio.encoderText, "");
    }
    EXPECT_NEAR(audio.Duration(), seconds, 1e-9);
    EXPECT_EQ(audio.DurationText(), TimeText(seconds));
    if (e.lameTail) {
        EXPECT_EQ(audio.encoderText.size(), 8u);
        EXPECT_EQ(audio.encoderText.substr(0, 6), "LAME3.");
    }
}

// What was read of a field the row knows; nothing for the others.
template <class T>
std::optional<T> Known(const std::optional<T>& want, const T& got) {
    return want ? std::optional<T>(got) : std::nullopt;
}

void ExpectTags(const std::string& path, const TTagWant& e) {
    TID3v2 tag;
    ASSERT_TRUE(tag.ReadTag(path.c_str()));
    ASSERT_TRUE(tag.HasTag);
    EXPECT_EQ(std::tie(e.version, e.tagSize, e.title, e.artist, e.album, e.track, e.year, e.genre, e.comment, e.encoder),
              std::make_tuple(Known(e.version, int{tag.Version}), Known(e.tagSize, tag.TagSize), Known(e.title, tag.Title),
                              Known(e.artist, tag.Artist), Known(e.album, tag.Album), Known(e.track, tag.Track),
                              Known(e.year, tag.Year), Known(e.genre, tag.Genre), Known(e.comment, tag.Comment),
                              Known(e.encoder, tag.Encoder)));
    if (e.audioAfterTag) {
        Bytes file;
        ASSERT_TRUE(ReadFile(path, file));
        ASSERT_GT(tag.TagSize, 0);
        ASSERT_LT(static_cast<std::size_t>(tag.TagSize) + 1, file.size());
        EXPECT_EQ(file[tag.TagSize], 0xFF);
        EXPECT_EQ(file[tag.TagSize + 1] & 0xE0, 0xE0);
    }
    if (e.pictureBytes || e.pictureEnd) {
        ASSERT_TRUE(tag.Picture);
        EXPECT_EQ(tag.Picture->Size, id3v2::kBlockLengthV23 - id3v2::kPicturePrefix);
        EXPECT_EQ(e.pictureBytes, Known(e.pictureBytes, tag.Picture->Data.size()));
    }
    if (e.pictureEnd) {
        ASSERT_GE(tag.Picture->Data.size(), e.pictureEnd->size());
        EXPECT_TRUE(std::equal(e.pictureEnd->rbegin(), e.pictureEnd->rend(), tag.Picture->Data.rbegin()));
    }
}

void ExpectV1(const std::string& path, const TV1Want& e) {
    TID3v1 tag;
    ASSERT_TRUE(tag.ReadTag(path.c_str()));
    EXPECT_EQ(std::make_tuple(tag.HasTag, int{tag.Version}, tag.Title, tag.Artist, tag.Album, tag.Year, int{tag.Track},
                              tag.GenreText()),
              std::make_tuple(true, 2, e.title, e.artist, e.album, e.year, e.track, e.genre));
    EXPECT_EQ(e.comment, Known(e.comment, tag.Comment));
}

void PrintTo(const TRealFile& row, std::ostream* out) { *out << row.name; }

class RealFiles : public PluginTest, public ::testing::WithParamInterface<TRealFile> {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        if (!kLinux) return;
        // A tenth of a second of silence for the taggers, so that they see real audio.
        RunCommand("head -c 8820 /dev/zero | lame --quiet -r -s 44.1 --bitwidth 16 -m m - " +
                   Quoted(dir_->File("silence.mp3")) + " >/dev/null 2>&1");
        WriteFile(dir_->File("tag.py"), Latin(kMutagenScript));
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }

    // The row's file: the shared one in place, or a made one; empty when the
    // row cannot run here (the reason is in skip).
    std::string FileOf(const TRealFile& row, std::string& skip) {
        if (!row.shared.empty()) {
            const std::string path = SharedPath(row.shared);
            if (!FileExists(path)) skip = "../shared/testdata is absent";
            return skip.empty() ? path : "";
        }
        if (!kLinux) {
            skip = "the encoders and taggers are Linux programs";
            return "";
        }
        if (RunCommand(row.needs + " >/dev/null 2>&1") != 0) {
            skip = "no tool for: " + row.needs;
            return "";
        }
        const std::string path = dir_->File(std::to_string(++made_) + ".mp3");
        std::string command = row.make;
        if (row.audio) {
            const std::string wav = dir_->File("in.wav");
            WriteWav(wav, 44100, row.audio->inputChannels, row.audio->seconds);
            Substitute(command, "%w", Quoted(wav));
        } else {
            Bytes silence;
            if (!ReadFile(dir_->File("silence.mp3"), silence) || silence.size() < 100) {
                skip = "lame could not make an MP3";
                return "";
            }
            WriteFile(path, silence);
        }
        Substitute(command, "%f", Quoted(path));
        Substitute(command, "%i", Quoted(dir_->File("silence.mp3")));
        Substitute(command, "%s", Quoted(dir_->File("tag.py")));
        EXPECT_EQ(RunCommand(command + " >/dev/null 2>&1"), 0) << command;
        return path;
    }

    static TempDir* dir_;
    static int made_;
};

TempDir* RealFiles::dir_ = nullptr;
int RealFiles::made_ = 0;

TEST_P(RealFiles, AgreeWithTheirBytesAndWhatMadeThem) {
    const TRealFile& row = GetParam();
    std::string skip;
    const std::string path = FileOf(row, skip);
    if (path.empty()) GTEST_SKIP() << skip;
    ExpectAgreesWithBytes(path);
    if (row.audio) ExpectAudio(path, *row.audio);
    if (row.tags) ExpectTags(path, *row.tags);
    if (row.v1) ExpectV1(path, *row.v1);
    if (row.newName) {
        // A bare tag with audio after it, named by "*artist* - *title*".
        Bytes bytes;
        ASSERT_TRUE(ReadFile(path, bytes));
        if (path.ends_with(".id3")) Append(bytes, FixtureAudio());
        EXPECT_EQ(Process(dir_->Write("named.mp3", bytes), true), dir_->File(*row.newName + ".mp3"));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, RealFiles, ::testing::ValuesIn(Rows()), [](const auto& test) {
    std::string name;
    for (char c : test.param.name) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
});

}  // namespace
