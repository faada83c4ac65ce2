// The name builder over real bytes on disk, the rename through process, and
// its case-blind replacement.
#include <gtest/gtest.h>

#include "AudioWriter.h"
#include "NameBuilder.h"
#include "PluginTest.h"
#include "TagWriter.h"
#include "TestFiles.h"

using namespace testing_support;

namespace {

using pelmora::TTagSource;
constexpr TTagSource kID3v2 = TTagSource::ID3v2;
constexpr TTagSource kID3v1 = TTagSource::ID3v1;

const Bytes kAudio = CbrAudio(40);

struct TagFields {
    std::string artist = "A";
    std::string title = "B";
    std::string album = "Album";
    std::string genre = "(17)Rock";
    std::string track = "5/12";
};

Bytes V23File(const TagFields& t) {
    return Concat({ID3v2Writer(3).Text("TPE1", 0, Latin(t.artist)).Text("TIT2", 0, Latin(t.title))
                       .Text("TALB", 0, Latin(t.album)).Text("TYER", 0, Latin("1999"))
                       .Frame("COMM", CommentData(0, {}, Latin("Note"))).Text("TCON", 0, Latin(t.genre))
                       .Text("TRCK", 0, Latin(t.track)).Padding(64).Build(),
                   kAudio});
}

TEST(NameBuilder, NewNames) {
    struct Case {
        const char* fileName;
        Bytes bytes;
        const char* pattern;
        TTagSource tagSource;
        const char* name;
    };
    const Bytes plain = V23File({});
    const Bytes v11 = Concat({kAudio, ID3v1Tag(ID3v1Fields().Artist("Art").Title("T").Album("Al").Year("1987").Track(7)
                                                   .Genre(147).Comment("C"))});
    const Case cases[] = {
        {"x.MP3", plain, "*artist* - *title*", kID3v2, "A - B.mp3"},
        {"x.MP3", plain, "*ARTIST* - *Title*", kID3v2, "A - B.mp3"},
        {"x.MP3", plain, "*album* *year* *comment* *genre* *track*", kID3v2, "Album 1999 Note Rock 5.mp3"},
        {"x.MP3", plain, "*bitrate* *sample* *mode* *time*", kID3v2, "128 44100 Joint Stereo 00.01.mp3"},
        {"x.MP3", plain, "*filename*", kID3v2, "x.MP3"},  // the file name alone never counts
        {"x.MP3", plain, "just text", kID3v2, "x.MP3"},
        {"x.MP3", plain, "", kID3v2, "x.MP3"},
        {"x.MP3", plain, "*filename* *bitrate*", kID3v2, "x 128.mp3"},
        {"x.MP3", plain, "*artist* *bitrate*", kID3v1, "NOTAG 128.mp3"},
        {"x.MP3", plain, "*artist* - *title*", kID3v1, "x.MP3"},
        // Values are substituted in turn, each once: a later placeholder in a value is filled.
        {"x.mp3", V23File({.title = "*title*"}), "*title*", kID3v2, "*title*.mp3"},
        {"x.mp3", V23File({.title = "*album*", .album = "X"}), "*title*", kID3v2, "X.mp3"},
        {"x.mp3", V23File({.title = "T", .album = "*title*"}), "*title*|*album*", kID3v2, "T|*title*.mp3"},
        {"x.mp3", V23File({.artist = ""}), "*artist* - *title*", kID3v2, " - B.mp3"},
        {"x.mp3", V23File({.genre = "(17)"}), "[*genre*]", kID3v2, "[].mp3"},
        {"x.mp3", V23File({.track = "A5"}), "*track*", kID3v2, "0.mp3"},
        {"x.mp3", V23File({.artist = "AC/DC", .title = "..\\..\\x", .album = "C:\\Windows"}),
         "*artist* - *title* - *album*", kID3v2, "AC_DC - .._.._x - C__Windows.mp3"},
        {"a.mp3", v11, "*artist*-*title*-*album*-*year*-*track*-*genre*-*comment*", kID3v1,
         "Art-T-Al-1987-7-Synthpop-C.mp3"},
        {"b.mp3", Concat({kAudio, ID3v1Tag(ID3v1Fields().Artist("Art").Genre(148))}), "*artist*-*track*-[*genre*]",
         kID3v1, "Art-0-[].mp3"},
        {"song.mp3.Mp3", kAudio, "*filename* *bitrate*", kID3v2, "song 128.mp3"},
        {"a.mp3b.mp3", kAudio, "*filename* *bitrate*", kID3v2, "ab 128.mp3"},
        {"\xCF\xE5\xF1\xED\xFF.mP3", kAudio, "*filename* *bitrate*", kID3v2, "\xCF\xE5\xF1\xED\xFF 128.mp3"},
        // 9571 frames of 1152 samples at 44100 Hz: 250.02 s.
        {"xing.mp3", Concat({XingFrame(kCbr128, 9571, 9571 * 417), CbrAudio(10)}), "*time*", kID3v2, "04.10.mp3"},
        {"noaudio.mp3", Concat({ID3v2Writer(3).Text("TPE1", 0, Latin("A")).Build(), Bytes(5000, 0x11)}), "*bitrate* *sample* *mode* *time* *artist*", kID3v2,
         "0 0 Unknown 00.00 NOTAG.mp3"},
        {"y.mp3", Bytes(5, 0), "*bitrate*", kID3v2, "y.mp3"},
    };
    TempDir dir;
    int row = 0;
    for (const Case& c : cases) {
        const std::string folder = dir.File(std::to_string(row++));
        MakeDir(folder);
        const std::string path = folder + kSep + c.fileName;
        WriteFile(path, c.bytes);
        std::string newPath;
        ASSERT_TRUE(pelmora::BuildNewPath(path, path, c.pattern, c.tagSource, newPath)) << c.pattern;
        EXPECT_EQ(newPath, folder + kSep + c.name) << c.fileName << " " << c.pattern;
    }
    // The pattern's own text is the user's.
    const std::string path = dir.Write("x.mp3", V23File({.artist = "AC/DC"}));
    std::string newPath;
    ASSERT_TRUE(pelmora::BuildNewPath(path, path, "sub/*artist*", kID3v2, newPath));
    EXPECT_EQ(newPath, dir.File("sub/AC_DC.mp3"));
}

using Rename = PluginTest;

// Preview moves nothing; the rename moves the file whole, Cyrillic names included.
TEST_F(Rename, MovesTheFileAndHandsBackTheNewPath) {
    const std::string kino = "\xCA\xE8\xED\xEE", krovi = "\xC3\xF0\xF3\xEF\xEF\xE0 \xEA\xF0\xEE\xE2\xE8";
    TempDir dir;
    const Bytes content = V23File({.artist = kino, .title = krovi});
    const std::string path = dir.Write("x.MP3", content);
    const std::string renamed = dir.File(kino + " - " + krovi + ".mp3");
    EXPECT_EQ(Process(path, true), renamed);
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(Process(path, false), renamed);
    EXPECT_EQ(ListDir(dir.Path()), std::vector<std::string>{kino + " - " + krovi + ".mp3"});
    EXPECT_EQ(Contents(renamed), content);
    EXPECT_EQ(Process(renamed, false), renamed);  // a move onto itself
    EXPECT_TRUE(FileExists(renamed));
}

// Case ignored by the ANSI rules, leftmost first, no overlap, inserted text never searched.
TEST(ReplaceAllIgnoreCase, Table) {
    struct Case {
        std::string text, search, replacement, result;
        bool found;
    };
    const Case cases[] = {
        {"*ARTIST*/*Artist*", "*artist*", "x", "x/x", true},
        {"no placeholder", "*artist*", "x", "no placeholder", false},
        {"*title**title*", "*title*", "<*title*>", "<*title*><*title*>", true},
        {"aaaa", "aa", "a", "aa", true},
        {"aaa", "aa", "b", "ba", true},
        {"\xCF\xE5\xF1\xED\xFF", "\xEF\xE5\xF1\xED\xFF", "S", "S", true},  // Песня / песня
        {"\xA8\xEB\xEA\xE0", "\xB8", "e", "e\xEB\xEA\xE0", true},          // Ё matches ё
        {"", "*artist*", "x", "", false},
        {"x", "", "y", "x", false},
        {std::string("a\0*year*\0b", 10), "*YEAR*", "1999", std::string("a\0" "1999\0b", 8), true},
    };
    for (const Case& c : cases) {
        std::string text = c.text;
        EXPECT_EQ(pelmora::ReplaceAllIgnoreCase(text, c.search, c.replacement), c.found) << c.text << " / " << c.search;
        EXPECT_EQ(text, c.result) << c.text << " / " << c.search;
    }
}

}  // namespace
