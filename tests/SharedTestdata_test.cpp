// Both tag readers over every real-world file of ../shared/testdata: damaged,
// hostile and ordinary files alike read without a crash, within the file and
// without changing it, with results that agree with the file's own bytes; a
// few files whose contents were read off their bytes are checked in full.
#include <gtest/gtest.h>

#include <cstring>

#include "FaultySource.h"
#include "ID3v1.h"
#include "ID3v2.h"
#include "TagWriter.h"
#include "TestFiles.h"

using namespace testing_support;

namespace {

constexpr std::uint8_t kTrimmed = 32;

bool IsTrimmedRight(const std::string& text) {
    return text.empty() || static_cast<std::uint8_t>(text.back()) > kTrimmed;
}

bool IsTrimmedBoth(const std::string& text) {
    return text.empty() || (IsTrimmedRight(text) && static_cast<std::uint8_t>(text.front()) > kTrimmed);
}

std::string PathOf(const std::string& folderAndName) {
    const std::size_t slash = folderAndName.find('/');
    return SourcePath("../shared/testdata/" + folderAndName.substr(0, slash)) + kSep + folderAndName.substr(slash + 1);
}

class SharedTestdata : public ::testing::Test {
protected:
    void SetUp() override {
        files_ = SharedTestFiles();
        if (files_.empty()) GTEST_SKIP() << "../shared/testdata is absent";
    }
    std::vector<std::string> files_;
};

TEST_F(SharedTestdata, ID3v2ResultsAgreeWithTheBytes) {
    for (const std::string& path : files_) {
        SCOPED_TRACE(path);
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
        for (const std::string* text :
             {&tag.Title, &tag.Artist, &tag.Album, &tag.Year, &tag.Comment, &tag.Composer, &tag.Encoder, &tag.Copyright,
              &tag.Language, &tag.Link, &tag.OriginalArtist, &tag.Lyrics}) {
            EXPECT_TRUE(IsTrimmedBoth(*text)) << *text;
            if (!walked) {
                EXPECT_TRUE(text->empty());
            }
        }
        EXPECT_EQ(tag.Genre.find(')'), std::string::npos);

        // Reading never changes the file, and the file read through memory
        // gives the very same fields.
        Bytes after;
        ASSERT_TRUE(ReadFile(path, after));
        EXPECT_EQ(before, after);
        TID3v2 again;
        FaultySource source(before);
        EXPECT_EQ(again.ReadTag(source), ok);
        EXPECT_EQ(again.TagSize, tag.TagSize);
        EXPECT_EQ(again.Title, tag.Title);
        EXPECT_EQ(again.Artist, tag.Artist);
        EXPECT_EQ(again.Album, tag.Album);
        EXPECT_EQ(again.Track, tag.Track);
        EXPECT_EQ(again.Year, tag.Year);
        EXPECT_EQ(again.Genre, tag.Genre);
        EXPECT_EQ(again.Comment, tag.Comment);
        EXPECT_EQ(again.Lyrics, tag.Lyrics);
    }
}

TEST_F(SharedTestdata, ID3v1ResultsAgreeWithTheBytes) {
    for (const std::string& path : files_) {
        SCOPED_TRACE(path);
        Bytes bytes;
        ASSERT_TRUE(ReadFile(path, bytes));
        TID3v1 tag;
        const bool ok = tag.ReadTag(path.c_str());
        EXPECT_EQ(ok, bytes.size() >= kID3v1TagSize);
        const bool marker =
            bytes.size() >= kID3v1TagSize && std::memcmp(bytes.data() + bytes.size() - kID3v1TagSize, "TAG", 3) == 0;
        EXPECT_EQ(tag.HasTag, marker);
        EXPECT_TRUE(tag.Version == 1 || tag.Version == 2);
        if (tag.Version == 1) {
            EXPECT_EQ(tag.Track, 0);
        }
        EXPECT_LE(tag.Title.size(), 30u);
        EXPECT_LE(tag.Artist.size(), 30u);
        EXPECT_LE(tag.Album.size(), 30u);
        EXPECT_LE(tag.Year.size(), 4u);
        EXPECT_LE(tag.Comment.size(), tag.Version == 1 ? 30u : 28u);
        for (const std::string* text : {&tag.Title, &tag.Artist, &tag.Album, &tag.Year, &tag.Comment}) {
            EXPECT_TRUE(IsTrimmedRight(*text));
            if (!marker) {
                EXPECT_TRUE(text->empty());
            }
        }
        if (marker) {
            EXPECT_EQ(tag.GenreIndex, bytes.back());
        }
    }
}

// Contents read off the files' bytes (and, for BeatThee.mp3, its README).
TEST_F(SharedTestdata, KnownFiles) {
    {
        SCOPED_TRACE("BeatThee.mp3: 2.3, UTF-16, a picture larger than a block before the year");
        TID3v2 tag;
        ASSERT_TRUE(tag.ReadTag(PathOf("debian/BeatThee.mp3").c_str()));
        EXPECT_EQ(tag.Version, 3);
        EXPECT_EQ(tag.TagSize, 143370);
        EXPECT_EQ(tag.Title, "Beat Thee");
        EXPECT_EQ(tag.Artist, "Alexander Nakarada");
        EXPECT_EQ(tag.Album, "Complete Discography (CC BY Attribution 4.0)");
        EXPECT_EQ(tag.Track, 189);
        EXPECT_EQ(tag.Year, "2017");
        ASSERT_TRUE(tag.Picture);
        EXPECT_EQ(tag.Picture->Size, 65522u);
        EXPECT_EQ(tag.Picture->Data.size(), 65522u);
    }
    {
        SCOPED_TRACE("id3v22-test.mp3: 2.2");
        TID3v2 tag;
        ASSERT_TRUE(tag.ReadTag(PathOf("mutagen/id3v22-test.mp3").c_str()));
        EXPECT_EQ(tag.Version, 2);
        EXPECT_EQ(tag.Title, "cosmic american");
        EXPECT_EQ(tag.Artist, "Anais Mitchell");
        EXPECT_EQ(tag.Album, "Hymns for the Exiled");
        EXPECT_EQ(tag.Track, 3);
        EXPECT_EQ(tag.Year, "2004");
        EXPECT_EQ(tag.Encoder, "iTunes v4.6");
    }
    {
        SCOPED_TRACE("id3v24_extended_header.id3: 2.4 with an extended header");
        TID3v2 tag;
        ASSERT_TRUE(tag.ReadTag(PathOf("mutagen/id3v24_extended_header.id3").c_str()));
        EXPECT_EQ(tag.Comment, "This is a comment!");
        EXPECT_EQ(tag.Genre, "");  // "Relaxation..? :)"
        EXPECT_EQ(tag.Year, "2023");
        EXPECT_EQ(tag.Track, 1);
    }
    {
        SCOPED_TRACE("extended-header.mp3: 2.4 with an extended header");
        TID3v2 tag;
        ASSERT_TRUE(tag.ReadTag(PathOf("taglib/extended-header.mp3").c_str()));
        EXPECT_EQ(tag.Title, "Druids");
        EXPECT_EQ(tag.Year, "2013");
        EXPECT_EQ(tag.Genre, "Folk/Power Metal");
    }
    {
        SCOPED_TRACE("silence-44-s-v1.mp3: ID3v1.1");
        TID3v1 tag;
        ASSERT_TRUE(tag.ReadTag(PathOf("mutagen/silence-44-s-v1.mp3").c_str()));
        EXPECT_TRUE(tag.HasTag);
        EXPECT_EQ(tag.Version, 2);
        EXPECT_EQ(tag.Title, "Silence");
        EXPECT_EQ(tag.Artist, "piman");
        EXPECT_EQ(tag.Album, "Quod Libet Test Data");
        EXPECT_EQ(tag.Year, "2004");
        EXPECT_EQ(tag.Track, 2);
        EXPECT_EQ(tag.GenreText(), "Darkwave");
    }
}

}  // namespace
