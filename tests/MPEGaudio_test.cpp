// The MPEG audio analyser on byte-exact fixtures: header test, frame lengths,
// frame search, VBR headers, encoder scan, bit rate and play time, and whole
// files read through the file layer and through a layer that fails on demand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "AudioWriter.h"
#include "FaultySource.h"
#include "FileSource.h"
#include "MPEGaudio.h"
#include "TestFiles.h"

using namespace testing_support;

namespace {

constexpr std::size_t kBlock = mpeg::kBlockSize;

// 128 kbit/s, 44100 Hz, joint stereo MPEG 1 Layer III: FF FB 90 64.
FrameFields Cbr128() {
    FrameFields fields;
    fields.modeExtension = 2;
    return fields;
}

mpeg::THeader HeaderOf(const Bytes& bytes) { return mpeg::THeader::At(bytes); }

// The analysis of bytes in memory, with zeros after them up to the 128 bytes
// without which the ID3v1 reader fails the whole analysis.
bool Analyse(TMPEGaudio& audio, Bytes bytes) {
    if (bytes.size() < kID3v1TagSize) bytes.resize(kID3v1TagSize, 0);
    FaultySource source(bytes);
    return audio.LoadFromSource(source);
}

// --- header test and decoding ------------------------------------------------

TEST(MPEGHeader, EachRuleRejectsOnItsOwn) {
    struct Case {
        const char* name;
        Bytes header;
        bool valid;
    };
    auto with = [](auto change) {
        FrameFields fields = Cbr128();
        change(fields);
        return HeaderBytes(fields);
    };
    const Case cases[] = {
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
        {"MPEG 2.5 Layer I", with([](FrameFields& s) { s.version = 0, s.layer = 3, s.sampleRateIndex = 2; }), true},
        {"MPEG 2 Layer II index 14", with([](FrameFields& s) { s.version = 2, s.layer = 2, s.bitRateIndex = 14; }),
         true},
    };
    for (const Case& c : cases) EXPECT_EQ(HeaderOf(c.header).IsValid(), c.valid) << c.name;
}

TEST(MPEGHeader, EveryFieldOfTheWordReachesTheAnalysis) {
    FrameFields fields = MpegFields(2, 2, 11, 1, true, 2);
    fields.crc = true;
    fields.privateBit = true;
    fields.modeExtension = 3;
    fields.copyright = true;
    fields.original = false;
    fields.emphasis = 3;
    const Bytes header = HeaderBytes(fields);
    const mpeg::THeader word = HeaderOf(header);
    EXPECT_EQ(word.Word(), static_cast<std::uint32_t>(header[0] << 24 | header[1] << 16 | header[2] << 8 | header[3]));
    EXPECT_TRUE(word.IsValid());

    TMPEGaudio audio;
    ASSERT_TRUE(Analyse(audio, Stream(fields, 2)));
    const mpeg::FrameInfo& frame = audio.frame;
    ASSERT_TRUE(frame.found);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), frame.headerBytes.begin()));
    EXPECT_EQ(frame.versionCode, 2);
    EXPECT_EQ(frame.layerCode, 2);
    EXPECT_TRUE(frame.crcProtected);
    EXPECT_EQ(frame.bitRateIndex, 11);
    EXPECT_EQ(frame.sampleRateIndex, 1);
    EXPECT_TRUE(frame.padded);
    EXPECT_TRUE(frame.privateBit);
    EXPECT_EQ(frame.modeCode, 2);
    EXPECT_EQ(frame.modeExtension, 3);
    EXPECT_TRUE(frame.copyrighted);
    EXPECT_FALSE(frame.originalBit);
    EXPECT_EQ(frame.emphasisCode, 3);
    EXPECT_EQ(audio.ChannelModeText(), "Dual Channel");
}

// --- tables and frame length ---------------------------------------------------

