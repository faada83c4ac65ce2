// The MPEG audio analyser on byte-exact fixtures.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "AudioChecks.h"
#include "AudioWriter.h"
#include "FaultySource.h"
#include "FileSource.h"
#include "MPEGaudio.h"
#include "TestFiles.h"

using namespace testing_support;

namespace {

constexpr std::size_t kBlock = mpeg::kBlockSize;

// With zeros up to the 128 bytes without which the ID3v1 reader fails the analysis.
bool Analyse(TMPEGaudio& audio, Bytes bytes) {
    if (bytes.size() < kID3v1TagSize) bytes.resize(kID3v1TagSize, 0);
    FaultySource source(bytes);
    return audio.LoadFromSource(source);
}

// Two frames of the fields, the first with a Xing header of these numbers.
void SetVbr(TMPEGaudio& audio, const FrameFields& fields, std::int32_t frames, std::int32_t bytes) {
    Bytes stream = Stream(fields, 2);
    PutXing(stream, VbrHeaderOffset(fields), frames, bytes, 0, "");
    ASSERT_TRUE(Analyse(audio, stream));
}

// Each rule rejects a header on its own.
TEST(MPEGHeader, RulesAndFields) {
    auto with = [](auto change) {
        FrameFields fields = kCbr128;
        change(fields);
        return HeaderBytes(fields);
    };
    const std::tuple<const char*, Bytes, bool> cases[] = {
        {"plain", {0xFF, 0xFB, 0x90, 0x64}, true},
        {"byte 0 not FF", {0xFE, 0xFB, 0x90, 0x64}, false},
        {"sync bit 5 of byte 1 clear", {0xFF, 0xDB, 0x90, 0x64}, false},
        {"sync bit 7 of byte 1 clear", {0xFF, 0x7B, 0x90, 0x64}, false},
        {"reserved version", with([](FrameFields& s) { s.version = 1; }), false},
        {"reserved layer", with([](FrameFields& s) { s.layer = 0; }), false},
        {"bit rate index 15", with([](FrameFields& s) { s.bitRateIndex = 15; }), false},
        {"free format", with([](FrameFields& s) { s.bitRateIndex = 0; }), false},
        {"sample rate index 3", with([](FrameFields& s) { s.sampleRateIndex = 3; }), false},
        {"emphasis 2", with([](FrameFields& s) { s.emphasis = 2; }), false},
        {"emphasis 1", with([](FrameFields& s) { s.emphasis = 1; }), true},
        {"emphasis 3", with([](FrameFields& s) { s.emphasis = 3; }), true},
        {"untested bits all set", with([](FrameFields& s) {
             s.crc = true, s.padded = true, s.privateBit = true, s.mode = 3, s.modeExtension = 3;
             s.copyright = true, s.original = true;
         }),
         true},
    };
    for (const auto& [name, header, valid] : cases) EXPECT_EQ(mpeg::THeader::At(header).IsValid(), valid) << name;

    // Every field of the word reaches the analysis.
    FrameFields fields = MpegFields(2, 2, 11, 1, true, 2);
    fields.crc = fields.privateBit = fields.copyright = true;
    fields.modeExtension = fields.emphasis = 3;
    const Bytes header = HeaderBytes(fields);
    EXPECT_EQ(mpeg::THeader::At(header).Word(),
              static_cast<std::uint32_t>(header[0] << 24 | header[1] << 16 | header[2] << 8 | header[3]));
    TMPEGaudio audio;
    ASSERT_TRUE(Analyse(audio, Stream(fields, 2)));
    const mpeg::FrameInfo& frame = audio.frame;
    ASSERT_TRUE(frame.found);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), frame.headerBytes.begin()));
    EXPECT_EQ(std::make_tuple(int{frame.versionCode}, int{frame.layerCode}, frame.crcProtected, int{frame.bitRateIndex},
                              int{frame.sampleRateIndex}, frame.padded, frame.privateBit, int{frame.modeCode},
                              int{frame.modeExtension}, frame.copyrighted, frame.originalBit, int{frame.emphasisCode}),
              std::make_tuple(2, 2, true, 11, 1, true, true, 2, 3, true, false, 3));
    EXPECT_EQ(audio.ChannelModeText(), "Dual Channel");
}

