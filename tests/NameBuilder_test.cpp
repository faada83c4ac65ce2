// The name builder end to end: real bytes on disk, the pattern filled from the
// audio and the selected tag, the new path, and the rename through process;
// and its replacement of one text by another, case ignored.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "AudioWriter.h"
#include "NameBuilder.h"
#include "PluginRecords.h"
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
    std::string year = "1999";
    std::string comment = "Note";
    std::string genre = "(17)Rock";
    std::string track = "5/12";
};

Bytes V23Tag(const TagFields& t) {
    ID3v2Writer tag(3);
    tag.Text("TPE1", 0, Latin(t.artist))
        .Text("TIT2", 0, Latin(t.title))
        .Text("TALB", 0, Latin(t.album))
        .Text("TYER", 0, Latin(t.year))
        .Frame("COMM", Concat({{0}, Latin("eng"), {0}, Latin(t.comment)}))
        .Text("TCON", 0, Latin(t.genre))
        .Text("TRCK", 0, Latin(t.track))
        .Padding(64);
    return tag.Build();
}

// What the name builder is handed: a pattern and a tag source.
struct Options {
    std::string pattern;
    TTagSource tagSource = kID3v2;
};

bool Build(const std::string& oldPath, const std::string& sourcePath, const Options& options, std::string& newPath) {
    return pelmora::BuildNewPath(oldPath, sourcePath, options.pattern, options.tagSource, newPath);
}

std::string NewName(const std::string& path, const Options& options) {
    std::string newPath;
    EXPECT_TRUE(Build(path, path, options, newPath));
    const std::size_t cut = newPath.rfind(kSep);
    return cut == std::string::npos ? newPath : newPath.substr(cut + 1);
}

TEST(NameBuilder, PatternsOverAnID3v2File) {
    TempDir dir;
    TagFields tag;
    const std::string path = dir.Write("x.MP3", Concat({V23Tag(tag), kAudio}));
    struct Case {
        const char* pattern;
        TTagSource tagSource;
        const char* name;
    };
    const Case cases[] = {
        {"*artist* - *title*", kID3v2, "A - B.mp3"},
        {"*ARTIST* - *Title*", kID3v2, "A - B.mp3"},
        {"*album* *year* *comment* *genre* *track*", kID3v2, "Album 1999 Note Rock 5.mp3"},
        {"*bitrate* *sample* *mode*", kID3v2, "128 44100 Joint Stereo.mp3"},
        {"*time*", kID3v2, "00.01.mp3"},
        {"*filename*", kID3v2, "x.MP3"},              // the file name alone never counts
        {"just text", kID3v2, "x.MP3"},               // nothing substituted: the name is kept
        {"*filename* *bitrate*", kID3v2, "x 128.mp3"},
        {"*artist* *bitrate*", kID3v1, "NOTAG 128.mp3"},  // selected tag missing, audio substituted
        {"*artist* - *title*", kID3v1, "x.MP3"},          // selected tag missing, nothing else
        {"*artist* *bitrate*", TTagSource{2}, "*artist* 128.mp3"},     // no tag source: tag placeholders untouched
        {"*artist* *bitrate*", TTagSource{-1}, "*artist* 128.mp3"},
        {"", kID3v2, "x.MP3"},
    };
    for (const Case& c : cases) EXPECT_EQ(NewName(path, Options{c.pattern, c.tagSource}), c.name) << c.pattern;
}

TEST(NameBuilder, TagValuesAreSubstitutedInOrder) {
    struct Case {
        TagFields tag;
        const char* pattern;
        const char* name;
    };
    const Case cases[] = {
        {{.title = "*title*"}, "*title*", "*title*.mp3"},                      // inserted once
        {{.title = "*album*", .album = "X"}, "*title*", "X.mp3"},              // later placeholder still filled
        {{.title = "T", .album = "*title*"}, "*title*|*album*", "T|*title*.mp3"},
        {{.artist = ""}, "*artist* - *title*", " - B.mp3"},                    // empty value still counts
        {{.artist = ""}, "*artist*", ".mp3"},
        {{.genre = "(17)"}, "[*genre*]", "[].mp3"},
        {{.track = "A5"}, "*track*", "0.mp3"},
        {{.track = ""}, "*track*", "0.mp3"},
    };
    TempDir dir;
    int n = 0;
    for (const Case& c : cases) {
        const std::string path = dir.Write(std::to_string(n++) + ".mp3", Concat({V23Tag(c.tag), kAudio}));
        EXPECT_EQ(NewName(path, Options{c.pattern}), c.name) << c.pattern;
    }
}

