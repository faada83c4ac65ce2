// A hostile corpus written at test time: absurd sizes in tag, frame and VBR
// headers, tags that claim the whole file or more, files cut inside a header
// or inside the ID3v1 tag, and headers at the very edge of a block or a file
// window. Each file goes through the three readers by path, through memory,
// and through process as the host calls it (preview and rename), and must give
// the result the readers promise for it and come out byte for byte unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "AudioWriter.h"
#include "FaultySource.h"
#include "MPEGaudio.h"
#include "PluginTest.h"
#include "TagWriter.h"
#include "TestFiles.h"

using namespace testing_support;

namespace {

constexpr std::size_t kAudioFrames = 40;  // 16680 bytes: a play time of 1.04 s at 128 kbit/s
constexpr std::size_t kFrameLength = 417;
const std::string kPattern = "*artist*~*title*~*bitrate*~*time*";
const std::string kOldName = "x.mp3";

FrameFields Cbr128() { return FrameFields{}; }

Bytes Audio(std::size_t frames = kAudioFrames) { return Stream(Cbr128(), frames); }

// What the rules give for one file, set by chained calls. The defaults
// describe a tag followed by 128 kbit/s audio of one second.
struct Expect {
    bool id3v2Read = true;
    bool hasID3v2 = true;
    std::int32_t tagSize = -1;  // -1: not checked
    std::string title;
    std::string artist;
    bool id3v1Read = true;
    bool hasID3v1 = false;
    bool loaded = true;
    bool found = true;
    int bitRate = 128;
    std::string time = "00:01";
    std::string newName;  // empty: the old name is kept

    Expect& TagSize(std::int32_t v) { tagSize = v; return *this; }
    Expect& Title(std::string v) { title = std::move(v); return *this; }
    Expect& Artist(std::string v) { artist = std::move(v); return *this; }
    Expect& NoID3v2() { hasID3v2 = false; tagSize = 0; return *this; }
    Expect& NoHeader() { id3v2Read = false; return NoID3v2(); }
    Expect& WithID3v1() { hasID3v1 = true; return *this; }
    Expect& NoTrailer() { id3v1Read = false; return *this; }
    Expect& NoFrame() { found = false; bitRate = 0; time = "00:00"; return *this; }
    Expect& NotLoaded() { loaded = false; return NoFrame(); }
    Expect& Rate(int v) { bitRate = v; return *this; }
    Expect& Time(std::string v) { time = std::move(v); return *this; }
    Expect& Name(std::string v) { newName = std::move(v); return *this; }
};

struct Case {
    std::string name;
    Bytes bytes;
    Expect expect;
};

// The plug-in as a host loads it, with the pattern above and ID3v2.
class Hostile : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        SetPattern(kPattern);
    }

    void Run(const Case& c) {
        SCOPED_TRACE(c.name);
        const Expect& e = c.expect;
        TempDir dir;
        const std::string path = dir.Write(kOldName, c.bytes);

        TID3v2 v2;
        EXPECT_EQ(v2.ReadTag(path.c_str()), e.id3v2Read);
        EXPECT_EQ(v2.HasTag, e.hasID3v2);
        if (e.tagSize >= 0) {
            EXPECT_EQ(v2.TagSize, e.tagSize);
        }
        EXPECT_GE(v2.TagSize, 0);
        EXPECT_LE(static_cast<std::size_t>(v2.TagSize), c.bytes.size());
        EXPECT_EQ(v2.Title, e.title);
        EXPECT_EQ(v2.Artist, e.artist);

        TID3v1 v1;
        EXPECT_EQ(v1.ReadTag(path.c_str()), e.id3v1Read);
        EXPECT_EQ(v1.HasTag, e.hasID3v1);

        TMPEGaudio audio;
        EXPECT_EQ(audio.LoadFromFile(path.c_str()), e.loaded);
        EXPECT_EQ(audio.frame.found, e.found);
        EXPECT_EQ(audio.BitRate(), e.bitRate);
        EXPECT_EQ(audio.DurationText(), e.time);

        // The file layer's windows must not change a result.
        FaultySource memory(c.bytes);
        TMPEGaudio fromMemory;
        EXPECT_EQ(fromMemory.LoadFromSource(memory), e.loaded);
        EXPECT_EQ(fromMemory.frame.position, audio.frame.position);
        EXPECT_EQ(fromMemory.ID3v2Tag.Title, audio.ID3v2Tag.Title);
        EXPECT_EQ(fromMemory.encoderText, audio.encoderText);

        const std::string expected = dir.File(e.newName.empty() ? kOldName : e.newName);
        EXPECT_EQ(Process(path, true), expected);
        Bytes after;
        ASSERT_TRUE(ReadFile(path, after));
        EXPECT_TRUE(after == c.bytes) << "changed by reading";

        EXPECT_EQ(Process(path, false), expected);
        EXPECT_EQ(ListDir(dir.Path()), std::vector<std::string>{e.newName.empty() ? kOldName : e.newName});
        ASSERT_TRUE(ReadFile(expected, after));
        EXPECT_TRUE(after == c.bytes) << "changed by the rename";
    }
};