TEST(MPEGFrameLength, TablesAgreeWithTheStandardForEveryValidHeader) {
    // The writer's own sums, pinned where each table differs.
    EXPECT_EQ(FrameSize(MpegFields(3, 1, 9, 0)), 417u);
    EXPECT_EQ(FrameSize(MpegFields(3, 1, 9, 0, true)), 418u);
    EXPECT_EQ(FrameSize(MpegFields(3, 2, 14, 2, true)), 1729u);  // the largest MPEG 1 frame
    EXPECT_EQ(FrameSize(MpegFields(2, 1, 8, 0)), 208u);
    EXPECT_EQ(FrameSize(MpegFields(2, 2, 8, 0)), 417u);
    EXPECT_EQ(FrameSize(MpegFields(2, 3, 4, 0)), 139u);
    EXPECT_EQ(FrameSize(MpegFields(2, 3, 4, 0, true)), 143u);  // Layer I pads four bytes
    EXPECT_EQ(FrameSize(MpegFields(0, 1, 8, 2)), 576u);
    EXPECT_EQ(FrameSize(MpegFields(0, 2, 14, 2, true)), 2881u);  // longer than half a block
    int checked = 0;
    for (int version : {0, 2, 3}) {
        for (int layer = 1; layer <= 3; ++layer) {
            for (int index = 1; index <= 14; ++index) {
                for (int rate = 0; rate <= 2; ++rate) {
                    for (bool padded : {false, true}) {
                        const FrameFields fields = MpegFields(version, layer, index, rate, padded);
                        SCOPED_TRACE(testing::Message() << "version " << version << " layer " << layer << " index "
                                                        << index << " rate " << rate << " padded " << padded);
                        ASSERT_TRUE(HeaderOf(HeaderBytes(fields)).IsValid());
                        TMPEGaudio audio;
                        ASSERT_TRUE(Analyse(audio, Stream(fields, 2)));
                        ASSERT_TRUE(audio.frame.found);
                        EXPECT_EQ(audio.BitRate(), BitRateKbps(fields));
                        EXPECT_EQ(audio.SampleRate(), SampleRateHz(fields));
                        EXPECT_EQ(audio.frame.length, FrameSize(fields));
                        ++checked;
                    }
                }
            }
        }
    }
    EXPECT_EQ(checked, 3 * 3 * 14 * 3 * 2);
}

// --- frame search ------------------------------------------------------------

TEST(MPEGFindFrame, SearchCases) {
    const FrameFields cbr = Cbr128();
    const FrameFields largest = MpegFields(3, 2, 14, 2, true);  // 1729 bytes
    auto at = [](std::size_t offset, const Bytes& what, Bytes bytes = {}) {
        if (bytes.size() < offset) bytes.resize(offset);
        Put(bytes, offset, std::string_view(reinterpret_cast<const char*>(what.data()), what.size()));
        return bytes;
    };
    auto pair = [&](const FrameFields& fields, std::size_t offset) { return at(offset, Stream(fields, 2)); };
    FrameFields mpeg2 = MpegFields(2, 1, 8, 1);

    struct Case {
        const char* name;
        Bytes bytes;
        bool found;
        int position;
    };
    const Case cases[] = {
        {"a lone header", HeaderBytes(cbr), false, 0},
        {"header whose follower is invalid, then a pair", at(100, Stream(cbr, 2), Frame(cbr, 0x11)), true, 100},
        {"follower one byte off", at(418, HeaderBytes(cbr), HeaderBytes(cbr)), false, 0},
        {"follower of another version and rate", at(417, HeaderBytes(mpeg2), HeaderBytes(cbr)), true, 0},
        {"false sync just before", at(1, Stream(cbr, 2), {0xFF}), true, 1},
        {"pair at the last position", pair(cbr, 1729), true, 1729},
        {"pair one past the last position", pair(cbr, 1730), false, 0},
        {"follower ends the block exactly", at(1725 + 1729, HeaderBytes(largest), at(1725, HeaderBytes(largest))),
         true, 1725},
        {"follower runs past the block", at(1726 + 1729, HeaderBytes(largest), at(1726, HeaderBytes(largest))),
         false, 0},
    };
    for (const Case& c : cases) {
        TMPEGaudio audio;
        ASSERT_TRUE(Analyse(audio, c.bytes)) << c.name;
        EXPECT_EQ(audio.frame.found, c.found) << c.name;
        if (c.found) {
            EXPECT_EQ(audio.frame.position, c.position) << c.name;
        }
    }
}

// --- VBR headers -----------------------------------------------------------

