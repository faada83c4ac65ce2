// The ID3v1 reader over byte-exact tags.
#include "ID3v1.h"

#include <gtest/gtest.h>

#include <tuple>

#include "FaultySource.h"
#include "TagWriter.h"
#include "TestFiles.h"

using namespace testing_support;

namespace {

// Every field of a read, the genre's index and name included.
using Row = std::tuple<bool, int, std::string, std::string, std::string, std::string, std::string, int, int,
                       std::string>;
Row Fields(const TID3v1& t) {
    return {t.HasTag, t.Version, t.Title, t.Artist, t.Album, t.Year, t.Comment, t.Track, t.GenreIndex, t.GenreText()};
}
const Row kCleared{false, 1, "", "", "", "", "", 0, 255, ""};

const Bytes kFull = ID3v1Tag(ID3v1Fields().Title("Title").Artist("\xC0\xF0\xF2\xE8\xF1\xF2").Album("Album")
                                 .Year("2004").Comment("Comment").Track(12).Genre(17));
const Row kFullRow{true, 2, "Title", "\xC0\xF0\xF2\xE8\xF1\xF2", "Album", "2004", "Comment", 12, 17, "Rock"};

Bytes AfterAudio(const Bytes& tag) { return Concat({Bytes(300, 0xFF), tag}); }

TID3v1 Read(const Bytes& tag) {
    TID3v1 reader;
    FaultySource source(AfterAudio(tag));
    EXPECT_TRUE(reader.ReadTag(source));
    return reader;
}

// Only "TAG" in the very last 128 bytes makes a tag; nothing of an earlier read stays.
TEST(ID3v1, EveryFieldOrNothing) {
    struct Case {
        const char* name;
        Bytes file;
        bool result;
        Row want = kCleared;
        std::size_t failAt = 0, shortAt = 0;
        bool failSize = false;
    };
    const Bytes tag = ID3v1Tag(ID3v1Fields().Title("T"));
    const Row titleOnly{true, 1, "T", "", "", "", "", 0, 255, ""};
    auto marked = [](const char* marker) {
        return AfterAudio(ID3v1Tag(ID3v1Fields().Marker(std::string(marker, 3)).Title("Title").Track(4)));
    };
    const Case cases[] = {
        {"every field", AfterAudio(kFull), true, kFullRow},
        {"the tag alone", tag, true, titleOnly},
        {"127 bytes", Bytes(tag.begin() + 1, tag.end()), false},
        {"empty", {}, false},
        {"size fails", AfterAudio(tag), false, kCleared, 0, 0, true},
        {"read fails", AfterAudio(tag), false, kCleared, 1},
        {"read comes up short", AfterAudio(tag), false, kCleared, 0, 1},
        {"tag", marked("tag"), true},
        {"TAg", marked("TAg"), true},
        {"TA\\0", marked("TA\0"), true},
        {"a tag one byte before the end", Concat({AfterAudio(tag), {0}}), true},
    };
    for (const Case& c : cases) {
        TID3v1 reader;
        FaultySource full(AfterAudio(kFull));
        ASSERT_TRUE(reader.ReadTag(full));
        FaultySource source(c.file);
        source.failAt = c.failAt;
        source.shortAt = c.shortAt;
        source.failSize = c.failSize;
        EXPECT_EQ(reader.ReadTag(source), c.result) << c.name;
        EXPECT_EQ(Fields(reader), c.want) << c.name;
    }
    // By path, under a Cyrillic name; files that cannot be read leave nothing.
    TempDir dir;
    TID3v1 reader;
    ASSERT_TRUE(reader.ReadTag(dir.Write("\xCF\xE5\xF1\xED\xFF.mp3", AfterAudio(kFull)).c_str()));
    EXPECT_EQ(Fields(reader), kFullRow);
    for (const std::string& bad : {dir.File("missing.mp3"), dir.Write("tiny.mp3", Bytes(127, 'T'))}) {
        EXPECT_FALSE(reader.ReadTag(bad.c_str())) << bad;
        EXPECT_EQ(Fields(reader), kCleared) << bad;
    }
    EXPECT_FALSE(reader.ReadTag(nullptr));
}

TEST(ID3v1, TrimsOnlyTheEndAndKeepsInnerBytes) {
    const std::pair<std::string, std::string> cases[] = {
        {std::string("ABCD\0E", 6) + std::string(24, ' '), std::string("ABCD\0E", 6)},
        {"  AB\t\x01\x1F ", "  AB"},
        {std::string("\x01 \x20\x1F\0", 5), ""},
        {"AB!", "AB!"},
        {"\xE0\xFF", "\xE0\xFF"},
        {std::string(30, 'x'), std::string(30, 'x')},
    };
    for (const auto& [title, expected] : cases) EXPECT_EQ(Read(ID3v1Tag(ID3v1Fields().Title(title))).Title, expected);
}

// Version 1.1 is told from bytes 125 and 126 alone.
TEST(ID3v1, VersionComesFromBytes125And126) {
    struct Case {
        std::uint8_t separator, track, version, expectedTrack;
        std::string commentTail;
    };
    const Case cases[] = {
        {0, 7, 2, 7, ""},    {0, 0, 1, 0, ""},     {32, 32, 1, 0, ""}, {32, 65, 2, 65, ""},
        {65, 0, 1, 0, "A"},  {65, 66, 1, 0, "AB"}, {1, 9, 1, 0, ""},   {0, 255, 2, 255, ""},
    };
    const std::string base(28, 'c');
    for (const Case& c : cases) {
        Bytes tag = ID3v1Tag(ID3v1Fields().Comment(base));
        tag[125] = c.separator;
        tag[126] = c.track;
        const TID3v1 reader = Read(tag);
        EXPECT_EQ(std::make_tuple(int{reader.Version}, int{reader.Track}, reader.Comment),
                  std::make_tuple(int{c.version}, int{c.expectedTrack}, base + c.commentTail))
            << int{c.separator} << "," << int{c.track};
    }
}

TEST(ID3v1, GenreByteIndexesTheListOrNothing) {
    const std::pair<std::uint8_t, const char*> cases[] = {
        {0, "Blues"},       {67, "Psychadelic"}, {79, "Hard Rock"},   {80, "Folk"},        {92, "Progessive Rock"},
        {93, "Psychedelic Rock"}, {123, "A capella"}, {125, "Dance Hall"}, {127, "Drum & Bass"}, {133, "Negerpunk"},
        {136, "Christian Gangsta Rap"}, {144, "Trash Metal"}, {147, "Synthpop"}, {148, ""}, {255, ""}};
    for (const auto& [index, name] : cases) {
        const TID3v1 reader = Read(ID3v1Tag(ID3v1Fields().Genre(index)));
        EXPECT_EQ(std::make_pair(int{reader.GenreIndex}, reader.GenreText()),
                  std::make_pair(int{index}, std::string(name)));
    }
    for (std::size_t i = 0; i < GenreNames.size(); ++i) {
        EXPECT_FALSE(GenreNames[i].empty()) << i;
        for (std::size_t j = i + 1; j < GenreNames.size(); ++j) EXPECT_NE(GenreNames[i], GenreNames[j]) << i << " " << j;
    }
}

}  // namespace
