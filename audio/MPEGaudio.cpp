// The MPEG audio analyser: header test and decoding, frame length, the frame
// search with its Xing/VBRI look-up, the encoder scan of the tail, and the
// bit rate and play time derived from them.
#include "MPEGaudio.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "FileSource.h"

namespace mpeg {

namespace {

// Header bit fields, byte by byte (byte 0 is all sync).
constexpr std::uint8_t kSyncByte = 0xFF;
constexpr std::uint8_t kSyncMask = 0xE0;
constexpr unsigned kVersionShift = 3, kLayerShift = 1, kTwoBits = 0x3;
constexpr std::uint8_t kNoCrcBit = 0x01;
constexpr unsigned kBitRateShift = 4, kSampleRateShift = 2, kFourBits = 0xF;
constexpr std::uint8_t kPaddingBit = 0x02, kPrivateBit = 0x01;
constexpr unsigned kModeShift = 6, kModeExtensionShift = 4;
constexpr std::uint8_t kCopyrightBit = 0x08, kOriginalBit = 0x04;

constexpr std::uint8_t kVersionReserved = 1, kVersion1 = 3;
constexpr std::uint8_t kLayerReserved = 0, kLayerI = 3;
constexpr std::uint16_t kFreeFormatIndex = 0, kBadBitRateIndex = 15;
constexpr std::uint16_t kBadSampleRateIndex = 3;
constexpr std::uint8_t kModeMono = 3;
constexpr std::uint8_t kEmphasisReserved = 2;

constexpr std::uint8_t kLayerIPadding = 4, kSlotPadding = 1;
constexpr std::uint8_t kSideInfoV1Mono = 21, kSideInfoV1 = 36, kSideInfoV2Mono = 13, kSideInfoV2 = 21;

constexpr std::int64_t kBitsPerByte = 8;
constexpr std::int64_t kMillisPerSecond = 1000;
constexpr std::int64_t kSecondsPerMinute = 60;

// After Clear: reserved version and sample rate, unknown mode, reserved emphasis.
constexpr std::uint8_t kClearedModeCode = 4, kClearedModeExtension = 4;

// Xing and VBRI layouts, counted from the signature's first letter.
constexpr std::size_t kXingFrameCount = 8, kXingByteCount = 12, kXingQuality = 119, kXingVendor = 120;
constexpr std::size_t kVbriQuality = 9, kVbriByteCount = 10, kVbriFrameCount = 14;
constexpr char kXing[] = "Xing";
constexpr char kVbri[] = "VBRI";
constexpr char kLame[] = "LAME";
constexpr char kGogo[] = "GOGO";

using RateRow = std::array<std::uint16_t, 16>;
constexpr RateRow kNoRates{};
constexpr RateRow kV1L1{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0};
constexpr RateRow kV1L2{0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0};
constexpr RateRow kV1L3{0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
constexpr RateRow kV2L1{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0};
constexpr RateRow kV2L23{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};

// [versionCode][layerCode][bitRateIndex], kbit/s; MPEG 2.5 shares the MPEG 2 rows.
constexpr std::array<std::array<RateRow, 4>, 4> kBitRates{{
    {kNoRates, kV2L23, kV2L23, kV2L1},
    {kNoRates, kNoRates, kNoRates, kNoRates},
    {kNoRates, kV2L23, kV2L23, kV2L1},
    {kNoRates, kV1L3, kV1L2, kV1L1},
}};

// [versionCode][sampleRateIndex], Hz.
constexpr std::array<std::array<std::uint16_t, 4>, 4> kSampleRates{{
    {11025, 12000, 8000, 0},
    {0, 0, 0, 0},
    {22050, 24000, 16000, 0},
    {44100, 48000, 32000, 0},
}};

// [versionCode][layerCode]: samples per frame / 8.
constexpr std::array<std::array<std::uint8_t, 4>, 4> kFrameCoefficients{{
    {0, 72, 144, 48},
    {0, 0, 0, 0},
    {0, 72, 144, 48},
    {0, 144, 144, 48},
}};

std::uint8_t ByteAt(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return offset < bytes.size() ? bytes[offset] : 0;
}

std::int32_t BigEndian32(std::span<const std::uint8_t> bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value = (value << 8) | ByteAt(bytes, offset + i);
    return static_cast<std::int32_t>(value);
}

bool HasSignature(std::span<const std::uint8_t> bytes, std::size_t offset, const char* signature) {
    for (std::size_t i = 0; i < kSignatureSize; ++i) {
        if (ByteAt(bytes, offset + i) != static_cast<std::uint8_t>(signature[i])) return false;
    }
    return true;
}

// numerator / denominator rounded to the nearest integer, ties to even;
// denominator > 0.
std::int64_t RoundHalfEven(std::int64_t numerator, std::int64_t denominator) {
    std::int64_t quotient = numerator / denominator;
    std::int64_t remainder = numerator % denominator;
    if (remainder < 0) {
        remainder += denominator;
        --quotient;
    }
    const std::int64_t twice = 2 * remainder;
    if (twice > denominator || (twice == denominator && (quotient & 1) != 0)) ++quotient;
    return quotient;
}

}  // namespace

constexpr std::array<std::string_view, 4> VersionTexts{"MPEG 2.5", "MPEG ?", "MPEG 2", "MPEG 1"};
constexpr std::array<std::string_view, 4> LayerTexts{"Layer ?", "Layer III", "Layer II", "Layer I"};
constexpr std::array<std::string_view, 5> ChannelModeTexts{"Stereo", "Joint Stereo", "Dual Channel", "Mono", "Unknown"};
constexpr std::array<std::string_view, 4> EmphasisTexts{"None", "50/15 ms", "Unknown", "CCIT J.17"};
constexpr std::array<std::string_view, 7> EncoderTexts{"Unknown", "Xing", "FhG", "LAME", "Blade", "GoGo", "Shine"};

bool IsFrameHeader(const std::uint8_t* bytes) {
    if (bytes[0] != kSyncByte) return false;
    if ((bytes[1] & kSyncMask) != kSyncMask) return false;
    if (((bytes[1] >> kVersionShift) & kTwoBits) == kVersionReserved) return false;
    if (((bytes[1] >> kLayerShift) & kTwoBits) == kLayerReserved) return false;
    const unsigned bitRateIndex = (bytes[2] >> kBitRateShift) & kFourBits;
    if (bitRateIndex == kBadBitRateIndex) return false;
    if (bitRateIndex == kFreeFormatIndex) return false;
    if (((bytes[2] >> kSampleRateShift) & kTwoBits) == kBadSampleRateIndex) return false;
    return (bytes[3] & kTwoBits) != kEmphasisReserved;
}

void DecodeHeader(const std::uint8_t* bytes, FrameInfo& frame) {
    std::copy(bytes, bytes + kHeaderSize, frame.headerBytes.begin());
    frame.versionCode = (bytes[1] >> kVersionShift) & kTwoBits;
    frame.layerCode = (bytes[1] >> kLayerShift) & kTwoBits;
    frame.crcProtected = (bytes[1] & kNoCrcBit) == 0;
    frame.bitRateIndex = (bytes[2] >> kBitRateShift) & kFourBits;
    frame.sampleRateIndex = (bytes[2] >> kSampleRateShift) & kTwoBits;
    frame.padded = (bytes[2] & kPaddingBit) != 0;
    frame.privateBit = (bytes[2] & kPrivateBit) != 0;
    frame.modeCode = (bytes[3] >> kModeShift) & kTwoBits;
    frame.modeExtension = (bytes[3] >> kModeExtensionShift) & kTwoBits;
    frame.copyrighted = (bytes[3] & kCopyrightBit) != 0;
    frame.originalBit = (bytes[3] & kOriginalBit) != 0;
    frame.emphasisCode = bytes[3] & kTwoBits;
}

// The table look-ups bound every index, so fields set by hand cannot read
// outside a table.
std::uint16_t TableBitRate(const FrameInfo& frame) {
    if (frame.versionCode >= kBitRates.size() || frame.layerCode >= kBitRates[0].size() ||
        frame.bitRateIndex >= kV1L1.size()) {
        return 0;
    }
    return kBitRates[frame.versionCode][frame.layerCode][frame.bitRateIndex];
}

std::uint16_t TableSampleRate(const FrameInfo& frame) {
    if (frame.versionCode >= kSampleRates.size() || frame.sampleRateIndex >= kSampleRates[0].size()) return 0;
    return kSampleRates[frame.versionCode][frame.sampleRateIndex];
}

std::uint8_t FrameCoefficient(const FrameInfo& frame) {
    if (frame.versionCode >= kFrameCoefficients.size() || frame.layerCode >= kFrameCoefficients[0].size()) return 0;
    return kFrameCoefficients[frame.versionCode][frame.layerCode];
}

std::uint8_t PaddingSize(const FrameInfo& frame) {
    if (!frame.padded) return 0;
    return frame.layerCode == kLayerI ? kLayerIPadding : kSlotPadding;
}

std::uint8_t SideInfoOffset(const FrameInfo& frame) {
    const bool mono = frame.modeCode == kModeMono;
    if (frame.versionCode == kVersion1) return mono ? kSideInfoV1Mono : kSideInfoV1;
    return mono ? kSideInfoV2Mono : kSideInfoV2;
}

std::uint16_t FrameLength(const FrameInfo& frame) {
    const std::int64_t sampleRate = TableSampleRate(frame);
    if (sampleRate == 0) return 0;
    // Integer division truncates exactly as the floating-point quotient would
    // (a quotient that is not whole lies at least 1/sampleRate from the next
    // integer), and it cannot differ between builds.
    const std::int64_t product =
        static_cast<std::int64_t>(FrameCoefficient(frame)) * TableBitRate(frame) * kMillisPerSecond;
    return static_cast<std::uint16_t>(product / sampleRate + PaddingSize(frame));
}

void FindFrame(const Block& block, FrameInfo& frame, VBRData& vbr) {
    frame = FrameInfo{};
    for (std::size_t p = 0; p <= kLastSearchPosition; ++p) {
        if (block[p] != kSyncByte || !IsFrameHeader(&block[p])) continue;
        DecodeHeader(&block[p], frame);
        const std::uint16_t length = FrameLength(frame);
        // A follower must lie wholly in the block: one whose last byte is cut
        // off would otherwise pass with that byte read as zero.
        const std::size_t next = p + length;
        if (next + kHeaderSize > block.size() || !IsFrameHeader(&block[next])) continue;
        frame.found = true;
        frame.position = static_cast<std::int32_t>(p);
        frame.length = length;
        vbr = ReadVBRHeader(block, p + SideInfoOffset(frame));
        return;
    }
}

VBRData ReadVBRHeader(const Block& block, std::size_t offset) {
    VBRData vbr;
    if (HasSignature(block, offset, kXing)) {
        vbr.found = true;
        std::memcpy(vbr.signature.data(), kXing, kSignatureSize);
        vbr.frameCount = BigEndian32(block, offset + kXingFrameCount);
        vbr.byteCount = BigEndian32(block, offset + kXingByteCount);
        vbr.quality = ByteAt(block, offset + kXingQuality);
        vbr.vendor.resize(kXingVendorSize);
        for (std::size_t i = 0; i < kXingVendorSize; ++i) {
            vbr.vendor[i] = static_cast<char>(ByteAt(block, offset + kXingVendor + i));
        }
    }
    if (HasSignature(block, offset, kVbri)) {
        vbr.found = true;
        std::memcpy(vbr.signature.data(), kVbri, kSignatureSize);
        vbr.quality = ByteAt(block, offset + kVbriQuality);
        vbr.byteCount = BigEndian32(block, offset + kVbriByteCount);
        vbr.frameCount = BigEndian32(block, offset + kVbriFrameCount);
    }
    return vbr;
}

namespace {

// Whether any of the eight bytes of word equals byte.
bool WordHoldsByte(std::uint64_t word, std::uint8_t byte) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
    const std::uint64_t x = word ^ (kOnes * byte);
    return ((x - kOnes) & ~x & kHighBits) != 0;
}

}  // namespace

// Backwards from the limit, the nearest signature wins. Eight bytes at a time
// while none of them can start one: the scan is most of the audio's cost.
std::string FindEncoder(const Block& block, std::size_t extent) {
    extent = std::min(extent, kEncoderScanLimit);
    const std::size_t lowest = kEncoderScanLimit - extent;
    std::size_t end = kEncoderScanLimit + 1;  // positions below end are still to be looked at
    while (end > lowest) {
        std::uint64_t word = 0;
        if (end - lowest >= sizeof word) {
            std::memcpy(&word, &block[end - sizeof word], sizeof word);
            if (!WordHoldsByte(word, static_cast<std::uint8_t>(kLame[0])) &&
                !WordHoldsByte(word, static_cast<std::uint8_t>(kGogo[0]))) {
                end -= sizeof word;
                continue;
            }
        }
        const std::size_t q = --end;
        if (block[q] != kLame[0] && block[q] != kGogo[0]) continue;
        if (HasSignature(block, q, kLame)) {
            return std::string(reinterpret_cast<const char*>(&block[q]), kEncoderWindow);
        }
        if (HasSignature(block, q, kGogo)) return kGogo;
    }
    return {};
}

std::string FormatMilliseconds(std::int64_t milliseconds) {
    // A negative time can come only from absurd headers; its magnitude is shown.
    const std::uint64_t magnitude = milliseconds < 0 ? 0 - static_cast<std::uint64_t>(milliseconds)
                                                     : static_cast<std::uint64_t>(milliseconds);
    const std::uint64_t totalSeconds = magnitude / kMillisPerSecond;
    char text[32];
    std::snprintf(text, sizeof text, "%02llu:%02llu",
                  static_cast<unsigned long long>(totalSeconds / kSecondsPerMinute),
                  static_cast<unsigned long long>(totalSeconds % kSecondsPerMinute));
    return text;
}

std::string FormatDuration(double seconds) {
    const double millis = std::fabs(seconds) * kMillisPerSecond;
    // Beyond 2^62 ms (146 million years) the value no longer fits; show zero.
    constexpr double kLargest = 4.6e18;
    if (!std::isfinite(millis) || millis > kLargest) return FormatMilliseconds(0);
    double whole = std::floor(millis);
    const double fraction = millis - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
    return FormatMilliseconds(static_cast<std::int64_t>(whole));
}

}  // namespace mpeg