TEST(MPEGVbrHeader, RecognisedOnlyAtTheSideInfoOffset) {
    for (int version : {0, 2, 3}) {
        for (int mode = 0; mode <= 3; ++mode) {
            const FrameFields fields = MpegFields(version, 1, 8, version == 3 ? 0 : 2, false, mode);
            const std::size_t offset = VbrHeaderOffset(fields);
            for (const char* signature : {"Xing", "VBRI", "Info", "xing"}) {
                for (int shift : {-1, 0, 1}) {
                    Bytes bytes = Stream(fields, 2);
                    Put(bytes, offset + shift, signature);
                    TMPEGaudio audio;
                    ASSERT_TRUE(Analyse(audio, bytes));
                    ASSERT_TRUE(audio.frame.found);
                    const mpeg::VBRData& vbr = audio.vbr;
                    const bool expected = shift == 0 && (std::string_view(signature) == "Xing" ||
                                                          std::string_view(signature) == "VBRI");
                    EXPECT_EQ(vbr.found, expected)
                        << "version " << version << " mode " << mode << " " << signature << " shift " << shift;
                    if (expected) {
                        EXPECT_EQ(std::string(vbr.signature.data(), 4), signature);
                    }
                }
            }
        }
    }
}

TEST(MPEGVbrHeader, FieldsOfBothLayouts) {
    auto read = [](void (*put)(Bytes&)) {
        Bytes file = Frame(Cbr128());
        put(file);
        Append(file, Frame(Cbr128()));
        TMPEGaudio audio;
        EXPECT_TRUE(Analyse(audio, file));
        EXPECT_TRUE(audio.frame.found);
        return audio.vbr;
    };
    const mpeg::VBRData x = read([](Bytes& f) { PutXing(f, 36, 1000, 418000, 0x57, std::string_view("LAME\0\0.9", 8)); });
    EXPECT_TRUE(x.found);
    EXPECT_EQ(std::string(x.signature.data(), 4), "Xing");
    EXPECT_EQ(x.frameCount, 1000);
    EXPECT_EQ(x.byteCount, 418000);
    EXPECT_EQ(x.quality, 0x57);
    EXPECT_EQ(x.vendor, std::string("LAME\0\0.9", 8));

    const mpeg::VBRData v = read([](Bytes& f) { PutVbri(f, 36, 418000, 1000, 0x4B); });
    EXPECT_TRUE(v.found);
    EXPECT_EQ(std::string(v.signature.data(), 4), "VBRI");
    EXPECT_EQ(v.byteCount, 418000);
    EXPECT_EQ(v.frameCount, 1000);
    EXPECT_EQ(v.quality, 0x4B);
    EXPECT_TRUE(v.vendor.empty());

    const mpeg::VBRData n = read([](Bytes& f) { PutXing(f, 36, -2, -1, 0, ""); });
    EXPECT_EQ(n.frameCount, -2);
    EXPECT_EQ(n.byteCount, -1);
}

// Two frames of the fields, the first with a Xing header of these numbers.
void SetVbr(TMPEGaudio& audio, const FrameFields& fields, std::int32_t frames, std::int32_t bytes) {
    Bytes stream = Stream(fields, 2);
    PutXing(stream, VbrHeaderOffset(fields), frames, bytes, 0, "");
    ASSERT_TRUE(Analyse(audio, stream));
}

