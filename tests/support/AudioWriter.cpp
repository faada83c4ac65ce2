// Byte-exact MPEG frames, VBR headers and tags for the tests, the fuzz seeds
// and the benchmark's library.
#include "AudioWriter.h"

#include <algorithm>
#include <array>

#include "TagWriter.h"

namespace testing_support {

namespace {

constexpr std::size_t kHeaderBytes = 4;
constexpr std::size_t kID3v2HeaderBytes = 10;
constexpr std::size_t kXingTableAt = 16, kXingTableBytes = 100;
constexpr std::uint8_t kID3v2FooterFlag = 0x10;

// kbit/s by [MPEG 1?][layer I, II, III][index]; MPEG 2.5 uses the MPEG 2 rows.
constexpr int kRates[2][3][16] = {
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
};

bool ValidCodes(const FrameFields& s) {
    return s.version != 1 && s.version >= 0 && s.version <= 3 && s.layer >= 1 && s.layer <= 3 &&
           s.bitRateIndex >= 0 && s.bitRateIndex <= 15 && s.sampleRateIndex >= 0 && s.sampleRateIndex <= 3;
}

void PutBigEndian(Bytes& bytes, std::size_t offset, std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    if (bytes.size() < offset + 4) bytes.resize(offset + 4);
    for (std::size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

}  // namespace

FrameFields MpegFields(int version, int layer, int bitRateIndex, int sampleRateIndex, bool padded, int mode) {
    FrameFields fields;
    fields.version = version;
    fields.layer = layer;
    fields.bitRateIndex = bitRateIndex;
    fields.sampleRateIndex = sampleRateIndex;
    fields.padded = padded;
    fields.mode = mode;
    return fields;
}

Bytes HeaderBytes(const FrameFields& s) {
    return {
        0xFF,
        static_cast<std::uint8_t>(0xE0 | (s.version & 3) << 3 | (s.layer & 3) << 1 | (s.crc ? 0 : 1)),
        static_cast<std::uint8_t>((s.bitRateIndex & 15) << 4 | (s.sampleRateIndex & 3) << 2 | (s.padded ? 2 : 0) |
                                  (s.privateBit ? 1 : 0)),
        static_cast<std::uint8_t>((s.mode & 3) << 6 | (s.modeExtension & 3) << 4 | (s.copyright ? 8 : 0) |
                                  (s.original ? 4 : 0) | (s.emphasis & 3)),
    };
}

FrameFields FieldsFromHeader(const std::uint8_t* h) {
    FrameFields s;
    s.version = h[1] >> 3 & 3;
    s.layer = h[1] >> 1 & 3;
    s.crc = (h[1] & 1) == 0;
    s.bitRateIndex = h[2] >> 4;
    s.sampleRateIndex = h[2] >> 2 & 3;
    s.padded = (h[2] & 2) != 0;
    s.privateBit = (h[2] & 1) != 0;
    s.mode = h[3] >> 6;
    s.modeExtension = h[3] >> 4 & 3;
    s.copyright = (h[3] & 8) != 0;
    s.original = (h[3] & 4) != 0;
    s.emphasis = h[3] & 3;
    return s;
}

int BitRateKbps(const FrameFields& s) {
    if (!ValidCodes(s)) return 0;
    return kRates[s.version == 3 ? 1 : 0][3 - s.layer][s.bitRateIndex];
}

int SampleRateHz(const FrameFields& s) {
    if (!ValidCodes(s) || s.sampleRateIndex == 3) return 0;
    constexpr int kMpeg1[3] = {44100, 48000, 32000};
    const int divisor = s.version == 3 ? 1 : s.version == 2 ? 2 : 4;
    return kMpeg1[s.sampleRateIndex] / divisor;
}

int SamplesPerFrame(const FrameFields& s) {
    if (s.layer == 3) return 384;
    if (s.layer == 2 || s.version == 3) return 1152;
    return 576;
}

std::size_t FrameSize(const FrameFields& s) {
    const int rate = SampleRateHz(s);
    if (rate == 0) return 0;
    const long long bytes = static_cast<long long>(SamplesPerFrame(s)) / 8 * BitRateKbps(s) * 1000 / rate;
    const int padding = !s.padded ? 0 : s.layer == 3 ? 4 : 1;
    return static_cast<std::size_t>(bytes + padding);
}

std::size_t VbrHeaderOffset(const FrameFields& s) {
    const bool mono = s.mode == 3;
    const std::size_t sideInfo = s.version == 3 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    return kHeaderBytes + sideInfo;
}

Bytes Frame(const FrameFields& fields, std::uint8_t fill) {
    Bytes frame(std::max(FrameSize(fields), kHeaderBytes), fill);
    const Bytes header = HeaderBytes(fields);
    std::copy(header.begin(), header.end(), frame.begin());
    return frame;
}

Bytes Stream(const FrameFields& fields, std::size_t count, std::uint8_t fill) {
    Bytes out;
    const Bytes frame = Frame(fields, fill);
    for (std::size_t i = 0; i < count; ++i) Append(out, frame);
    return out;
}

Bytes CbrAudio(std::size_t count, std::uint8_t fill) { return Stream(kCbr128, count, fill); }

void PutXing(Bytes& frame, std::size_t offset, std::int32_t frames, std::int32_t bytes, std::uint8_t quality,
             std::string_view vendor, std::string_view signature) {
    Put(frame, offset, signature);
    PutBigEndian(frame, offset + 4, 0x0F);  // frames, bytes, table and quality present
    PutBigEndian(frame, offset + 8, frames);
    PutBigEndian(frame, offset + 12, bytes);
    const std::size_t qualityField = offset + kXingTableAt + kXingTableBytes;
    PutBigEndian(frame, qualityField, quality);
    Put(frame, qualityField + 4, vendor);
}

void PutXingSeekTable(Bytes& frame, std::size_t offset) {
    const std::size_t table = offset + kXingTableAt;
    if (frame.size() < table + kXingTableBytes) frame.resize(table + kXingTableBytes);
    for (std::size_t i = 0; i < kXingTableBytes; ++i) {
        frame[table + i] = static_cast<std::uint8_t>(i * 256 / kXingTableBytes);
    }
}

void PutVbri(Bytes& frame, std::size_t offset, std::int32_t bytes, std::int32_t frames, std::uint8_t quality) {
    Put(frame, offset, "VBRI");
    Put(frame, offset + 4, std::string_view("\0\1\0\0\0\0", 6));  // version 1, delay 0, quality high byte
    frame[offset + 9] = quality;
    PutBigEndian(frame, offset + 10, bytes);
    PutBigEndian(frame, offset + 14, frames);
}

Bytes XingFrame(const FrameFields& fields, std::int32_t frames, std::int32_t bytes, std::string_view vendor) {
    Bytes frame = Frame(fields);
    PutXing(frame, VbrHeaderOffset(fields), frames, bytes, 0x3C, vendor);
    return frame;
}

void Put(Bytes& bytes, std::size_t offset, std::string_view text) {
    if (bytes.size() < offset + text.size()) bytes.resize(offset + text.size());
    std::copy(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
}

FrameWalk WalkFrames(const Bytes& file) {
    FrameWalk walk;
    if (file.size() >= kID3v2HeaderBytes && file[0] == 'I' && file[1] == 'D' && file[2] == '3') {
        std::size_t size = 0;
        for (std::size_t i = 6; i < kID3v2HeaderBytes; ++i) size = size << 7 | (file[i] & 0x7F);
        walk.tagSize = kID3v2HeaderBytes + size + ((file[5] & kID3v2FooterFlag) != 0 ? kID3v2HeaderBytes : 0);
    }
    // The first sync at or after the tag; real encoders start the audio right there.
    std::size_t pos = walk.tagSize;
    while (pos + kHeaderBytes <= file.size() && !(file[pos] == 0xFF && (file[pos + 1] & 0xE0) == 0xE0)) ++pos;
    walk.firstOffset = pos;
    walk.end = pos;
    while (pos + kHeaderBytes <= file.size() && file[pos] == 0xFF && (file[pos + 1] & 0xE0) == 0xE0) {
        const FrameFields fields = FieldsFromHeader(&file[pos]);
        const std::size_t size = FrameSize(fields);
        if (size < kHeaderBytes || pos + size > file.size()) break;
        if (walk.frames == 0) walk.first = fields;
        ++walk.frames;
        pos += size;
        walk.end = pos;
    }
    return walk;
}

}  // namespace testing_support