TEST(MPEGFrameLength, TablesAgreeWithTheStandardForEveryValidHeader) {
    // The writer's own sums, pinned where each table differs.
    const std::pair<FrameFields, std::size_t> pinned[] = {
        {MpegFields(3, 1, 9, 0), 417u},        {MpegFields(3, 1, 9, 0, true), 418u},
        {MpegFields(3, 2, 14, 2, true), 1729u}, {MpegFields(2, 1, 8, 0), 208u},
        {MpegFields(2, 2, 8, 0), 417u},        {MpegFields(2, 3, 4, 0, true), 143u},
        {MpegFields(0, 1, 8, 2), 576u},        {MpegFields(0, 2, 14, 2, true), 2881u}};
    for (const auto& [fields, size] : pinned) EXPECT_EQ(FrameSize(fields), size);
    for (int version : {0, 2, 3}) {
        for (int layer = 1; layer <= 3; ++layer) {
            for (int index = 1; index <= 14; ++index) {
                for (int rate = 0; rate <= 2; ++rate) {
                    for (bool padded : {false, true}) {
                        const FrameFields fields = MpegFields(version, layer, index, rate, padded);
                        SCOPED_TRACE(testing::Message() << "version " << version << " layer " << layer << " index "
                                                        << index << " rate " << rate << " padded " << padded);
                        TMPEGaudio audio;
                        ASSERT_TRUE(Analyse(audio, Stream(fields, 2)));
                        ASSERT_TRUE(audio.frame.found);
                        EXPECT_EQ(audio.BitRate(), BitRateKbps(fields));
                        EXPECT_EQ(audio.SampleRate(), SampleRateHz(fields));
                        EXPECT_EQ(audio.frame.length, FrameSize(fields));
                    }
                }
            }
        }
    }
}

TEST(MPEGFindFrame, SearchCases) {
    const FrameFields& cbr = kCbr128;
    const FrameFields largest = MpegFields(3, 2, 14, 2, true);  // 1729 bytes
    auto at = [](std::size_t offset, const Bytes& what, Bytes bytes = {}) {
        if (bytes.size() < offset) bytes.resize(offset);
        Put(bytes, offset, std::string_view(reinterpret_cast<const char*>(what.data()), what.size()));
        return bytes;
    };
    const std::tuple<const char*, Bytes, int> cases[] = {  // position, -1: none
        {"a lone header", HeaderBytes(cbr), -1},
        {"header whose follower is invalid, then a pair", at(100, Stream(cbr, 2), Frame(cbr, 0x11)), 100},
        {"follower one byte off", at(418, HeaderBytes(cbr), HeaderBytes(cbr)), -1},
        {"follower of another version and rate", at(417, HeaderBytes(MpegFields(2, 1, 8, 1)), HeaderBytes(cbr)), 0},
        {"false sync just before", at(1, Stream(cbr, 2), {0xFF}), 1},
        {"pair at the last position", at(1729, Stream(cbr, 2)), 1729},
        {"pair one past the last position", at(1730, Stream(cbr, 2)), -1},
        {"follower ends the block exactly", at(1725 + 1729, HeaderBytes(largest), at(1725, HeaderBytes(largest))), 1725},
        {"follower runs past the block", at(1726 + 1729, HeaderBytes(largest), at(1726, HeaderBytes(largest))), -1},
    };
    for (const auto& [name, bytes, position] : cases) {
        TMPEGaudio audio;
        ASSERT_TRUE(Analyse(audio, bytes)) << name;
        EXPECT_EQ(audio.frame.found, position >= 0) << name;
        if (position >= 0) {
            EXPECT_EQ(audio.frame.position, position) << name;
        }
    }
}

