// File-system faults. Through a byte source that misbehaves on purpose: reads
// that come up short anywhere in the analysis, a file that shrinks after its
// size was taken, a size that cannot be taken. For real: a file that vanishes
// before its rename, a target that exists, a folder named x.mp3, paths and
// names beyond the system's limits, an empty file. Each ends as the rules say,
// and no file is lost or changed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "AudioWriter.h"
#include "FaultySource.h"
#include "MPEGaudio.h"
#include "NameBuilder.h"
#include "platform.h"
#include "PluginTest.h"
#include "TagWriter.h"
#include "TestFiles.h"

using namespace testing_support;

namespace {

struct Fixture {
    const char* name;
    Bytes bytes;
};

// Files whose fields have no fallback, so a field is either what a clean read
// gives or empty.
std::vector<Fixture> Fixtures() {
    Bytes xing = XingFrame(kCbr128, 1000, 418000);
    Append(xing, Stream(kCbr128, 20));
    Bytes vbri = Frame(kCbr128);
    PutVbri(vbri, VbrHeaderOffset(kCbr128), 418000, 1000, 50);
    Append(vbri, Stream(kCbr128, 20));
    Bytes middle(20000, 0);
    const Bytes two = Stream(kCbr128, 2);
    std::copy(two.begin(), two.end(), middle.begin() + 10000);
    return {
        {"2.3 tag, CBR, ID3v1",
         Concat({ID3v2Writer(3)
                     .Text("TIT2", 0, Latin("Title"))
                     .Text("TPE1", 1, Utf16LE(u"Artist", true))
                     .Frame("TXXX", Bytes(20000, 'x'))  // the walk outgrows the first file window
                     .Text("TALB", 0, Latin("Album"))
                     .Build(),
                 Stream(kCbr128, 20), ID3v1Tag(ID3v1Fields().Title("T1"))})},
        {"2.4 tag, Xing", Concat({ID3v2Writer(4).Text("TIT2", 3, Latin("Title")).Frame("TXXX", Bytes(300, 'q')).Text("TALB", 0, Latin("Album")).Build(), xing})},
        {"2.2 tag, VBRI", Concat({ID3v2Writer(2).Text("TT2", 0, Latin("Title")).Text("TAL", 0, Latin("Album")).Build(), vbri})},
        {"frames only in the middle", middle},
        {"short audio, ID3v1", Concat({Stream(kCbr128, 3), ID3v1Tag(ID3v1Fields().Title("T1"))})},
    };
}

void ExpectEmpty(const TMPEGaudio& audio) {
    EXPECT_FALSE(audio.frame.found);
    EXPECT_EQ(audio.BitRate(), 0);
    EXPECT_EQ(audio.DurationText(), "00:00");
    EXPECT_FALSE(audio.ID3v2Tag.HasTag);
    EXPECT_FALSE(audio.ID3v1Tag.HasTag);
}

void ExpectCleanOrEmpty(const std::string& value, const std::string& clean, const char* field) {
    EXPECT_TRUE(value == clean || value.empty()) << field << ": '" << value << "', clean '" << clean << "'";
}

// A read that fails or comes up short anywhere is survived: the analysis
// keeps or loses whole fields, never makes up values, and never runs on. A
// failure in the frame walk only ends the walk; any other one fails the
// analysis, which then keeps only a frame it had already found.
TEST(Faults, FailedOrShortReadAtEveryCallOfTheAnalysis) {
    for (const Fixture& f : Fixtures()) {
        FaultySource probe(f.bytes);
        TMPEGaudio clean;
        ASSERT_TRUE(clean.LoadFromSource(probe)) << f.name;
        ASSERT_TRUE(clean.frame.found) << f.name;
        for (bool fail : {false, true}) {
            for (std::size_t n = 1; n <= probe.calls; ++n) {
                SCOPED_TRACE(testing::Message() << f.name << (fail ? ", failed" : ", short") << " read at call " << n
                                                << " of " << probe.calls);
                FaultySource source(f.bytes);
                (fail ? source.failAt : source.shortAt) = n;
                TMPEGaudio audio;
                const bool result = audio.LoadFromSource(source);
                EXPECT_LE(source.calls, probe.calls + 1);
                if (n == 1 || (fail && !clean.ID3v2Tag.HasTag)) {
                    EXPECT_FALSE(result);  // the ID3v2 header itself, or a read outside any frame walk
                }
                if (!audio.frame.found) {
                    ExpectEmpty(audio);
                    continue;
                }
                EXPECT_EQ(audio.frame.position, clean.frame.position);
                EXPECT_EQ(audio.SampleRate(), clean.SampleRate());
                ExpectCleanOrEmpty(audio.ID3v2Tag.Title, clean.ID3v2Tag.Title, "title");
                ExpectCleanOrEmpty(audio.ID3v2Tag.Artist, clean.ID3v2Tag.Artist, "artist");
                ExpectCleanOrEmpty(audio.ID3v2Tag.Album, clean.ID3v2Tag.Album, "album");
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

// A file cut short by another program after its size was taken: every read
// past the cut finds nothing. The last 128 bytes are then unreadable, so the
// analysis fails and is empty; the tag reader alone keeps what lay before.
TEST(Faults, FileShrinksWhileItIsRead) {
    for (const Fixture& f : Fixtures()) {
        const std::size_t size = f.bytes.size();
        std::vector<std::size_t> cuts = {0, 5, 10, 40, size / 2, size - 129, size - 128, size - 1};
        if (size > 3000) cuts.push_back(size - 3000);
        for (std::size_t cut : cuts) {
            SCOPED_TRACE(testing::Message() << f.name << ", cut at " << cut);
            FaultySource source(f.bytes);
            source.cutAt = cut;
            TMPEGaudio audio;
            EXPECT_FALSE(audio.LoadFromSource(source));
            ExpectEmpty(audio);

            FaultySource again(f.bytes);
            again.cutAt = cut;
            TID3v2 tag;
            EXPECT_EQ(tag.ReadTag(again), cut >= id3v2::kHeaderSize);
            FaultySource whole(f.bytes);
            TID3v2 full;
            ASSERT_TRUE(full.ReadTag(whole));
            ExpectCleanOrEmpty(tag.Title, full.Title, "title");
            ExpectCleanOrEmpty(tag.Album, full.Album, "album");
            if (cut >= size - 128) {
                EXPECT_EQ(tag.Album, full.Album);  // every frame lies before the cut
            }
        }
    }
}

TEST(Faults, SizeThatCannotBeTaken) {
    for (const Fixture& f : Fixtures()) {
        FaultySource source(f.bytes);
        source.failSize = true;
        TMPEGaudio audio;
        EXPECT_FALSE(audio.LoadFromSource(source)) << f.name;
        ExpectEmpty(audio);
        TID3v1 v1;
        EXPECT_FALSE(v1.ReadTag(source)) << f.name;
        TID3v2 v2;
        EXPECT_FALSE(v2.ReadTag(source)) << f.name;

        // Each reader's own size query, failing alone.
        FaultySource probe(f.bytes);
        ASSERT_TRUE(audio.LoadFromSource(probe));
        for (std::size_t n = 1; n <= probe.sizeCalls; ++n) {
            FaultySource faulty(f.bytes);
            faulty.sizeFailAt = n;
            EXPECT_FALSE(audio.LoadFromSource(faulty)) << f.name << ", failing size " << n;
            ExpectEmpty(audio);
        }
    }
}

// --- real files ------------------------------------------------------------------

class RealFaults : public PluginTest {
protected:
    static Bytes Contents(const std::string& path) {
        Bytes bytes;
        EXPECT_TRUE(ReadFile(path, bytes)) << path;
        return bytes;
    }

    TempDir dir;
};

// The host previews, the file goes away, the host renames: the old path comes
// back and nothing appears under the new name.
TEST_F(RealFaults, FileVanishesBetweenAnalysisAndMove) {
    const std::string path = dir.Write("x.mp3", TaggedFile());
    EXPECT_EQ(Process(path, true), dir.File("A - B.mp3"));
    ASSERT_EQ(std::remove(path.c_str()), 0);
    EXPECT_EQ(Process(path, false), path);
    EXPECT_TRUE(ListDir(dir.Path()).empty());

    // The same inside one call's steps: analysed, then gone before the move.
    dir.Write("x.mp3", TaggedFile());
    std::string newPath;
    ASSERT_TRUE(pelmora::BuildNewPath(path, path, options->pattern, pelmora::TTagSource{options->tagSource}, newPath));
    EXPECT_EQ(newPath, dir.File("A - B.mp3"));
    ASSERT_EQ(std::remove(path.c_str()), 0);
    EXPECT_FALSE(platform::MoveNoReplace(path.c_str(), newPath.c_str()));
    EXPECT_TRUE(ListDir(dir.Path()).empty());
}

TEST_F(RealFaults, TargetThatExistsAlready) {
    const std::string path = dir.Write("x.mp3", TaggedFile());
    const Bytes other = Latin("someone else's file");
    struct Case {
        const char* name;
        bool folder;
    };
    for (const Case c : {Case{"a file", false}, Case{"a folder", true}}) {
        SCOPED_TRACE(c.name);
        TempDir place;
        const std::string source = place.Write("x.mp3", TaggedFile());
        const std::string target = place.File("A - B.mp3");
        if (c.folder) {
            ASSERT_TRUE(MakeDir(target));
            WriteFile(target + kSep + "inside.mp3", other);
        } else {
            WriteFile(target, other);
        }
        EXPECT_EQ(Process(source, true), target);  // a preview cannot know
        EXPECT_EQ(Process(source, false), source);
        EXPECT_TRUE(Contents(source) == TaggedFile());
        EXPECT_TRUE(Contents(c.folder ? target + kSep + "inside.mp3" : target) == other);
        EXPECT_EQ(ListDir(place.Path()), (std::vector<std::string>{"A - B.mp3", "x.mp3"}));
    }
    EXPECT_TRUE(Contents(path) == TaggedFile());
}

// A folder named like an MP3 and files too short to analyse: never analysed
// (an audio placeholder would count), so the name is kept and nothing changes.
TEST_F(RealFaults, FoldersAndNearlyEmptyFilesKeepTheirNames) {
    std::strcpy(options->pattern, "*bitrate* *artist*");
    const Bytes full = TaggedFile();
    for (const std::optional<std::size_t> size : std::initializer_list<std::optional<std::size_t>>{
             std::nullopt, 0, 1, 9, 10, 127}) {  // none: a folder
        SCOPED_TRACE(size ? std::to_string(*size) + " bytes" : "a folder");
        TempDir place;
        const std::string path = place.File("x.mp3");
        const Bytes bytes = size ? Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(*size)) : Bytes{};
        if (size) {
            WriteFile(path, bytes);
        } else {
            ASSERT_TRUE(MakeDir(path));
            WriteFile(path + kSep + "inside.mp3", full);
        }
        EXPECT_EQ(Process(path, true), path);
        EXPECT_EQ(Process(path, false), path);
        EXPECT_EQ(ListDir(place.Path()), std::vector<std::string>{"x.mp3"});
        if (size) {
            EXPECT_TRUE(Contents(path) == bytes);
        } else {
            EXPECT_EQ(ListDir(path), std::vector<std::string>{"inside.mp3"});
        }
    }
}

// A tag value longer than any file name the system allows: the rename fails
// and the host gets the old path back.
TEST_F(RealFaults, NewNameBeyondTheSystemsLimit) {
    const std::string longTitle(300, 't');
    const std::string path = dir.Write("x.mp3", Concat({ID3v2Writer(3)
                                                            .Text("TPE1", 0, Latin("A"))
                                                            .Text("TIT2", 0, Latin(longTitle))
                                                            .Build(),
                                                        Stream(kCbr128, 20)}));
    const Bytes before = Contents(path);
    EXPECT_EQ(Process(path, true), dir.File("A - " + longTitle + ".mp3"));
    EXPECT_EQ(Process(path, false), path);
    EXPECT_EQ(ListDir(dir.Path()), std::vector<std::string>{"x.mp3"});
    EXPECT_TRUE(Contents(path) == before);
}

// A file whose path is longer than 259 characters: renamed where the system
// can open it (POSIX), otherwise left under its name; never lost.
TEST_F(RealFaults, PathLongerThan259Characters) {
    std::string folder = dir.Path();
    while (folder.size() < 260) {
        folder += kSep + std::string(40, 'd');
        MakeDir(folder);
    }
    const std::string path = folder + kSep + "x.mp3";
    WriteFile(path, TaggedFile());
    const bool made = FileExists(path);
    const std::string renamed = folder + kSep + "A - B.mp3";
    const std::string result = Process(path, false);
    if (made && result == renamed) {
        EXPECT_FALSE(FileExists(path));
        EXPECT_TRUE(Contents(renamed) == TaggedFile());
    } else {
        EXPECT_EQ(result, path);
        if (made) {
            EXPECT_TRUE(Contents(path) == TaggedFile());
        }
    }
#ifndef _WIN32
    EXPECT_TRUE(made);
    EXPECT_EQ(result, renamed);  // no such limit here
#endif
}

}  // namespace
