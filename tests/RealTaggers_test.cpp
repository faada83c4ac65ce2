// Tags written at test time by real taggers (mutagen's mid3v2 and library,
// eyeD3, id3lib's id3v2, ffmpeg) in ID3v2.3 and 2.4 with every text encoding,
// Cyrillic included, and ID3v1, read back by both readers. The taggers are
// Linux programs, so this runs in the native build only.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "ID3v1.h"
#include "ID3v2.h"
#include "TagWriter.h"
#include "TestFiles.h"

using namespace testing_support;

namespace {

// Expected texts in Windows-1251.
const std::string kTitle = "\xCF\xF0\xE8\xE2\xE5\xF2";        // Привет
const std::string kArtist = "\xC0\xF0\xF2\xE8\xF1\xF2";       // Артист
const std::string kAlbum = "\xC0\xEB\xFC\xE1\xEE\xEC";        // Альбом
const std::string kComment = "\xCA\xEE\xEC\xEC\xE5\xED\xF2";  // Коммент

// The same texts for the command line, in UTF-8.
const std::string kTitleUtf8 = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";
const std::string kArtistUtf8 = "\xD0\x90\xD1\x80\xD1\x82\xD0\xB8\xD1\x81\xD1\x82";
const std::string kAlbumUtf8 = "\xD0\x90\xD0\xBB\xD1\x8C\xD0\xB1\xD0\xBE\xD0\xBC";
const std::string kCommentUtf8 = "\xD0\x9A\xD0\xBE\xD0\xBC\xD0\xBC\xD0\xB5\xD0\xBD\xD1\x82";

// Windows-1251 bytes as the Latin-1 characters of the same codes, in UTF-8: what
// a tagger told to write Latin-1 turns back into those very bytes.
std::string AsLatin1Utf8(const std::string& cp1251) {
    std::string utf8;
    for (unsigned char c : cp1251) {
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

struct Expected {
    int version;
    std::string title;
    std::string artist;
    std::string album;
    std::uint16_t track;
    std::string year;
    std::string genre;
    std::string comment;
};

class RealTaggers : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
#ifndef _WIN32
        dir_ = std::make_unique<TempDir>();
        silence_ = dir_->File("silence.mp3");
        // A tenth of a second of silence, so that the taggers see real audio.
        RunCommand("head -c 8820 /dev/zero | lame --quiet -r -s 44.1 --bitwidth 16 -m m - " + Quoted(silence_) +
                   " >/dev/null 2>&1");
#endif
    }
    static void TearDownTestSuite() { dir_.reset(); }

    void SetUp() override {
#ifdef _WIN32
        GTEST_SKIP() << "the taggers are Linux programs";
#else
        Bytes audio;
        if (!ReadFile(silence_, audio) || audio.size() < 100) GTEST_SKIP() << "lame could not make an MP3";
#endif
    }

    static bool Have(const std::string& program) {
        return RunCommand("command -v " + program + " >/dev/null 2>&1") == 0;
    }

    // A copy of the silent MP3 tagged by the command; "%f" stands for the
    // copy's path, "%i" for the untagged original.
    static std::string Tagged(const std::string& name, std::string command) {
        const std::string path = dir_->File(name + ".mp3");
        Bytes audio;
        ReadFile(silence_, audio);
        WriteFile(path, audio);
        for (std::size_t at; (at = command.find("%f")) != std::string::npos;) command.replace(at, 2, Quoted(path));
        for (std::size_t at; (at = command.find("%i")) != std::string::npos;) command.replace(at, 2, Quoted(silence_));
        EXPECT_EQ(RunCommand(command + " >/dev/null 2>&1"), 0) << command;
        return path;
    }

    static void ExpectTag(const std::string& path, const Expected& e) {
        TID3v2 tag;
        ASSERT_TRUE(tag.ReadTag(path.c_str()));
        ASSERT_TRUE(tag.HasTag);
        EXPECT_EQ(tag.Version, e.version);
        EXPECT_EQ(tag.Title, e.title);
        EXPECT_EQ(tag.Artist, e.artist);
        EXPECT_EQ(tag.Album, e.album);
        EXPECT_EQ(tag.Track, e.track);
        EXPECT_EQ(tag.Year, e.year);
        EXPECT_EQ(tag.Genre, e.genre);
        EXPECT_EQ(tag.Comment, e.comment);
        // The audio starts right after the tag.
        Bytes file;
        ASSERT_TRUE(ReadFile(path, file));
        ASSERT_GT(tag.TagSize, 0);
        ASSERT_LT(static_cast<std::size_t>(tag.TagSize) + 1, file.size());
        EXPECT_EQ(file[tag.TagSize], 0xFF);
        EXPECT_EQ(file[tag.TagSize + 1] & 0xE0, 0xE0);
    }

    // An ID3v1.1 tag of the Windows-1251 title and artist, 2004 and Rock.
    static void ExpectV1(const std::string& path, const std::string& album, const std::string& comment, int track) {
        TID3v1 tag;
        ASSERT_TRUE(tag.ReadTag(path.c_str()));
        EXPECT_TRUE(tag.HasTag);
        EXPECT_EQ(tag.Version, 2);
        EXPECT_EQ(tag.Title, kTitle);
        EXPECT_EQ(tag.Artist, kArtist);
        EXPECT_EQ(tag.Album, album);
        EXPECT_EQ(tag.Year, "2004");
        EXPECT_EQ(tag.Comment, comment);
        EXPECT_EQ(tag.Track, track);
        EXPECT_EQ(tag.GenreText(), "Rock");
    }

    static std::unique_ptr<TempDir> dir_;
    static std::string silence_;
};

std::unique_ptr<TempDir> RealTaggers::dir_;
std::string RealTaggers::silence_;

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

TEST_F(RealTaggers, Mid3v2WritesUtf8In24) {
    if (!Have("mid3v2")) GTEST_SKIP() << "mid3v2 missing";
    const std::string path = Tagged("mid3v2", "mid3v2 -t " + Quoted(kTitleUtf8) + " -a " + Quoted(kArtistUtf8) +
                                                  " -A " + Quoted(kAlbumUtf8) + " -T 5/12 -g Rock -y 2004-05-06 -c " +
                                                  Quoted("d:" + kCommentUtf8 + ":rus") + " %f");
    ExpectTag(path, {4, kTitle, kArtist, kAlbum, 5, "2004", "Rock", kComment});
}

TEST_F(RealTaggers, MutagenEveryEncoding) {
    if (RunCommand("/usr/bin/python3 -c 'import mutagen' >/dev/null 2>&1") != 0) GTEST_SKIP() << "mutagen missing";
    const std::string script = dir_->File("tag.py");
    WriteFile(script, Latin(kMutagenScript));
    struct Case {
        int version;
        int encoding;
    };
    for (const Case c : {Case{3, 0}, Case{3, 1}, Case{4, 0}, Case{4, 1}, Case{4, 2}, Case{4, 3}}) {
        SCOPED_TRACE(testing::Message() << "2." << c.version << " encoding " << c.encoding);
        const std::string name = "mutagen" + std::to_string(c.version) + std::to_string(c.encoding);
        const std::string path = Tagged(name, "/usr/bin/python3 " + Quoted(script) + " %f " +
                                                  std::to_string(c.version) + " " + std::to_string(c.encoding));
        std::string title;
        for (int i = 0; i < 30; ++i) title += kTitle;
        ExpectTag(path, {c.version, title, kArtist, kAlbum, 5, "2004", "Rock", kComment});

        TID3v2 tag;
        ASSERT_TRUE(tag.ReadTag(path.c_str()));
        ASSERT_TRUE(tag.Picture);
        const Bytes image = Latin("\xFF\xD8\xFF\xE0JFIF-image");
        ASSERT_GE(tag.Picture->Data.size(), image.size());
        EXPECT_TRUE(std::equal(image.rbegin(), image.rend(), tag.Picture->Data.rbegin()));
        EXPECT_EQ(tag.Picture->Size, id3v2::kBlockLengthV23 - id3v2::kPicturePrefix);
    }
}

TEST_F(RealTaggers, EyeD3EveryEncoding) {
    if (!Have("eyeD3")) GTEST_SKIP() << "eyeD3 missing";
    struct Case {
        const char* name;
        const char* options;
        int version;
    };
    const std::string common = " -t " + Quoted(kTitleUtf8) + " -a " + Quoted(kArtistUtf8) + " -A " +
                               Quoted(kAlbumUtf8) + " -n 5 -N 12 -G Rock -c " + Quoted(kCommentUtf8) +
                               " --recording-date 2004-05-06 -Y 2004";
    const Case cases[] = {
        {"eyed3-23-utf16", "--to-v2.3 --encoding utf16", 3},
        {"eyed3-24-utf16", "--to-v2.4 --encoding utf16", 4},
        {"eyed3-24-utf16be", "--to-v2.4 --encoding utf16-be", 4},
        {"eyed3-24-utf8", "--to-v2.4 --encoding utf8", 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Tagged(c.name, "eyeD3 --no-config " + std::string(c.options) + common + " %f");
        ExpectTag(path, {c.version, kTitle, kArtist, kAlbum, 5, "2004", "Rock", kComment});
    }
    // Latin-1 frames holding Windows-1251 bytes, the way Russian tags were long written.
    const std::string latin =
        Tagged("eyed3-23-latin1", "eyeD3 --no-config --to-v2.3 --encoding latin1 -t " + Quoted(AsLatin1Utf8(kTitle)) +
                                      " -a " + Quoted(AsLatin1Utf8(kArtist)) + " %f");
    ExpectTag(latin, {3, kTitle, kArtist, "", 0, "", "", ""});
}

TEST_F(RealTaggers, EyeD3WritesId3v1) {
    if (!Have("eyeD3")) GTEST_SKIP() << "eyeD3 missing";
    const std::string path =
        Tagged("eyed3-v1", "eyeD3 --no-config -1 -t " + Quoted(AsLatin1Utf8(kTitle)) + " -a " +
                               Quoted(AsLatin1Utf8(kArtist)) + " -A Album -n 7 -G Rock -Y 2004 -c Comment %f");
    ExpectV1(path, "Album", "Comment", 7);
}

TEST_F(RealTaggers, Id3libWritesRawBytesIntoBothTags) {
    if (!Have("id3v2")) GTEST_SKIP() << "id3v2 missing";
    const std::string path =
        Tagged("id3lib", "id3v2 -t " + Quoted(kTitle) + " -a " + Quoted(kArtist) + " -A " + Quoted(kAlbum) +
                             " -y 2004 -T 5/12 -g 17 -c " + Quoted("d:" + kComment + ":rus") + " %f");
    ExpectTag(path, {3, kTitle, kArtist, kAlbum, 5, "2004", "", kComment});
    ExpectV1(path, kAlbum, kComment, 5);
}

TEST_F(RealTaggers, FfmpegWrites23And24) {
    if (!Have("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
    for (int version : {3, 4}) {
        SCOPED_TRACE(version);
        const std::string path =
            Tagged("ffmpeg" + std::to_string(version),
                   "ffmpeg -nostdin -loglevel error -y -i %i -c copy -id3v2_version " + std::to_string(version) +
                       " -metadata title=" + Quoted(kTitleUtf8) + " -metadata artist=" + Quoted(kArtistUtf8) +
                       " -metadata album=" + Quoted(kAlbumUtf8) +
                       " -metadata track=5/12 -metadata date=2004 -metadata genre=Rock %f");
        ExpectTag(path, {version, kTitle, kArtist, kAlbum, 5, "2004", "Rock", ""});
    }
}

}  // namespace