TEST(MPEGVbrHeader, BitRateAndPlayTime) {
    const FrameFields cbr = Cbr128();
    const FrameFields layer1 = MpegFields(3, 3, 4, 1);  // 48000 Hz, coefficient 48: bit rate = bytes per frame
    const FrameFields layer1Padded = MpegFields(3, 3, 4, 1, true);
    struct Case {
        const char* name;
        FrameFields fields;
        std::int32_t frames, bytes;
        int bitRate;
    };
    const Case cases[] = {
        {"1000 frames, 418000 bytes", cbr, 1000, 418000, 128},
        {"half goes to even, down", layer1, 2, 257, 128},
        {"half goes to even, up", layer1, 2, 259, 130},
        {"the first frame's padding is taken off", layer1Padded, 2, 265, 128},
        {"low 16 bits of a large value", layer1, 1, 65536 + 100, 100},
        {"low 16 bits of the largest count", layer1, 1, std::numeric_limits<std::int32_t>::max(), 65535},
        {"low 16 bits of a negative value", layer1, 1, -1000, 64536},
        {"no frames: the table", cbr, 0, 418000, 128},
        {"negative frames: the table", layer1, -3, 418000, 128},
    };
    for (const Case& c : cases) {
        TMPEGaudio audio;
        SetVbr(audio, c.fields, c.frames, c.bytes);
        ASSERT_TRUE(audio.vbr.found) << c.name;
        EXPECT_EQ(audio.BitRate(), c.bitRate) << c.name;
    }

    TMPEGaudio audio;
    SetVbr(audio, cbr, 1000, 418000);
    EXPECT_NEAR(audio.Duration(), 1000 * 1152 / 44100.0, 1e-9);
    EXPECT_EQ(audio.DurationText(), "00:26");
    // The most frames a header can state: hundreds of thousands of minutes.
    SetVbr(audio, cbr, std::numeric_limits<std::int32_t>::max(), 418000);
    EXPECT_EQ(audio.DurationText(), "934958:52");
}

// --- encoder scan ----------------------------------------------------------

// The tail block holds the last 3458 bytes of the audio; the scan covers five
// frame lengths (2085 bytes at 128 kbit/s), at most the whole block.
TEST(MPEGFindEncoder, NearestToTheEndWins) {
    struct Mark {
        std::size_t offset;  // in the tail block
        std::string_view text;
    };
    const FrameFields cbr = Cbr128();
    const FrameFields largest = MpegFields(3, 2, 14, 2, true);  // 1729 bytes: the scan covers the block
    struct Case {
        const char* name;
        std::vector<Mark> marks;
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
        {"nothing", {}, largest, ""},
        {"at the extent's edge", {{3450 - 2085, "LAME3.97"}}, cbr, "LAME3.97"},
        {"one byte beyond the extent", {{3450 - 2086, "LAME3.97"}}, cbr, ""},
        {"an extent past the block is cut to it", {{0, "LAME3.97"}}, largest, "LAME3.97"},
        {"a window past the block is never examined", {{3452, "LAME"}}, largest, ""},
    };
    for (const Case& c : cases) {
        Bytes file = Stream(c.fields, &c.fields == &cbr ? 20 : 5);
        const std::size_t blockStart = file.size() - kBlock;
        for (const Mark& m : c.marks) Put(file, blockStart + m.offset, m.text);
        TMPEGaudio audio;
        ASSERT_TRUE(Analyse(audio, file)) << c.name;
        ASSERT_TRUE(audio.frame.found) << c.name;
        EXPECT_EQ(audio.encoderText, c.expected) << c.name;
    }
}

// --- play time ---------------------------------------------------------------

TEST(MPEGPlayTime, FromTheFileSizeOrTheVbrHeader) {
    struct Case {
        const char* name;
        std::int32_t fileLength, tagSize, position;
        bool id3v1;
        int bitRateIndex;
        double seconds;
        const char* text;
    };
    const Case cases[] = {
        {"4000128 bytes with ID3v1 at 128 kbit/s", 4000128, 0, 0, true, 9, 250.0, "04:10"},
        {"tag and frame position come off", 4001024, 1000, 24, false, 9, 250.0, "04:10"},
        {"over an hour", 59606400, 0, 0, false, 9, 3725.4, "62:05"},
        {"nine minutes keep two digits", 9584000, 0, 0, false, 9, 599.0, "09:59"},
        {"exactly 59.9995 s: the half goes to even", 959992, 0, 0, false, 9, 59.9995, "01:00"},
        {"59.9995 s less a byte", 959991, 0, 0, false, 9, 59.9994375, "00:59"},
        {"a tag larger than the file gives its magnitude", 1000, 17000, 0, false, 9, -1.0, "00:01"},
        {"a hundred minutes", 96000000, 0, 0, false, 9, 6000.0, "100:00"},
        {"just short of a hundred minutes", 95999990, 0, 0, false, 9, 5999.999375, "99:59"},
    };
    for (const Case& c : cases) {
        TMPEGaudio audio;
        FrameFields fields = Cbr128();
        fields.bitRateIndex = c.bitRateIndex;
        ASSERT_TRUE(Analyse(audio, Stream(fields, 2)));
        ASSERT_TRUE(audio.frame.found);
        audio.frame.position = c.position;
        audio.fileLength = c.fileLength;
        audio.ID3v2Tag.TagSize = c.tagSize;
        audio.ID3v1Tag.HasTag = c.id3v1;
        EXPECT_NEAR(audio.Duration(), c.seconds, 1e-9) << c.name;
        EXPECT_EQ(audio.DurationText(), c.text) << c.name;
    }
}