// New names for the pattern "*artist*~*title*~*bitrate*~*time*".
std::string Named(const std::string& artist, const std::string& title, const std::string& rest = "128~00.01") {
    return artist + "~" + title + "~" + rest + ".mp3";
}
const std::string kNoAudioNoTag = "NOTAG~NOTAG~0~00.00.mp3";

Bytes Tagged(ID3v2Writer writer, std::size_t frames = kAudioFrames) { return Concat({writer.Build(), Audio(frames)}); }

TEST_F(Hostile, TagSizes) {
    // Padding keeps every file above the 128 bytes the ID3v1 reader needs.
    const Bytes titled = ID3v2Writer(3).Text("TIT2", 0, Latin("Whole")).Padding(200).Build();
    const std::size_t body = titled.size() - id3v2::kHeaderSize;
    Bytes coversAudio = Tagged(ID3v2Writer(3).Text("TIT2", 0, Latin("Whole")).Padding(40));
    const std::uint32_t coversAll = static_cast<std::uint32_t>(coversAudio.size() - id3v2::kHeaderSize);
    std::copy_n(Syncsafe(coversAll).begin(), 4, coversAudio.begin() + 6);
    Bytes beyondAudio = coversAudio;
    std::copy_n(Syncsafe(coversAll + 1).begin(), 4, beyondAudio.begin() + 6);

    const std::vector<Case> cases = {
        // Frames after a tag of size 0 are audio data as far as the walk knows.
        {"size 0", Tagged(ID3v2Writer(3).Text("TIT2", 0, Latin("Lost")).SizeField({0, 0, 0, 0})),
         Expect().TagSize(10).Name(Named("", ""))},
        {"size bytes 7F FF FF FF", Tagged(ID3v2Writer(3).Text("TIT2", 0, Latin("Lost")).SizeField({0x7F, 0xFF, 0xFF, 0xFF})),
         Expect().TagSize(0).Name(Named("", ""))},
        {"size bytes FF FF FF FF", Tagged(ID3v2Writer(4).Text("TIT2", 0, Latin("Lost")).SizeField({0xFF, 0xFF, 0xFF, 0xFF})),
         Expect().TagSize(0).Name(Named("", ""))},
        {"largest syncsafe size", Tagged(ID3v2Writer(2).Text("TT2", 0, Latin("Lost")).SizeField({0x7F, 0x7F, 0x7F, 0x7F})),
         Expect().TagSize(0).Name(Named("", ""))},
        // A tag that is the whole file leaves no audio: the analysis is empty.
        {"tag exactly the file", titled,
         Expect().TagSize(static_cast<std::int32_t>(titled.size())).Title("Whole").NoFrame().Name(kNoAudioNoTag)},
        {"tag one byte beyond the file",
         ID3v2Writer(3).Text("TIT2", 0, Latin("Whole")).Padding(200).SizeField(Syncsafe(static_cast<std::uint32_t>(body + 1))).Build(),
         Expect().TagSize(0).NoFrame().Name(kNoAudioNoTag)},
        {"tag covering the audio to the last byte", coversAudio,
         Expect().TagSize(static_cast<std::int32_t>(coversAudio.size())).Title("Whole").NoFrame().Name(kNoAudioNoTag)},
        {"tag covering the audio and one byte more", beyondAudio, Expect().TagSize(0).Name(Named("", ""))},
        // An extended header whose size leads past the tag hides every frame.
        {"2.3 extended header of size FFFFFFFF",
         Tagged(ID3v2Writer(3, id3v2::kFlagExtendedHeader).Raw({0xFF, 0xFF, 0xFF, 0xFF}).Text("TIT2", 0, Latin("Hidden"))),
         Expect().Name(Named("", ""))},
        {"2.4 extended header of size FF FF FF FF",
         Tagged(ID3v2Writer(4, id3v2::kFlagExtendedHeader).Raw({0xFF, 0xFF, 0xFF, 0xFF}).Text("TIT2", 0, Latin("Hidden"))),
         Expect().Name(Named("", ""))},
    };
    for (const Case& c : cases) Run(c);
}

