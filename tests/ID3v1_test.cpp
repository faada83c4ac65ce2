// The ID3v1 reader over byte-exact tags: marker, trimming, version detection,
// genre names, and files that are too short or fail to read.
#include "ID3v1.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "FaultySource.h"
#include "FileSource.h"
#include "TagWriter.h"
#include "TestFiles.h"

using namespace testing_support;

namespace {

Bytes WithAudio(const Bytes& tag, std::size_t audioBytes = 300) {
    Bytes file(audioBytes + tag.size(), 0xFF);
    std::copy(tag.begin(), tag.end(), file.begin() + static_cast<std::ptrdiff_t>(audioBytes));
    return file;
}

// The reader after reading a file of some audio and this tag.
TID3v1 ReadAfterAudio(const Bytes& tag) {
    TID3v1 reader;
    FaultySource source(WithAudio(tag));
    EXPECT_TRUE(reader.ReadTag(source));
    return reader;
}

void ExpectCleared(const TID3v1& tag) {
    EXPECT_FALSE(tag.HasTag);
    EXPECT_EQ(tag.Version, 1);
    EXPECT_EQ(tag.Title, "");
    EXPECT_EQ(tag.Artist, "");
    EXPECT_EQ(tag.Album, "");
    EXPECT_EQ(tag.Year, "");
    EXPECT_EQ(tag.Comment, "");
    EXPECT_EQ(tag.Track, 0);
    EXPECT_EQ(tag.GenreIndex, 255);
    EXPECT_EQ(tag.GenreText(), "");
}

// A reader that has read a full version 1.1 tag, so that a later Clear is visible.
TID3v1 Filled() {
    TID3v1 tag;
    FaultySource source(WithAudio(ID3v1Tag(
        ID3v1Fields().Title("Title").Artist("\xC0\xF0\xF2\xE8\xF1\xF2").Album("Album").Year("2004").Comment("Comment")
            .Track(12).Genre(17))));
    EXPECT_TRUE(tag.ReadTag(source));
    return tag;
}

TEST(ID3v1, ReadsEveryFieldOfAVersion11Tag) {
    const TID3v1 tag = Filled();
    EXPECT_TRUE(tag.HasTag);
    EXPECT_EQ(tag.Version, 2);
    EXPECT_EQ(tag.Title, "Title");
    EXPECT_EQ(tag.Artist, "\xC0\xF0\xF2\xE8\xF1\xF2");  // 8-bit text as stored
    EXPECT_EQ(tag.Album, "Album");
    EXPECT_EQ(tag.Year, "2004");
    EXPECT_EQ(tag.Comment, "Comment");
    EXPECT_EQ(tag.Track, 12);
    EXPECT_EQ(tag.GenreIndex, 17);
    EXPECT_EQ(tag.GenreText(), "Rock");
}

// Only an upper-case marker in the very last 128 bytes makes a tag; a file
// too short or unreadable is false. Either way nothing of an earlier read stays.
TEST(ID3v1, WithoutATagEverythingIsCleared) {
    struct Case {
        const char* name;
        Bytes file;
        bool result;
        std::size_t failAt = 0, shortAt = 0;
        bool failSize = false;
    };
    const Bytes tag = ID3v1Tag(ID3v1Fields().Title("T"));
    auto marked = [](const char* marker) {
        return WithAudio(ID3v1Tag(ID3v1Fields().Marker(std::string(marker, 3)).Title("Title").Track(4)));
    };
    Bytes early = WithAudio(tag);
    early.push_back(0);
    const Case cases[] = {
        {"127 bytes", Bytes(tag.begin() + 1, tag.end()), false},
        {"empty", {}, false},
        {"size fails", WithAudio(tag), false, 0, 0, true},
        {"read fails", WithAudio(tag), false, 1},
        {"read comes up short", WithAudio(tag), false, 0, 1},
        {"tag", marked("tag"), true},
        {"Tag", marked("Tag"), true},
        {"TAg", marked("TAg"), true},
        {"TA\\0", marked("TA\0"), true},
        {"XTA", marked("XTA"), true},
        {"a tag one byte before the end", early, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TID3v1 reader = Filled();
        FaultySource source(c.file);
        source.failAt = c.failAt;
        source.shortAt = c.shortAt;
        source.failSize = c.failSize;
        EXPECT_EQ(reader.ReadTag(source), c.result);
        ExpectCleared(reader);
    }
    TID3v1 exact;
    FaultySource source(tag);  // exactly 128 bytes
    EXPECT_TRUE(exact.ReadTag(source));
    EXPECT_EQ(exact.Title, "T");
}

TEST(ID3v1, TrimsOnlyTheEndAndKeepsInnerBytes) {
    struct Case {
        const char* name;
        std::string title;
        std::string expected;
    };
    const Case cases[] = {
        {"zeros after the text", "ABCD", "ABCD"},
        {"inner zero, then spaces", std::string("ABCD\0E", 6) + std::string(24, ' '), std::string("ABCD\0E", 6)},
        {"leading spaces stay", "  AB\t\x01\x1F ", "  AB"},
        {"only low bytes", std::string("\x01 \x20\x1F\0", 5), ""},
        {"byte 33 ends trimming", "AB!", "AB!"},
        {"high bytes are text", "\xE0\xFF", "\xE0\xFF"},
        {"all 30 bytes", std::string(30, 'x'), std::string(30, 'x')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadAfterAudio(ID3v1Tag(ID3v1Fields().Title(c.title))).Title, c.expected);
    }
}

TEST(ID3v1, VersionComesFromBytes125And126) {
    struct Case {
        std::uint8_t separator;
        std::uint8_t track;
        std::uint8_t version;
        std::uint8_t expectedTrack;
        std::string comment;
    };
    // Comment bytes 97..124 are "c"; the two bytes below follow them.
    const std::string base(28, 'c');
    const Case cases[] = {
        {0, 7, 2, 7, base},        {0, 0, 1, 0, base},          {32, 32, 1, 0, base}, {32, 65, 2, 65, base},
        {65, 0, 1, 0, base + "A"}, {65, 66, 1, 0, base + "AB"}, {1, 9, 1, 0, base},  // control bytes are trimmed
        {0, 255, 2, 255, base},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.separator) << "," << int(c.track));
        Bytes tag = ID3v1Tag(ID3v1Fields().Comment(base));
        tag[125] = c.separator;
        tag[126] = c.track;
        const TID3v1 reader = ReadAfterAudio(tag);
        EXPECT_EQ(reader.Version, c.version);
        EXPECT_EQ(reader.Track, c.expectedTrack);
        EXPECT_EQ(reader.Comment, c.comment);
    }
}