// What Clear leaves, and what an analysis that found no frame leaves.
void ExpectEmpty(const TMPEGaudio& a) {
    EXPECT_FALSE(a.frame.found);
    EXPECT_FALSE(a.vbr.found);
    EXPECT_EQ(a.fileLength, 0);
    EXPECT_EQ(a.frame.versionCode, 1);
    EXPECT_EQ(a.frame.sampleRateIndex, 3);
    EXPECT_EQ(a.frame.modeCode, 4);
    EXPECT_EQ(a.frame.modeExtension, 4);
    EXPECT_EQ(a.frame.emphasisCode, 2);
    EXPECT_EQ(a.BitRate(), 0);
    EXPECT_EQ(a.SampleRate(), 0);
    EXPECT_EQ(a.ChannelModeText(), "Unknown");
    EXPECT_EQ(a.Duration(), 0.0);
    EXPECT_EQ(a.DurationText(), "00:00");
    EXPECT_FALSE(a.ID3v1Tag.HasTag);
    EXPECT_FALSE(a.ID3v2Tag.HasTag);
    EXPECT_TRUE(a.encoderText.empty());
}

TEST(MPEGaudio, EmptyAfterConstructionAndClear) {
    TMPEGaudio audio;
    ExpectEmpty(audio);
    SetVbr(audio, Cbr128(), 1000, 418000);
    audio.fileLength = 5000;
    audio.encoderText = "GOGO";
    audio.ID3v1Tag.HasTag = true;
    audio.ID3v2Tag.HasTag = true;
    audio.Clear();
    ExpectEmpty(audio);
}

// --- whole files -------------------------------------------------------------

// Files whose analysis needs the tag readers to report "no tag" or a tag.
class MPEGLoad : public ::testing::Test {
protected:
    TempDir dir;
    TMPEGaudio audio;

    bool Load(const Bytes& bytes) { return audio.LoadFromFile(dir.Write("x.mp3", bytes).c_str()); }
};

// Each load replaces what the one before it found.
TEST_F(MPEGLoad, ConstantThenVbrThenMpeg2Mono) {
    Bytes cbr = Stream(Cbr128(), 20);
    Put(cbr, cbr.size() - 100, "LAME3.97");
    ASSERT_TRUE(Load(cbr));
    EXPECT_TRUE(audio.frame.found);
    EXPECT_EQ(audio.frame.position, 0);
    EXPECT_EQ(audio.fileLength, 20 * 417);
    EXPECT_EQ(audio.BitRate(), 128);
    EXPECT_EQ(audio.SampleRate(), 44100);
    EXPECT_EQ(audio.ChannelModeText(), "Joint Stereo");
    EXPECT_DOUBLE_EQ(audio.Duration(), 20 * 417 * 8 / 128000.0);
    EXPECT_EQ(audio.encoderText, "LAME3.97");

    // A VBR header skips the tail scan.
    Bytes vbr = XingFrame(Cbr128(), 1000, 418000);
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
}

TEST_F(MPEGLoad, TheTailEndsWhereTheAudioEnds) {
    // With an extent of 5 x 417 the scan reaches 2085 bytes before the last
    // window; a signature inside the ID3v1 tag never counts.
    const std::size_t reach = 3450 - 5 * 417;
    for (bool id3v1 : {false, true}) {
        for (std::size_t frames : {30, 7}) {  // a long file and one shorter than the block
            for (bool inReach : {true, false}) {
                Bytes file = Stream(Cbr128(), frames);
                const std::size_t blockStart = file.size() >= kBlock ? file.size() - kBlock : 0;
                const std::size_t zeros = file.size() >= kBlock ? 0 : kBlock - file.size();
                const std::size_t at = blockStart + reach - zeros - (inReach ? 0 : 1);
                Put(file, at, "GOGO");
                if (id3v1) Append(file, RawID3v1("LAME3.97", "x"));
                SCOPED_TRACE(testing::Message() << "ID3v1 " << id3v1 << " frames " << frames << " in reach " << inReach);
                ASSERT_TRUE(Load(file));
                EXPECT_TRUE(audio.frame.found);
                EXPECT_EQ(audio.ID3v1Tag.HasTag, id3v1);
                EXPECT_EQ(audio.encoderText, inReach ? "GOGO" : "");
                EXPECT_DOUBLE_EQ(audio.Duration(), static_cast<double>(frames * 417 * 8) / 128000.0);
            }
        }
    }
}