using namespace mpeg;

TMPEGaudio::TMPEGaudio() { Clear(); }

TMPEGaudio::~TMPEGaudio() = default;

void TMPEGaudio::Clear() {
    fileLength = 0;
    encoderText.clear();
    vbr = VBRData{};
    frame = FrameInfo{};
    frame.versionCode = kVersionReserved;
    frame.sampleRateIndex = kBadSampleRateIndex;
    frame.modeCode = kClearedModeCode;
    frame.modeExtension = kClearedModeExtension;
    frame.emphasisCode = kEmphasisReserved;
    ID3v1Tag.Clear();
    ID3v2Tag.Clear();
}

bool TMPEGaudio::LoadFromFile(const char* path) {
    return ReadFromPath(*this, path,
                        [](TMPEGaudio& audio, TByteSource& source) { return audio.LoadFromSource(source); });
}

bool TMPEGaudio::LoadFromSource(TByteSource& source) {
    Clear();
    bool result = false;
    try {
        result = ID3v2Tag.ReadTag(source) && ID3v1Tag.ReadTag(source) && ReadAudio(source);
    } catch (...) {
        result = false;
    }
    if (!frame.found) Clear();
    return result;
}

// The audio blocks: the first after the ID3v2 tag, the one at the middle when
// the first holds no frame, and the tail for the encoder scan. Whatever was
// stored before a failed read stays.
bool TMPEGaudio::ReadAudio(TByteSource& source) {
    std::int64_t size = 0;
    if (!source.Size(size)) return false;
    fileLength = static_cast<std::int32_t>(std::min<std::int64_t>(size, std::numeric_limits<std::int32_t>::max()));
    const std::int64_t tagSize = ID3v2Tag.TagSize;

    Block block{};
    std::size_t got = 0;
    if (!source.ReadAt(tagSize, block, got)) return false;
    FindFrame(block, frame, vbr);

    if (!frame.found && got == kBlockSize) {
        block.fill(0);
        // Counted from the start of the file, not from the end of the tag; a
        // short read here just leaves zeros at the end of the block.
        if (!source.ReadAt((size - tagSize) / 2, block, got)) return false;
        FindFrame(block, frame, vbr);
    }

    if (frame.found && !vbr.found) {
        // The block ends where the audio ends; a file shorter than the block
        // has all its bytes up to there at the end of the block, zeros before.
        const std::int64_t audioEnd = size - (ID3v1Tag.HasTag ? static_cast<std::int64_t>(kID3v1TagSize) : 0);
        const auto count = static_cast<std::size_t>(std::clamp<std::int64_t>(audioEnd, 0, kBlockSize));
        block.fill(0);
        const std::span<std::uint8_t> tail = std::span<std::uint8_t>(block).last(count);
        if (count > 0 && (!source.ReadAt(audioEnd - static_cast<std::int64_t>(count), tail, got) || got != count)) {
            return false;
        }
        encoderText = FindEncoder(block, kEncoderScanFrames * frame.length);
    }
    return true;
}