// One file each: its name, its bytes, a pattern and tag source, the new name.
TEST(NameBuilder, ValuesFromEachKindOfFile) {
    struct Case {
        const char* fileName;
        Bytes bytes;
        Options options;
        const char* name;
    };
    const Bytes v11 = ID3v1Tag(ID3v1Fields().Artist("Art").Title("T").Album("Al").Year("1987").Track(7).Genre(147)
                                   .Comment("C"));
    const Case cases[] = {
        // A tag value may not move the file into another folder.
        {"x.mp3", Concat({V23Tag({.artist = "AC/DC", .title = "..\\..\\x", .album = "C:\\Windows"}), kAudio}),
         {"*artist* - *title* - *album*"}, "AC_DC - .._.._x - C__Windows.mp3"},
        {"a.mp3", Concat({kAudio, v11}), {"*artist*-*title*-*album*-*year*-*track*-*genre*-*comment*", kID3v1},
         "Art-T-Al-1987-7-Synthpop-C.mp3"},
        {"b.mp3", Concat({kAudio, ID3v1Tag(ID3v1Fields().Artist("Art").Genre(148))}), {"*artist*-*track*-[*genre*]", kID3v1},
         "Art-0-[].mp3"},
        // Every ".mp3" of the file name goes, case ignored.
        {"song.mp3.Mp3", kAudio, {"*filename* *bitrate*"}, "song 128.mp3"},
        {"a.mp3b.mp3", kAudio, {"*filename* *bitrate*"}, "ab 128.mp3"},
        {"\xCF\xE5\xF1\xED\xFF.mP3", kAudio, {"*filename* *bitrate*"}, "\xCF\xE5\xF1\xED\xFF 128.mp3"},
        // 9571 frames of 1152 samples at 44100 Hz: 250.02 s.
        {"xing.mp3", Concat({XingFrame(kCbr128, 9571, 9571 * 417), CbrAudio(10)}), {"*time*"}, "04.10.mp3"},
        // Without audio there are no tag values either.
        {"noaudio.mp3", Concat({V23Tag(TagFields{}), Filled(5000, 0x11)}), {"*bitrate* *sample* *mode* *time* *artist*"},
         "0 0 Unknown 00.00 NOTAG.mp3"},
        {"y.mp3", Bytes(5, 0), {"*bitrate*"}, "y.mp3"},  // unreadable for the analysis
    };
    TempDir dir;
    for (const Case& c : cases) {
        EXPECT_EQ(NewName(dir.Write(c.fileName, c.bytes), c.options), c.name) << c.fileName;
    }
    // The pattern's own text is the user's and stays as it is.
    std::string newPath;
    ASSERT_TRUE(Build(dir.File("x.mp3"), dir.File("x.mp3"), Options{"sub/*artist*"}, newPath));
    EXPECT_EQ(newPath, dir.Path() + kSep + "sub/AC_DC.mp3");
}

TEST(NameBuilder, PreviewReadsTheSecondFileAndKeepsTheFirstFolder) {
    TempDir dir;
    const std::string shown = dir.File("shown.mp3");
    MakeDir(dir.File("other"));
    const std::string read = dir.Write(std::string("other") + kSep + "read.mp3", Bytes(5, 0));
    std::string newPath;
    ASSERT_TRUE(Build(shown, read, Options{"*artist*"}, newPath));
    EXPECT_EQ(newPath, dir.Path() + kSep + "read.mp3");
    ASSERT_TRUE(Build("x.mp3", read, Options{"*artist*"}, newPath));
    EXPECT_EQ(newPath, "read.mp3");
}

// The rename itself, through the library as a host calls it.
using Rename = PluginTest;

