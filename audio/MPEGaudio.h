// The MPEG audio analyser: finds the first valid frame after the ID3v2 tag,
// its Xing or VBRI header and the encoder signature near the end of the audio,
// and reports bit rate, sample rate, channel mode and play time. Owns the two
// tag readers and fills them from the same open file.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "ID3v1.h"
#include "ID3v2.h"

class TByteSource;

namespace mpeg {

constexpr std::size_t kBlockSize = 3458;          // twice the largest frame
constexpr std::size_t kLargestFrameLength = 1729;
constexpr std::size_t kLastSearchPosition = kBlockSize - kLargestFrameLength;
constexpr std::size_t kEncoderWindow = 8;
constexpr std::size_t kEncoderScanLimit = kBlockSize - kEncoderWindow;  // 3450
constexpr std::size_t kHeaderSize = 4;
constexpr std::size_t kSignatureSize = 4;
constexpr std::size_t kEncoderScanFrames = 5;  // the tail scan covers this many first-frame lengths
constexpr std::size_t kXingVendorSize = 8;

using Block = std::array<std::uint8_t, kBlockSize>;

struct FrameInfo {
    bool found = false;
    std::int32_t position = 0;
    std::uint16_t length = 0;
    std::array<std::uint8_t, 4> headerBytes{};
    std::uint8_t versionCode = 0;
    std::uint8_t layerCode = 0;
    bool crcProtected = false;
    std::uint16_t bitRateIndex = 0;
    std::uint16_t sampleRateIndex = 0;
    bool padded = false;
    bool privateBit = false;
    std::uint8_t modeCode = 0;
    std::uint8_t modeExtension = 0;
    bool copyrighted = false;
    bool originalBit = false;
    std::uint8_t emphasisCode = 0;
};

struct VBRData {
    bool found = false;
    std::array<char, 4> signature{};
    std::int32_t frameCount = 0;
    std::int32_t byteCount = 0;
    std::uint8_t quality = 0;
    std::string vendor;
};

extern const std::array<std::string_view, 4> VersionTexts;
extern const std::array<std::string_view, 4> LayerTexts;
extern const std::array<std::string_view, 5> ChannelModeTexts;
extern const std::array<std::string_view, 4> EmphasisTexts;
extern const std::array<std::string_view, 7> EncoderTexts;

// The four header bytes in file order as one big-endian word, with each bit
// field named. IsValid is the header test; nothing else of the word is checked.
class THeader {
public:
    static constexpr std::uint32_t kSyncMask = 0xFFE00000;  // 11 set bits
    static constexpr std::uint8_t kVersionReserved = 1, kVersion1 = 3;
    static constexpr std::uint8_t kLayerReserved = 0, kLayerI = 3;
    static constexpr std::uint8_t kFreeFormatIndex = 0, kBadBitRateIndex = 15;
    static constexpr std::uint8_t kBadSampleRateIndex = 3;
    static constexpr std::uint8_t kModeMono = 3;
    static constexpr std::uint8_t kEmphasisReserved = 2;

    constexpr explicit THeader(std::uint32_t word) : word_(word) {}
    // The header at offset; bytes past the end of the span read as zero.
    static THeader At(std::span<const std::uint8_t> bytes, std::size_t offset = 0);

    constexpr std::uint32_t Word() const { return word_; }
    constexpr bool HasSync() const { return (word_ & kSyncMask) == kSyncMask; }
    constexpr std::uint8_t VersionCode() const { return Field(kVersionShift, kTwoBits); }
    constexpr std::uint8_t LayerCode() const { return Field(kLayerShift, kTwoBits); }
    constexpr bool CrcProtected() const { return !Bit(kNoCrcShift); }
    constexpr std::uint8_t BitRateIndex() const { return Field(kBitRateShift, kFourBits); }
    constexpr std::uint8_t SampleRateIndex() const { return Field(kSampleRateShift, kTwoBits); }
    constexpr bool Padded() const { return Bit(kPaddingShift); }
    constexpr bool PrivateBit() const { return Bit(kPrivateShift); }
    constexpr std::uint8_t ModeCode() const { return Field(kModeShift, kTwoBits); }
    constexpr std::uint8_t ModeExtension() const { return Field(kModeExtensionShift, kTwoBits); }
    constexpr bool Copyrighted() const { return Bit(kCopyrightShift); }
    constexpr bool Original() const { return Bit(kOriginalShift); }
    constexpr std::uint8_t EmphasisCode() const { return Field(kEmphasisShift, kTwoBits); }

    // Sync, then version, layer, bit rate (free format is not accepted),
    // sample rate and emphasis; each reserved value rejects.
    constexpr bool IsValid() const {
        return HasSync() && VersionCode() != kVersionReserved && LayerCode() != kLayerReserved &&
               BitRateIndex() != kBadBitRateIndex && BitRateIndex() != kFreeFormatIndex &&
               SampleRateIndex() != kBadSampleRateIndex && EmphasisCode() != kEmphasisReserved;
    }

private:
    static constexpr unsigned kVersionShift = 19, kLayerShift = 17, kNoCrcShift = 16;
    static constexpr unsigned kBitRateShift = 12, kSampleRateShift = 10, kPaddingShift = 9, kPrivateShift = 8;
    static constexpr unsigned kModeShift = 6, kModeExtensionShift = 4, kCopyrightShift = 3, kOriginalShift = 2;
    static constexpr unsigned kEmphasisShift = 0;
    static constexpr std::uint32_t kTwoBits = 0x3, kFourBits = 0xF;

    constexpr std::uint8_t Field(unsigned shift, std::uint32_t mask) const {
        return static_cast<std::uint8_t>((word_ >> shift) & mask);
    }
    constexpr bool Bit(unsigned shift) const { return ((word_ >> shift) & 1u) != 0; }

    std::uint32_t word_;
};

}  // namespace mpeg

class TMPEGaudio {
public:
    TMPEGaudio();
    ~TMPEGaudio();
    TMPEGaudio(const TMPEGaudio&) = delete;
    TMPEGaudio& operator=(const TMPEGaudio&) = delete;

    void Clear();
    bool LoadFromFile(const char* path);
    bool LoadFromSource(TByteSource& source);

    std::uint16_t BitRate() const;
    std::uint16_t SampleRate() const;
    std::string ChannelModeText() const;
    double Duration() const;
    // The play time rounded to whole milliseconds, half to even, from exact
    // integer arithmetic so that every build shows the same text.
    std::int64_t DurationMilliseconds() const;
    std::string DurationText() const;

    // The tail block and its encoder scan; off where nothing shows the encoder,
    // so that the end of the file is read only for the ID3v1 tag.
    bool ScanEncoder = true;

    std::int32_t fileLength;
    std::string encoderText;
    mpeg::VBRData vbr;
    mpeg::FrameInfo frame;
    TID3v1 ID3v1Tag;
    TID3v2 ID3v2Tag;

private:
    bool ReadAudio(TByteSource& source);
};
