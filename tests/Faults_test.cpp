// File-system faults: through a byte source that misbehaves on purpose, and
// for real. Each ends as the rules say, and no file is lost or changed.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "AudioChecks.h"
#include "AudioWriter.h"
#include "FaultySource.h"
#include "MPEGaudio.h"
#include "PluginTest.h"
#include "TagWriter.h"
#include "TestFiles.h"

using namespace testing_support;

namespace {

// Files whose fields have no fallback: a field is what a clean read gives, or empty.
std::vector<std::pair<const char*, Bytes>> Fixtures() {
    Bytes xing = Concat({XingFrame(kCbr128, 1000, 418000), Stream(kCbr128, 20)});
    Bytes vbri = Frame(kCbr128);
    PutVbri(vbri, VbrHeaderOffset(kCbr128), 418000, 1000, 50);
    Append(vbri, Stream(kCbr128, 20));
    Bytes middle(20000, 0);
    const Bytes two = Stream(kCbr128, 2);
    std::copy(two.begin(), two.end(), middle.begin() + 10000);
    return {
        {"2.3 tag, CBR, ID3v1",
         Concat({ID3v2Writer(3).Text("TIT2", 0, Latin("Title")).Text("TPE1", 1, Utf16LE(u"Artist", true))
                     .Frame("TXXX", Bytes(20000, 'x'))  // the walk outgrows the first file window
                     .Text("TALB", 0, Latin("Album")).Build(),
                 Stream(kCbr128, 20), ID3v1Tag(ID3v1Fields().Title("T1"))})},
        {"2.4 tag, Xing",
         Concat({ID3v2Writer(4).Text("TIT2", 3, Latin("Title")).Frame("TXXX", Bytes(300, 'q')).Text("TALB", 0, Latin("Album")).Build(),
                 xing})},
        {"2.2 tag, VBRI", Concat({ID3v2Writer(2).Text("TT2", 0, Latin("Title")).Text("TAL", 0, Latin("Album")).Build(), vbri})},
        {"frames only in the middle", middle},
        {"short audio, ID3v1", Concat({Stream(kCbr128, 3), ID3v1Tag(ID3v1Fields().Title("T1"))})},
    };
}

void ExpectCleanOrEmpty(const std::string& value, const std::string& clean) {
    EXPECT_TRUE(value == clean || value.empty()) << "'" << value << "', clean '" << clean << "'";
}

// The analysis keeps or loses whole fields, never makes up values, never runs
// on. A failure in the frame walk only ends the walk; any other fails the
// analysis, which then keeps only a frame it had already found.
TEST(Faults, FailedOrShortReadAtEveryCallOfTheAnalysis) {
    for (const auto& [name, bytes] : Fixtures()) {
        FaultySource probe(bytes);
        TMPEGaudio clean;
        ASSERT_TRUE(clean.LoadFromSource(probe)) << name;
        ASSERT_TRUE(clean.frame.found) << name;
        for (bool fail : {false, true}) {
            for (std::size_t n = 1; n <= probe.calls; ++n) {
                SCOPED_TRACE(testing::Message() << name << (fail ? ", failed" : ", short") << " read at call " << n);
                FaultySource source(bytes);
                (fail ? source.failAt : source.shortAt) = n;
                TMPEGaudio audio;
                const bool result = audio.LoadFromSource(source);
                EXPECT_LE(source.calls, probe.calls + 1);
                if (n == 1 || (fail && !clean.ID3v2Tag.HasTag)) {
                    EXPECT_FALSE(result);
                }
                if (!audio.frame.found) {
                    ExpectEmpty(audio);
                    continue;
                }
                EXPECT_EQ(audio.frame.position, clean.frame.position);
                EXPECT_EQ(audio.SampleRate(), clean.SampleRate());
                ExpectCleanOrEmpty(audio.ID3v2Tag.Title, clean.ID3v2Tag.Title);
                ExpectCleanOrEmpty(audio.ID3v2Tag.Artist, clean.ID3v2Tag.Artist);
                ExpectCleanOrEmpty(audio.ID3v2Tag.Album, clean.ID3v2Tag.Album);
                EXPECT_EQ(audio.ID3v1Tag.Title, clean.ID3v1Tag.Title);
                if (result) {
                    EXPECT_EQ(audio.BitRate(), clean.BitRate());
                } else if (fail) {
                    EXPECT_EQ(n, probe.calls);  // only the tail read comes after the frame
                }
            }
        }
    }
}

// Cut short by another program after its size was taken: the last 128 bytes
// are unreadable, so the analysis fails; the tag reader keeps what lay before.
// A size that cannot be taken fails the analysis.
TEST(Faults, FileShrinksOrHasNoSize) {
    for (const auto& [name, bytes] : Fixtures()) {
        const std::size_t size = bytes.size();
        FaultySource whole(bytes);
        TID3v2 full;
        ASSERT_TRUE(full.ReadTag(whole));
        std::vector<std::size_t> cuts = {0, 5, 10, 40, size / 2, size - 129, size - 128, size - 1};
        if (size > 3000) cuts.push_back(size - 3000);
        for (std::size_t cut : cuts) {
            SCOPED_TRACE(testing::Message() << name << ", cut at " << cut);
            FaultySource source(bytes);
            source.cutAt = cut;
            TMPEGaudio audio;
            EXPECT_FALSE(audio.LoadFromSource(source));
            ExpectEmpty(audio);
            FaultySource again(bytes);
            again.cutAt = cut;
            TID3v2 tag;
            EXPECT_EQ(tag.ReadTag(again), cut >= id3v2::kHeaderSize);
            ExpectCleanOrEmpty(tag.Title, full.Title);
            if (cut >= size - 128) {
                EXPECT_EQ(tag.Album, full.Album);
            } else {
                ExpectCleanOrEmpty(tag.Album, full.Album);
            }
        }

        FaultySource probe(bytes);
        TMPEGaudio audio;
        ASSERT_TRUE(audio.LoadFromSource(probe));
        for (std::size_t n = 0; n <= probe.sizeCalls; ++n) {  // 0: every size query fails
            FaultySource faulty(bytes);
            faulty.failSize = n == 0;
            faulty.sizeFailAt = n;
            EXPECT_FALSE(audio.LoadFromSource(faulty)) << name << ", failing size " << n;
            ExpectEmpty(audio);
        }
    }
}

class RealFaults : public PluginTest {
protected:
    static Bytes Contents(const std::string& path) {
        Bytes bytes;
        EXPECT_TRUE(ReadFile(path, bytes)) << path;
        return bytes;
    }