TEST_F(Rename, MovesTheFileAndHandsBackTheNewPath) {
    TempDir dir;
    const Bytes content = Concat({V23Tag(TagFields{}), kAudio});
    const std::string path = dir.Write("x.MP3", content);
    EXPECT_EQ(Process(path, true), dir.File("A - B.mp3"));
    EXPECT_TRUE(FileExists(path));  // preview moves nothing
    EXPECT_EQ(Process(path, false), dir.File("A - B.mp3"));
    EXPECT_FALSE(FileExists(path));
    Bytes moved;
    ASSERT_TRUE(ReadFile(dir.File("A - B.mp3"), moved));
    EXPECT_EQ(moved, content);
    // Again under the name it has now: a move onto itself.
    EXPECT_EQ(Process(dir.File("A - B.mp3"), false), dir.File("A - B.mp3"));
    EXPECT_TRUE(FileExists(dir.File("A - B.mp3")));
}

// Hostile values stay in the file's folder; Cyrillic values ("Кино", "Группа
// крови" in Windows-1251) name a Cyrillic file.
TEST_F(Rename, TagValuesNameTheFileInItsFolder) {
    TempDir dir;
    MakeDir(dir.File("music"));
    const std::string music = std::string("music") + kSep;
    const std::pair<TagFields, std::string> cases[] = {
        {{.artist = "AC/DC", .title = "..\\..\\x"}, "AC_DC - .._.._x.mp3"},
        {{.artist = "\xCA\xE8\xED\xEE", .title = "\xC3\xF0\xF3\xEF\xEF\xE0 \xEA\xF0\xEE\xE2\xE8"},
         "\xCA\xE8\xED\xEE - \xC3\xF0\xF3\xEF\xEF\xE0 \xEA\xF0\xEE\xE2\xE8.mp3"},
    };
    for (const auto& [tag, name] : cases) {
        const std::string path = dir.Write(music + "x.mp3", Concat({V23Tag(tag), kAudio}));
        EXPECT_EQ(Process(path, false), dir.File(music + name));
        EXPECT_TRUE(FileExists(dir.File(music + name)));
    }
    EXPECT_EQ(ListDir(dir.Path()), std::vector<std::string>{"music"});
}

// Placeholder substitution: letter case ignored by the ANSI rules, leftmost
// first, no overlap, and inserted text never matched again in the same call.
TEST(ReplaceAllIgnoreCase, Table) {
    struct Case {
        std::string text;
        std::string search;
        std::string replacement;
        std::string result;
        bool found;
    };
    const Case cases[] = {
        {"*artist* - *title*", "*artist*", "A", "A - *title*", true},
        {"*ARTIST*/*Artist*", "*artist*", "x", "x/x", true},
        {"no placeholder", "*artist*", "x", "no placeholder", false},
        {"*title*", "*title*", "*title*", "*title*", true},          // inserted text is not searched again
        {"*title**title*", "*title*", "<*title*>", "<*title*><*title*>", true},
        {"aaaa", "aa", "a", "aa", true},                              // no overlap
        {"aaa", "aa", "b", "ba", true},
        {"song.mp3.Mp3", ".mp3", "", "song", true},
        {"a.mp3b.MP3", ".MP3", "", "ab", true},
        {"\xCF\xE5\xF1\xED\xFF", "\xEF\xE5\xF1\xED\xFF", "S", "S", true},  // Песня / песня
        {"\xA8\xEB\xEA\xE0", "\xB8", "e", "e\xEB\xEA\xE0", true},          // Ё matches ё
        {"", "*artist*", "x", "", false},
        {"x", "", "y", "x", false},
        {std::string("a\0*year*\0b", 10), "*YEAR*", "1999", std::string("a\0" "1999\0b", 8), true},  // zeros kept
    };
    for (const Case& c : cases) {
        std::string text = c.text;
        EXPECT_EQ(pelmora::ReplaceAllIgnoreCase(text, c.search, c.replacement), c.found) << c.text << " / " << c.search;
        EXPECT_EQ(text, c.result) << c.text << " / " << c.search;
    }
}

}  // namespace