// Both layouts' fields, read at the side-information offset of every version
// and mode, and nowhere else.
TEST(MPEGVbrHeader, RecognisedOnlyAtTheSideInfoOffset) {
    const std::string_view vendor("LAME\0\0.9", 8);  // eight bytes verbatim, zeros included
    for (int version : {0, 2, 3}) {
        for (int mode = 0; mode <= 3; ++mode) {
            const FrameFields fields = MpegFields(version, 1, 8, version == 3 ? 0 : 2, false, mode);
            for (const std::string signature : {"Xing", "VBRI", "Info", "xing"}) {
                for (int shift : {-1, 0, 1}) {
                    SCOPED_TRACE(testing::Message() << "version " << version << " mode " << mode << " " << signature
                                                    << " shift " << shift);
                    Bytes bytes = Stream(fields, 2);
                    const std::size_t at = VbrHeaderOffset(fields) + shift;
                    if (signature == "VBRI") {
                        PutVbri(bytes, at, 418000, 1000, 0x4B);
                    } else {
                        PutXing(bytes, at, 1000, 418000, 0x57, vendor, signature);
                    }
                    TMPEGaudio audio;
                    ASSERT_TRUE(Analyse(audio, bytes));
                    ASSERT_TRUE(audio.frame.found);
                    const bool expected = shift == 0 && (signature == "Xing" || signature == "VBRI");
                    ASSERT_EQ(audio.vbr.found, expected);
                    if (!expected) continue;
                    const mpeg::VBRData& v = audio.vbr;
                    const bool xing = signature == "Xing";
                    EXPECT_EQ(std::make_tuple(std::string(v.signature.data(), 4), v.frameCount, v.byteCount,
                                              int{v.quality}, v.vendor),
                              std::make_tuple(signature, 1000, 418000, xing ? 0x57 : 0x4B,
                                              xing ? std::string(vendor) : std::string()));
                }
            }
        }
    }
}

// The tail block holds the last 3458 bytes of the audio; the scan covers five
// frame lengths (2085 bytes at 128 kbit/s), at most the whole block.
TEST(MPEGFindEncoder, NearestToTheEndWins) {
    const FrameFields& cbr = kCbr128;
    const FrameFields largest = MpegFields(3, 2, 14, 2, true);
    struct Case {
        const char* name;
        std::vector<std::pair<std::size_t, std::string_view>> marks;  // offset in the tail block, text
        const FrameFields& fields;
        std::string expected;
    };
    const Case cases[] = {
        {"LAME at the end", {{3450, "LAME3.97"}}, cbr, "LAME3.97"},
        {"GOGO nearer the end than LAME", {{1500, "LAME3.97"}, {3000, "GOGO"}}, largest, "GOGO"},
        {"LAME nearer the end than GOGO", {{1500, "GOGO"}, {3000, "LAME3.97"}}, largest, "LAME3.97"},
        {"eight bytes verbatim, zeros included", {{3000, std::string_view("LAME\0\x01\0z", 8)}}, cbr,
         std::string("LAME\0\x01\0z", 8)},
        {"letter case counts", {{3000, "lame3.97"}, {3100, "Gogo"}}, cbr, ""},
        {"at the extent's edge", {{3450 - 2085, "LAME3.97"}}, cbr, "LAME3.97"},
        {"one byte beyond the extent", {{3450 - 2086, "LAME3.97"}}, cbr, ""},
        {"an extent past the block is cut to it", {{0, "LAME3.97"}}, largest, "LAME3.97"},
        {"a window past the block is never examined", {{3452, "LAME"}}, largest, ""},
    };
    for (const Case& c : cases) {
        Bytes file = Stream(c.fields, &c.fields == &cbr ? 20 : 5);
        for (const auto& [offset, text] : c.marks) Put(file, file.size() - kBlock + offset, text);
        TMPEGaudio audio;
        ASSERT_TRUE(Analyse(audio, file)) << c.name;
        ASSERT_TRUE(audio.frame.found) << c.name;
        EXPECT_EQ(audio.encoderText, c.expected) << c.name;
    }
}