// A frame between a good title and the padding, with each absurd size. Its
// data is collected when the file holds a whole block of it; the sum of its
// position and size never wraps, so the walk always ends after it.
TEST_F(Hostile, FrameSizes) {
    struct Size {
        const char* name;
        Bytes field23;  // 2.3 and 2.4
        Bytes field22;
    };
    const Size sizes[] = {
        {"0", {0, 0, 0, 0}, {0, 0, 0}},
        {"7FFFFFFF", {0x7F, 0xFF, 0xFF, 0xFF}, {0x7F, 0xFF, 0xFF}},
        {"FFFFFFFF", {0xFF, 0xFF, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF}},
        {"7F7F7F7F", {0x7F, 0x7F, 0x7F, 0x7F}, {0x7F, 0x7F, 0x7F}},
    };
    std::vector<Case> cases;
    for (std::uint8_t version : std::initializer_list<std::uint8_t>{2, 3, 4}) {
        const bool v22 = version == 2;
        for (const Size& size : sizes) {
            for (std::size_t padding : {600, 70000}) {
                const Bytes data = Latin(std::string("\0Artist", 7));
                ID3v2Writer writer(version);
                writer.Text(v22 ? "TT2" : "TIT2", 0, Latin("Before"));
                writer.RawFrame(v22 ? "TP1" : "TPE1", v22 ? size.field22 : size.field23, data);
                writer.Padding(padding);
                const bool empty = size.field23[0] == 0;
                const std::size_t block = v22 ? id3v2::kBlockLengthV22 : id3v2::kBlockLengthV23;
                const bool whole = data.size() + padding + Audio().size() >= block;
                const std::string artist = !empty && whole ? "Artist" : "";
                cases.push_back({"version " + std::to_string(version) + ", size " + size.name + ", padding " +
                                     std::to_string(padding),
                                 Tagged(writer), Expect().Title("Before").Artist(artist).Name(Named(artist, "Before"))});
            }
        }
    }
    for (const Case& c : cases) Run(c);
}