TEST_F(MPEGLoad, ShortFilesAreAnalysed) {
    struct Case {
        std::size_t size;
        bool id3v1;
    };
    const Case cases[] = {{3000, false}, {3000, true}, {834, false}, {834, true}, {kBlock - 1, false}, {kBlock, true}};
    for (const Case& c : cases) {
        Bytes file = Stream(Cbr128(), 9);
        file.resize(c.size);
        if (c.id3v1) Append(file, RawID3v1("t", "a"));
        SCOPED_TRACE(testing::Message() << c.size << " bytes, ID3v1 " << c.id3v1);
        EXPECT_TRUE(Load(file));
        EXPECT_TRUE(audio.frame.found);
        EXPECT_EQ(audio.BitRate(), 128);
        EXPECT_DOUBLE_EQ(audio.Duration(), static_cast<double>(c.size * 8) / 128000.0);
    }
}

TEST_F(MPEGLoad, SecondAttemptAtTheMiddle) {
    // Zeros, then frames only around the middle of the file: the first block
    // holds no frame, the one at (size - tag) / 2 does.
    struct Case {
        const char* name;
        std::size_t tagBody;
        std::size_t size;
        bool found;
        int position;
    };
    const Case cases[] = {
        {"no tag", 0, 20000, true, 10},
        {"middle counted from the start of the file", 990, 20000, true, 10},
        {"exactly one block: the second read is short", 0, kBlock, true, 10},
        {"one byte short of a block: no second attempt", 0, kBlock - 1, false, 0},
    };
    for (const Case& c : cases) {
        Bytes file = c.tagBody > 0 ? RawID3v2(c.tagBody) : Bytes{};
        const std::size_t tagSize = file.size();
        file.resize(c.size, 0);
        const std::size_t middle = (c.size - tagSize) / 2;
        // Two frames, and nothing where a block counted from the tag's end would look.
        Put(file, middle + 10, "\xFF\xFB\x90\x64");
        Put(file, middle + 10 + 417, "\xFF\xFB\x90\x64");
        ASSERT_GE(file.size(), middle + 10 + 421) << c.name;
        ASSERT_GT(middle + 10, 1729u + tagSize) << c.name;  // beyond the first block's reach
        EXPECT_TRUE(Load(file)) << c.name;
        EXPECT_EQ(audio.frame.found, c.found) << c.name;
        if (c.found) {
            EXPECT_EQ(audio.frame.position, c.position) << c.name;
            // The position is taken as it is, as if it counted from the tag's end.
            EXPECT_DOUBLE_EQ(audio.Duration(), static_cast<double>((c.size - tagSize - c.position) * 8) / 128000.0) << c.name;
            EXPECT_EQ(audio.ID3v2Tag.TagSize, static_cast<std::int32_t>(tagSize)) << c.name;
        } else {
            EXPECT_EQ(audio.BitRate(), 0) << c.name;
        }
    }
}

// No frame anywhere, a missing file or a folder: nothing of the file, nor of
// an earlier analysis, stays.
TEST_F(MPEGLoad, NoFrameOrNoFileEmptiesEverything) {
    Bytes file = Filled(20000, 0x55);
    Append(file, RawID3v1("Title", "Artist"));
    EXPECT_TRUE(Load(file));
    ExpectEmpty(audio);
    for (const std::string& path : {dir.File("absent.mp3"), dir.Path()}) {
        SetVbr(audio, Cbr128(), 1000, 418000);
        EXPECT_FALSE(audio.LoadFromFile(path.c_str())) << path;
        ExpectEmpty(audio);
    }
}

}  // namespace
