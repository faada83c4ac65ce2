// A hostile corpus written at test time: absurd sizes in tag, frame and VBR
// headers, files cut inside a header or the ID3v1 tag, headers at the edge of
// a block or a file window. Each file goes through the three readers by path,
// through memory, and through process (preview and rename), and must give
// what the readers promise and come out byte for byte unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
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

constexpr std::size_t kAudioFrames = 40;  // 16680 bytes: 1.04 s at 128 kbit/s
const std::string kOldName = "x.mp3";
const std::string kNoAudioNoTag = "NOTAG~NOTAG~0~00.00.mp3";

Bytes Audio(std::size_t frames = kAudioFrames) { return CbrAudio(frames); }
Bytes Tagged(const ID3v2Writer& writer) { return Concat({writer.Build(), Audio()}); }

// New names for the pattern "*artist*~*title*~*bitrate*~*time*".
std::string Named(const std::string& artist, const std::string& title, const std::string& rest = "128~00.01") {
    return artist + "~" + title + "~" + rest + ".mp3";
}

// What the rules give for one file, set by chained calls; the defaults
// describe a tag followed by one second of 128 kbit/s audio.
struct Expect {
    bool id3v2Read = true, hasID3v2 = true;
    std::int32_t tagSize = -1;  // -1: not checked
    std::string title, artist;
    bool id3v1Read = true, hasID3v1 = false, loaded = true, found = true;
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

class Hostile : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        SetPattern("*artist*~*title*~*bitrate*~*time*");
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

        const std::string name = e.newName.empty() ? kOldName : e.newName;
        EXPECT_EQ(Process(path, true), dir.File(name));
        EXPECT_EQ(Process(path, false), dir.File(name));
        EXPECT_EQ(ListDir(dir.Path()), std::vector<std::string>{name});
        EXPECT_TRUE(Contents(dir.File(name)) == c.bytes) << "changed";
    }
};