TEST(ID3v1, GenreByteIndexesTheListOrNothing) {
    struct Case {
        std::uint8_t index;
        const char* name;
    };
    const Case cases[] = {{0, "Blues"},      {67, "Psychadelic"},           {92, "Progessive Rock"}, {133, "Negerpunk"},
                          {123, "A capella"}, {136, "Christian Gangsta Rap"}, {144, "Trash Metal"},   {147, "Synthpop"},
                          {148, ""},          {200, ""},                      {255, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.index));
        const TID3v1 reader = ReadAfterAudio(ID3v1Tag(ID3v1Fields().Genre(c.index)));
        EXPECT_EQ(reader.GenreIndex, c.index);
        EXPECT_EQ(reader.GenreText(), c.name);
    }
}

TEST(ID3v1, GenreNamesAreDistinct) {
    for (std::size_t i = 0; i < GenreNames.size(); ++i) {
        EXPECT_FALSE(GenreNames[i].empty()) << i;
        for (std::size_t j = i + 1; j < GenreNames.size(); ++j)
            EXPECT_NE(GenreNames[i], GenreNames[j]) << i << " " << j;
    }
    // Neighbours pin the order where names are easy to swap.
    EXPECT_EQ(GenreNames[79], "Hard Rock");
    EXPECT_EQ(GenreNames[80], "Folk");
    EXPECT_EQ(GenreNames[93], "Psychedelic Rock");
    EXPECT_EQ(GenreNames[125], "Dance Hall");
    EXPECT_EQ(GenreNames[127], "Drum & Bass");
}

TEST(ID3v1, ReadsAFileByPath) {
    TempDir dir;
    TID3v1 reader;
    EXPECT_FALSE(reader.ReadTag(dir.File("missing.mp3").c_str()));
    EXPECT_FALSE(reader.ReadTag(nullptr));

    const std::string path =
        dir.Write("\xCF\xE5\xF1\xED\xFF.mp3", WithAudio(ID3v1Tag(ID3v1Fields().Title("By path").Track(1))));
    ASSERT_TRUE(reader.ReadTag(path.c_str()));
    EXPECT_EQ(reader.Title, "By path");
    EXPECT_EQ(reader.Track, 1);

    const std::string tiny = dir.Write("tiny.mp3", Bytes(127, 'T'));
    EXPECT_FALSE(reader.ReadTag(tiny.c_str()));
    ExpectCleared(reader);
}

}  // namespace