    TempDir dir;
};

// Previewed, then gone before the rename: the old path comes back.
TEST_F(RealFaults, FileVanishesBetweenAnalysisAndMove) {
    const std::string path = dir.Write("x.mp3", TaggedFile());
    EXPECT_EQ(Process(path, true), dir.File("A - B.mp3"));
    ASSERT_EQ(std::remove(path.c_str()), 0);
    EXPECT_EQ(Process(path, false), path);
    EXPECT_TRUE(ListDir(dir.Path()).empty());
}

// A target that exists already, a file or a folder; and a folder named like an
// MP3, which is never analysed.
TEST_F(RealFaults, TargetThatExistsAndFolderNamedLikeAnMp3) {
    const Bytes other = Latin("someone else's file");
    for (bool folder : {false, true}) {
        SCOPED_TRACE(folder ? "a folder" : "a file");
        TempDir place;
        const std::string source = place.Write("x.mp3", TaggedFile());
        const std::string target = place.File("A - B.mp3");
        if (folder) {
            ASSERT_TRUE(MakeDir(target));
        }
        WriteFile(folder ? target + kSep + "inside.mp3" : target, other);
        EXPECT_EQ(Process(source, true), target);  // a preview cannot know
        EXPECT_EQ(Process(source, false), source);
        EXPECT_TRUE(Contents(source) == TaggedFile());
        EXPECT_TRUE(Contents(folder ? target + kSep + "inside.mp3" : target) == other);
        EXPECT_EQ(ListDir(place.Path()), (std::vector<std::string>{"A - B.mp3", "x.mp3"}));
    }
    SetPattern("*bitrate* *artist*");
    const std::string folder = dir.File("x.mp3");
    ASSERT_TRUE(MakeDir(folder));
    WriteFile(folder + kSep + "inside.mp3", TaggedFile());
    EXPECT_EQ(Process(folder, true), folder);
    EXPECT_EQ(Process(folder, false), folder);
    EXPECT_EQ(ListDir(dir.Path()), std::vector<std::string>{"x.mp3"});
    EXPECT_EQ(ListDir(folder), std::vector<std::string>{"inside.mp3"});
}

// A name longer than the system allows fails the rename; a path longer than
// 259 characters is renamed where the system can open it (POSIX), else left.
TEST_F(RealFaults, NamesAndPathsBeyondTheSystemsLimits) {
    const std::string longTitle(300, 't');
    const std::string path = dir.Write("x.mp3", TaggedFile(longTitle));
    EXPECT_EQ(Process(path, true), dir.File("A - " + longTitle + ".mp3"));
    EXPECT_EQ(Process(path, false), path);
    EXPECT_EQ(ListDir(dir.Path()), std::vector<std::string>{"x.mp3"});
    EXPECT_TRUE(Contents(path) == TaggedFile(longTitle));

    std::string folder = dir.Path();
    while (folder.size() < 260) {
        folder += kSep + std::string(40, 'd');
        MakeDir(folder);
    }
    const std::string deep = folder + kSep + "x.mp3";
    WriteFile(deep, TaggedFile());
    const bool made = FileExists(deep);
    const std::string renamed = folder + kSep + "A - B.mp3";
    const std::string result = Process(deep, false);
    if (made && result == renamed) {
        EXPECT_FALSE(FileExists(deep));
        EXPECT_TRUE(Contents(renamed) == TaggedFile());
    } else {
        EXPECT_EQ(result, deep);
        if (made) {
            EXPECT_TRUE(Contents(deep) == TaggedFile());
        }
    }
#ifndef _WIN32
    EXPECT_TRUE(made);
    EXPECT_EQ(result, renamed);
#endif
}

}  // namespace