// Every file of the corpus goes through the same checks; the blocks below
// differ only in what they write.
TEST_F(Hostile, Corpus) {
    std::vector<Case> cases;
    Bytes coversAudio = Tagged(ID3v2Writer(3).Text("TIT2", 0, Latin("Whole")).Padding(40));
    const auto coversAll = static_cast<std::uint32_t>(coversAudio.size() - id3v2::kHeaderSize);
    std::copy_n(Syncsafe(coversAll).begin(), 4, coversAudio.begin() + 6);
    Bytes beyondAudio = coversAudio;
    std::copy_n(Syncsafe(coversAll + 1).begin(), 4, beyondAudio.begin() + 6);
    auto lost = [](std::uint8_t version, Bytes size) {
        return Tagged(ID3v2Writer(version).Text(version == 2 ? "TT2" : "TIT2", 0, Latin("Lost")).SizeField(size));
    };
    auto hidden = [](std::uint8_t version) {
        return Tagged(ID3v2Writer(version, id3v2::kFlagExtendedHeader).Raw({0xFF, 0xFF, 0xFF, 0xFF}).Text("TIT2", 0, Latin("Hidden")));
    };
    const Expect covered = Expect().Title("Whole").NoFrame().Name(kNoAudioNoTag);
    cases.insert(cases.end(), {
        // Frames after a tag of size 0 are audio as far as the walk knows.
        {"size 0", lost(3, {0, 0, 0, 0}), Expect().TagSize(10).Name(Named("", ""))},
        {"size bytes 7F FF FF FF", lost(3, {0x7F, 0xFF, 0xFF, 0xFF}), Expect().TagSize(0).Name(Named("", ""))},
        {"size bytes FF FF FF FF", lost(4, {0xFF, 0xFF, 0xFF, 0xFF}), Expect().TagSize(0).Name(Named("", ""))},
        {"largest syncsafe size", lost(2, {0x7F, 0x7F, 0x7F, 0x7F}), Expect().TagSize(0).Name(Named("", ""))},
        {"tag covering the audio to the last byte", coversAudio,
         Expect(covered).TagSize(static_cast<std::int32_t>(coversAudio.size()))},
        {"tag covering the audio and one byte more", beyondAudio, Expect().TagSize(0).Name(Named("", ""))},
        // An extended header whose size leads past the tag hides every frame.
        {"2.3 extended header of size FFFFFFFF", hidden(3), Expect().Name(Named("", ""))},
        {"2.4 extended header of size FF FF FF FF", hidden(4), Expect().Name(Named("", ""))},
    });

    // A frame between a good title and the padding, with each absurd size: its
    // data is collected when the file holds a whole block of it, and the walk
    // always ends after it.
    const std::pair<const char*, Bytes> sizes[] = {
        {"0", {0, 0, 0, 0}}, {"7FFFFFFF", {0x7F, 0xFF, 0xFF, 0xFF}}, {"FFFFFFFF", {0xFF, 0xFF, 0xFF, 0xFF}},
        {"7F7F7F7F", {0x7F, 0x7F, 0x7F, 0x7F}}};
    for (std::uint8_t version : std::initializer_list<std::uint8_t>{2, 3, 4}) {
        const bool v22 = version == 2;
        for (const auto& [name, field] : sizes) {
            for (std::size_t padding : {600, 70000}) {
                const Bytes data = Latin(std::string("\0Artist", 7));
                ID3v2Writer writer(version);
                writer.Text(v22 ? "TT2" : "TIT2", 0, Latin("Before"))
                    .RawFrame(v22 ? "TP1" : "TPE1", v22 ? Bytes(field.begin(), field.end() - 1) : field, data)
                    .Padding(padding);
                const std::size_t block = v22 ? id3v2::kBlockLengthV22 : id3v2::kBlockLengthV23;
                const bool whole = data.size() + padding + Audio().size() >= block;
                const std::string artist = field[0] != 0 && whole ? "Artist" : "";
                cases.push_back({"version " + std::to_string(version) + ", size " + name + ", padding " +
                                     std::to_string(padding),
                                 Tagged(writer), Expect().Title("Before").Artist(artist).Name(Named(artist, "Before"))});
            }
        }
    }

    // Without a usable frame count the table rate and the file size decide; with
    // one, an absurd byte count gives the low 16 bits of the rounded rate.
    struct Counts {
        const char* name;
        bool xing;
        std::int32_t frames, bytes;
        int bitRate;
        std::string time;
    };
    const Counts counts[] = {
        {"Xing 0 frames, 0 bytes", true, 0, 0, 128, "00:01"},
        {"Xing -1 frames", true, -1, 418000, 128, "00:01"},
        {"Xing most negative counts", true, INT_MIN, INT_MIN, 128, "00:01"},
        {"Xing 1000 frames, 0 bytes", true, 1000, 0, 0, "00:26"},
        {"Xing 1000 frames, -418000 bytes", true, 1000, -418000, 65408, "00:26"},
        {"Xing largest counts", true, INT_MAX, INT_MAX, 0, "934958:52"},
        {"VBRI 0 frames", false, 0, 418000, 128, "00:01"},
        {"VBRI -1000 frames", false, -1000, 418000, 128, "00:01"},
        {"VBRI most negative frames", false, INT_MIN, INT_MAX, 128, "00:01"},
    };
    for (const Counts& c : counts) {
        Bytes file = Frame(kCbr128);
        if (c.xing) {
            PutXing(file, VbrHeaderOffset(kCbr128), c.frames, c.bytes, 0, "LAME3.97");
        } else {
            PutVbri(file, VbrHeaderOffset(kCbr128), c.bytes, c.frames, 0);
        }
        Append(file, Audio(kAudioFrames - 1));
        std::string time = c.time;
        std::replace(time.begin(), time.end(), ':', '.');
        cases.push_back({c.name, file, Expect().NoID3v2().Rate(c.bitRate).Time(c.time).Name(
                                           Named("NOTAG", "NOTAG", std::to_string(c.bitRate) + "~" + time))});
    }

    // Cut at every byte of the ID3v2 header, the first frame header and the
    // first MPEG header: nothing shorter than the ID3v1 tag can be analysed.
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
        cases.push_back({"first " + std::to_string(length) + " bytes", Bytes(whole.begin(), whole.begin() + length), expect});
    }

    // An empty frame whose header ends exactly at the tag's end still replaces the artist.
    const Bytes emptyLast =
        ID3v2Writer(3).Text("TIT2", 0, Latin("T")).Text("TPE1", 0, Latin("Replaced")).Frame("TPE1", {}).Build();
    // A frame header that begins in the tag and ends in the audio: its size points past the file.
    const Bytes crossing = ID3v2Writer(3).Text("TIT2", 0, Latin("T")).Raw(Latin(std::string("TALB\0", 5))).Build();
    const Bytes withTrailer = Concat({Audio(), ID3v1Tag(ID3v1Fields().Title("T1").Artist("A1"))});
    const Bytes tagOnly = ID3v1Tag(ID3v1Fields().Title("T1"));
    cases.insert(cases.end(), {
        {"empty frame header ending the tag", Concat({emptyLast, Audio()}), Expect().Title("T").Name(Named("", "T"))},
        {"frame header crossing the end of the tag", Concat({crossing, Audio()}),
         Expect().Title("T").Name(Named("", "T"))},
        // Read, but without audio the analysis clears both readers.
        {"the ID3v1 tag alone", tagOnly, Expect().NoID3v2().WithID3v1().NoFrame().Name(kNoAudioNoTag)},
        {"the ID3v1 tag less its last byte", Bytes(tagOnly.begin(), tagOnly.end() - 1),
         Expect().NoID3v2().NoTrailer().NotLoaded()},
    });
    for (std::size_t cut : {1, 2, 3, 64, 125, 127, 128}) {
        cases.push_back({"last " + std::to_string(cut) + " bytes cut", Bytes(withTrailer.begin(), withTrailer.end() - cut),
                         Expect().NoID3v2().Name(Named("NOTAG", "NOTAG"))});
    }
    // A title frame header on either side of the file layer's window edges.
    for (std::size_t edge : {TFileSource::kFirstWindowSize, TFileSource::kFirstWindowSize + TFileSource::kWindowSize}) {
        for (std::size_t offset = edge - 11; offset <= edge + 1; ++offset) {
            const ID3v2Writer writer = ID3v2Writer(3).Frame("TXXX", Bytes(offset - id3v2::kHeaderSize - 10, 'f'))
                                           .Text("TIT2", 0, Latin("Edge")).Padding(100);
            cases.push_back({"title frame at " + std::to_string(offset), Tagged(writer),
                             Expect().Title("Edge").Name(Named("", "Edge"))});
        }
    }

    // Later tags are stepped over ten bytes at a time at least; an unsynchronised
    // tag is read in one pass however its sizes point.
    const Bytes first = ID3v2Writer(3).Text("TIT2", 0, Latin("First")).Build();
    Bytes emptyTags;
    for (int i = 0; i < 1000; ++i) Append(emptyTags, ID3v2Writer(3).Build());
    auto unsynchronised = [](const ID3v2Writer& writer) {
        Bytes tag = writer.Build();
        tag[5] |= id3v2::kFlagUnsynchronisation;
        return Concat({tag, Audio()});
    };
    // Zeros after a large second tag fill the first audio block; the middle
    // block falls on the first frame only when the audio begins after both tags.
    const Bytes large = ID3v2Writer(4).Padding(20000).Build();
    const std::size_t audioStart = first.size() + large.size(), zeros = 4000;
    Bytes middle = Concat({first, large, Bytes(zeros, 0), Audio(8)});
    middle.resize(3 * audioStart + 2 * zeros, 0);
    const Expect kept = Expect().Title("Kept").Name(Named("", "Kept"));
    cases.insert(cases.end(), {
        {"the middle block after a second tag", middle,
         Expect().Title("First").Time("00:03").Name(Named("", "First", "128~00.03"))},
        {"a thousand empty tags before the audio", Concat({first, emptyTags, Audio()}),
         Expect().TagSize(static_cast<std::int32_t>(first.size())).Title("First").Name(Named("", "First"))},
        {"unsynchronised: a frame claiming 2 GB over FF bytes",
         unsynchronised(ID3v2Writer(3).Text("TIT2", 0, Latin("Kept")).RawFrame("TXXX", {0x7F, 0xFF, 0xFF, 0xFF},
                                                                              Bytes(5000, 0xFF))),
         kept},
        {"unsynchronised: FF 00 pairs only",
         unsynchronised(ID3v2Writer(3).Text("TIT2", 0, Latin("Kept")).Raw(Concat({Bytes(3000, 0xFF), Bytes(3000, 0)}))),
         kept},
        {"unsynchronised: extended header of size FFFFFFFF",
         unsynchronised(ID3v2Writer(3, id3v2::kFlagExtendedHeader).Raw({0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0})
                            .Text("TIT2", 0, Latin("Hidden"))),
         Expect().Name(Named("", ""))},
        {"2.4 frames claiming their data length and more than the file",
         Tagged(ID3v2Writer(4, id3v2::kFlagUnsynchronisation).Text("TIT2", 0, Latin("Kept"))
                    .RawFrame("TPE1", {0x7F, 0x7F, 0x7F, 0x7F}, {0xFF, 0, 0xFF}, {0, 0x03})),
         kept},
    });
    for (const Case& c : cases) Run(c);
}