TEST_F(Hostile, VbrHeaderCounts) {
    struct Counts {
        const char* name;
        bool xing;
        std::int32_t frames;
        std::int32_t bytes;
        int bitRate;
        std::string time;
    };
    // Without a usable frame count the table rate and the file size decide;
    // with one, an absurd byte count gives the low 16 bits of the rounded rate.
    const Counts counts[] = {
        {"Xing 0 frames, 0 bytes", true, 0, 0, 128, "00:01"},
        {"Xing -1 frames", true, -1, 418000, 128, "00:01"},
        {"Xing most negative counts", true, INT_MIN, INT_MIN, 128, "00:01"},
        {"Xing 1000 frames, 0 bytes", true, 1000, 0, 0, "00:26"},
        {"Xing 1000 frames, -418000 bytes", true, 1000, -418000, 65408, "00:26"},
        {"Xing largest counts", true, INT_MAX, INT_MAX, 0, "934958:52"},
        {"VBRI 0 frames", false, 0, 418000, 128, "00:01"},
        {"VBRI -1000 frames", false, -1000, 418000, 128, "00:01"},
        {"VBRI 1000 frames, -418000 bytes", false, 1000, -418000, 65408, "00:26"},
        {"VBRI most negative frames", false, INT_MIN, INT_MAX, 128, "00:01"},
    };
    std::vector<Case> cases;
    for (const Counts& c : counts) {
        Bytes file = Frame(Cbr128());
        if (c.xing) {
            PutXing(file, VbrHeaderOffset(Cbr128()), c.frames, c.bytes, 0, "LAME3.97");
        } else {
            PutVbri(file, VbrHeaderOffset(Cbr128()), c.bytes, c.frames, 0);
        }
        Append(file, Audio(kAudioFrames - 1));
        std::string time = c.time;
        std::replace(time.begin(), time.end(), ':', '.');
        cases.push_back({c.name, file,
                         Expect().NoID3v2().Rate(c.bitRate).Time(c.time).Name(Named("NOTAG", "NOTAG", std::to_string(c.bitRate) + "~" + time))});
    }
    for (const Case& c : cases) Run(c);
}

// Files cut at every byte of their first headers: the ID3v2 header, the first
// frame header and the first MPEG frame header. Nothing shorter than the
// ID3v1 tag can be analysed, so every one keeps its name.
TEST_F(Hostile, CutInsideTheFirstHeaders) {
    const Bytes whole = Concat({ID3v2Writer(3).Text("TIT2", 0, Latin("T")).Build(), Audio(),
                                ID3v1Tag(ID3v1Fields().Title("T1").Artist("A1"))});
    const std::size_t tagEnd = id3v2::kHeaderSize + 10 + 2;  // header, title frame header, "\0T"
    for (std::size_t length = 0; length <= tagEnd + mpeg::kHeaderSize; ++length) {
        Expect expect = Expect().NoTrailer().NotLoaded();
        if (length < id3v2::kHeaderSize) {
            expect.NoHeader();
        } else if (length >= tagEnd) {
            expect.TagSize(static_cast<std::int32_t>(tagEnd)).Title("T");
        } else {
            expect.TagSize(0);  // the tag would be larger than the file
        }
        Run({"first " + std::to_string(length) + " bytes", Bytes(whole.begin(), whole.begin() + length), expect});
    }
}

// Headers at the very edge of the tag or of the audio block, and files cut
// inside the ID3v1 tag.
TEST_F(Hostile, HeadersAndTrailersAtTheirEdges) {
    FrameFields largest;  // MPEG 1 Layer II, 384 kbit/s, 32 kHz: 1728 bytes
    largest.layer = 2;
    largest.bitRateIndex = 14;
    largest.sampleRateIndex = 2;
    ASSERT_EQ(FrameSize(largest), 1728u);
    auto at = [](std::size_t offset, const Bytes& frames, std::size_t size) {
        Bytes file(offset, 0);
        Append(file, frames);
        file.resize(size, 0);
        return file;
    };
    const std::size_t last = mpeg::kLastSearchPosition;
    // An empty artist frame whose header ends exactly where the tag ends still
    // counts: it replaces the artist before it.
    const Bytes emptyLast =
        ID3v2Writer(3).Text("TIT2", 0, Latin("T")).Text("TPE1", 0, Latin("Replaced")).Frame("TPE1", {}).Build();
    // A frame header that begins inside the tag and ends in the audio: its
    // size bytes come from the audio and point past the file.
    const Bytes crossing = ID3v2Writer(3).Text("TIT2", 0, Latin("T")).Raw(Latin(std::string("TALB\0", 5))).Build();
    const Bytes withTrailer = Concat({Audio(), ID3v1Tag(ID3v1Fields().Title("T1").Artist("A1"))});
    const Bytes tagOnly = ID3v1Tag(ID3v1Fields().Title("T1"));
    std::vector<Case> cases = {
        {"frame at the last search position", at(last, Audio(2), 8000),
         Expect().NoID3v2().Time("00:00").Name(Named("NOTAG", "NOTAG", "128~00.00"))},
        {"frame one byte after it", at(last + 1, Audio(2), 8000), Expect().NoID3v2().NoFrame().Name(kNoAudioNoTag)},
        // The follower's last byte lies past the block: read as zero it would
        // make a valid header, but a header not wholly in the block never passes.
        {"follower cut by the end of the block", at(mpeg::kBlockSize - 3 - 1728, Stream(largest, 2), 12000),
         Expect().NoID3v2().NoFrame().Name(kNoAudioNoTag)},
        {"empty frame header ending the tag", Concat({emptyLast, Audio()}), Expect().Title("T").Name(Named("", "T"))},
        {"frame header crossing the end of the tag", Concat({crossing, Audio()}),
         Expect().Title("T").Name(Named("", "T"))},
        // The ID3v1 tag is read, but without audio the analysis clears both readers.
        {"the ID3v1 tag alone", tagOnly, Expect().NoID3v2().WithID3v1().NoFrame().Name(kNoAudioNoTag)},
        {"the ID3v1 tag less its last byte", Bytes(tagOnly.begin(), tagOnly.end() - 1),
         Expect().NoID3v2().NoTrailer().NotLoaded()},
    };
    for (std::size_t cut : {1, 2, 3, 64, 125, 127, 128}) {
        cases.push_back({"last " + std::to_string(cut) + " bytes cut", Bytes(withTrailer.begin(), withTrailer.end() - cut),
                         Expect().NoID3v2().Name(Named("NOTAG", "NOTAG"))});
    }
    for (const Case& c : cases) Run(c);
}