// From a VBR header's counts, or from the file's size less the tags and the
// first frame's position.
TEST(MPEGRates, BitRateAndPlayTime) {
    const FrameFields& cbr = kCbr128;
    const FrameFields layer1 = MpegFields(3, 3, 4, 1);  // 48000 Hz, coefficient 48: bit rate = bytes per frame
    struct Case {
        const char* name;
        FrameFields fields;
        std::int32_t frames, bytes;                  // of the VBR header; none without frames
        std::int32_t fileLength, tagSize, position;  // set as given with a file length
        bool id3v1;
        int bitRate;
        double seconds;
        const char* text;
    };
    const Case cases[] = {
        {"1000 frames, 418000 bytes", cbr, 1000, 418000, 0, 0, 0, false, 128, 1000 * 1152 / 44100.0, "00:26"},
        {"half goes to even, down", layer1, 2, 257, 0, 0, 0, false, 128, 0.016, "00:00"},
        {"half goes to even, up", layer1, 2, 259, 0, 0, 0, false, 130, 0.016, "00:00"},
        {"the first frame's padding is taken off", MpegFields(3, 3, 4, 1, true), 2, 265, 0, 0, 0, false, 128, 0.016,
         "00:00"},
        {"low 16 bits of a large value", layer1, 1, 65536 + 100, 0, 0, 0, false, 100, 0.008, "00:00"},
        {"low 16 bits of the largest count", layer1, 1, std::numeric_limits<std::int32_t>::max(), 0, 0, 0, false,
         65535, 0.008, "00:00"},
        {"low 16 bits of a negative value", layer1, 1, -1000, 0, 0, 0, false, 64536, 0.008, "00:00"},
        {"4000128 bytes with ID3v1", cbr, 0, 0, 4000128, 0, 0, true, 128, 250.0, "04:10"},
        {"tag and frame position come off", cbr, 0, 0, 4001024, 1000, 24, false, 128, 250.0, "04:10"},
        {"over an hour", cbr, 0, 0, 59606400, 0, 0, false, 128, 3725.4, "62:05"},
        {"nine minutes keep two digits", cbr, 0, 0, 9584000, 0, 0, false, 128, 599.0, "09:59"},
        {"exactly 59.9995 s: the half goes to even", cbr, 0, 0, 959992, 0, 0, false, 128, 59.9995, "01:00"},
        {"59.9995 s less a byte", cbr, 0, 0, 959991, 0, 0, false, 128, 59.9994375, "00:59"},
        {"a tag larger than the file gives its magnitude", cbr, 0, 0, 1000, 17000, 0, false, 128, -1.0, "00:01"},
        {"a hundred minutes", cbr, 0, 0, 96000000, 0, 0, false, 128, 6000.0, "100:00"},
        {"just short of a hundred minutes", cbr, 0, 0, 95999990, 0, 0, false, 128, 5999.999375, "99:59"},
    };
    for (const Case& c : cases) {
        TMPEGaudio audio;
        if (c.frames != 0) {
            SetVbr(audio, c.fields, c.frames, c.bytes);
            ASSERT_TRUE(audio.vbr.found) << c.name;
        } else {
            ASSERT_TRUE(Analyse(audio, Stream(c.fields, 2)));
            audio.frame.position = c.position;
            audio.fileLength = c.fileLength;
            audio.ID3v2Tag.TagSize = c.tagSize;
            audio.ID3v1Tag.HasTag = c.id3v1;
        }
        EXPECT_EQ(audio.BitRate(), c.bitRate) << c.name;
        EXPECT_NEAR(audio.Duration(), c.seconds, 1e-9) << c.name;
        EXPECT_EQ(audio.DurationText(), c.text) << c.name;
    }
}

class MPEGLoad : public ::testing::Test {
protected:
    TempDir dir;
    TMPEGaudio audio;

    bool Load(const Bytes& bytes) { return audio.LoadFromFile(dir.Write("x.mp3", bytes).c_str()); }
};

// Each load replaces what the one before it found; no frame, no file or a
// folder leaves nothing, as Clear does.
TEST_F(MPEGLoad, EachLoadReplacesTheLast) {
    ExpectEmpty(audio);
    Bytes cbr = Stream(kCbr128, 20);
    Put(cbr, cbr.size() - 100, "LAME3.97");
    ASSERT_TRUE(Load(cbr));
    EXPECT_EQ(audio.frame.position, 0);
    EXPECT_EQ(audio.fileLength, 20 * 417);
    EXPECT_EQ(audio.BitRate(), 128);
    EXPECT_EQ(audio.SampleRate(), 44100);
    EXPECT_EQ(audio.ChannelModeText(), "Joint Stereo");
    EXPECT_DOUBLE_EQ(audio.Duration(), 20 * 417 * 8 / 128000.0);
    EXPECT_EQ(audio.encoderText, "LAME3.97");

    Bytes vbr = XingFrame(kCbr128, 1000, 418000);  // a VBR header skips the tail scan
    Append(vbr, cbr);
    ASSERT_TRUE(Load(vbr));
    EXPECT_TRUE(audio.vbr.found);
    EXPECT_EQ(audio.vbr.vendor, "LAME3.97");
    EXPECT_EQ(audio.encoderText, "");
    EXPECT_EQ(audio.DurationText(), "00:26");

    ASSERT_TRUE(Load(Stream(MpegFields(2, 1, 8, 0, false, 3), 30)));
    EXPECT_FALSE(audio.vbr.found);
    EXPECT_EQ(audio.BitRate(), 64);
    EXPECT_EQ(audio.SampleRate(), 22050);
    EXPECT_EQ(audio.ChannelModeText(), "Mono");
    audio.encoderText = "GOGO";
    audio.ID3v1Tag.HasTag = audio.ID3v2Tag.HasTag = true;
    audio.Clear();
    ExpectEmpty(audio);

    EXPECT_TRUE(Load(Concat({Bytes(20000, 0x55), ID3v1Tag(ID3v1Fields().Title("Title"))})));
    ExpectEmpty(audio);
    for (const std::string& path : {dir.File("absent.mp3"), dir.Path()}) {
        SetVbr(audio, kCbr128, 1000, 418000);
        EXPECT_FALSE(audio.LoadFromFile(path.c_str())) << path;
        ExpectEmpty(audio);
    }
}