// Past 2 GB and 4 GB (sparse where the system allows), where 32-bit sizes and
// offsets would wrap: the tag, the audio and the ID3v1 tag are all found.
TEST_F(Hostile, FilesBeyondTwoAndFourGigabytes) {
    constexpr std::uint64_t kGiB = 1024ull * 1024 * 1024;
    const Bytes trailer = ID3v1Tag(ID3v1Fields().Title("End"));
    const Bytes tag = ID3v2Writer(3).Text("TIT2", 0, Latin("Big")).Build();
    for (std::uint64_t size : {2 * kGiB + 4096, 4 * kGiB + 4096}) {
        SCOPED_TRACE(size);
        TempDir dir;
        const std::string path = dir.Write(kOldName, Concat({tag, Audio()}));
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
        EXPECT_EQ(audio.frame.position, 0);
        EXPECT_EQ(audio.BitRate(), 128);
        EXPECT_EQ(audio.ID3v2Tag.Title, "Big");
        EXPECT_EQ(audio.ID3v2Tag.TagSize, static_cast<std::int32_t>(tag.size()));
        EXPECT_EQ(audio.ID3v1Tag.Title, "End");
        EXPECT_GT(audio.Duration(), 0.0);
        const std::string name = Process(path, true);
        EXPECT_EQ(name.rfind(dir.File("~Big~128~"), 0), 0u) << name;
        EXPECT_EQ(std::filesystem::file_size(path), size);
    }
}

}  // namespace