// A title frame header on either side of the file layer's window edges.
TEST_F(Hostile, FrameHeadersAtTheEdgeOfAFileWindow) {
    std::vector<Case> cases;
    const std::size_t first = TFileSource::kFirstWindowSize;
    for (std::size_t edge : {first, first + TFileSource::kWindowSize}) {
        for (std::size_t offset = edge - 11; offset <= edge + 1; ++offset) {
            constexpr std::size_t kFrameHeader = 10;
            const std::size_t filler = offset - id3v2::kHeaderSize - kFrameHeader;
            ID3v2Writer writer(3);
            writer.Frame("TXXX", Bytes(filler, 'f')).Text("TIT2", 0, Latin("Edge")).Padding(100);
            cases.push_back({"title frame at " + std::to_string(offset), Tagged(writer),
                             Expect().Title("Edge").Name(Named("", "Edge"))});
        }
    }
    for (const Case& c : cases) Run(c);
}


// Tags in a row and unsynchronised tags with absurd contents: later tags are
// stepped over ten bytes at a time at least, an unsynchronised tag is read in
// one pass however its sizes point.
TEST_F(Hostile, RepeatedAndUnsynchronisedTags) {
    const Bytes first = ID3v2Writer(3).Text("TIT2", 0, Latin("First")).Build();
    Bytes emptyTags;
    for (int i = 0; i < 1000; ++i) Append(emptyTags, ID3v2Writer(3).Build());
    const Bytes rest = ID3v2Writer(4).Padding(200).Build();
    auto unsynchronised = [](ID3v2Writer writer) {
        Bytes tag = writer.Build();
        tag[5] |= id3v2::kFlagUnsynchronisation;
        return tag;
    };
    // Zeros after a large second tag fill the first audio block, and the middle
    // block, counted from the start of the file, falls on the first frame only
    // when the audio is taken to begin after both tags.
    const Bytes large = ID3v2Writer(4).Padding(20000).Build();
    const std::size_t audioStart = first.size() + large.size(), zeros = 4000;
    Bytes middle = Concat({first, large, Bytes(zeros, 0), Audio(8)});
    middle.resize(3 * audioStart + 2 * zeros, 0);
    const std::vector<Case> cases = {
        {"the middle block after a second tag", middle,
         Expect().Title("First").Time("00:03").Name(Named("", "First", "128~00.03"))},
        {"a thousand empty tags before the audio", Concat({first, emptyTags, Audio()}),
         Expect().TagSize(static_cast<std::int32_t>(first.size())).Title("First").Name(Named("", "First"))},
        {"a second tag to the end of the file", Concat({first, rest}),
         Expect().Title("First").NoFrame().Name(kNoAudioNoTag)},
        {"unsynchronised: a frame claiming 2 GB over FF bytes",
         Concat({unsynchronised(ID3v2Writer(3)
                                    .Text("TIT2", 0, Latin("Kept"))
                                    .RawFrame("TXXX", {0x7F, 0xFF, 0xFF, 0xFF}, Bytes(5000, 0xFF))),
                 Audio()}),
         Expect().Title("Kept").Name(Named("", "Kept"))},
        {"unsynchronised: FF 00 pairs only", Concat({unsynchronised(ID3v2Writer(3).Text("TIT2", 0, Latin("Kept")).Raw(
                                                         Concat({Bytes(3000, 0xFF), Bytes(3000, 0)}))),
                                                     Audio()}),
         Expect().Title("Kept").Name(Named("", "Kept"))},
        {"unsynchronised: extended header of size FFFFFFFF",
         Concat({unsynchronised(ID3v2Writer(3, id3v2::kFlagExtendedHeader)
                                    .Raw({0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0})
                                    .Text("TIT2", 0, Latin("Hidden"))),
                 Audio()}),
         Expect().Name(Named("", ""))},
        {"2.4 frames claiming their data length and more than the file",
         Concat({ID3v2Writer(4, id3v2::kFlagUnsynchronisation)
                     .Text("TIT2", 0, Latin("Kept"))
                     .RawFrame("TPE1", {0x7F, 0x7F, 0x7F, 0x7F}, {0xFF, 0, 0xFF}, {0, 0x03})
                     .Build(),
                 Audio()}),
         Expect().Title("Kept").Name(Named("", "Kept"))},
    };
    for (const Case& c : cases) Run(c);
}

