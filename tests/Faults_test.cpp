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

using RealFaults = PluginTest;

// A rename the system refuses, or whose file is gone by then: the preview
// cannot know, the old path comes back, and every file stays as it was.
TEST_F(RealFaults, RenameRefusedOrFileGone) {
    const Bytes other = Latin("someone else's file");
    enum Staged { kNothing, kFile, kFolder };  // what stands at the target
    struct Case {
        std::string name, title;
        Staged staged = kNothing;
        bool vanishes = false;  // removed between the preview and the rename
    };
    std::vector<Case> cases = {
        {"target is a file", "B", kFile},
        {"target is a folder", "B", kFolder},
        {"name longer than the system allows", std::string(300, 't')},
        {"file gone before the rename", "B", kNothing, true},
    };
#ifdef _WIN32
    for (const char* title : {"Why?", "a*b", "<x>", "a|b", "\"q\""}) cases.push_back({title, title});
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir place;
        const std::string source = place.Write("x.mp3", TaggedFile(c.title));
        const std::string target = place.File("A - " + c.title + ".mp3");
        const std::string staged = c.staged == kFolder ? target + kSep + "inside.mp3" : target;
        if (c.staged == kFolder) {
            ASSERT_TRUE(MakeDir(target));
        }
        if (c.staged != kNothing) WriteFile(staged, other);
        EXPECT_EQ(Process(source, true), target);
        if (c.vanishes) {
            ASSERT_EQ(std::remove(source.c_str()), 0);
        }
        EXPECT_EQ(Process(source, false), source);
        std::vector<std::string> left = {"x.mp3"};
        if (c.vanishes) left.clear();
        if (c.staged != kNothing) {
            left.insert(left.begin(), "A - B.mp3");
            EXPECT_TRUE(Contents(staged) == other);
        }
        EXPECT_EQ(ListDir(place.Path()), left);
        if (!c.vanishes) {
            EXPECT_TRUE(Contents(source) == TaggedFile(c.title));
        }
    }
}

// A folder named like an MP3 is never analysed; a path longer than 259
// characters is renamed where the system can open it (POSIX), else left.
TEST_F(RealFaults, FolderNamedLikeAnMp3AndPathsBeyondTheLimit) {
    TempDir dir;
    SetPattern("*bitrate* *artist*");
    const std::string folder = dir.File("x.mp3");
    ASSERT_TRUE(MakeDir(folder));
    WriteFile(folder + kSep + "inside.mp3", TaggedFile());
    EXPECT_EQ(Process(folder, true), folder);
    EXPECT_EQ(Process(folder, false), folder);
    EXPECT_EQ(ListDir(dir.Path()), std::vector<std::string>{"x.mp3"});
    EXPECT_EQ(ListDir(folder), std::vector<std::string>{"inside.mp3"});

    SetPattern("*artist* - *title*");
    std::string deepFolder = dir.Path();
    while (deepFolder.size() < 260) {
        deepFolder += kSep + std::string(40, 'd');
        MakeDir(deepFolder);
    }
    const std::string deep = deepFolder + kSep + "x.mp3";
    WriteFile(deep, TaggedFile());
    const bool made = FileExists(deep);
    const std::string renamed = deepFolder + kSep + "A - B.mp3";
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