std::uint16_t TMPEGaudio::BitRate() const {
    if (vbr.found && vbr.frameCount > 0) {
        // ((bytes / frames) - padding) * rate / coefficient / 1000 as one exact
        // fraction; the low 16 bits of the rounded value are kept.
        const std::int64_t coefficient = FrameCoefficient(frame);
        if (coefficient == 0) return 0;
        const std::int64_t frames = vbr.frameCount;
        const std::int64_t numerator =
            (static_cast<std::int64_t>(vbr.byteCount) - PaddingSize(frame) * frames) * TableSampleRate(frame);
        const std::int64_t denominator = frames * coefficient * kMillisPerSecond;
        return static_cast<std::uint16_t>(static_cast<std::uint64_t>(RoundHalfEven(numerator, denominator)));
    }
    return TableBitRate(frame);
}

std::uint16_t TMPEGaudio::SampleRate() const { return TableSampleRate(frame); }

std::string TMPEGaudio::ChannelModeText() const {
    return std::string(ChannelModeTexts[std::min<std::size_t>(frame.modeCode, ChannelModeTexts.size() - 1)]);
}

namespace {

// The play time as an exact fraction of seconds; zero when there is none.
struct PlayTime {
    std::int64_t numerator = 0;
    std::int64_t denominator = 1;
};

PlayTime PlayTimeOf(const TMPEGaudio& audio) {
    const FrameInfo& frame = audio.frame;
    if (!frame.found) return {};
    if (audio.vbr.found && audio.vbr.frameCount > 0) {
        const std::int64_t sampleRate = TableSampleRate(frame);
        if (sampleRate == 0) return {};
        return {static_cast<std::int64_t>(FrameCoefficient(frame)) * audio.vbr.frameCount * kBitsPerByte, sampleRate};
    }
    const std::int64_t bitRate = TableBitRate(frame);
    if (bitRate == 0) return {};
    std::int64_t audioSize = static_cast<std::int64_t>(audio.fileLength) - audio.ID3v2Tag.TagSize - frame.position;
    if (audio.ID3v1Tag.HasTag) audioSize -= static_cast<std::int64_t>(kID3v1TagSize);
    return {audioSize * kBitsPerByte, bitRate * kMillisPerSecond};
}

}  // namespace

double TMPEGaudio::Duration() const {
    const PlayTime time = PlayTimeOf(*this);
    return static_cast<double>(time.numerator) / static_cast<double>(time.denominator);
}

std::int64_t TMPEGaudio::DurationMilliseconds() const {
    const PlayTime time = PlayTimeOf(*this);
    return RoundHalfEven(time.numerator * kMillisPerSecond, time.denominator);
}

std::string TMPEGaudio::DurationText() const { return FormatMilliseconds(DurationMilliseconds()); }