// Files past 2 GB and 4 GB (sparse where the system allows), where 32-bit
// sizes and offsets would wrap: the tag at the start, the audio after it and
// the ID3v1 tag at the very end are all found, and nothing is written.
TEST_F(Hostile, FilesBeyondTwoAndFourGigabytes) {
    constexpr std::uint64_t kGiB = 1024ull * 1024 * 1024;
    const Bytes trailer = ID3v1Tag(ID3v1Fields().Title("End"));
    for (std::uint64_t size : {2 * kGiB + 4096, 4 * kGiB + 4096}) {
        SCOPED_TRACE(size);
        TempDir dir;
        const Bytes start = Tagged(ID3v2Writer(3).Text("TIT2", 0, Latin("Big")));
        const std::string path = dir.Write(kOldName, start);
        std::error_code error;
        std::filesystem::resize_file(path, size - trailer.size(), error);
        if (error) GTEST_SKIP() << "cannot make a file of " << size << " bytes: " << error.message();
        {
            std::ofstream out(path, std::ios::binary | std::ios::app);
            out.write(reinterpret_cast<const char*>(trailer.data()), static_cast<std::streamsize>(trailer.size()));
        }
        ASSERT_EQ(std::filesystem::file_size(path), size);

        TMPEGaudio audio;
        EXPECT_TRUE(audio.LoadFromFile(path.c_str()));
        EXPECT_TRUE(audio.frame.found);
        EXPECT_EQ(audio.frame.position, 0);
        EXPECT_EQ(audio.BitRate(), 128);
        EXPECT_EQ(audio.ID3v2Tag.Title, "Big");
        EXPECT_EQ(audio.ID3v2Tag.TagSize, static_cast<std::int32_t>(start.size() - kAudioFrames * kFrameLength));
        EXPECT_TRUE(audio.ID3v1Tag.HasTag);
        EXPECT_EQ(audio.ID3v1Tag.Title, "End");
        EXPECT_GT(audio.Duration(), 0.0);

        const std::string name = Process(path, true);
        EXPECT_EQ(name.rfind(dir.File("~Big~128~"), 0), 0u) << name;
        EXPECT_EQ(std::filesystem::file_size(path), size);
    }
}

}  // namespace