// The tail ends where the audio ends: a signature inside the ID3v1 tag never
// counts, and a file shorter than the block has zeros before its bytes.
TEST_F(MPEGLoad, TheTailEndsWhereTheAudioEnds) {
    const std::size_t reach = 3450 - 5 * 417;
    for (bool id3v1 : {false, true}) {
        for (std::size_t frames : {30, 7}) {
            for (bool inReach : {true, false}) {
                Bytes file = Stream(kCbr128, frames);
                const std::size_t blockStart = file.size() >= kBlock ? file.size() - kBlock : 0;
                const std::size_t zeros = file.size() >= kBlock ? 0 : kBlock - file.size();
                Put(file, blockStart + reach - zeros - (inReach ? 0 : 1), "GOGO");
                if (id3v1) Append(file, ID3v1Tag(ID3v1Fields().Title("LAME3.97")));
                SCOPED_TRACE(testing::Message() << "ID3v1 " << id3v1 << " frames " << frames << " in reach " << inReach);
                ASSERT_TRUE(Load(file));
                EXPECT_EQ(audio.ID3v1Tag.HasTag, id3v1);
                EXPECT_EQ(audio.encoderText, inReach ? "GOGO" : "");
                EXPECT_DOUBLE_EQ(audio.Duration(), static_cast<double>(frames * 417 * 8) / 128000.0);
            }
        }
    }
    for (const auto& [size, id3v1] : std::initializer_list<std::pair<std::size_t, bool>>{
             {834, false}, {834, true}, {3000, true}, {kBlock - 1, false}, {kBlock, true}}) {
        Bytes file = Stream(kCbr128, 9);
        file.resize(size);
        if (id3v1) Append(file, ID3v1Tag(ID3v1Fields().Title("t")));
        EXPECT_TRUE(Load(file)) << size;
        EXPECT_EQ(audio.BitRate(), 128) << size;
        EXPECT_DOUBLE_EQ(audio.Duration(), static_cast<double>(size * 8) / 128000.0) << size;
    }
}

// Frames only around the middle: the first block holds none, the one at
// (size - tag) / 2, counted from the start of the file, does.
TEST_F(MPEGLoad, SecondAttemptAtTheMiddle) {
    struct Case {
        const char* name;
        std::size_t tagBody, size;
        bool found;
    };
    const Case cases[] = {
        {"no tag", 0, 20000, true},
        {"middle counted from the start of the file", 990, 20000, true},
        {"exactly one block: the second read is short", 0, kBlock, true},
        {"one byte short of a block: no second attempt", 0, kBlock - 1, false},
    };
    for (const Case& c : cases) {
        Bytes file = c.tagBody > 0 ? ID3v2Writer(3).Padding(c.tagBody).Build() : Bytes{};
        const std::size_t tagSize = file.size();
        file.resize(c.size, 0);
        const std::size_t middle = (c.size - tagSize) / 2;
        Put(file, middle + 10, "\xFF\xFB\x90\x64");
        Put(file, middle + 10 + 417, "\xFF\xFB\x90\x64");
        ASSERT_GT(middle + 10, 1729u + tagSize) << c.name;  // beyond the first block's reach
        EXPECT_TRUE(Load(file)) << c.name;
        EXPECT_EQ(audio.frame.found, c.found) << c.name;
        if (!c.found) continue;
        EXPECT_EQ(audio.frame.position, 10) << c.name;
        // The position is taken as it is, as if it counted from the tag's end.
        EXPECT_DOUBLE_EQ(audio.Duration(), static_cast<double>((c.size - tagSize - 10) * 8) / 128000.0) << c.name;
        EXPECT_EQ(audio.ID3v2Tag.TagSize, static_cast<std::int32_t>(tagSize)) << c.name;
    }
}

}  // namespace
