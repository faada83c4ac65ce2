// The MPEG audio analyser: header test and decoding, frame length, the frame
// search with its Xing/VBRI look-up, the encoder scan of the tail, and the
// bit rate and play time derived from them.
#include "MPEGaudio.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "ByteReader.h"
#include "FileSource.h"

namespace mpeg {

namespace {

constexpr std::uint8_t kVersionReserved = THeader::kVersionReserved, kVersion1 = THeader::kVersion1;
constexpr std::uint8_t kLayerI = THeader::kLayerI;
constexpr std::uint8_t kBadSampleRateIndex = THeader::kBadSampleRateIndex;
constexpr std::uint8_t kEmphasisReserved = THeader::kEmphasisReserved;
constexpr std::uint8_t kSyncByte = 0xFF;  // the first header byte, all sync

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
constexpr std::size_t kCountSize = 4;  // the frame and byte counts, signed big-endian
constexpr std::string_view kXing = "Xing";
constexpr std::string_view kVbri = "VBRI";
constexpr std::string_view kLame = "LAME";
constexpr std::string_view kGogo = "GOGO";

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

THeader THeader::At(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return THeader(static_cast<std::uint32_t>(TByteReader(bytes).BigEndian(offset, kHeaderSize)));
}

namespace {

void DecodeHeader(THeader header, FrameInfo& frame) {
    for (std::size_t i = 0; i < kHeaderSize; ++i) {
        const unsigned shift = static_cast<unsigned>(kHeaderSize - 1 - i) * TByteReader::kBitsPerByte;
        frame.headerBytes[i] = static_cast<std::uint8_t>(header.Word() >> shift);
    }
    frame.versionCode = header.VersionCode();
    frame.layerCode = header.LayerCode();
    frame.crcProtected = header.CrcProtected();
    frame.bitRateIndex = header.BitRateIndex();
    frame.sampleRateIndex = header.SampleRateIndex();
    frame.padded = header.Padded();
    frame.privateBit = header.PrivateBit();
    frame.modeCode = header.ModeCode();
    frame.modeExtension = header.ModeExtension();
    frame.copyrighted = header.Copyrighted();
    frame.originalBit = header.Original();
    frame.emphasisCode = header.EmphasisCode();
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
    const bool mono = frame.modeCode == THeader::kModeMono;
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

// ReadVBRHeader runs first: FindFrame hands its result on.
VBRData ReadVBRHeader(const Block& block, std::size_t offset) {
    const TByteReader bytes(block);
    VBRData vbr;
    if (bytes.Matches(offset, kXing)) {
        vbr.found = true;
        std::copy(kXing.begin(), kXing.end(), vbr.signature.begin());
        vbr.frameCount = static_cast<std::int32_t>(bytes.BigEndian(offset + kXingFrameCount, kCountSize));
        vbr.byteCount = static_cast<std::int32_t>(bytes.BigEndian(offset + kXingByteCount, kCountSize));
        vbr.quality = bytes.At(offset + kXingQuality);
        vbr.vendor.resize(kXingVendorSize);
        for (std::size_t i = 0; i < kXingVendorSize; ++i) {
            vbr.vendor[i] = static_cast<char>(bytes.At(offset + kXingVendor + i));
        }
    }
    if (bytes.Matches(offset, kVbri)) {
        vbr.found = true;
        std::copy(kVbri.begin(), kVbri.end(), vbr.signature.begin());
        vbr.quality = bytes.At(offset + kVbriQuality);
        vbr.byteCount = static_cast<std::int32_t>(bytes.BigEndian(offset + kVbriByteCount, kCountSize));
        vbr.frameCount = static_cast<std::int32_t>(bytes.BigEndian(offset + kVbriFrameCount, kCountSize));
    }
    return vbr;
}

void FindFrame(const Block& block, FrameInfo& frame, VBRData& vbr) {
    frame = FrameInfo{};
    for (std::size_t p = 0; p <= kLastSearchPosition; ++p) {
        if (block[p] != kSyncByte) continue;  // the common case, cheaply
        const THeader header = THeader::At(block, p);
        if (!header.IsValid()) continue;
        DecodeHeader(header, frame);
        const std::uint16_t length = FrameLength(frame);
        // A follower must lie wholly in the block: one whose last byte is cut
        // off would otherwise pass with that byte read as zero.
        const std::size_t next = p + length;
        if (next + kHeaderSize > block.size() || !THeader::At(block, next).IsValid()) continue;
        frame.found = true;
        frame.position = static_cast<std::int32_t>(p);
        frame.length = length;
        vbr = ReadVBRHeader(block, p + SideInfoOffset(frame));
        return;
    }
}

// Backwards from the limit, the nearest signature wins.
std::string FindEncoder(const Block& block, std::size_t extent) {
    const TByteReader bytes(block);
    extent = std::min(extent, kEncoderScanLimit);
    for (std::size_t q = kEncoderScanLimit + 1; q-- > kEncoderScanLimit - extent;) {
        if (bytes.Matches(q, kLame)) {
            return std::string(reinterpret_cast<const char*>(&block[q]), kEncoderWindow);
        }
        if (bytes.Matches(q, kGogo)) return std::string(kGogo);
    }
    return {};
}

// "MM:SS": whole minutes, at least two digits, and seconds; a negative time
// (possible only with absurd headers) shows its magnitude.
std::string FormatMilliseconds(std::int64_t milliseconds) {
    const std::uint64_t magnitude = milliseconds < 0 ? 0 - static_cast<std::uint64_t>(milliseconds)
                                                     : static_cast<std::uint64_t>(milliseconds);
    const std::uint64_t totalSeconds = magnitude / kMillisPerSecond;
    const std::uint64_t minutes = totalSeconds / kSecondsPerMinute;
    const auto seconds = static_cast<unsigned>(totalSeconds % kSecondsPerMinute);
    constexpr unsigned kTen = 10;
    std::string text = minutes < kTen ? "0" : "";
    text += std::to_string(minutes);
    text += ':';
    text += static_cast<char>('0' + seconds / kTen);
    text += static_cast<char>('0' + seconds % kTen);
    return text;
}

}  // namespace

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
    return ReadFromPath(
        *this, path, [](TMPEGaudio& audio, TByteSource& source) { return audio.LoadFromSource(source); },
        ScanEncoder ? TFileSource::kTailSize : kID3v1TagSize);
}

bool TMPEGaudio::LoadFromSource(TByteSource& source) {
    Clear();
    const bool result = ID3v2Tag.ReadTag(source) && ID3v1Tag.ReadTag(source) && ReadAudio(source);
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
    const std::int64_t audioStart = ID3v2Tag.AudioStart();

    Block block{};
    std::size_t got = 0;
    if (!source.ReadAt(audioStart, block, got)) return false;
    FindFrame(block, frame, vbr);

    if (!frame.found && got == kBlockSize) {
        block.fill(0);
        // Counted from the start of the file, not from the end of the tag; a
        // short read here just leaves zeros at the end of the block.
        if (!source.ReadAt((size - audioStart) / 2, block, got)) return false;
        FindFrame(block, frame, vbr);
    }

    if (ScanEncoder && frame.found && !vbr.found) {
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
    std::int64_t audioSize = static_cast<std::int64_t>(audio.fileLength) - audio.ID3v2Tag.AudioStart() - frame.position;
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
